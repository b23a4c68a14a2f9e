// Dialog procedures, one per template, and the main window's routines.
#ifndef CARDINST_DIALOGS_DIALOGS_H
#define CARDINST_DIALOGS_DIALOGS_H

#include <windows.h>

extern int FirstInit; // set until the main window's first initialisation

INT_PTR CALLBACK ListCardsFunc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ListModelsFunc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK RsFunc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK LinxFunc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK MpbFunc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

int FillCardList(HWND window);

#endif
