// Writing a new card: one port key per port, each appended to the port
// list once all its values are written.
#include "store/portlist.h"
#include "store/registry.h"
#include "shell/format.h"

#include <stdlib.h>
#include <string.h>

#define MAX_PORTS 8
#define NAME_AREA 24 // "Serial%05d" and "COM%d" texts of any int

// What tells one writer's reports apart.
struct WriterTags {
    const char *rootFormat;
    const char *rootTag;
    const char *portTag;
    const char *serialTag;
    const char *shareTag;
};

static const WriterTags RsTags = {"%s:%s", "AddRsCard/RegOpenKeyEx", "xrs/CreateKey/SetValue/New",
                                  "xrs/OpenSerialKey", "xrs/SetValue/PermitShare"};
static const WriterTags LinxTags = {"%s: %s", "linx/OpenKey", "linx/CreateKey/SetValue/New",
                                    "linx/OpenSerialKey", "linx/SetValue/PermitShare"};
static const WriterTags MpbTags = {"%s: %s", "addMpb/OpenKey", "CreateKey/SetValue/New", NULL,
                                   NULL};

// The values of every port of the card being written.
struct CardValues {
    const CardModel *row;
    int firstCom;
    int interrupts[MAX_PORTS];
    int addresses[MAX_PORTS];
    int interruptStatus; // written with PortIndex when nonzero (free-address cards)
    const WriterTags *tags;
};

// Finds the first "Serial%05d" name from 10000 up that no port of the list
// has, and returns the sentinel, where the search ended. *number is where
// the search may start: every number below the one a card's previous port
// took is still taken, so the next port's search starts above it and finds
// the same name as a search from 10000 would.
static PortEntry *FreeKeyName(char *name, int *number) {
    for (int n = *number;; n++) {
        FormatText(name, NAME_AREA, "Serial%05d", n);
        PortEntry *e = &PortList;
        while (e->next && strcmp(e->keyName, name) != 0)
            e = e->next;
        if (!e->next) {
            *number = n + 1;
            return e;
        }
    }
}

static LONG SetText(HKEY key, const char *name, const char *text) {
    return RegSetValueExA(key, name, 0, REG_SZ, (const BYTE *)text, (DWORD)strlen(text) + 1);
}

static LONG SetNumber(HKEY key, const char *name, int number) {
    DWORD value = (DWORD)number;
    return RegSetValueExA(key, name, 0, REG_DWORD, (const BYTE *)&value, sizeof value);
}

// Gives the sentinel r the texts and values of port i of the card whose
// first port is first.
static LONG FillRecord(PortEntry *r, PortEntry *first, const CardValues *card, int i,
                       const char *name) {
    char com[NAME_AREA];
    FormatText(com, sizeof com, "COM%d", card->firstCom + i);
    size_t comLength = strlen(com), nameLength = strlen(name);
    char *block = (char *)malloc(comLength + nameLength + 2);
    r->dosDevices = block;
    if (!block)
        return ERROR_NOT_ENOUGH_MEMORY;
    memcpy(block, com, comLength + 1);
    memcpy(block + comLength + 1, name, nameLength + 1);
    r->keyName = block + comLength + 1;
    r->model = card->row->name;
    r->leader = first;
    r->leaderName = first->keyName;
    r->interrupt = card->interrupts[i];
    r->portAddress = card->addresses[i];
    r->interruptStatus = card->interruptStatus;
    r->portIndex = card->interruptStatus ? i + 1 : 0;
    r->isNew = 1;
    return ERROR_SUCCESS;
}

static LONG WriteValues(HKEY key, const PortEntry *r) {
    LONG status = SetText(key, "Model", r->model);
    if (status == ERROR_SUCCESS)
        status = SetText(key, "Leader", r->leaderName);
    if (status == ERROR_SUCCESS)
        status = SetText(key, "DosDevices", r->dosDevices);
    if (status == ERROR_SUCCESS)
        status = SetNumber(key, "Interrupt", r->interrupt);
    if (status == ERROR_SUCCESS)
        status = SetNumber(key, "PortAddress", r->portAddress);
    if (status == ERROR_SUCCESS && r->interruptStatus) {
        status = SetNumber(key, "InterruptStatus", r->interruptStatus);
        if (status == ERROR_SUCCESS)
            status = SetNumber(key, "PortIndex", r->portIndex);
    }
    return status;
}

// A letter of a key name in upper case: the registry ignores the case of
// letters in key names.
static char KeyLetter(char c) {
    return c >= 'a' && c <= 'z' ? (char)(c - 'a' + 'A') : c;
}

// Whether a port of the list has the key that name opens.
static int Listed(const char *name) {
    for (const PortEntry *e = &PortList; e->next; e = e->next) {
        const char *a = e->keyName, *b = name;
        while (*a && KeyLetter(*a) == KeyLetter(*b))
            a++, b++;
        if (KeyLetter(*a) == KeyLetter(*b))
            return 1;
    }
    return 0;
}

