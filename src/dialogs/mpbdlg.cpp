// Properties of a free-address multiport card: first COM number, the one
// interrupt of the card and its base address typed in hexadecimal.
#include "dialogs/dialogs.h"
#include "dialogs/props.h"
#include "store/portlist.h"
#include "resource.h"

#include <ctype.h>
#include <stdlib.h>
#include <string.h>

#define BASE_READ 5                    // characters of the base text that are read
#define BASE_TEXT_AREA (BASE_READ + 2) // and one more, to see whether the number goes on

static const ComboTags MpbIrqTags = {"%s: %s", "mpbIrq/CB_ADDSTRING", "mpbIrq/CB_SETCURSEL", 0};

static const CardModel *MpbModel; // the model of the open dialog

static int ParseBaseAddress(const char *text, int *base) {
    // The first five characters are read: leading blanks, a sign and a 0x
    // prefix are taken, and reading stops at the first character that is
    // not a hexadecimal digit. A number that goes on past them would be
    // read cut (0x1000 as 0x100): no number.
    char head[BASE_READ + 1];
    size_t length = strlen(text);
    if (length > BASE_READ)
        length = BASE_READ;
    memcpy(head, text, length);
    head[length] = '\0';
    char *end;
    unsigned long value = strtoul(head, &end, 16);
    if (end == head || (end == head + BASE_READ && isxdigit((unsigned char)text[BASE_READ])))
        return 0;
    *base = (int)value;
    return 1;
}

static int ValidBaseAddress(int base, int lowest, int highest, int portCount) {
    return lowest <= base && base <= highest && base % (8 * portCount) == 0;
}

static void MpbInit(HWND window, const CardModel *row) {
    MpbModel = row;
    FillIrqCombo(window, IDC_IRQ1, row->irqChoices, row->irqChoices[0], &MpbIrqTags);
    SetDlgItemTextA(window, IDC_FIRSTCOM, SuggestFirstCom(row));
    SetDlgItemTextA(window, IDC_ADDRESS, ((const AddressRange *)row->addressInfo)->defaultText);
}

static void MpbAdd(HWND window) {
    UINT firstCom = GetDlgItemInt(window, IDC_FIRSTCOM, NULL, FALSE);
    if (!ValidFirstCom(firstCom)) {
        ShowEntryError(IDS_BAD_FIRST_COM);
        return;
    }
    LRESULT position = SendDlgItemMessageA(window, IDC_IRQ1, CB_GETCURSEL, 0, 0);
    int irq = OfferedIrq(MpbModel->irqChoices, position);
    if (!irq) {
        ShowEntryError(IDS_BAD_IRQ);
        return;
    }
    char text[BASE_TEXT_AREA];
    GetDlgItemTextA(window, IDC_ADDRESS, text, sizeof text);
    const AddressRange *range = (const AddressRange *)MpbModel->addressInfo;
    int base;
    if (!ParseBaseAddress(text, &base) ||
        !ValidBaseAddress(base, range->lowest, range->highest, MpbModel->portCount)) {
        ShowEntryError(IDS_BAD_BASE);
        return;
    }
    addMpb(MpbModel, (int)firstCom, base, irq);
    EndDialog(window, 0);
}

INT_PTR CALLBACK MpbFunc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        MpbInit(window, (const CardModel *)lParam);
        return 1;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDCANCEL:
            EndDialog(window, -2);
            return 0;
        case IDC_PROP_ADD:
            MpbAdd(window);
            return 1;
        default:
            return 1;
        }
    default:
        return 0;
    }
}
