// The bare floor: the dialog and its message loop, and nothing else.
#include "floor.h"

void FloorInit(HWND dialog) {
    (void)dialog;
}
