// The fuzz target: its input becomes a registry of port keys, serial ports
// and what the user does; the program then starts on that registry, lists
// its cards, proposes COM numbers, adds, removes and tests cards, checks the
// configuration and quits, and after each step everything the program must
// keep is checked (tests/native/invariants.h). A broken rule aborts.
//
// Input: one command per line, words separated by one blank; the last word
// of sz and raw lines runs to the end of the line. Texts take the escapes
// \\ \s (blank) \t \n \r \0 \xHH, and a count in braces repeats the
// character before it: A{300}.
//   key NAME                  a port key under the ports root (then its values)
//   sz NAME TEXT              REG_SZ value, its NUL added
//   raw TYPE NAME BYTES       a value of any type and bytes, e.g. a REG_SZ with no NUL
//   dword NAME NUMBER         REG_DWORD value (decimal or 0x...)
//   noroot                    the ports root does not exist
//   french                    the program speaks French
//   port NAME [loopback] [echo=N] [write=N] [busy] [state=ERROR]
//                             a serial port the test can open
//   fail K STATUS ERROR       the K-th fallible call fails (registry calls
//                             with STATUS, comm calls with ERROR)
// and then, in order, what the user does:
//   add MODEL [COM] [IRQS] [ADDRESS]
//                             Add... with MODEL (name or position): COM typed
//                             in the first-port box ("-" keeps the proposal),
//                             IRQS the interrupt positions, comma separated,
//                             ADDRESS the base typed (free-address cards) or
//                             the position chosen; Cancel if Add is refused
//   remove LINE               Remove with line LINE selected (none: no line)
//   test LINE                 Test with line LINE selected
//   suggest MODEL             the first COM number proposed for MODEL
//   checks                    the exit checks, without quitting
//   other NAME [half]         another writer (a second copy, an import) adds
//                             the port key NAME: COM99, IRQ 5 at 2f8H, or
//                             half of it, its address a text
// The program quits at the end.
#include "invariants.h"

#include "dialogs/dialogs.h"
#include "porttest/porttest.h"
#include "resource.h"
#include "shell/app.h"

#include <ctype.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace {

// Bounds that keep one input fast: texts up to 64 KB, 32 keys, 8 steps.
const size_t TEXT_LIMIT = 65536 + 16;
const size_t KEY_LIMIT = 32;
const size_t STEP_LIMIT = 8;

std::string Unescape(const std::string &text) {
    std::string out;
    for (size_t i = 0; i < text.size() && out.size() < TEXT_LIMIT; i++) {
        char c = text[i];
        if (c == '{' && !out.empty()) {
            size_t end = text.find('}', i);
            if (end != std::string::npos) {
                unsigned long count = strtoul(text.substr(i + 1, end - i - 1).c_str(), NULL, 10);
                if (count > TEXT_LIMIT)
                    count = TEXT_LIMIT;
                out.append(count ? count - 1 : 0, out.back());
                i = end;
                continue;
            }
        }
        if (c == '\\' && i + 1 < text.size()) {
            char e = text[++i];
            c = e == 's'   ? ' '
                : e == 't' ? '\t'
                : e == 'n' ? '\n'
                : e == 'r' ? '\r'
                : e == '0' ? 0
                           : e;
            if (e == 'x' && i + 2 < text.size()) {
                c = (char)strtoul(text.substr(i + 1, 2).c_str(), NULL, 16);
                i += 2;
            }
        }
        out.push_back(c);
    }
    return out.substr(0, TEXT_LIMIT);
}

// An input line as at most `count` words: the last runs to its end.
std::vector<std::string> SplitLine(const std::string &line, size_t count) {
    std::vector<std::string> words;
    size_t start = 0;
    while (words.size() + 1 < count) {
        size_t end = line.find(' ', start);
        if (end == std::string::npos)
            break;
        words.push_back(line.substr(start, end - start));
        start = end + 1;
    }
    words.push_back(line.substr(start));
    return words;
}

int Number(const std::string &word) {
    return (int)strtol(word.c_str(), NULL, 0);
}

const CardModel *Model(const std::string &word) {
    int count = 0;
    while (CardCatalogue[count].name)
        count++;
    for (int i = 0; i < count; i++)
        if (word == CardCatalogue[i].name)
            return &CardCatalogue[i];
    return &CardCatalogue[(unsigned)Number(word) % (unsigned)count];
}

