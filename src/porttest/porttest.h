// The loopback test of every port of one card.
#ifndef CARDINST_PORTTEST_PORTTEST_H
#define CARDINST_PORTTEST_PORTTEST_H

#include "store/portlist.h"

#define RESULTS_AREA 5000 // the results text, NUL included; longer results are cut

int TestCard(PortEntry *card);

#endif
