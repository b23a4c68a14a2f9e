// What must hold of the program's state whatever it met on the way, and
// what each command must leave.
#include "invariants.h"

#include "dialogs/dialogs.h"
#include "resource.h"
#include "shell/app.h"

#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <algorithm>

// No list of these tests comes near this many ports: a longer walk has met
// a loop.
#define WALK_LIMIT 100000

Reading ReadAsLoader(const std::string &name, bool lenient) {
    struct Rule {
        const char *value;
        DWORD type;
        int field; // in texts, or 3 + index in numbers
        bool mandatory;
    };
    static const Rule rules[] = {
        {"DosDevices", REG_SZ, 0, true},     {"Interrupt", REG_DWORD, 3, true},
        {"PortAddress", REG_DWORD, 4, true}, {"InterruptStatus", REG_DWORD, 5, false},
        {"PortIndex", REG_DWORD, 6, false},  {"Model", REG_SZ, 1, false},
        {"Leader", REG_SZ, 2, false},
    };
    Reading r;
    const std::vector<sim::RegValue> &values = sim::RegValues(PortKey(name));
    for (const Rule &rule : rules) {
        auto found = std::find_if(values.begin(), values.end(), [&](const sim::RegValue &v) {
            return strcasecmp(v.name.c_str(), rule.value) == 0 &&
                   v.name.size() == strlen(rule.value);
        });
        DWORD failure = found == values.end()                               ? ERROR_FILE_NOT_FOUND
                        : rule.type == REG_DWORD && found->bytes.size() > 4 ? ERROR_MORE_DATA
                                                                            : 0;
        if (failure && rule.mandatory) {
            char report[300];
            snprintf(report, sizeof report, Text(IDS_READ_MANDATORY), rule.value, name.c_str(),
                     SystemText(failure).c_str());
            r.report = report;
        }
        bool typed = !failure && found->type == rule.type;
        r.listed = r.listed && !(failure && rule.mandatory) &&
                   (failure || typed || (lenient && !rule.mandatory));
        if (!r.listed)
            return r;
        if (typed && rule.type == REG_SZ)
            r.texts[rule.field] = found->bytes.c_str(); // up to its first NUL
        else if (typed)
            memcpy(&r.numbers[rule.field - 3], found->bytes.data(), found->bytes.size());
    }
    return r;
}

