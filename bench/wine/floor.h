// The floor programs that the launcher compares cardinst.exe with: the
// same main-window dialog and message loop, with only what each floor adds
// at the dialog's initialisation.
#ifndef CARDINST_BENCH_FLOOR_H
#define CARDINST_BENCH_FLOOR_H

#include <windows.h>

#define FLOOR_DIALOG 101
#define FLOOR_ADD 1001
#define FLOOR_TEST 1002
#define FLOOR_REMOVE 3
#define FLOOR_QUIT 2
#define FLOOR_LIST 1006

// Runs inside the dialog's WM_INITDIALOG, before it is shown.
void FloorInit(HWND dialog);

#endif
