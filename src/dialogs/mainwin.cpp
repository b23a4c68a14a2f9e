// The main window: the list of installed cards and the Add..., Test,
// Remove and Quit commands.
#include "dialogs/dialogs.h"
#include "catalogue/catalogue.h"
#include "porttest/porttest.h"
#include "shell/app.h"
#include "shell/format.h"
#include "shell/report.h"
#include "store/portlist.h"
#include "resource.h"

#define LINE_AREA 100 // a longer card line is cut

int FirstInit = 1;

// Set while the exit checks walk the port list. Their boxes have no owner,
// so the main window could otherwise take a command meanwhile.
static int Checking;

int FillCardList(HWND window) {
    SendDlgItemMessageA(window, IDC_CARDLIST, LB_RESETCONTENT, 0, 0);
    for (PortEntry *e = &PortList; e->next; e = e->next) {
        if (e->model[0] == '\0' || e->leader != e)
            continue;
        char line[LINE_AREA];
        FormatText(line, sizeof line, Text(IDS_CARD_LINE), e->dosDevices, e->model,
                   (unsigned)e->portAddress, e->interrupt);
        LRESULT position = SendDlgItemMessageA(window, IDC_CARDLIST, LB_ADDSTRING, 0, (LPARAM)line);
        if (position == LB_ERR || position == LB_ERRSPACE) {
            const char *text = position == LB_ERRSPACE ? OutOfMemoryText() : SystemErrorText();
            ReportError("%s: %s", "listCards/LB_ADDSTRING", text, NULL);
            DestroyWindow(window);
            return 0;
        }
        if (SendDlgItemMessageA(window, IDC_CARDLIST, LB_SETITEMDATA, (WPARAM)position,
                                (LPARAM)e) == LB_ERR) {
            ReportError("%s: %s", "listCards/LB_SETITEMDATA", SystemErrorText(), NULL);
            DestroyWindow(window);
            return 0;
        }
    }
    return 1;
}

// The first port of the selected card, or null after telling the user
// that no card is selected.
static PortEntry *SelectedCard(HWND window) {
    LRESULT position = SendDlgItemMessageA(window, IDC_CARDLIST, LB_GETCURSEL, 0, 0);
    LRESULT data = position == LB_ERR ? LB_ERR
                                      : SendDlgItemMessageA(window, IDC_CARDLIST, LB_GETITEMDATA,
                                                            (WPARAM)position, 0);
    if (data == LB_ERR || data == 0) {
        MessageBoxA(NULL, Text(IDS_NO_SELECTION), Text(IDS_INVALID_DATA), MB_ICONERROR);
        return NULL;
    }
    return (PortEntry *)data;
}

static int CatalogueSize(void) {
    int size = 0;
    while (CardCatalogue[size].name)
        size++;
    return size;
}

static void AddCard(HWND window) {
    INT_PTR position =
        DialogBoxParamA(AppInstance, MAKEINTRESOURCEA(IDD_MODELS), window, ListModelsFunc, 0);
    if (position == -2)
        return;
    if (position == -1) {
        MessageBoxA(NULL, Text(IDS_NO_MAIN_WINDOW), Text(IDS_INTERNAL_ERROR), MB_ICONERROR);
        return;
    }
    if (position >= 0 && position < CatalogueSize()) {
        const CardModel *row = &CardCatalogue[position];
        DialogBoxParamA(AppInstance, MAKEINTRESOURCEA(row->dialogTemplate), window, row->dialogProc,
                        (LPARAM)row);
    }
    FillCardList(window);
}

static void TestSelectedCard(HWND window) {
    PortEntry *card = SelectedCard(window);
    if (!card)
        return;
    if (card->isNew)
        MessageBoxA(NULL, Text(IDS_JUST_ADDED), Text(IDS_CARD_TEST), MB_ICONERROR);
    else
        TestCard(card);
    FillCardList(window);
}

static void RemoveSelectedCard(HWND window) {
    PortEntry *card = SelectedCard(window);
    if (!card)
        return;
    RemoveCard(card);
    FillCardList(window);
}

static void Quit(HWND window) {
    if (PortList.next) {
        Checking = 1;
        EnableWindow(window, FALSE);
        CheckDuplicateNames();
        CheckSharedIrqs();
        CheckDuplicateAddresses();
        ShowIrqReminder();
        Checking = 0;
    }
    DestroyWindow(MainWindow);
}

static int MainWindowCommand(HWND window, int code, int id, LPARAM lParam) {
    (void)code;
    (void)lParam;
    if (Checking)
        return 0;
    switch (id) {
    case IDC_QUIT:
        Quit(window);
        break;
    case IDC_REMOVE:
        RemoveSelectedCard(window);
        break;
    case IDC_ADD:
        AddCard(window);
        break;
    case IDC_TEST:
        TestSelectedCard(window);
        break;
    default:
        break;
    }
    return 1;
}

INT_PTR CALLBACK ListCardsFunc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        if (FirstInit) {
            FirstInit = 0;
            if (!listCards()) {
                DestroyWindow(window);
                return 0;
            }
        }
        FillCardList(window);
        return 1;
    case WM_COMMAND:
        MainWindowCommand(window, HIWORD(wParam), LOWORD(wParam), lParam);
        return 1;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return 0;
    }
}
