// The store's registry calls that report their own failures.
#ifndef CARDINST_STORE_REGISTRY_H
#define CARDINST_STORE_REGISTRY_H

#include <windows.h>

// Makes status, which a registry call returned, the last error and reports
// format ("%s: %s" or "%s:%s") with tag and the system's text for it.
void ReportStatus(const char *format, const char *tag, LONG status);

// Opens path under parent with access into *key. Returns 0 after reporting
// a failure as ReportStatus does.
int OpenKey(HKEY parent, const char *path, REGSAM access, const char *format, const char *tag,
            HKEY *key);

#endif
