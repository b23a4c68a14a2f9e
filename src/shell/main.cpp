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

#ifdef __MINGW32__
// The process starts here rather than in the C run-time's start-up code,
// which would parse a command line, set up stdio and run constructors that
// this program does not have. msvcrt.dll initialises itself when it loads,
// so its heap and string functions are ready. The link names this function
// with -e.
extern "C" IMAGE_DOS_HEADER __ImageBase;

extern "C" void WINAPI CardinstStart(void) {
    ExitProcess((UINT)WinMain((HINSTANCE)&__ImageBase, NULL, NULL, SW_SHOWDEFAULT));
}
#endif
