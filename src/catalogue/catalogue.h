// The card models this program installs: port counts, properties dialogs,
// interrupt choices and address choices. Constant data, read only.
#ifndef CARDINST_CATALOGUE_CATALOGUE_H
#define CARDINST_CATALOGUE_CATALOGUE_H

#include <windows.h>

// Interrupt code for "port 1 on IRQ 4, port 2 on IRQ 3", shown "4+3".
#define IRQ_PAIR_4_3 34

// One strap or switch position and the I/O address of ports 1 to 4 in it.
struct AddressChoice {
    const char *label;
    int portAddresses[4];
};

// The range of a typed base address, bounds included.
struct AddressRange {
    const char *defaultText;
    int lowest;
    int highest;
};

struct CardModel {
    const char *name;
    int portCount;
    WORD dialogTemplate;
    DLGPROC dialogProc;
    // Default first, then the values offered in order, ended by 0.
    const int *irqChoices;
    // An AddressRange (template 103) or the first of two AddressChoice
    // records (templates 104 and 108).
    const void *addressInfo;
};

// Ten models in the order the model list shows them, then a row whose
// name is null.
extern const CardModel CardCatalogue[];

#endif
