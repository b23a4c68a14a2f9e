// Loading the port list from the serial driver's port keys.
#include "store/portlist.h"
#include "store/registry.h"
#include "shell/app.h"
#include "shell/report.h"
#include "resource.h"

#include <stdlib.h>
#include <string.h>

// Room for a subkey name: at most 29 characters and the NUL.
#define KEY_NAME_AREA 30

PortEntry PortList;

// The three texts read into a record's block, in block order.
enum { TEXT_DOSDEVICES, TEXT_MODEL, TEXT_LEADER, TEXT_COUNT };
static const char *const TextValues[TEXT_COUNT] = {"DosDevices", "Model", "Leader"};

// Outcome of one value read.
enum { READ_OK, READ_ABSENT, READ_SKIP };

// Reads one value into room of size bytes and sorts out what its absence
// or type means for the port. A mandatory value that cannot be read is
// reported; a value of the wrong type skips the port silently.
static int ReadValue(HKEY key, const char *keyName, const char *name, DWORD expected, void *room,
                     DWORD size, DWORD *count, int mandatory) {
    DWORD type = REG_NONE;
    *count = size;
    LONG status = RegQueryValueExA(key, name, NULL, &type, (LPBYTE)room, count);
    if (status != ERROR_SUCCESS) {
        *count = 0;
        if (!mandatory)
            return READ_ABSENT;
        SetLastError((DWORD)status);
        ReportError(Text(IDS_READ_MANDATORY), name, keyName, SystemErrorText());
        return READ_SKIP;
    }
    return type == expected ? READ_OK : READ_SKIP;
}

static int ReadText(HKEY key, const char *keyName, const char *name, char *room, DWORD size,
                    int mandatory) {
    DWORD count;
    int outcome = ReadValue(key, keyName, name, REG_SZ, room, size, &count, mandatory);
    // Each room has one byte more than the value's size, so a text stored
    // without its NUL still ends in one here.
    room[outcome == READ_OK ? count : 0] = '\0';
    return outcome;
}

static int ReadNumber(HKEY key, const char *keyName, const char *name, int *field, int mandatory) {
    DWORD value = 0, count;
    int outcome = ReadValue(key, keyName, name, REG_DWORD, &value, sizeof value, &count, mandatory);
    *field = outcome == READ_OK ? (int)value : 0;
    return outcome;
}

// Reads the seven values of an open port key into r. Returns 0 when the
// port is to be skipped.
static int ReadPort(HKEY key, const char *keyName, PortEntry *r, const DWORD *rooms) {
    char *model = (char *)r->model, *leaderName = (char *)r->leaderName;
    return ReadText(key, keyName, "DosDevices", r->dosDevices, rooms[TEXT_DOSDEVICES] - 1, 1) !=
               READ_SKIP &&
           ReadNumber(key, keyName, "Interrupt", &r->interrupt, 1) != READ_SKIP &&
           ReadNumber(key, keyName, "PortAddress", &r->portAddress, 1) != READ_SKIP &&
           ReadNumber(key, keyName, "InterruptStatus", &r->interruptStatus, 0) != READ_SKIP &&
           ReadNumber(key, keyName, "PortIndex", &r->portIndex, 0) != READ_SKIP &&
           ReadText(key, keyName, "Model", model, rooms[TEXT_MODEL] - 1, 0) != READ_SKIP &&
           ReadText(key, keyName, "Leader", leaderName, rooms[TEXT_LEADER] - 1, 0) != READ_SKIP;
}

// Gives the sentinel r one text block with room for the texts the key
// holds and for its name, and places the texts in it, empty for now.
// Returns 0 after reporting that the block could not be allocated.
static int NewTextBlock(HKEY key, const char *name, PortEntry *r, DWORD *rooms) {
    // An absent value counts as one byte; every text gets one more byte
    // for a NUL of our own.
    size_t nameLength = strlen(name);
    size_t blockSize = nameLength + 1;
    for (int i = 0; i < TEXT_COUNT; i++) {
        DWORD size = 0;
        RegQueryValueExA(key, TextValues[i], NULL, NULL, NULL, &size);
        rooms[i] = (size ? size : 1) + 1;
        blockSize += rooms[i];
    }
    char *block = (char *)malloc(blockSize);
    r->dosDevices = block;
    if (!block) {
        ReportError("%s: %s", "New DosDevices", OutOfMemoryText(), NULL);
        return 0;
    }
    r->model = block + rooms[TEXT_DOSDEVICES];
    r->leaderName = r->model + rooms[TEXT_MODEL];
    r->keyName = (char *)r->leaderName + rooms[TEXT_LEADER];
    ((char *)r->model)[0] = '\0';
    ((char *)r->leaderName)[0] = '\0';
    r->interruptStatus = 0;
    r->portIndex = 0;
    memcpy(r->keyName, name, nameLength + 1);
    return 1;
}

// Loads the port key called name into r, the sentinel. Returns the new
// sentinel when r became a port, r itself when the port was skipped.
static PortEntry *LoadPort(HKEY root, const char *name, PortEntry *r) {
    HKEY key;
    if (!OpenKey(root, name, KEY_QUERY_VALUE, "%s: %s", "cards/OpenKey/subkey", &key))
        return r;
    DWORD rooms[TEXT_COUNT];
    PortEntry *fresh = NULL;
    if (NewTextBlock(key, name, r, rooms) && ReadPort(key, name, r, rooms)) {
        fresh = (PortEntry *)calloc(1, sizeof *fresh);
        if (!fresh)
            ReportError("%s: %s", "New DosDevices", OutOfMemoryText(), NULL);
    }
    RegCloseKey(key);
    if (!fresh) {
        // Skipped: the sentinel keeps no text of the port.
        free(r->dosDevices);
        r->dosDevices = r->keyName = NULL;
        r->model = r->leaderName = NULL;
        return r;
    }
    r->isNew = 0;
    r->next = fresh;
    return fresh;
}

// Points every port at the first port its Leader value names, compared
// byte for byte; null when no loaded port has that name.
static void LinkLeaders(void) {
    for (PortEntry *s = &PortList; s->next; s = s->next) {
        s->leader = NULL;
        for (PortEntry *t = &PortList; t->next; t = t->next) {
            if (strcmp(t->keyName, s->leaderName) == 0) {
                s->leader = t;
                break;
            }
        }
    }
}

int listCards(void) {
    HKEY root;
    if (!OpenKey(HKEY_LOCAL_MACHINE, PORTS_ROOT, KEY_ENUMERATE_SUB_KEYS, "%s: %s",
                 "listCards/OpenKey", &root))
        return 0;
    PortEntry *r = &PortList;
    LONG status;
    for (DWORD index = 0;; index++) {
        char name[KEY_NAME_AREA];
        DWORD length = KEY_NAME_AREA;
        status = RegEnumKeyExA(root, index, name, &length, NULL, NULL, NULL, NULL);
        if (status != ERROR_SUCCESS)
            break;
        r = LoadPort(root, name, r);
    }
    // The end of the subkeys, or a failure that ends loading early.
    int loaded = status == ERROR_NO_MORE_ITEMS;
    if (!loaded)
        ReportStatus("%s: %s", "listCards/EnumKey", status);
    RegCloseKey(root);
    r->next = NULL;
    if (loaded)
        LinkLeaders();
    return loaded;
}
