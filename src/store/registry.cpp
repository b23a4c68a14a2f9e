// The store's registry calls that report their own failures.
#include "store/registry.h"
#include "shell/report.h"

void ReportStatus(const char *format, const char *tag, LONG status) {
    SetLastError((DWORD)status);
    ReportError(format, tag, SystemErrorText(), NULL);
}

int OpenKey(HKEY parent, const char *path, REGSAM access, const char *format, const char *tag,
            HKEY *key) {
    LONG status = RegOpenKeyExA(parent, path, 0, access, key);
    if (status != ERROR_SUCCESS) {
        ReportStatus(format, tag, status);
        return 0;
    }
    return 1;
}
