// Start-up and message loop of the floor programs, as cardinst has them: a
// modeless dialog made from the module's template, then GetMessageA with
// IsDialogMessageA for that dialog. Quit (also Escape and the close box)
// ends the program.
#include "floor.h"

static HWND Dialog;

static INT_PTR CALLBACK FloorFunc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    (void)lParam;
    switch (message) {
    case WM_INITDIALOG:
        FloorInit(window);
        return 1;
    case WM_COMMAND:
        if (LOWORD(wParam) == FLOOR_QUIT)
            DestroyWindow(window);
        return 1;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return 0;
    }
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
    (void)previous;
    (void)commandLine;
    (void)show;
    Dialog = CreateDialogParamA(instance, MAKEINTRESOURCEA(FLOOR_DIALOG), NULL, FloorFunc, 0);
    if (!Dialog)
        return 1;
    MSG message;
    BOOL got;
    while ((got = GetMessageA(&message, NULL, 0, 0)) != 0) {
        if (got == -1)
            return 1;
        if (IsDialogMessageA(Dialog, &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return (int)message.wParam;
}

// Started as cardinst is: its own entry point, no C run-time start-up.
extern "C" IMAGE_DOS_HEADER __ImageBase;

extern "C" void WINAPI FloorStart(void) {
    ExitProcess((UINT)WinMain((HINSTANCE)&__ImageBase, NULL, NULL, SW_SHOWDEFAULT));
}
