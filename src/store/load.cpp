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

// The values of a port key in the order they are read, with the type each
// must have; a port without one of the mandatory ones is skipped.
struct PortValue {
    const char *name;
    DWORD type;
    int mandatory;
};
enum { VALUE_COUNT = 7, TEXT_COUNT = 3 };
static const PortValue PortValues[VALUE_COUNT] = {
    {"DosDevices", REG_SZ, 1},     {"Interrupt", REG_DWORD, 1},
    {"PortAddress", REG_DWORD, 1}, {"InterruptStatus", REG_DWORD, 0},
    {"PortIndex", REG_DWORD, 0},   {"Model", REG_SZ, 0},
    {"Leader", REG_SZ, 0}};

// Outcome of one value read.
enum { READ_OK, READ_ABSENT, READ_SKIP };

// What a read that returned status and type means for the port: a value
// that cannot be read skips the port when it is mandatory; a value of the
// wrong type always does.
static int ValueOutcome(const PortValue *v, LONG status, DWORD type) {
    if (status != ERROR_SUCCESS)
        return v->mandatory ? READ_SKIP : READ_ABSENT;
    return type == v->type ? READ_OK : READ_SKIP;
}

// Reads one value into room of size bytes. A mandatory value that cannot
// be read is reported; a value of the wrong type skips the port silently.
static int ReadValue(HKEY key, const char *keyName, const PortValue *v, void *room, DWORD size,
                     DWORD *count) {
    DWORD type = REG_NONE;
    *count = size;
    LONG status = RegQueryValueExA(key, v->name, NULL, &type, (LPBYTE)room, count);
    int outcome = ValueOutcome(v, status, type);
    if (status != ERROR_SUCCESS) {
        *count = 0;
        if (outcome == READ_SKIP) {
            SetLastError((DWORD)status);
            ReportError(Text(IDS_READ_MANDATORY), v->name, keyName, SystemErrorText());
        }
    }
    return outcome;
}

// Reads the seven values of an open port key into r, each text into its
// room. Returns 0 when the port is to be skipped.
static int ReadPort(HKEY key, const char *keyName, PortEntry *r, const DWORD *rooms) {
    char *texts[TEXT_COUNT] = {r->dosDevices, (char *)r->model, (char *)r->leaderName};
    int *numbers[] = {&r->interrupt, &r->portAddress, &r->interruptStatus, &r->portIndex};
    int text = 0, number = 0;
    for (const PortValue *v = PortValues; v < PortValues + VALUE_COUNT; v++) {
        DWORD count, value = 0;
        int outcome;
        if (v->type == REG_SZ) {
            // Each room has one byte more than the value's size, so a text
            // stored without its NUL still ends in one here.
            char *room = texts[text];
            outcome = ReadValue(key, keyName, v, room, rooms[text++] - 1, &count);
            room[outcome == READ_OK ? count : 0] = '\0';
        } else {
            outcome = ReadValue(key, keyName, v, &value, sizeof value, &count);
            *numbers[number++] = outcome == READ_OK ? (int)value : 0;
        }
        if (outcome == READ_SKIP)
            return 0;
    }
    return 1;
}

int PortKeyState(HKEY key) {
    for (const PortValue *v = PortValues; v < PortValues + VALUE_COUNT; v++) {
        // A text's size, as the loader first asks it; a number whole.
        DWORD type = REG_NONE, value, size = sizeof value;
        LPBYTE room = v->type == REG_SZ ? NULL : (LPBYTE)&value;
        LONG status = RegQueryValueExA(key, v->name, NULL, &type, room, &size);
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND && status != ERROR_MORE_DATA)
            return PORT_KEY_UNREADABLE;
        if (ValueOutcome(v, status, type) == READ_SKIP)
            return PORT_KEY_BROKEN;
    }
    return PORT_KEY_LIVE;
}

// Gives the sentinel r one text block with room for the texts the key
// holds and for its name, and places the texts in it, empty for now.
// Returns 0 after reporting that the block could not be allocated.
static int NewTextBlock(HKEY key, const char *name, PortEntry *r, DWORD *rooms) {
    // An absent value counts as one byte; every text gets one more byte
    // for a NUL of our own.
    size_t nameLength = strlen(name);
    size_t blockSize = nameLength + 1;
    int text = 0;
    for (const PortValue *v = PortValues; v < PortValues + VALUE_COUNT; v++) {
        if (v->type != REG_SZ)
            continue;
        DWORD size = 0;
        RegQueryValueExA(key, v->name, NULL, NULL, NULL, &size);
        rooms[text] = (size ? size : 1) + 1;
        blockSize += rooms[text++];
    }
    char *block = (char *)malloc(blockSize);
    r->dosDevices = block;
    if (!block) {
        ReportError("%s: %s", "New DosDevices", OutOfMemoryText(), NULL);
        return 0;
    }
    r->model = block + rooms[0];
    r->leaderName = r->model + rooms[1];
    r->keyName = (char *)r->leaderName + rooms[2];
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
