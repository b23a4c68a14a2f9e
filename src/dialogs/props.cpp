// Combo boxes, entry checks and entry errors of the properties dialogs.
#include "dialogs/props.h"
#include "shell/app.h"
#include "shell/format.h"
#include "shell/report.h"
#include "resource.h"

static int ComboFailed(HWND window, const char *format, const char *tag, LRESULT result,
                       int storeResult) {
    // The jumper-strap and switch dialogs show the text for the combo box's
    // own result; the free-address dialog the last error, which an add
    // that ran out of space does not set.
    const char *text;
    if (storeResult) {
        SetLastError((DWORD)result);
        text = SystemErrorText();
    } else {
        text = result == CB_ERRSPACE ? OutOfMemoryText() : SystemErrorText();
    }
    ReportError(format, tag, text, NULL);
    EndDialog(window, -1);
    return 0;
}

int FillIrqCombo(HWND window, int id, const int *irqChoices, int preselect, const ComboTags *tags) {
    int position = 0;
    for (int i = 1; irqChoices[i]; i++) {
        char text[16];
        if (irqChoices[i] == IRQ_PAIR_4_3)
            FormatText(text, sizeof text, "4+3");
        else
            FormatText(text, sizeof text, "%d", irqChoices[i]);
        LRESULT result = SendDlgItemMessageA(window, id, CB_ADDSTRING, 0, (LPARAM)text);
        if (result == CB_ERR || result == CB_ERRSPACE)
            return ComboFailed(window, tags->format, tags->addTag, result, tags->storeResult);
        if (irqChoices[i] == preselect)
            position = i - 1;
    }
    LRESULT result = SendDlgItemMessageA(window, id, CB_SETCURSEL, (WPARAM)position, 0);
    if (result == CB_ERR)
        return ComboFailed(window, tags->format, tags->selectTag, result, tags->storeResult);
    return 1;
}

int FillChoiceCombo(HWND window, int id, const AddressChoice *choices, const char *format,
                    const char *tag) {
    for (int i = 0; i < 2; i++) {
        LRESULT result = SendDlgItemMessageA(window, id, CB_ADDSTRING, 0, (LPARAM)choices[i].label);
        if (result == CB_ERR || result == CB_ERRSPACE)
            return ComboFailed(window, format, tag, result, 1);
    }
    LRESULT result = SendDlgItemMessageA(window, id, CB_SETCURSEL, 0, 0);
    if (result == CB_ERR)
        return ComboFailed(window, format, tag, result, 1);
    return 1;
}

INT_PTR StrapDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                        void (*init)(HWND, const CardModel *), void (*add)(HWND)) {
    switch (message) {
    case WM_INITDIALOG:
        init(window, (const CardModel *)lParam);
        return 1;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_PROP_ADD:
            add(window);
            return 1;
        case IDC_PROP_CANCEL:
            EndDialog(window, -2);
            return 0;
        default:
            return 1;
        }
    case WM_CLOSE:
        EndDialog(window, -2);
        return 0;
    default:
        return 0;
    }
}

void ShowEntryError(int id) {
    MessageBoxA(NULL, Text(id), Text(IDS_CONFIG_ERROR), MB_ICONERROR);
}

int ValidFirstCom(UINT firstCom) {
    return firstCom >= 1 && firstCom <= 255;
}

int OfferedIrq(const int *irqChoices, LRESULT position) {
    if (position < 0)
        return 0;
    for (LRESULT i = 0; irqChoices[i + 1]; i++)
        if (i == position)
            return irqChoices[i + 1];
    return 0;
}

int ValidIrq(UINT irq) {
    return irq >= 1 && irq <= 15;
}
