// Start-up, the string table and the message loop.
#ifndef CARDINST_SHELL_APP_H
#define CARDINST_SHELL_APP_H

#include <windows.h>

// Each string is loaded through an area of this size, so a text holds at
// most STRING_AREA - 1 characters.
#define STRING_AREA 500

extern HINSTANCE AppInstance; // module holding every string and template
extern HWND MainWindow;       // null until the main window's creation returns
extern char **StringTable;    // StringTable[id] is string id; entry 0 unused

int LoadStringTable(void);
int InitApplication(HINSTANCE instance);
int RunMessageLoop(void);

// The text of string id, or an empty text when the table does not hold it.
const char *Text(int id);

#endif
