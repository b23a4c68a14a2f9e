// Entry point, start-up and the message loop.
#include "shell/app.h"
#include "dialogs/dialogs.h"
#include "resource.h"

HINSTANCE AppInstance;
HWND MainWindow;

int InitApplication(HINSTANCE instance) {
    AppInstance = instance;
    if (!LoadStringTable())
        return 0;
    // The main window loads the port list inside this call, before
    // MainWindow is set: reports raised meanwhile have no owner.
    MainWindow =
        CreateDialogParamA(AppInstance, MAKEINTRESOURCEA(IDD_MAIN), NULL, ListCardsFunc, 0);
    if (!MainWindow) {
        MessageBoxA(NULL, Text(IDS_NO_MAIN_WINDOW), Text(IDS_INTERNAL_ERROR), MB_ICONERROR);
        return 0;
    }
    return 1;
}

int RunMessageLoop(void) {
    MSG message;
    BOOL got;
    while ((got = GetMessageA(&message, NULL, 0, 0)) != 0) {
        if (got == -1)
            return 0;
        if (MainWindow && IsDialogMessageA(MainWindow, &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return (int)message.wParam;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
    (void)previous;
    (void)commandLine;
    (void)show;
    if (!InitApplication(instance))
        return 0;
    return RunMessageLoop();
}
