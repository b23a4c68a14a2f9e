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

void ReleasePortList() {
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
}

void ResetProgram() {
    ReleasePortList();
    if (StringTable) {
        free(StringTable[1]);
        free(StringTable);
        StringTable = NULL;
    }
    FirstInit = 1;
    MainWindow = NULL;
    AppInstance = NULL;
}

std::string ReleaseProgram() {
    ResetProgram();
    int leaked = sim::UnfreedBlocks();
    if (leaked < 0)
        return "no count of the blocks freed: the sanitizers' allocator hooks are missing\n";
    return leaked ? std::to_string(leaked) + " blocks leaked\n" : "";
}

namespace {

// A text of the registry as a problem shows it: at most its first 60 bytes.
std::string Shown(const std::string &text) {
    return text.size() > 60 ? text.substr(0, 60) + "..." : text;
}

std::string Upper(std::string text) {
    for (char &c : text)
        c = (char)toupper((unsigned char)c);
    return text;
}

// Names as the registry compares them: whatever their letter case.
bool SameName(const std::string &a, const char *b) {
    size_t i = 0;
    for (; i < a.size() && b[i]; i++)
        if (toupper((unsigned char)a[i]) != toupper((unsigned char)b[i]))
            return false;
    return i == a.size() && !b[i];
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

// One port's record and the values of its key, read once.
struct Mirror {
    const PortEntry *e;
    std::vector<sim::RegValue> values;
    std::string *problems;

    const sim::RegValue *Find(const char *name) const {
        for (const sim::RegValue &value : values)
            if (SameName(value.name, name))
                return &value;
        return nullptr;
    }

    // A number as the loader reads it: a REG_DWORD of at most four bytes,
    // low byte first; anything longer does not fit and reads as absent.
    bool Number(const char *name, int *number) const {
        const sim::RegValue *value = Find(name);
        if (!value || value->type != REG_DWORD || value->bytes.size() > 4)
            return false;
        DWORD read = 0;
        memcpy(&read, value->bytes.data(), value->bytes.size());
        *number = (int)read;
        return true;
    }

    void Expect(bool holds, const std::string &what) const {
        if (!holds)
            *problems += Shown(e->keyName) + ": " + what + "\n";
    }

    void ExpectNumber(const char *name, int field, bool optional, bool defaultAllowed) const {
        int value = 0;
        bool present = Number(name, &value);
        if (present ? field == value || (defaultAllowed && field == 0) : optional && field == 0)
            return;
        Expect(false, std::string(name) + " is " + std::to_string(field) + " in the list, " +
                          (present ? std::to_string(value) : "not a number") + " in the registry");
    }

    void ExpectText(const char *name, const char *field, bool defaultAllowed) const {
        const sim::RegValue *found = Find(name);
        const char *value = found ? found->bytes.c_str() : ""; // up to its first NUL
        if (strcmp(value, field) == 0 || (defaultAllowed && field[0] == '\0'))
            return;
        Expect(false, std::string(name) + " is \"" + Shown(field) + "\" in the list, \"" +
                          Shown(value) + "\" in the registry");
    }
};

void MirrorLoaded(const Mirror &m, bool defaults) {
    const PortEntry *e = m.e;
    m.Expect(m.Find("DosDevices") && m.Find("DosDevices")->type == REG_SZ, "DosDevices is no text");
    m.ExpectText("DosDevices", e->dosDevices, false);
    m.ExpectNumber("Interrupt", e->interrupt, false, false);
    m.ExpectNumber("PortAddress", e->portAddress, false, false);
    m.ExpectNumber("InterruptStatus", e->interruptStatus, true, defaults);
    m.ExpectNumber("PortIndex", e->portIndex, true, defaults);
    m.ExpectText("Model", e->model, defaults);
    m.ExpectText("Leader", e->leaderName, defaults);
}

void MirrorWritten(const Mirror &m) {
    const PortEntry *e = m.e;
    m.ExpectText("DosDevices", e->dosDevices, false);
    m.ExpectText("Model", e->model, false);
    m.ExpectText("Leader", e->leaderName, false);
    m.ExpectNumber("Interrupt", e->interrupt, false, false);
    m.ExpectNumber("PortAddress", e->portAddress, false, false);
    if (e->interruptStatus) {
        m.ExpectNumber("InterruptStatus", e->interruptStatus, false, false);
        m.ExpectNumber("PortIndex", e->portIndex, false, false);
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
    std::vector<PortEntry *> ports = Ports(&problems);
    std::set<std::string> seen;
    for (PortEntry *e : ports)
        if (!seen.insert(Upper(e->keyName)).second)
            rules->shared.insert(Upper(e->keyName));
    // A writer that opened a port's key under another spelling changed it,
    // even when the written port then failed and stayed out of the list.
    const std::vector<std::string> &calls = sim::FallibleCalls();
    const std::string created = "RegCreateKeyExA Parameters ";
    for (size_t i = rules->callsSeen < calls.size() ? rules->callsSeen : 0; i < calls.size(); i++) {
        if (calls[i].compare(0, created.size(), created) != 0)
            continue;
        std::string name = calls[i].substr(created.size());
        for (PortEntry *e : ports)
            if (name != e->keyName && SameName(name, e->keyName))
                rules->shared.insert(Upper(name));
    }
    rules->callsSeen = calls.size();
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
        Mirror m = {e, {}, &problems};
        m.Expect(names.insert(e->keyName).second, "named by two ports");
        if (e->leader) {
            m.Expect(members.count(e->leader) != 0, "its leader is not a port of the list");
            if (members.count(e->leader))
                m.Expect(strcmp(e->leader->keyName, e->leaderName) == 0,
                         "its leader is " + Shown(e->leader->keyName) + ", its Leader text " +
                             Shown(e->leaderName));
        }
        if (e->isNew)
            m.Expect(IsCatalogueName(e->model), "written with no catalogue model");
    }
    return problems;
}

std::string MirrorProblems(const MirrorRules &rules) {
    std::string problems;
    for (PortEntry *e : Ports(&problems)) {
        if (rules.shared.count(Upper(e->keyName)))
            continue;
        Mirror m = {e, sim::RegValues(KeyOf(e)), &problems};
        if (m.values.empty() && !sim::RegKeyExists(KeyOf(e)))
            m.Expect(false, "its key is gone");
        else if (e->isNew)
            MirrorWritten(m);
        else
            MirrorLoaded(m, rules.defaultsAllowed);
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
            problems += "the line \"" + Shown(texts[i]) + "\" is no card of the list\n";
            continue;
        }
        std::string start = (std::string(((PortEntry *)data)->dosDevices) + ": ").substr(0, 99);
        if (texts[i].compare(0, start.size(), start) != 0)
            problems += "the line \"" + Shown(texts[i]) + "\" does not start with \"" +
                        Shown(start) + "\"\n";
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
        problems +=
            "the box \"" + Shown(box.text) + "\" has " + (box.owner ? "an" : "no") + " owner\n";
    // Only a report's text comes from the system alone: other boxes show
    // texts of the registry, which may read anything. After CB_SETCURSEL
    // fails the platform leaves the last error as it was, and the
    // free-address dialog reports the last error as it stands: its box reads
    // whatever an earlier call left there, success too.
    bool lastErrorAsLeft = box.text.rfind("mpbIrq/CB_SETCURSEL: ", 0) == 0;
    if (report && !lastErrorAsLeft &&
        box.text.find("The operation completed successfully.") != std::string::npos)
        problems += "the box \"" + Shown(box.text) + "\" tells of a success\n";
    return problems;
}
