// Formatting into fixed areas through the system C library.
#include "shell/format.h"

#include <windows.h>

#include <stdarg.h>
#include <stdio.h>

int FormatText(char *area, size_t size, const char *format, ...) {
    va_list args;
    va_start(args, format);
    // _vsnprintf gives -1 when it cuts, and the length when the text
    // exactly fills the area; in both cases it writes no NUL.
    int length = _vsnprintf(area, size, format, args);
    va_end(args);
    if (length >= 0 && (size_t)length < size)
        return 1;
    area[size - 1] = '\0';
    return 0;
}
