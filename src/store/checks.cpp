// Checks of the whole configuration when the user quits: conflicts between
// ports, and the interrupts to reserve for the ISA bus.
#include "store/portlist.h"
#include "shell/app.h"
#include "shell/format.h"
#include "resource.h"

#include <string.h>

#define CONFLICT_AREA 200 // a longer message is cut
// ", IRQ%d" for all sixteen IRQs and the NUL: the reminder always names
// every interrupt in use.
#define IRQ_LIST_AREA 128
#define REMINDER_AREA 560

enum Check { SAME_NAME, SHARED_IRQ, SAME_ADDRESS };

static int Conflicts(int check, const PortEntry *p, const PortEntry *q) {
    switch (check) {
    case SAME_NAME:
        return strcmp(p->dosDevices, q->dosDevices) == 0;
    case SHARED_IRQ:
        return p->interrupt == q->interrupt && p->leader != q->leader;
    default:
        return p->portAddress == q->portAddress;
    }
}

static void ShowConflict(int check, const PortEntry *p, const PortEntry *q) {
    char message[CONFLICT_AREA];
    UINT icon = MB_ICONERROR;
    switch (check) {
    case SAME_NAME:
        FormatText(message, sizeof message, Text(IDS_DUP_NAME), p->dosDevices, p->keyName,
                   q->keyName);
        break;
    case SHARED_IRQ:
        FormatText(message, sizeof message, Text(IDS_SHARED_IRQ), p->interrupt, p->dosDevices,
                   q->dosDevices);
        icon = MB_ICONWARNING;
        break;
    default:
        FormatText(message, sizeof message, Text(IDS_DUP_ADDRESS), (unsigned)p->portAddress,
                   p->dosDevices, q->dosDevices);
        break;
    }
    MessageBoxA(NULL, message, Text(IDS_CONFLICT), MB_OK | icon);
}

// Tests every pair of ports once, the earlier one first, and shows each
// conflict as it is found. Returns 1 when none was found.
static int CheckPairs(int check) {
    int clean = 1;
    for (const PortEntry *p = &PortList; p->next; p = p->next) {
        for (const PortEntry *q = p->next; q->next; q = q->next) {
            if (Conflicts(check, p, q)) {
                ShowConflict(check, p, q);
                clean = 0;
            }
        }
    }
    return clean;
}

int CheckDuplicateNames(void) {
    return CheckPairs(SAME_NAME);
}

int CheckSharedIrqs(void) {
    return CheckPairs(SHARED_IRQ);
}

int CheckDuplicateAddresses(void) {
    return CheckPairs(SAME_ADDRESS);
}

void ShowIrqReminder(void) {
    char list[IRQ_LIST_AREA];
    size_t used = 0;
    list[0] = '\0';
    for (int irq = 0; irq <= 15; irq++) {
        for (const PortEntry *e = &PortList; e->next; e = e->next) {
            if (e->interrupt == irq) {
                FormatText(list + used, sizeof list - used, ", IRQ%d", irq);
                used += strlen(list + used);
                break;
            }
        }
    }
    if (used == 0)
        return;
    char message[REMINDER_AREA];
    FormatText(message, sizeof message, Text(IDS_IRQ_REMINDER), list + 2);
    MessageBoxA(NULL, message, Text(IDS_ISA_CAPTION), MB_OK | MB_ICONINFORMATION);
}
