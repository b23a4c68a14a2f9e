// What must hold of the program's state whatever it met on the way.
#include "invariants.h"

#include "catalogue/catalogue.h"
#include "dialogs/dialogs.h"
#include "resource.h"
#include "shell/app.h"
#include "store/portlist.h"

#include <ctype.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

// No list of these tests comes near this many ports: a longer walk has met
// a loop.
#define WALK_LIMIT 100000

void ResetProgram() {
    PortEntry *e = PortList.next;
    while (e) {
        PortEntry *next = e->next;
        free(e->dosDevices);
        free(e);
        e = next;
    }
    if (PortList.next)
        free(PortList.dosDevices);
    PortList = PortEntry();
    if (StringTable) {
        free(StringTable[1]);
        free(StringTable);
        StringTable = NULL;
    }
    FirstInit = 1;
    MainWindow = NULL;
    AppInstance = NULL;
}

namespace {

std::string Upper(std::string text) {
    for (char &c : text)
        c = (char)toupper((unsigned char)c);
    return text;
}

// The ports of the list, or none when the chain does not end.
std::vector<PortEntry *> Ports(std::string *problems) {
    std::vector<PortEntry *> ports;
    for (PortEntry *e = &PortList; e->next; e = e->next) {
        if (ports.size() == WALK_LIMIT) {
            *problems += "the port list does not end in a sentinel\n";
            return std::vector<PortEntry *>();
        }
        ports.push_back(e);
    }
    return ports;
}

std::string KeyOf(const PortEntry *e) {
    return std::string(PORTS_ROOT) + "\\" + e->keyName;
}

// A number as the loader reads it: a REG_DWORD of at most four bytes, low
// byte first; anything longer does not fit and reads as absent.
bool Number(const std::string &key, const char *name, int *value) {
    std::string bytes = sim::RegValueBytes(key, name);
    if (sim::RegValueType(key, name) != REG_DWORD || bytes.size() > 4)
        return false;
    DWORD number = 0;
    memcpy(&number, bytes.data(), bytes.size());
    *value = (int)number;
    return true;
}

void Expect(std::string *problems, bool holds, const PortEntry *e, const std::string &what) {
    if (!holds)
        *problems += std::string(e->keyName) + ": " + what + "\n";
}

void ExpectNumber(std::string *problems, const PortEntry *e, const char *name, int field,
                  bool optional, bool defaultAllowed) {
    std::string key = KeyOf(e);
    int value = 0;
    bool present = Number(key, name, &value);
    bool holds =
        present ? field == value || (defaultAllowed && field == 0) : optional && field == 0;
    Expect(problems, holds, e,
           std::string(name) + " is " + std::to_string(field) + " in the list, " +
               (present ? std::to_string(value) : "not a number") + " in the registry");
}

void ExpectText(std::string *problems, const PortEntry *e, const char *name, const char *field,
                bool defaultAllowed) {
    std::string value = sim::RegSz(KeyOf(e), name);
    bool holds = value == field || (defaultAllowed && field[0] == '\0');
    Expect(problems, holds, e,
           std::string(name) + " is \"" + field + "\" in the list, \"" + value +
               "\" in the registry");
}

void MirrorLoaded(std::string *problems, const PortEntry *e, bool defaults) {
    std::string key = KeyOf(e);
    Expect(problems, sim::RegValueType(key, "DosDevices") == REG_SZ, e, "DosDevices is no text");
    ExpectText(problems, e, "DosDevices", e->dosDevices, false);
    ExpectNumber(problems, e, "Interrupt", e->interrupt, false, false);
    ExpectNumber(problems, e, "PortAddress", e->portAddress, false, false);
    ExpectNumber(problems, e, "InterruptStatus", e->interruptStatus, true, defaults);
    ExpectNumber(problems, e, "PortIndex", e->portIndex, true, defaults);
    ExpectText(problems, e, "Model", e->model, defaults);
    ExpectText(problems, e, "Leader", e->leaderName, defaults);
}

void MirrorWritten(std::string *problems, const PortEntry *e) {
    ExpectText(problems, e, "DosDevices", e->dosDevices, false);
    ExpectText(problems, e, "Model", e->model, false);
    ExpectText(problems, e, "Leader", e->leaderName, false);
    ExpectNumber(problems, e, "Interrupt", e->interrupt, false, false);
    ExpectNumber(problems, e, "PortAddress", e->portAddress, false, false);
    if (e->interruptStatus) {
        ExpectNumber(problems, e, "InterruptStatus", e->interruptStatus, false, false);
        ExpectNumber(problems, e, "PortIndex", e->portIndex, false, false);
    }
}

bool IsCatalogueName(const char *name) {
    for (const CardModel *row = CardCatalogue; row->name; row++)
        if (row->name == name)
            return true;
    return false;
}

} // namespace

