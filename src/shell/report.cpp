// Reports of failed system calls and the system's text for the last error.
#include "shell/report.h"
#include "shell/app.h"
#include "shell/format.h"
#include "resource.h"

#include <string.h>

static char *SystemText; // the latest text from FormatMessageA, or null

void ReportError(const char *format, const char *text1, const char *text2, const char *text3) {
    char message[REPORT_AREA];
    // A message that would not fit is cut; the area is never overrun.
    FormatText(message, sizeof message, format, text1, text2, text3);
    MessageBoxA(MainWindow, message, Text(IDS_INTERNAL_ERROR), MB_ICONWARNING);
}

const char *SystemErrorText(void) {
    DWORD code = GetLastError();
    if (SystemText) {
        LocalFree(SystemText);
        SystemText = NULL;
    }
    char *text = NULL;
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, NULL,
                                  code, LANG_USER_DEFAULT, (LPSTR)&text, 0, NULL);
    if (length == 0 || !text) {
        // No text for this code (combo box results, texts with inserts):
        // the caller gets an empty text, never the released one.
        if (text)
            LocalFree(text);
        return "";
    }
    SystemText = text;
    size_t end = strlen(text);
    while (end > 0 && (text[end - 1] == '\r' || text[end - 1] == '\n'))
        text[--end] = '\0';
    return text;
}

const char *OutOfMemoryText(void) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return SystemErrorText();
}
