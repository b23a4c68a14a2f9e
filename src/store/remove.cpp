// Removing a card: its port keys from the registry, its records from the
// port list.
#include "store/portlist.h"
#include "store/registry.h"
#include "shell/app.h"
#include "shell/report.h"
#include "resource.h"

#include <stdlib.h>

static void DeletePortKey(HKEY root, const char *keyName) {
    LONG status = RegDeleteKeyA(root, keyName);
    if (status != ERROR_SUCCESS) {
        SetLastError((DWORD)status);
        ReportError(Text(IDS_DELETE_FAILED), SystemErrorText(), keyName, NULL);
    }
}

// A Leader value may name a port that is not a card's first port, so a
// port may lead others outside the card being removed: once that port is
// released they belong to no card, as if their Leader named no loaded port.
static void ForgetLeader(const PortEntry *gone) {
    for (PortEntry *e = &PortList; e->next; e = e->next)
        if (e->leader == gone)
            e->leader = NULL;
}

// The head is static: it is emptied by moving the next record into it.
static void RemoveHead(HKEY root) {
    DeletePortKey(root, PortList.keyName);
    ForgetLeader(&PortList);
    free(PortList.dosDevices);
    PortEntry *s = PortList.next;
    PortList = *s; // the head now owns s's text block
    for (PortEntry *e = &PortList; e->next; e = e->next)
        if (e->leader == s)
            e->leader = &PortList;
    free(s);
}

int RemoveCard(PortEntry *card) {
    HKEY root;
    if (!OpenKey(HKEY_LOCAL_MACHINE, PORTS_ROOT, KEY_CREATE_SUB_KEY, "%s: %s", "Delete/OpenKey",
                 &root))
        return 0;
    // A head that belongs to the card goes last, whether it is the card's
    // first port or a port listed before it: no record may be left leading
    // to a released one.
    int removeHead = PortList.next && PortList.leader == card;
    PortEntry *previous = &PortList;
    PortEntry *current = PortList.next;
    while (current && current->next) {
        if (current->leader == card) {
            DeletePortKey(root, current->keyName);
            previous->next = current->next;
            // The card's own ports are recognised by card itself until the
            // walk ends; only the others that a released port leads lose it.
            if (current != card)
                ForgetLeader(current);
            free(current->dosDevices);
            free(current);
        } else {
            previous = current;
        }
        current = previous->next;
    }
    if (removeHead)
        RemoveHead(root);
    RegCloseKey(root);
    return 1;
}
