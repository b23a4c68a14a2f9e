// What the native tests, the fault sweep, the fuzzer and the benchmarks
// share: names and texts as the tests spell them, seeding port keys, and
// putting the program back to its state at process start.
#ifndef CARDINST_TESTS_HELPERS_H
#define CARDINST_TESTS_HELPERS_H

#include "catalogue/catalogue.h"
#include "simtest.h"
#include "store/portlist.h"

#include <string>
#include <vector>

// A text of the registry as a problem shows it: at most its first 60 bytes.
std::string Shown(const std::string &text);
std::string Upper(std::string text);
// The registry path of the port key `name`.
std::string PortKey(const std::string &name);
// The ports of the list in list order.
std::vector<PortEntry *> Ports();
// The catalogue row of a model name, or null.
const CardModel *Row(const char *name);
// A Box as one readable line: "[caption|icon|owned or ownerless] text".
std::string Describe(const sim::Box &box);
// The system's text for an error code, without its line end.
std::string SystemText(DWORD code);
// The context tags of a writer's reports: the ports root's (with the format
// of its report), a port's, the Serial key's and PermitShare's (none for
// the free-address cards).
struct WriterTags {
    const char *rootFormat, *root, *port, *serial, *share;
};
WriterTags WriterTagsOf(const CardModel *row);

// Seeds a port key; an empty model or leader is left out of the key.
void SeedPort(const std::string &name, const std::string &com, DWORD irq, DWORD address,
              const std::string &model, const std::string &leader);
// A card of consecutive keys from Serial<firstKey> and COM numbers, Leader
// naming the first; with a status register its ports also hold
// InterruptStatus and PortIndex, as free-address cards do.
void SeedCard(int firstKey, const std::string &model, int firstCom, DWORD irq,
              const std::vector<DWORD> &addresses, DWORD status = 0);

// Releases the port list and puts its head back to its state at start.
void ReleasePortList();
// Releases what the program built (port list, string table) and puts its
// globals back to their state at process start.
void ResetProgram();
// ResetProgram, then the blocks that the program allocated since the
// stand-in's Reset() and that are still allocated: leaks.
std::string ReleaseProgram();

#endif
