// Formatting into fixed areas through the system C library.
#ifndef CARDINST_SHELL_FORMAT_H
#define CARDINST_SHELL_FORMAT_H

#include <stddef.h>

// Formats into an area of size bytes (size > 0). A text that does not fit
// is cut to size - 1 characters. The area always ends in a NUL. Returns 1
// when the whole text fit, 0 when it was cut.
int FormatText(char *area, size_t size, const char *format, ...);

#endif
