// The configured ports: the in-memory mirror of the serial driver's port
// keys, loaded once, changed only by the writers and the removal.
#ifndef CARDINST_STORE_PORTLIST_H
#define CARDINST_STORE_PORTLIST_H

#include "catalogue/catalogue.h"

#include <windows.h>

#define PORTS_ROOT "SYSTEM\\CurrentControlSet\\Services\\Serial\\Parameters"
#define SERIAL_KEY "SYSTEM\\CurrentControlSet\\Services\\Serial"

// One port subkey. A record is a port when its next is not null; the list
// ends in a sentinel whose next is null.
struct PortEntry {
    PortEntry *next;
    PortEntry *leader; // first port of the card; itself for that port; null: no card
    char *keyName;
    const char *model;
    const char *leaderName;
    char *dosDevices; // also the start of the record's own text block
    int interrupt;
    int portAddress;
    int interruptStatus;
    int portIndex;
    int isNew; // written during this run
};

// The head record; every other record is on the heap.
extern PortEntry PortList;

int listCards(void);

int AddRsCard(const CardModel *row, int firstCom, const int *interrupts, const int *addresses);
int AddLinxCard(const CardModel *row, int firstCom, const int *interrupts, const int *addresses);
int addMpb(const CardModel *row, int firstCom, int base, int interrupt);

int RemoveCard(PortEntry *card);

int CheckDuplicateNames(void);
int CheckSharedIrqs(void);
int CheckDuplicateAddresses(void);
void ShowIrqReminder(void);

const char *SuggestFirstCom(const CardModel *model);

#endif