// Creates the key of the next free name and returns the sentinel in *r. A
// key that is already there without being one of the list's was written by
// someone else since loading (another copy of the program, an import, the
// registry editor): a key that the loader would skip is reused, any other
// is left as it is and the next free name tried.
static LONG CreatePortKey(HKEY root, char *name, int *number, PortEntry **r, HKEY *key) {
    for (;;) {
        *r = FreeKeyName(name, number);
        DWORD disposition;
        LONG status = RegCreateKeyExA(root, name, 0, (LPSTR) "", REG_OPTION_NON_VOLATILE,
                                      KEY_ALL_ACCESS, NULL, key, &disposition);
        if (status != ERROR_SUCCESS || disposition != REG_OPENED_EXISTING_KEY || Listed(name) ||
            PortKeyState(*key) == PORT_KEY_BROKEN)
            return status;
        RegCloseKey(*key);
    }
}

// Writes port i into a new (or reused) subkey and appends it to the list.
// first is the card's first port, null for port 0; number is where the
// search for its key name starts. Returns the status of
// the call that failed, and the port then stays out of the list.
static LONG WritePort(HKEY root, const CardValues *card, int i, PortEntry **first, int *number) {
    char name[NAME_AREA];
    PortEntry *r;
    HKEY key;
    LONG status = CreatePortKey(root, name, number, &r, &key);
    if (status != ERROR_SUCCESS)
        return status;
    if (i == 0)
        *first = r;
    status = FillRecord(r, *first, card, i, name);
    if (status == ERROR_SUCCESS)
        status = WriteValues(key, r);
    RegCloseKey(key);
    PortEntry *fresh = NULL;
    if (status == ERROR_SUCCESS) {
        fresh = (PortEntry *)calloc(1, sizeof *fresh);
        if (!fresh)
            status = ERROR_NOT_ENOUGH_MEMORY;
    }
    if (status != ERROR_SUCCESS) {
        // r stays the sentinel and keeps none of the port's text.
        free(r->dosDevices);
        r->dosDevices = r->keyName = NULL;
        return status;
    }
    r->next = fresh;
    return ERROR_SUCCESS;
}

static int WriteCard(const CardValues *card) {
    HKEY root;
    if (!OpenKey(HKEY_LOCAL_MACHINE, PORTS_ROOT, KEY_CREATE_SUB_KEY, card->tags->rootFormat,
                 card->tags->rootTag, &root))
        return 0;
    PortEntry *first = NULL;
    int number = 10000; // where the search for a free key name starts
    LONG status = ERROR_SUCCESS;
    for (int i = 0; i < card->row->portCount && i < MAX_PORTS && status == ERROR_SUCCESS; i++)
        status = WritePort(root, card, i, &first, &number);
    RegCloseKey(root);
    if (status != ERROR_SUCCESS) {
        ReportStatus("%s: %s", card->tags->portTag, status);
        return 0;
    }
    return 1;
}

static int SetPermitShare(const WriterTags *tags) {
    HKEY serial;
    if (!OpenKey(HKEY_LOCAL_MACHINE, SERIAL_KEY, KEY_SET_VALUE, "%s: %s", tags->serialTag, &serial))
        return 0;
    LONG status = SetNumber(serial, "PermitShare", 1);
    RegCloseKey(serial);
    if (status != ERROR_SUCCESS) {
        ReportStatus("%s: %s", tags->shareTag, status);
        return 0;
    }
    return 1;
}

// A jumper-strap card needs sharing when a port is on IRQ 3 or 4, which
// the standard COM ports use, or when two of its ports share an IRQ.
static int RsNeedsSharing(const int *interrupts, int portCount) {
    for (int i = 0; i < portCount; i++) {
        if (interrupts[i] == 3 || interrupts[i] == 4)
            return 1;
        for (int j = 0; j < portCount; j++)
            if (j != i && interrupts[j] == interrupts[i])
                return 1;
    }
    return 0;
}

static void CopyPorts(CardValues *card, const int *interrupts, const int *addresses) {
    for (int i = 0; i < card->row->portCount && i < MAX_PORTS; i++) {
        card->interrupts[i] = interrupts[i];
        card->addresses[i] = addresses[i];
    }
}

int AddRsCard(const CardModel *row, int firstCom, const int *interrupts, const int *addresses) {
    CardValues card = {row, firstCom, {0}, {0}, 0, &RsTags};
    CopyPorts(&card, interrupts, addresses);
    int share = RsNeedsSharing(interrupts, row->portCount);
    if (!WriteCard(&card))
        return 0;
    return share ? SetPermitShare(&RsTags) : 1;
}

int AddLinxCard(const CardModel *row, int firstCom, const int *interrupts, const int *addresses) {
    CardValues card = {row, firstCom, {0}, {0}, 0, &LinxTags};
    CopyPorts(&card, interrupts, addresses);
    if (!WriteCard(&card))
        return 0;
    return SetPermitShare(&LinxTags);
}

int addMpb(const CardModel *row, int firstCom, int base, int interrupt) {
    CardValues card = {row, firstCom, {0}, {0}, base + 7, &MpbTags};
    for (int i = 0; i < row->portCount && i < MAX_PORTS; i++) {
        card.interrupts[i] = interrupt;
        card.addresses[i] = base + 8 * i;
    }
    return WriteCard(&card);
}
