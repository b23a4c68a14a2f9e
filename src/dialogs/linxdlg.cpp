// Properties of a switch-selected dual-port card: the position of switch
// SW1-1 (COM1/COM2 or COM3/COM4) and the interrupt or the pair "4+3".
#include "dialogs/dialogs.h"
#include "dialogs/props.h"
#include "store/portlist.h"
#include "resource.h"

static const ComboTags LinxIrqTags = {"%s: %s", "linx/CB_ADDSTRING", "linx/CB_SETCURSEL", 1};

static const CardModel *LinxModel; // the model of the open dialog

static void LinxInit(HWND window, const CardModel *row) {
    LinxModel = row;
    FillIrqCombo(window, IDC_IRQ1, row->irqChoices, row->irqChoices[0], &LinxIrqTags);
    FillChoiceCombo(window, IDC_ADDRESS, (const AddressChoice *)row->addressInfo, "%s: %s",
                    "Sw11/CB_ADDSTRING/SETCURSEL");
}

static void LinxAdd(HWND window) {
    LRESULT position = SendDlgItemMessageA(window, IDC_IRQ1, CB_GETCURSEL, 0, 0);
    int value = position <= 15 ? OfferedIrq(LinxModel->irqChoices, position) : 0;
    if (!value) {
        ShowEntryError(IDS_BAD_IRQ);
        return;
    }
    int irqs[2] = {value, value};
    if (value == IRQ_PAIR_4_3) {
        irqs[0] = 4;
        irqs[1] = 3;
    }
    LRESULT choice = SendDlgItemMessageA(window, IDC_ADDRESS, CB_GETCURSEL, 0, 0);
    if (choice != 0 && choice != 1) {
        ShowEntryError(IDS_BAD_ADDRESS_CHOICE);
        return;
    }
    const AddressChoice *choices = (const AddressChoice *)LinxModel->addressInfo;
    AddLinxCard(LinxModel, choice == 0 ? 1 : 3, irqs, choices[choice].portAddresses);
    EndDialog(window, 0);
}

INT_PTR CALLBACK LinxFunc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return StrapDialogProc(window, message, wParam, lParam, LinxInit, LinxAdd);
}
