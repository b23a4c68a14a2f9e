// What the three card properties dialogs share: filling their combo boxes
// and telling the user about an invalid entry.
#ifndef CARDINST_DIALOGS_PROPS_H
#define CARDINST_DIALOGS_PROPS_H

#include "catalogue/catalogue.h"

#include <windows.h>

// How a dialog reports a combo box that cannot be filled.
struct ComboTags {
    const char *format;    // "%s:%s" or "%s: %s"
    const char *addTag;    // adding an item failed
    const char *selectTag; // selecting the default failed
    int storeResult;       // make the combo box's result the last error first
};

// Adds the offered values of an interrupt list to combo box id ("4+3" for
// the pair code) and selects preselect. Returns 0 after reporting a
// failure and ending the dialog with -1.
int FillIrqCombo(HWND window, int id, const int *irqChoices, int preselect, const ComboTags *tags);

// Adds the labels of choice 0 and choice 1 to combo box id and selects
// choice 0. Returns 0 after reporting a failure and ending the dialog.
int FillChoiceCombo(HWND window, int id, const AddressChoice *choices, const char *format,
                    const char *tag);

// The value offered at a combo box position of an interrupt list, or 0
// when the position is not one of the list's.
int OfferedIrq(const int *irqChoices, LRESULT position);

// The procedure the jumper-strap and switch dialogs share; they differ only
// in how they start and add. Add (1014) runs add, Cancel (1015) and the
// close box end the dialog with -2, and any other command, Escape's
// included, does nothing.
INT_PTR StrapDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                        void (*init)(HWND, const CardModel *), void (*add)(HWND));

// Entry checks, kept free of windows.
int ValidFirstCom(UINT firstCom);
int ValidIrq(UINT irq);

// A "Configuration error" box with string id.
void ShowEntryError(int id);

#endif
