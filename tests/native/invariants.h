// The reference checks of the fault sweep and the fuzzer: what must hold of
// the program's state whatever it met on the way (the port list and its
// mirror in the registry, the main window's card list, the handles left open
// and the boxes shown) and what each command must leave, against the state
// before it. Each check returns its problems, one per line, or "" when all
// holds.
#ifndef CARDINST_TESTS_INVARIANTS_H
#define CARDINST_TESTS_INVARIANTS_H

#include "helpers.h"

#include <map>
#include <set>
#include <string>
#include <vector>

// ---- What must always hold

// A port key as the loader reads it: whether it lists it, the report it
// shows when it skips it with one, and the fields it fills. The values are
// read in this order: DosDevices, Interrupt and PortAddress, which must be
// there and fit, then InterruptStatus, PortIndex, Model and Leader; any that
// is read must have its type, a number too long to read counts as absent,
// and a text reads up to its first NUL. `lenient`: a read that failed may
// have hidden an optional value of another type, read as absent.
struct Reading {
    bool listed = true;
    std::string report;
    std::string texts[3];          // DosDevices, Model, Leader
    int numbers[4] = {0, 0, 0, 0}; // Interrupt, PortAddress, InterruptStatus, PortIndex
};
Reading ReadAsLoader(const std::string &name, bool lenient = false);

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
};

// Adds to rules->shared the names that two ports of the list now share.
void NoteSharedKeys(MirrorRules *rules);

// The chain ends in a sentinel, every port has its texts, no two ports have
// one key name, and every leader is null or a port of the list named by the
// port's Leader text.
std::string ListProblems();
// Every port's key exists, and a loaded port's holds the values it was read
// from (a written port's is checked as it is written: CommandProblems).
std::string MirrorProblems(const MirrorRules &rules);
// While the main window lives, it shows one line per first port with a
// model, string 12 filled with that port's name, model, address and
// interrupt and cut to 99 bytes, and each line's data is that port.
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

// ---- What a command must leave

// A port as the list held it; its texts stay where they were.
struct PortCopy {
    explicit PortCopy(const PortEntry *e);
    const PortEntry *record;
    std::string keyName, leader; // leader: the key name of the port's leader, or ""
    const char *dosDevices, *model, *leaderName;
    int interrupt, portAddress, interruptStatus, portIndex, isNew;
};

// What the entries of a properties dialog ask its writer to write, from the
// catalogue row and what the dialog shows as Add is pressed.
struct CardWish {
    const CardModel *row = nullptr; // none: nothing must be written
    std::vector<std::string> coms;
    std::vector<int> interrupts, addresses;
    int interruptStatus = 0; // free-address cards: base + 7 (then PortIndex i too)
    bool permitShare = false;
    bool inRange = false; // entries that the dialog may accept
};
void ReadWish(HWND dialog, const CardModel *row, CardWish *wish);

// The setting the loopback test must give a port set up as `own` while it
// sends and reads: 9600 bits/s, 8 data bits, no parity, one stop bit,
// binary, no flow control, DTR and RTS on, no error or null character
// handling, no abort on error, the rest as the port had it; reads and
// writes end after 300 ms whatever their length, the read interval as the
// port had it.
sim::CommSetting TestSetting(const sim::PortState &own);
bool SameSetting(const sim::CommSetting &a, const sim::CommSetting &b);

// One command of the user's, "add", "remove", "test" or another, and the
// state before it with what the command may change.
struct Command {
    std::string verb;
    std::string cardKey;               // remove, test: the chosen card's first key; "": none
    std::set<std::string> cardDevices; // test: the ports of that card, unless it is new
    CardWish wish;                     // add: what the properties dialog asked for
    std::vector<PortCopy> ports;
    unsigned registryChanges;
    size_t calls, subkeys;                                  // fallible calls; ports root's keys
    std::map<std::string, sim::PortState> lines;            // the serial ports, by name
    std::vector<sim::RegValue> permitShare;                 // the Serial key's value, or none
    std::map<std::string, std::vector<sim::RegValue>> keys; // those a writer will name
    std::set<std::string> live; // of those, keys added since loading that the loader would list
};
// Before a command on the card whose first port is `card` (may be null).
Command BeginCommand(const std::string &verb, const PortEntry *card);
// After the command, with the call numbered `failAt` made to fail (0:
// none). After an add, the ports written are the card's first ones in
// order, under the smallest free Serial%05d names, with what the entries
// ask in the list and in their keys, whose other values stay (a key that
// another writer added since loading is passed over and left as it is when
// the loader would list it); the other
// ports are as they were, and PermitShare is set when the writer's rule
// asks for it and the whole card was written. After Remove, exactly the
// card's ports left the list and their keys are gone (but one that a
// failure may keep), the ports they led lead no more, and nothing else
// changed. After Test, the ports of the card sent and read with the test's
// setting only, and have their line settings and time-outs back (but one whose restoring a failure
// stopped), and no other port was opened. A failing call may stop any of them early. Adds to
// rules->shared the loaded ports whose key a writer reached under another
// spelling.
std::string CommandProblems(const Command &c, size_t failAt, MirrorRules *rules);

#endif
