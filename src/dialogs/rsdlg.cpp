// Properties of a jumper-strap card: first COM number, one interrupt per
// port and the position of strap ST1.
#include "dialogs/dialogs.h"
#include "dialogs/props.h"
#include "store/portlist.h"
#include "resource.h"

#define RS_MAX_PORTS 4

static const ComboTags RsIrqTags = {"%s:%s", "CB_ADDSTRING", "CB_SETCURSEL", 1};

static const CardModel *RsModel; // the model of the open dialog

static void RsInit(HWND window, const CardModel *row) {
    RsModel = row;
    const int *irqs = row->irqChoices;
    if (row->portCount == 4) {
        for (int id = IDC_IRQ1; id <= IDC_IRQ4; id++)
            FillIrqCombo(window, id, irqs, irqs[0], &RsIrqTags);
    } else {
        // Two ports: the standard pair, port 1 on IRQ 4 and port 2 on IRQ 3.
        FillIrqCombo(window, IDC_IRQ1, irqs, 4, &RsIrqTags);
        FillIrqCombo(window, IDC_IRQ2, irqs, 3, &RsIrqTags);
        EnableWindow(GetDlgItem(window, IDC_IRQ3), FALSE);
        EnableWindow(GetDlgItem(window, IDC_IRQ4), FALSE);
    }
    SetDlgItemTextA(window, IDC_FIRSTCOM, SuggestFirstCom(row));
    FillChoiceCombo(window, IDC_ADDRESS, (const AddressChoice *)row->addressInfo, "%s:%s",
                    "CB_ADDSTRING/SETCURSEL");
}

static void RsAdd(HWND window) {
    UINT firstCom = GetDlgItemInt(window, IDC_FIRSTCOM, NULL, FALSE);
    if (!ValidFirstCom(firstCom)) {
        ShowEntryError(IDS_BAD_FIRST_COM);
        return;
    }
    int irqs[RS_MAX_PORTS] = {0};
    for (int i = 0; i < RsModel->portCount && i < RS_MAX_PORTS; i++) {
        UINT irq = GetDlgItemInt(window, IDC_IRQ1 + i, NULL, FALSE);
        if (!ValidIrq(irq)) {
            ShowEntryError(IDS_BAD_IRQ);
            return;
        }
        irqs[i] = (int)irq;
    }
    LRESULT choice = SendDlgItemMessageA(window, IDC_ADDRESS, CB_GETCURSEL, 0, 0);
    if (choice != 0 && choice != 1) {
        ShowEntryError(IDS_BAD_ADDRESS_CHOICE);
        return;
    }
    const AddressChoice *choices = (const AddressChoice *)RsModel->addressInfo;
    AddRsCard(RsModel, (int)firstCom, irqs, choices[choice].portAddresses);
    EndDialog(window, 0);
}

INT_PTR CALLBACK RsFunc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return StrapDialogProc(window, message, wParam, lParam, RsInit, RsAdd);
}