void NoteSharedKeys(MirrorRules *rules) {
    std::string problems;
    std::set<std::string> seen;
    for (PortEntry *e : Ports(&problems))
        if (!seen.insert(Upper(e->keyName)).second)
            rules->shared.insert(Upper(e->keyName));
}

std::string ListProblems() {
    std::string problems;
    std::vector<PortEntry *> ports = Ports(&problems);
    std::set<const PortEntry *> members(ports.begin(), ports.end());
    std::set<std::string> names;
    for (PortEntry *e : ports) {
        if (!e->dosDevices || !e->keyName || !e->model || !e->leaderName) {
            problems += "a port lacks one of its texts\n";
            continue;
        }
        Expect(&problems, names.insert(e->keyName).second, e, "named by two ports");
        if (e->leader) {
            Expect(&problems, members.count(e->leader) != 0, e,
                   "its leader is not a port of the list");
            if (members.count(e->leader))
                Expect(&problems, strcmp(e->leader->keyName, e->leaderName) == 0, e,
                       std::string("its leader is ") + e->leader->keyName + ", its Leader text " +
                           e->leaderName);
        }
        if (e->isNew)
            Expect(&problems, IsCatalogueName(e->model), e, "written with no catalogue model");
    }
    return problems;
}

std::string MirrorProblems(const MirrorRules &rules) {
    std::string problems;
    for (PortEntry *e : Ports(&problems)) {
        if (rules.shared.count(Upper(e->keyName)))
            continue;
        if (!sim::RegKeyExists(KeyOf(e))) {
            Expect(&problems, false, e, "its key is gone");
            continue;
        }
        if (e->isNew)
            MirrorWritten(&problems, e);
        else
            MirrorLoaded(&problems, e, rules.defaultsAllowed);
    }
    return problems;
}

std::string CardListProblems() {
    if (!sim::IsLive(MainWindow))
        return "";
    std::string problems;
    std::multiset<LONG_PTR> cards, lines;
    for (PortEntry *e : Ports(&problems))
        if (e->model[0] != '\0' && e->leader == e)
            cards.insert((LONG_PTR)e);
    std::vector<std::string> texts = sim::Items(MainWindow, IDC_CARDLIST);
    for (size_t i = 0; i < texts.size(); i++) {
        LONG_PTR data = sim::ItemData(MainWindow, IDC_CARDLIST, (int)i);
        lines.insert(data);
        if (!cards.count(data)) {
            problems += "the line \"" + texts[i] + "\" is no card of the list\n";
            continue;
        }
        std::string start = (std::string(((PortEntry *)data)->dosDevices) + ": ").substr(0, 99);
        if (texts[i].compare(0, start.size(), start) != 0)
            problems += "the line \"" + texts[i] + "\" does not start with \"" + start + "\"\n";
    }
    if (cards != lines)
        problems += "the card list shows " + std::to_string(texts.size()) + " lines for " +
                    std::to_string(cards.size()) + " cards\n";
    return problems;
}

std::string HandleProblems() {
    std::string problems;
    if (sim::RegOpenHandleCount() != 0)
        problems += std::to_string(sim::RegOpenHandleCount()) + " registry keys left open\n";
    if (sim::OpenFileHandleCount() != 0)
        problems += std::to_string(sim::OpenFileHandleCount()) + " ports left open\n";
    if (sim::LocalAllocCount() > 1)
        problems += std::to_string(sim::LocalAllocCount()) + " system texts kept\n";
    return problems;
}

std::string ProgramProblems(const MirrorRules &rules) {
    return ListProblems() + MirrorProblems(rules) + CardListProblems() + HandleProblems();
}

std::string BoxProblems(const sim::Box &box) {
    std::string problems;
    bool report = box.caption == Text(IDS_INTERNAL_ERROR) && (box.type & 0xF0) == MB_ICONWARNING;
    HWND owner = report ? MainWindow : NULL;
    if (box.owner != owner)
        problems += "the box \"" + box.text + "\" has " + (box.owner ? "an" : "no") + " owner\n";
    if (box.text.find("The operation completed successfully.") != std::string::npos)
        problems += "the box \"" + box.text + "\" tells of a success\n";
    return problems;
}