// ---- What the input asks for

struct Input {
    bool root = true;
    WORD language = 0x409;
    int failAt = 0;
    LONG status = ERROR_ACCESS_DENIED;
    DWORD commError = 31;
    std::vector<std::vector<std::string>> steps;
    std::set<std::string> devices; // the serial ports the stand-in has
    std::string key;               // the port key that values go to
    size_t keys = 0;
};

void SeedPort(const std::string &line, Input *input) {
    std::vector<std::string> w = SplitLine(line, 8);
    w.back() = w.back().substr(0, w.back().find(' '));
    sim::Port port;
    for (size_t i = 2; i < w.size(); i++) {
        port.loopback = port.loopback || w[i] == "loopback";
        port.busy = port.busy || w[i] == "busy";
        if (w[i].rfind("echo=", 0) == 0)
            port.echoBytes = Number(w[i].substr(5));
        if (w[i].rfind("write=", 0) == 0)
            port.writableBytes = Number(w[i].substr(6));
        if (w[i].rfind("state=", 0) == 0)
            port.commStateError = (DWORD)Number(w[i].substr(6));
    }
    sim::AddPort(Unescape(w[1]), port);
    input->devices.insert(Unescape(w[1]));
}

// A value of the current key: sz, raw or dword.
void SeedValue(const std::string &verb, const std::string &line, const std::string &key) {
    std::vector<std::string> w = SplitLine(line, verb == "raw" ? 4 : 3);
    if (key.empty() || w.size() < (verb == "raw" ? 4u : 3u))
        return;
    if (verb == "sz")
        sim::RegSeedSz(PortKey(key), Unescape(w[1]), Unescape(w[2]));
    else if (verb == "raw")
        sim::RegSeedRaw(PortKey(key), Unescape(w[2]), (DWORD)Number(w[1]), Unescape(w[3]));
    else
        sim::RegSeedDword(PortKey(key), Unescape(w[1]), (DWORD)strtoul(w[2].c_str(), NULL, 0));
}

void SeedLine(const std::string &line, Input *input) {
    std::vector<std::string> w = SplitLine(line, 2);
    const std::string verb = w[0];
    if (verb == "key" && w.size() == 2 && input->keys < KEY_LIMIT) {
        std::string name = Unescape(w[1]);
        input->key = name.substr(0, name.find('\0'));
        if (!input->key.empty()) {
            sim::RegSeedKey(PortKey(input->key));
            input->keys++;
        }
    } else if (verb == "sz" || verb == "raw" || verb == "dword") {
        SeedValue(verb, line, input->key);
    } else if (verb == "noroot" || verb == "french") {
        input->root = input->root && verb != "noroot";
        input->language = verb == "french" ? 0x40C : input->language;
    } else if (verb == "port" && w.size() == 2) {
        SeedPort(line, input);
    } else if (verb == "fail" && (w = SplitLine(line, 4)).size() == 4) {
        input->failAt = Number(w[1]);
        // A registry call fails with a status, never with success.
        input->status = Number(w[2]) ? Number(w[2]) : ERROR_ACCESS_DENIED;
        input->commError = Number(w[3]) ? (DWORD)Number(w[3]) : 31;
    } else if ((verb == "add" || verb == "remove" || verb == "test" || verb == "suggest" ||
                verb == "checks" || verb == "other") &&
               input->steps.size() < STEP_LIMIT) {
        input->steps.push_back(SplitLine(line, 5));
    }
}

Input Seed(const uint8_t *data, size_t size) {
    Input input;
    std::string text((const char *)data, size);
    for (size_t start = 0; start < text.size();) {
        size_t end = std::min(text.find('\n', start), text.size());
        SeedLine(text.substr(start, end - start), &input);
        start = end + 1;
    }
    if (input.root)
        sim::RegSeedKey(PORTS_ROOT);
    else
        sim::RegRemoveKey(PORTS_ROOT);
    return input;
}

// ---- Acting as the user

std::string Problems;    // gathered until the input's end
const CardModel *Opened; // the model chosen in the last model list
Command Current;         // the user's command under way