namespace {

// Names as the registry compares them: whatever their letter case.
bool SameName(const std::string &a, const char *b) {
    return strcasecmp(a.c_str(), b) == 0;
}

// The ports of the list, or none when the chain does not end.
std::vector<PortEntry *> ChainPorts(std::string *problems) {
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

// A problem of the port e.
std::string Of(const PortEntry *e, const std::string &what) {
    return Shown(e->keyName) + ": " + what + "\n";
}

// The record of a loaded port against its key as the loader reads it now;
// a value that a failed read left at its default may differ.
std::string MirrorLoaded(const PortEntry *e, bool defaults) {
    static const char *const names[] = {"DosDevices",  "Model",           "Leader",   "Interrupt",
                                        "PortAddress", "InterruptStatus", "PortIndex"};
    Reading r = ReadAsLoader(e->keyName, defaults);
    if (!r.listed)
        return Of(e, "its key no longer reads as a port");
    const char *texts[] = {e->dosDevices, e->model, e->leaderName};
    int numbers[] = {e->interrupt, e->portAddress, e->interruptStatus, e->portIndex};
    std::string problems;
    for (int i = 0; i < 3; i++)
        if (r.texts[i] != texts[i] && !(defaults && i > 0 && !texts[i][0]))
            problems += Of(e, std::string(names[i]) + " is \"" + Shown(texts[i]) +
                                  "\" in the list, \"" + Shown(r.texts[i]) + "\" in the registry");
    for (int i = 0; i < 4; i++)
        if (r.numbers[i] != numbers[i] && !(defaults && i > 1 && !numbers[i]))
            problems +=
                Of(e, std::string(names[3 + i]) + " is " + std::to_string(numbers[i]) +
                          " in the list, " + std::to_string(r.numbers[i]) + " in the registry");
    return problems;
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
    for (PortEntry *e : ChainPorts(&problems))
        if (!seen.insert(Upper(e->keyName)).second)
            rules->shared.insert(Upper(e->keyName));
}

std::string ListProblems() {
    std::string problems;
    std::vector<PortEntry *> ports = ChainPorts(&problems);
    std::set<const PortEntry *> members(ports.begin(), ports.end());
    std::set<std::string> names;
    for (PortEntry *e : ports) {
        if (!e->dosDevices || !e->keyName || !e->model || !e->leaderName) {
            problems += "a port lacks one of its texts\n";
            continue;
        }
        if (!names.insert(e->keyName).second)
            problems += Of(e, "named by two ports");
        if (e->leader && !members.count(e->leader))
            problems += Of(e, "its leader is not a port of the list");
        else if (e->leader && strcmp(e->leader->keyName, e->leaderName) != 0)
            problems += Of(e, "its leader is " + Shown(e->leader->keyName) + ", its Leader text " +
                                  Shown(e->leaderName));
        if (e->isNew && !IsCatalogueName(e->model))
            problems += Of(e, "written with no catalogue model");
    }
    return problems;
}

std::string MirrorProblems(const MirrorRules &rules) {
    std::string problems;
    for (PortEntry *e : ChainPorts(&problems)) {
        if (rules.shared.count(Upper(e->keyName)))
            continue;
        if (!sim::RegKeyExists(PortKey(e->keyName)))
            problems += Of(e, "its key is gone");
        else if (!e->isNew) // a written port's key is checked as it is written
            problems += MirrorLoaded(e, rules.defaultsAllowed);
    }
    return problems;
}

std::string CardListProblems() {
    if (!sim::IsLive(MainWindow))
        return "";
    std::string problems;
    std::multiset<LONG_PTR> cards, lines;
    for (PortEntry *e : ChainPorts(&problems))
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
        const PortEntry *e = (const PortEntry *)data;
        char line[100]; // what does not fit is cut
        std::string com(e->dosDevices, strnlen(e->dosDevices, sizeof line)),
            model(e->model, strnlen(e->model, sizeof line)); // enough to fill the line
        snprintf(line, sizeof line, Text(IDS_CARD_LINE), com.c_str(), model.c_str(),
                 (unsigned)e->portAddress, e->interrupt);
        if (texts[i] != line)
            problems +=
                "the line \"" + Shown(texts[i]) + "\" should read \"" + Shown(line) + "\"\n";
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

// ---- What a command must leave

PortCopy::PortCopy(const PortEntry *e)
    : record(e), keyName(e->keyName), leader(e->leader ? e->leader->keyName : ""),
      dosDevices(e->dosDevices), model(e->model), leaderName(e->leaderName),
      interrupt(e->interrupt), portAddress(e->portAddress), interruptStatus(e->interruptStatus),
      portIndex(e->portIndex), isNew(e->isNew) {}

namespace {

// Everything but where the record lies.
bool Same(const PortCopy &a, const PortCopy &b) {
    return a.keyName == b.keyName && strcmp(a.dosDevices, b.dosDevices) == 0 &&
           strcmp(a.model, b.model) == 0 && strcmp(a.leaderName, b.leaderName) == 0 &&
           a.leader == b.leader && a.interrupt == b.interrupt && a.portAddress == b.portAddress &&
           a.interruptStatus == b.interruptStatus && a.portIndex == b.portIndex &&
           a.isNew == b.isNew;
}

std::string Summary(const std::string &key, const std::string &com, const std::string &model,
                    int interrupt, int address, int status, int index) {
    char numbers[80];
    snprintf(numbers, sizeof numbers, " IRQ %d at %x, status %x, index %d", interrupt,
             (unsigned)address, (unsigned)status, index);
    return Shown(key) + " " + Shown(com) + " " + Shown(model) + numbers;
}

std::string Summary(const PortCopy &p) {
    return Summary(p.keyName, p.dosDevices, p.model, p.interrupt, p.portAddress, p.interruptStatus,
                   p.portIndex) +
           " led by " + Shown(p.leader) + " (" + Shown(p.leaderName) + ")";
}

// The first `count` key names that a writer picks while these ports are
// listed and the keys `live` are whole ports that no port lists.
std::vector<std::string> FreeNames(const std::vector<PortCopy> &ports,
                                   const std::set<std::string> &live, size_t count) {
    std::set<std::string> taken(live);
    for (const PortCopy &p : ports)
        taken.insert(p.keyName);
    std::vector<std::string> names;
    for (int n = 10000; names.size() < count; n++) {
        char name[24];
        snprintf(name, sizeof name, "Serial%05d", n);
        if (!taken.count(name))
            names.push_back(name);
    }
    return names;
}

sim::RegValue Dword(const char *name, int value) {
    DWORD bytes = (DWORD)value;
    return {name, REG_DWORD, std::string((const char *)&bytes, 4)};
}

std::vector<sim::RegValue>::const_iterator Find(const std::vector<sim::RegValue> &values,
                                                const std::string &name) {
    auto same = [](char a, char b) {
        return toupper((unsigned char)a) == toupper((unsigned char)b);
    };
    return std::find_if(values.begin(), values.end(), [&](const sim::RegValue &v) {
        return v.name.size() == name.size() &&
               std::equal(name.begin(), name.end(), v.name.begin(), same);
    });
}

// Whether a key holds the values it held, with `written` set over them.
bool Holds(const std::vector<sim::RegValue> &held, const std::vector<sim::RegValue> &written,
           const std::vector<sim::RegValue> &now) {
    std::vector<sim::RegValue> expected = held;
    for (const sim::RegValue &w : written) {
        auto it = Find(expected, w.name);
        if (it == expected.end())
            expected.push_back(w);
        else
            expected[size_t(it - expected.begin())] = {it->name, w.type, w.bytes};
    }
    for (const sim::RegValue &v : now) {
        auto it = Find(expected, v.name);
        if (it == expected.end() || it->type != v.type || it->bytes != v.bytes)
            return false;
    }
    return expected.size() == now.size();
}

std::vector<sim::RegValue> PermitShare() {
    const std::vector<sim::RegValue> &values = sim::RegValues(SERIAL_KEY);
    auto it = Find(values, "PermitShare");
    return std::vector<sim::RegValue>(it, it == values.end() ? it : it + 1);
}

// Port i of the card, written under names[i], against the entries.
std::string WrittenPort(const Command &before, const CardWish &wish,
                        const std::vector<std::string> &names, size_t i, const PortEntry *e,
                        const PortEntry *first) {
    bool multiport = wish.interruptStatus != 0; // else neither is written
    int status = multiport ? wish.interruptStatus : e->interruptStatus;
    int index = multiport ? (int)i + 1 : e->portIndex;
    std::string problems;
    if (names[i] != e->keyName || wish.coms[i] != e->dosDevices || e->model != wish.row->name ||
        e->leader != first || e->leaderName != first->keyName ||
        e->interrupt != wish.interrupts[i] || e->portAddress != wish.addresses[i] ||
        e->interruptStatus != status || e->portIndex != index || !e->isNew)
        problems += "written as " + Summary(PortCopy(e)) + ", asked " +
                    Summary(names[i], wish.coms[i], wish.row->name, wish.interrupts[i],
                            wish.addresses[i], status, index) +
                    " led by " + names[0] + "\n";
    std::vector<sim::RegValue> values = {{"Model", REG_SZ, wish.row->name + std::string(1, 0)},
                                         {"Leader", REG_SZ, names[0] + '\0'},
                                         {"DosDevices", REG_SZ, wish.coms[i] + '\0'},
                                         Dword("Interrupt", wish.interrupts[i]),
                                         Dword("PortAddress", wish.addresses[i])};
    if (multiport) {
        values.push_back(Dword("InterruptStatus", status));
        values.push_back(Dword("PortIndex", index));
    }
    auto held = before.keys.find(Upper(names[i]));
    if (!Holds(held != before.keys.end() ? held->second : std::vector<sim::RegValue>(), values,
               sim::RegValues(PortKey(names[i]))))
        problems += "the key " + names[i] + " does not hold what was written over what it held\n";
    return problems;
}

} // namespace

Command BeginCommand(const std::string &verb, const PortEntry *card) {
    Command c;
    c.verb = verb;
    for (PortEntry *e : Ports()) {
        c.ports.push_back(PortCopy(e));
        if (card && e->leader == card && !card->isNew)
            c.cardDevices.insert(e->dosDevices);
    }
    c.cardKey = card ? card->keyName : "";
    c.registryChanges = sim::RegChangeCount();
    c.calls = sim::FallibleCallCount();
    c.subkeys = verb == "remove" ? sim::RegSubkeys(PORTS_ROOT).size() : 0;
    for (const std::string &name : verb == "test" ? sim::PortNames() : std::vector<std::string>())
        c.lines[name] = sim::GetPort(name);
    c.permitShare = PermitShare();
    // The names a writer may try, up to one more than a card's ports.
    for (const std::string &name : FreeNames(c.ports, {}, verb == "add" ? 48 : 0)) {
        c.keys[Upper(name)] = sim::RegValues(PortKey(name));
        bool listed = std::any_of(c.ports.begin(), c.ports.end(), [&](const PortCopy &p) {
            return SameName(p.keyName, name.c_str());
        });
        if (sim::RegKeyExists(PortKey(name)) && !listed && ReadAsLoader(name).listed)
            c.live.insert(name);
        else if (c.keys.size() - c.live.size() == 9)
            break;
    }
    return c;
}

void ReadWish(HWND dialog, const CardModel *row, CardWish *wish) {
    *wish = CardWish();
    wish->row = row;
    const int *offered = row->irqChoices + 1;
    auto irq = [&](int i) {
        int selected = sim::Selection(dialog, IDC_IRQ1 + i);
        return selected >= 0 ? offered[selected] : 0;
    };
    int choice = row->dialogTemplate == IDD_MPB ? 0 : sim::Selection(dialog, IDC_ADDRESS);
    const AddressChoice *choices = (const AddressChoice *)row->addressInfo;
    unsigned long long firstCom = row->dialogTemplate == IDD_LINX
                                      ? (choice ? 3 : 1)
                                      : strtoull(sim::Text(dialog, IDC_FIRSTCOM).c_str(), NULL, 10);
    wish->inRange = firstCom >= 1 && firstCom <= 255 && (choice == 0 || choice == 1);
    for (int i = 0; i < row->portCount; i++) {
        wish->coms.push_back("COM" + std::to_string(firstCom + (unsigned)i));
        int v = irq(row->dialogTemplate == IDD_RS ? i : 0);
        wish->interrupts.push_back(v == IRQ_PAIR_4_3 ? 4 - i : v);
        wish->inRange =
            wish->inRange && wish->interrupts.back() >= 1 && wish->interrupts.back() <= 15;
        if (row->dialogTemplate != IDD_MPB)
            wish->addresses.push_back(wish->inRange ? choices[choice].portAddresses[i] : 0);
    }
    for (size_t i = 0; i < wish->interrupts.size(); i++)
        wish->permitShare =
            wish->permitShare || wish->interrupts[i] == 3 || wish->interrupts[i] == 4 ||
            std::count(wish->interrupts.begin(), wish->interrupts.end(), wish->interrupts[i]) > 1;
    wish->permitShare =
        row->dialogTemplate == IDD_LINX || (row->dialogTemplate == IDD_RS && wish->permitShare);
    if (row->dialogTemplate == IDD_MPB) {
        const AddressRange *range = (const AddressRange *)row->addressInfo;
        int base = (int)strtol(sim::Text(dialog, IDC_ADDRESS).substr(0, 5).c_str(), NULL, 16);
        for (int i = 0; i < row->portCount; i++)
            wish->addresses.push_back(base + 8 * i);
        wish->interruptStatus = base + 7;
        wish->inRange = wish->inRange && base >= range->lowest && base <= range->highest &&
                        base % (8 * row->portCount) == 0;
    }
}

sim::CommSetting TestSetting(const sim::PortState &own) {
    sim::CommSetting s = {own.dcb, own.timeouts};
    s.dcb.BaudRate = 9600;
    s.dcb.ByteSize = 8;
    s.dcb.Parity = NOPARITY;
    s.dcb.StopBits = ONESTOPBIT;
    s.dcb.fBinary = 1;
    s.dcb.fParity = s.dcb.fOutxCtsFlow = s.dcb.fOutxDsrFlow = s.dcb.fDsrSensitivity = 0;
    s.dcb.fOutX = s.dcb.fInX = s.dcb.fErrorChar = s.dcb.fNull = s.dcb.fAbortOnError = 0;
    s.dcb.fDtrControl = DTR_CONTROL_ENABLE;
    s.dcb.fRtsControl = RTS_CONTROL_ENABLE;
    s.timeouts.ReadTotalTimeoutMultiplier = s.timeouts.WriteTotalTimeoutMultiplier = 0;
    s.timeouts.ReadTotalTimeoutConstant = s.timeouts.WriteTotalTimeoutConstant = 300;
    return s;
}

bool SameSetting(const sim::CommSetting &a, const sim::CommSetting &b) {
    return memcmp(&a.dcb, &b.dcb, sizeof a.dcb) == 0 &&
           memcmp(&a.timeouts, &b.timeouts, sizeof a.timeouts) == 0;
}

namespace {

// The keys added since loading that the writer must pass over: those the
// loader would list. A failed read of one such key, the call that failed,
// leaves it unknown to the writer, which may pass it over or take it.
std::set<std::string> PassedOver(const Command &before, const std::string &call,
                                 std::vector<PortEntry *>::const_iterator written,
                                 std::vector<PortEntry *>::const_iterator end) {
    std::set<std::string> live = before.live;
    for (const auto &key : before.keys) {
        std::string name = "Serial" + key.first.substr(6); // as the writer spells it
        if (Upper(call).rfind("REGQUERYVALUEEXA " + key.first + " ", 0) != 0)
            continue;
        if (std::any_of(written, end, [&](const PortEntry *e) { return name == e->keyName; }))
            live.erase(name);
        else
            live.insert(name);
    }
    return live;
}

std::string AddProblems(const Command &before, size_t failAt, bool failed, MirrorRules *rules) {
    const CardWish &wish = before.wish;
    std::vector<PortEntry *> after = Ports();
    size_t old = before.ports.size();
    bool kept = after.size() >= old;
    for (size_t i = 0; kept && i < old; i++)
        kept = after[i] == before.ports[i].record && Same(PortCopy(after[i]), before.ports[i]);
    if (!kept)
        return "the ports listed before the add changed\n";
    size_t written = after.size() - old, count = wish.row ? (size_t)wish.row->portCount : 0;
    std::string problems;
    if (written > count || (written < count && !failed))
        problems += std::to_string(written) + " ports written for " + std::to_string(count) + "\n";
    if (!wish.row || written > count)
        return problems + (sim::RegChangeCount() == before.registryChanges
                               ? ""
                               : "the registry changed while no card was written\n");
    if (written && !wish.inRange)
        problems += "a card was written from entries the dialog should have refused\n";
    const std::string &call = failed ? sim::FallibleCalls()[failAt - 1] : "";
    std::set<std::string> live = PassedOver(before, call, after.begin() + (long)old, after.end());
    std::vector<std::string> names = FreeNames(before.ports, live, count);
    for (size_t i = 0; i < written; i++)
        problems += WrittenPort(before, wish, names, i, after[old + i], after[old]);
    for (const std::string &name : live)
        if (!Holds(before.keys.at(Upper(name)), {}, sim::RegValues(PortKey(name))))
            problems += "the key " + name + ", a port that no port lists, was written\n";
    // A name that a loaded port spells otherwise is that port's key.
    for (size_t i = 0; i < count && i <= written; i++)
        for (const PortCopy &p : before.ports)
            if (p.keyName != names[i] && SameName(p.keyName, names[i].c_str()))
                rules->shared.insert(Upper(p.keyName));
    std::vector<sim::RegValue> share = PermitShare();
    bool set =
        share.size() == 1 && share[0].type == REG_DWORD && share[0].bytes == Dword("", 1).bytes;
    bool due = wish.permitShare && written == count;
    bool unchanged = share.size() == before.permitShare.size() &&
                     (share.empty() || (share[0].type == before.permitShare[0].type &&
                                        share[0].bytes == before.permitShare[0].bytes));
    if (!unchanged && !(due && set))
        problems += "PermitShare changed when the card did not ask for it\n";
    // Only a failure to write it leaves a whole card without it.
    if (due && !set && call != "RegOpenKeyExA HKLM " SERIAL_KEY &&
        call != "RegSetValueExA Serial PermitShare")
        problems += "PermitShare is not set\n";
    return problems;
}

std::string RemoveProblems(const Command &before, bool failed) {
    const std::string &cardKey = before.cardKey;
    std::set<std::string> removed;
    std::vector<PortCopy> kept;
    for (const PortCopy &p : before.ports)
        if (!cardKey.empty() && p.leader == cardKey)
            removed.insert(p.keyName);
        else
            kept.push_back(p);
    std::vector<PortEntry *> after = Ports();
    unsigned changes = sim::RegChangeCount() - before.registryChanges;
    bool untouched = changes == 0 && after.size() == before.ports.size();
    for (size_t i = 0; untouched && i < after.size(); i++)
        untouched = Same(PortCopy(after[i]), before.ports[i]);
    if (failed && untouched)
        return ""; // the failure stopped the removal before it began
    std::string problems;
    if (after.size() != kept.size())
        problems += std::to_string(after.size()) + " ports left of " +
                    std::to_string(before.ports.size()) + ", with " +
                    std::to_string(removed.size()) + " removed\n";
    for (size_t i = 0; i < after.size() && i < kept.size(); i++) {
        PortCopy want = kept[i];
        if (removed.count(want.leader))
            want.leader = ""; // its leader is gone
        if (!Same(PortCopy(after[i]), want))
            problems += "left as " + Summary(PortCopy(after[i])) + ", was " + Summary(want) + "\n";
    }
    size_t left = 0;
    for (const std::string &name : removed)
        left += sim::RegKeyExists(PortKey(name));
    if (left > (failed ? 1u : 0u))
        problems += std::to_string(left) + " keys of the removed card remain\n";
    if (before.subkeys - sim::RegSubkeys(PORTS_ROOT).size() != changes)
        problems += "the registry changed beyond the keys removed\n";
    return problems;
}

std::string TestProblems(const Command &before, bool failed) {
    std::string problems;
    size_t changed = 0;
    for (const auto &line : before.lines) {
        sim::PortState now = sim::GetPort(line.first);
        if (!before.cardDevices.count(line.first) && now.opens != line.second.opens)
            problems += Shown(line.first) + " was opened, but is no port of the card\n";
        for (size_t i = line.second.exchanges.size(); i < now.exchanges.size(); i++)
            if (!SameSetting(now.exchanges[i], TestSetting(line.second)))
                problems += Shown(line.first) + " sent or read without the test's setting\n";
        changed += memcmp(&now.dcb, &line.second.dcb, sizeof now.dcb) != 0 ||
                   memcmp(&now.timeouts, &line.second.timeouts, sizeof now.timeouts) != 0;
    }
    if (changed > (failed ? 1u : 0u))
        problems += std::to_string(changed) + " ports keep the test's settings\n";
    return problems;
}

} // namespace

std::string CommandProblems(const Command &c, size_t failAt, MirrorRules *rules) {
    bool failed = failAt > c.calls && failAt <= sim::FallibleCallCount();
    return c.verb == "add"      ? AddProblems(c, failAt, failed, rules)
           : c.verb == "remove" ? RemoveProblems(c, failed)
           : c.verb == "test"   ? TestProblems(c, failed)
                                : "";
}
