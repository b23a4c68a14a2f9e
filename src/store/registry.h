// The store's registry calls that report their own failures, and the
// loader's reading of a port key that the writers share.
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

// What the loader would make of an open port key, read without a report:
// PORT_KEY_LIVE, it would list the port; PORT_KEY_BROKEN, it would skip it
// (a mandatory value missing, or a value of the wrong type);
// PORT_KEY_UNREADABLE, a value cannot be read at all (access denied...).
enum { PORT_KEY_LIVE, PORT_KEY_BROKEN, PORT_KEY_UNREADABLE };
int PortKeyState(HKEY key);

#endif
