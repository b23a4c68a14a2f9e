// The same-calls floor: the registry calls that loading the port list makes
// for every port key, in the same order and with the same arguments, then
// one line per card in the list box. Nothing else: no string table, no
// checks beyond what picks the lines, the list box's handle fetched once.
#include "floor.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define PORTS_ROOT "SYSTEM\\CurrentControlSet\\Services\\Serial\\Parameters"
#define KEY_NAME_AREA 30
#define LINE_AREA 100

struct Port {
    char keyName[KEY_NAME_AREA];
    char *dosDevices, *model, *leader; // in one block per port
    DWORD interrupt, portAddress, interruptStatus, portIndex;
};

static Port *Ports;
static int PortCount, PortRoom;

static const char *const TextNames[3] = {"DosDevices", "Model", "Leader"};

// One value into room; false when the port is to be left out: a mandatory
// value missing, or any value of the wrong type.
static bool Read(HKEY key, const char *name, DWORD expected, void *room, DWORD size,
                 bool mandatory) {
    DWORD type = REG_NONE;
    LONG status = RegQueryValueExA(key, name, NULL, &type, (LPBYTE)room, &size);
    if (status != ERROR_SUCCESS)
        return !mandatory;
    if (expected == REG_SZ)
        ((char *)room)[size] = '\0';
    return type == expected;
}

static void ReadPort(HKEY root, const char *name) {
    HKEY key;
    if (RegOpenKeyExA(root, name, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return;
    DWORD sizes[3];
    size_t total = 0;
    for (int i = 0; i < 3; i++) {
        sizes[i] = 0;
        RegQueryValueExA(key, TextNames[i], NULL, NULL, NULL, &sizes[i]);
        if (sizes[i] == 0)
            sizes[i] = 1;
        total += sizes[i] + 1;
    }
    if (PortCount == PortRoom) {
        Port *more = (Port *)realloc(Ports, (PortRoom ? 2 * PortRoom : 64) * sizeof *Ports);
        if (!more) {
            RegCloseKey(key);
            return;
        }
        Ports = more;
        PortRoom = PortRoom ? 2 * PortRoom : 64;
    }
    Port *p = &Ports[PortCount];
    char *block = (char *)malloc(total);
    if (!block) {
        RegCloseKey(key);
        return;
    }
    p->dosDevices = block;
    p->model = block + sizes[0] + 1;
    p->leader = p->model + sizes[1] + 1;
    p->model[0] = p->leader[0] = '\0';
    p->interruptStatus = p->portIndex = 0;
    strcpy(p->keyName, name);
    bool kept = Read(key, "DosDevices", REG_SZ, p->dosDevices, sizes[0], true) &&
                Read(key, "Interrupt", REG_DWORD, &p->interrupt, 4, true) &&
                Read(key, "PortAddress", REG_DWORD, &p->portAddress, 4, true) &&
                Read(key, "InterruptStatus", REG_DWORD, &p->interruptStatus, 4, false) &&
                Read(key, "PortIndex", REG_DWORD, &p->portIndex, 4, false) &&
                Read(key, "Model", REG_SZ, p->model, sizes[1], false) &&
                Read(key, "Leader", REG_SZ, p->leader, sizes[2], false);
    RegCloseKey(key);
    if (kept)
        PortCount++;
    else
        free(block);
}

static void LoadPorts(void) {
    HKEY root;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, PORTS_ROOT, 0, KEY_ENUMERATE_SUB_KEYS, &root) !=
        ERROR_SUCCESS)
        return;
    for (DWORD index = 0;; index++) {
        char name[KEY_NAME_AREA];
        DWORD length = KEY_NAME_AREA;
        if (RegEnumKeyExA(root, index, name, &length, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        ReadPort(root, name);
    }
    RegCloseKey(root);
}

// A card's line stands for its first port: the port whose Leader names
// itself, when it has a model.
void FloorInit(HWND dialog) {
    LoadPorts();
    HWND list = GetDlgItem(dialog, FLOOR_LIST);
    for (int i = 0; i < PortCount; i++) {
        const Port *p = &Ports[i];
        if (p->model[0] == '\0' || strcmp(p->leader, p->keyName) != 0)
            continue;
        // Formatted by msvcrt, as cardinst formats its lines.
        char line[LINE_AREA];
        _snprintf(line, sizeof line - 1, "%s: %s, base %xH, IRQ%d", p->dosDevices, p->model,
                  (unsigned)p->portAddress, (int)p->interrupt);
        line[sizeof line - 1] = '\0';
        LRESULT position = SendMessageA(list, LB_ADDSTRING, 0, (LPARAM)line);
        SendMessageA(list, LB_SETITEMDATA, (WPARAM)position, (LPARAM)p);
    }
}
