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
int MainWindowCommand(HWND window, int code, int id, LPARAM lParam);
int FillModelList(HWND window);
int ModelDialogCommand(HWND window, int code, int id, LPARAM lParam);

// Entry checks of the properties dialogs, kept free of windows.
int ValidFirstCom(UINT firstCom);
int ValidIrq(UINT irq);
int ParseBaseAddress(const char *text, int *base);
int ValidBaseAddress(int base, int lowest, int highest, int portCount);

#endif
