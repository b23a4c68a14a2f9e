// The model selection dialog: the catalogue's model names, and the
// position of the one chosen.
#include "dialogs/dialogs.h"
#include "catalogue/catalogue.h"
#include "shell/report.h"
#include "resource.h"

static int FillModelList(HWND window) {
    for (const CardModel *row = CardCatalogue; row->name; row++) {
        LRESULT result =
            SendDlgItemMessageA(window, IDC_MODELLIST, LB_ADDSTRING, 0, (LPARAM)row->name);
        if (result == LB_ERR || result == LB_ERRSPACE) {
            const char *text = result == LB_ERRSPACE ? OutOfMemoryText() : SystemErrorText();
            ReportError("%s: %s", "model/LB_ADDSTRING", text, NULL);
            // Ending before destroying gives the owner back its input; the
            // dialog then ends as one that could not be created.
            EndDialog(window, -1);
            DestroyWindow(window);
            return 0;
        }
    }
    return 1;
}

static int ModelDialogCommand(HWND window, int code, int id, LPARAM lParam) {
    (void)code;
    (void)lParam;
    if (id == IDCANCEL) {
        EndDialog(window, -2);
    } else if (id == IDC_NEXT) {
        LRESULT position = SendDlgItemMessageA(window, IDC_MODELLIST, LB_GETCURSEL, 0, 0);
        if (position != LB_ERR)
            EndDialog(window, position);
    }
    return 1;
}

INT_PTR CALLBACK ListModelsFunc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        FillModelList(window);
        return 1;
    case WM_COMMAND:
        ModelDialogCommand(window, HIWORD(wParam), LOWORD(wParam), lParam);
        return 1;
    default:
        return 0;
    }
}
