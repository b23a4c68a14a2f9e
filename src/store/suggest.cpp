// The first COM number proposed for a new card.
#include "store/portlist.h"
#include "shell/format.h"

#include <stdlib.h>
#include <string.h>

// The smallest m >= 3 such that none of COMm to COM(m + ports - 1) is the
// name of a port in the list. Names not starting with "COM" are ignored.
const char *SuggestFirstCom(const CardModel *model) {
    static char suggestion[16];
    long ports = model->portCount;
    long m = 3;
    const PortEntry *e = &PortList;
    while (e->next) {
        if (strncmp(e->dosDevices, "COM", 3) == 0) {
            long k = strtol(e->dosDevices + 3, NULL, 10);
            if (m <= k && k < m + ports) {
                m = k + 1;
                e = &PortList;
                continue;
            }
        }
        e = e->next;
    }
    FormatText(suggestion, sizeof suggestion, "%ld", m);
    return suggestion;
}
