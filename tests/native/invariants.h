// What must hold of the program's state whatever it met on the way: the
// port list and its mirror in the registry, the main window's card list, the
// handles left open and the boxes shown. Shared by the fault sweep and the
// fuzzer; each check returns its problems, one per line, or "" when all holds.
#ifndef CARDINST_TESTS_INVARIANTS_H
#define CARDINST_TESTS_INVARIANTS_H

#include "simtest.h"

#include <set>
#include <string>

// Releases the port list and puts its head back to its state at start.
void ReleasePortList();
// Releases what the program built (port list, string table) and puts its
// globals back to their state at process start.
void ResetProgram();
// ResetProgram, then the blocks that the program allocated since the
// stand-in's Reset() and that are still allocated: leaks.
std::string ReleaseProgram();

// How closely the records must mirror their port keys.
struct MirrorRules {
    // A failed read of an optional value leaves its field at the default (0
    // or the empty text) whatever the key holds: allowed once a call was
    // made to fail.
    bool defaultsAllowed = false;
    // Key names, in upper case, that two records have named at some time.
    // Names are compared byte for byte, so a card written after loading a
    // key named in other letter case reuses that key: from then on the
    // older record no longer mirrors it, and removing either card deletes
    // the key of both.
    std::set<std::string> shared;
    size_t callsSeen = 0; // the fallible calls NoteSharedKeys has looked at
};

// Adds to rules->shared the names that two ports of the list now share, and
// those of ports whose key a writer opened under another spelling.
void NoteSharedKeys(MirrorRules *rules);

// The chain ends in a sentinel, every port has its texts, no two ports have
// one key name, and every leader is null or a port of the list named by the
// port's Leader text.
std::string ListProblems();
// Every port's key exists and holds what the record says: a loaded port the
// values it was read from, a written port the values written.
std::string MirrorProblems(const MirrorRules &rules);
// While the main window lives, its list shows one line per first port with
// a model, and each line's data is that port.
std::string CardListProblems();
// No registry key or port left open, at most the one system text kept.
std::string HandleProblems();
// All four.
std::string ProgramProblems(const MirrorRules &rules);

// What a box must be as it opens: a report (caption string 1, warning icon)
// is owned by the main window as it stands then (none while it is being
// created), every other box has no owner, and no report reads the system's
// text for success (but the one that reports the last error as it stands
// after CB_SETCURSEL failed, which may be anything).
std::string BoxProblems(const sim::Box &box);

#endif