void Select(HWND dialog, int id, int position) {
    if (!sim::Control(dialog, id))
        return;
    size_t count = sim::Items(dialog, id).size();
    if (count && sim::IsEnabled(sim::Control(dialog, id)))
        sim::Select(dialog, id, (int)((unsigned)position % count));
}

// The handlers stay queued when their dialog fails to open, and then serve
// the next Add: they look at what their dialog shows, not at their step.
void Add(const std::vector<std::string> &w) {
    const CardModel *row = Model(w.size() > 1 ? w[1] : "0");
    std::string com = w.size() > 2 && w[2] != "-" ? Unescape(w[2]) : "";
    std::vector<int> irqs;
    for (size_t start = 0; w.size() > 3 && start <= w[3].size();) {
        size_t end = std::min(w[3].find(',', start), w[3].size());
        irqs.push_back(Number(w[3].substr(start, end - start)));
        start = end + 1;
    }
    std::string address = w.size() > 4 ? Unescape(w[4]) : "";
    int position = (int)(row - CardCatalogue);
    sim::OnDialog(IDD_MODELS, [position](HWND dialog) {
        Select(dialog, IDC_MODELLIST, position);
        Opened = &CardCatalogue[std::max(0, sim::Selection(dialog, IDC_MODELLIST))];
        sim::Click(dialog, IDC_NEXT);
    });
    sim::OnDialog(row->dialogTemplate, [com, irqs, address](HWND dialog) {
        int templateId = Opened->dialogTemplate;
        if (templateId != IDD_LINX && !com.empty())
            sim::Type(dialog, IDC_FIRSTCOM, com);
        for (size_t i = 0; i < irqs.size() && i < 4; i++)
            Select(dialog, IDC_IRQ1 + (int)i, irqs[i]);
        if (templateId == IDD_MPB && !address.empty())
            sim::Type(dialog, IDC_ADDRESS, address);
        else if (!address.empty())
            Select(dialog, IDC_ADDRESS, Number(address));
        ReadWish(dialog, Opened, &Current.wish);
        sim::Click(dialog, IDC_PROP_ADD);
        if (sim::IsVisible(dialog)) { // an entry was refused
            Current.wish = CardWish();
            sim::Click(dialog, templateId == IDD_MPB ? IDCANCEL : IDC_PROP_CANCEL);
        }
    });
    sim::Click(MainWindow, IDC_ADD);
}

// The card that the step chooses: that of its line, or that of the line
// still selected when it gives none (a command that fails keeps the list).
PortEntry *Card(const std::vector<std::string> &w) {
    size_t lines = sim::Items(MainWindow, IDC_CARDLIST).size();
    int line = sim::Selection(MainWindow, IDC_CARDLIST);
    if (lines && w.size() > 1)
        line = (int)((unsigned)Number(w[1]) % lines);
    return line >= 0 ? (PortEntry *)sim::ItemData(MainWindow, IDC_CARDLIST, line) : NULL;
}

void SelectAndClick(const std::vector<std::string> &w, int id) {
    if (w.size() > 1)
        Select(MainWindow, IDC_CARDLIST, Number(w[1]));
    sim::Click(MainWindow, id);
}

// ---- What each step must leave

void Check(bool holds, const std::string &what) {
    if (!holds)
        Problems += what + "\n";
}

// The proposal is the smallest m >= 3 whose ports COMm to COMm+n-1 are all
// free.
void CheckSuggestion(const CardModel *row) {
    long m = strtol(SuggestFirstCom(row), NULL, 10);
    std::set<long> taken;
    for (PortEntry *e : Ports())
        if (strncmp(e->dosDevices, "COM", 3) == 0)
            taken.insert(strtol(e->dosDevices + 3, NULL, 10));
    auto freeFrom = [&](long first) {
        for (long k = first; k < first + row->portCount; k++)
            if (taken.count(k))
                return false;
        return true;
    };
    Check(m >= 3 && freeFrom(m), "the proposal " + std::to_string(m) + " is taken");
    for (long first = 3; first < m; first++)
        Check(!freeFrom(first),
              "the proposal " + std::to_string(m) + " passes by " + std::to_string(first));
}

// Each check shows one box per conflicting pair, in pair order; the
// reminder shows when some port is on an IRQ from 0 to 15.
void CheckChecks() {
    std::vector<PortEntry *> ports = Ports();
    size_t names = 0, irqs = 0, addresses = 0;
    bool reminder = false;
    for (size_t i = 0; i < ports.size(); i++) {
        reminder = reminder || (ports[i]->interrupt >= 0 && ports[i]->interrupt <= 15);
        for (size_t j = i + 1; j < ports.size(); j++) {
            names += strcmp(ports[i]->dosDevices, ports[j]->dosDevices) == 0;
            irqs +=
                ports[i]->interrupt == ports[j]->interrupt && ports[i]->leader != ports[j]->leader;
            addresses += ports[i]->portAddress == ports[j]->portAddress;
        }
    }
    size_t before = sim::Boxes().size();
    Check(CheckDuplicateNames() == (names == 0), "CheckDuplicateNames' result");
    Check(CheckSharedIrqs() == (irqs == 0), "CheckSharedIrqs' result");
    Check(CheckDuplicateAddresses() == (addresses == 0), "CheckDuplicateAddresses' result");
    ShowIrqReminder();
    Check(sim::Boxes().size() - before == names + irqs + addresses + reminder,
          "the exit checks showed " + std::to_string(sim::Boxes().size() - before) + " boxes for " +
              std::to_string(names + irqs + addresses) + " conflicts");
}

// The results box has one line per port of the card, in list order: its
// device name, ": " and its result, which holds no line feed. A port that the
// stand-in does not have is not installed.
void CheckTestResults(const PortEntry *card, const std::string &results,
                      const std::set<std::string> &devices, bool faults) {
    bool cut = results.size() == RESULTS_AREA - 1; // what did not fit is left out
    size_t at = 0;
    for (PortEntry *e : Ports()) {
        if (e->leader != card)
            continue;
        std::string start = std::string(e->dosDevices) + ": ";
        size_t end = results.find('\n', std::min(at + start.size(), results.size()));
        if (cut && end == std::string::npos) {
            std::string rest = results.substr(at);
            Check(rest.size() <= start.size() ? start.compare(0, rest.size(), rest) == 0
                                              : rest.compare(0, start.size(), start) == 0,
                  "the cut results do not end in the line of " + Shown(e->dosDevices));
            return;
        }
        Check(results.compare(at, start.size(), start) == 0 && end != std::string::npos,
              "no result line for " + Shown(e->dosDevices));
        if (end == std::string::npos)
            return;
        std::string result = results.substr(at + start.size(), end - at - start.size());
        Check(faults || devices.count(e->dosDevices) || result == Text(IDS_TEST_NOT_INSTALLED),
              "the missing port " + Shown(e->dosDevices) + " reads " + Shown(result));
        Check(result != SystemText(ERROR_SUCCESS),
              "the port " + Shown(e->dosDevices) + " reads as a success of the system");
        at = end + 1;
    }
    Check(at == results.size(), "the results hold more than the card's ports");
}

// Without a failing call, the loader lists exactly the keys it can read, in
// the registry's order up to the first name too long to enumerate, and
// reports each key it skips for a missing mandatory value.
void CheckLoad(size_t boxesBefore) {
    std::vector<std::string> expected, reports;
    std::set<std::string> listed;
    for (PortEntry *e : Ports())
        listed.insert(e->keyName);
    bool stopped = false;
    for (const std::string &name : sim::RegSubkeys(PORTS_ROOT)) {
        if (stopped || name.size() >= 30) {
            if (!stopped)
                expected.push_back("listCards/EnumKey: " + SystemText(ERROR_MORE_DATA));
            stopped = true;
            Check(!listed.count(name), "the key " + Shown(name) + " is listed after the stop");
            continue;
        }
        Reading reading = ReadAsLoader(name);
        Check(reading.listed == (listed.count(name) != 0),
              "the key " + Shown(name) + (reading.listed ? " is not listed" : " is listed"));
        if (!reading.report.empty())
            expected.push_back(reading.report);
    }
    const std::vector<sim::Box> &boxes = sim::Boxes();
    for (size_t i = boxesBefore; i < boxes.size(); i++)
        if (boxes[i].caption == Text(IDS_INTERNAL_ERROR))
            reports.push_back(boxes[i].text);
    Check(reports == expected, "the load showed " + std::to_string(reports.size()) +
                                   " reports for " + std::to_string(expected.size()) +
                                   " keys it could not read");
}

// Another writer adds a port key that no port of the list has, whatever
// the letter case: one that the list mirrors is not the other's to change.
void OtherWriter(const std::vector<std::string> &w) {
    std::string name = w.size() > 1 ? Unescape(w[1]) : "";
    name = name.substr(0, name.find('\0'));
    for (PortEntry *e : Ports())
        if (name.empty() || strcasecmp(e->keyName, name.c_str()) == 0)
            return;
    ::SeedPort(name, "COM99", 5, 0x2F8, "", "");
    if (w.size() > 2) // half of it: the address of another type
        sim::RegSeedSz(PortKey(name), "PortAddress", "2f8");
}

// One step of the user's, and what it must leave.
void Step(const std::vector<std::string> &w, const Input &input, MirrorRules *rules) {
    PortEntry *card = w[0] == "remove" || w[0] == "test" ? Card(w) : NULL;
    Current = BeginCommand(w[0], card);
    size_t boxes = sim::Boxes().size();
    if (w[0] == "add")
        Add(w);
    else if (w[0] == "remove" || w[0] == "test")
        SelectAndClick(w, w[0] == "remove" ? IDC_REMOVE : IDC_TEST);
    else if (w[0] == "suggest")
        CheckSuggestion(Model(w.size() > 1 ? w[1] : "0"));
    else if (w[0] == "checks")
        CheckChecks();
    else if (w[0] == "other")
        OtherWriter(w);
    // The card is still whole: testing changes no record.
    if (!Current.cardDevices.empty() && sim::Boxes().size() > boxes &&
        sim::Boxes().back().caption == Text(IDS_TEST_RESULTS))
        CheckTestResults(card, sim::Boxes().back().text, input.devices, input.failAt > 0);
    std::string problems = CommandProblems(Current, (size_t)input.failAt, rules);
    NoteSharedKeys(rules);
    bool changed =
        sim::RegChangeCount() != Current.registryChanges || Ports().size() != Current.ports.size();
    problems += ListProblems() + (changed ? MirrorProblems(*rules) : "") + CardListProblems() +
                HandleProblems();
    if (!problems.empty())
        Problems += "after " + w[0] + ":\n" + problems;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // CARDINST_FUZZ_TRACE=1 shows what an input does: its boxes, then its
    // fallible calls by number (for the fail command).
    static const bool trace = getenv("CARDINST_FUZZ_TRACE") != NULL;
    sim::Reset();
    sim::DescribeFallibleCalls(trace);
    Problems.clear();
    Input input = Seed(data, size);
    sim::SetLanguage(input.language);
    sim::FailNthFallible(input.failAt, input.status, input.commError);
    MirrorRules rules;
    rules.defaultsAllowed = input.failAt > 0;
    sim::OnMessageBox([](const sim::Box &box) {
        Problems += BoxProblems(box);
        if (trace)
            fprintf(stderr, "box [%s] %s\n", Shown(box.caption).c_str(), Shown(box.text).c_str());
        return IDOK;
    });
    bool started = InitApplication((HINSTANCE)1);
    if (input.failAt == 0 && input.root)
        CheckLoad(0);
    if (started) {
        std::string problems = ProgramProblems(rules);
        Problems += problems.empty() ? "" : "after start-up:\n" + problems;
        for (size_t i = 0; i < input.steps.size() && sim::IsLive(MainWindow); i++)
            Step(input.steps[i], input, &rules);
        if (sim::IsLive(MainWindow))
            sim::Click(MainWindow, IDC_QUIT);
        sim::OnIdle(NULL);
        RunMessageLoop();
    }
    Problems += ListProblems() + MirrorProblems(rules) + HandleProblems();
    for (const std::string &failure : sim::Failures())
        Problems += "stand-in: " + failure + "\n";
    for (size_t i = 0; trace && i < sim::FallibleCalls().size(); i++)
        fprintf(stderr, "call %zu: %s\n", i + 1, Shown(sim::FallibleCalls()[i]).c_str());
    Problems += ReleaseProgram();
    if (!Problems.empty()) {
        fprintf(stderr, "cardinst fuzz: a rule broke:\n%.4000s\n", Problems.c_str());
        abort();
    }
    return 0;
}
