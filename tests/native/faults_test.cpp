// The fault sweep: each user story runs once to count the calls that the
// platform may fail, then once more for each of them with that one call
// failing (registry calls with ERROR_ACCESS_DENIED, as for a user without
// administrator rights, and again with ERROR_OUTOFMEMORY). Every run must end
// cleanly: no crash, no sanitizer report, no leak, no key or port left open,
// the port list whole and mirrored by the registry, the failure reported in
// the box made for it, and silent failures silent.
#include "invariants.h"

#include "catalogue/catalogue.h"
#include "dialogs/dialogs.h"
#include "resource.h"
#include "shell/app.h"
#include "store/portlist.h"

#include <gtest/gtest.h>
#include <sanitizer/common_interface_defs.h>
#include <sanitizer/lsan_interface.h>

#include <ctype.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

// ---- The stories

enum Action { ADD, REMOVE, TEST };

struct Step {
    Action action;
    const char *what; // the model to add, or the start of the card's line
};

struct Story {
    const char *name;
    void (*seed)();
    std::vector<Step> steps; // then Quit
};

// Several cards, a multiport one among them, and a port of no card.
void SeedSeveralCards() {
    SeedCard(10000, "4SX510", 3, 10, {0x3F8, 0x2F8, 0x3E8, 0x2E8});
    SeedCard(10004, "MPB510-8", 7, 11, {0x280, 0x288, 0x290, 0x298, 0x2A0, 0x2A8, 0x2B0, 0x2B8},
             0x287);
    SeedCard(10012, "2SX-BTL", 15, 5, {0x100, 0x108});
    SeedPort("Serial10014", "COM20", 12, 0x300, "", "");
}

void SeedThreeCards() {
    SeedCard(10000, "2SX510", 3, 4, {0x3F8, 0x2F8});
    SeedCard(10002, "4SX510", 5, 10, {0x3E8, 0x2E8, 0x280, 0x288});
    SeedCard(10006, "2SX-MORAV", 9, 7, {0x2A0, 0x2A8});
}

// A Leader may name a port that is not a card's first port: the card of
// Serial10002 and Serial10003 leads Serial10004 through its second port, and
// Serial10004 leads Serial10005.
void SeedChainInTheMiddle() {
    SeedCard(10000, "2SX-BTL", 3, 5, {0x3E8, 0x330});
    SeedPort("Serial10002", "COM5", 10, 0x280, "4SX510", "Serial10002");
    SeedPort("Serial10003", "COM6", 10, 0x288, "4SX510", "Serial10002");
    SeedPort("Serial10004", "COM7", 10, 0x290, "4SX510", "Serial10003");
    SeedPort("Serial10005", "COM8", 10, 0x298, "4SX510", "Serial10004");
}

// The same chain starting in the head.
void SeedChainAtTheHead() {
    SeedPort("Serial10000", "COM3", 10, 0x280, "4SX510", "Serial10000");
    SeedPort("Serial10001", "COM4", 10, 0x288, "4SX510", "Serial10000");
    SeedPort("Serial10002", "COM5", 10, 0x290, "4SX510", "Serial10001");
    SeedCard(10003, "2SX-BTL", 7, 5, {0x3E8, 0x330});
}

// A four-port card whose ports answer in four ways.
void SeedCardToTest() {
    SeedCard(10000, "4SX510", 3, 10, {0x3F8, 0x2F8, 0x3E8, 0x2E8});
    SeedCard(10004, "2SX510", 9, 4, {0x3E8, 0x2E8});
    sim::Port loopback;
    loopback.loopback = true;
    sim::AddPort("COM3", loopback);
    sim::AddPort("COM4", sim::Port()); // no loopback connector
    // COM5 is not installed
    sim::Port shortEcho = loopback;
    shortEcho.echoBytes = 20;
    sim::AddPort("COM6", shortEcho);
}

// Two cards on one name, one address and one interrupt.
void SeedConflicts() {
    SeedCard(10000, "2SX510", 3, 5, {0x3F8, 0x2F8});
    SeedCard(10002, "2SX510", 4, 5, {0x3E8, 0x2F8});
}

const Story Stories[] = {
    {"start-up with several cards", SeedSeveralCards, {}},
    {"adding a jumper-strap card", SeedThreeCards, {{ADD, "4SX510"}}},
    {"adding a switch-selected card", SeedThreeCards, {{ADD, "Linx700"}}},
    {"adding a free-address card", SeedThreeCards, {{ADD, "MPB510-8"}}},
    {"removing the head card", SeedThreeCards, {{REMOVE, "COM3:"}}},
    {"removing a middle card", SeedThreeCards, {{REMOVE, "COM5:"}}},
    {"removing a card that leads a chain", SeedChainInTheMiddle, {{REMOVE, "COM5:"}}},
    {"removing a head card that leads a chain", SeedChainAtTheHead, {{REMOVE, "COM3:"}}},
    {"testing a card", SeedCardToTest, {{TEST, "COM3:"}}},
    {"quitting with conflicts", SeedConflicts, {}},
};

// ---- Driving the program as the user

// Performs a step; the problems of what it left.
std::string Perform(const Step &step, size_t k, MirrorRules *rules) {
    std::vector<std::string> lines = sim::Items(MainWindow, IDC_CARDLIST);
    int line = -1; // the failure may have left no line for the card
    for (size_t i = 0; i < lines.size(); i++)
        line = lines[i].rfind(step.what, 0) == 0 ? (int)i : line;
    PortEntry *card = line < 0 ? NULL : (PortEntry *)sim::ItemData(MainWindow, IDC_CARDLIST, line);
    static Command c; // the properties dialog's handler fills in its wish
    c = BeginCommand(step.action == ADD ? "add" : step.action == REMOVE ? "remove" : "test", card);
    if (step.action == ADD) {
        const CardModel *row = Row(step.what);
        int position = (int)(row - CardCatalogue);
        sim::OnDialog(IDD_MODELS, [position](HWND dialog) {
            sim::Select(dialog, IDC_MODELLIST, position);
            sim::Click(dialog, IDC_NEXT);
        });
        sim::OnDialog(row->dialogTemplate, [row](HWND dialog) {
            ReadWish(dialog, row, &c.wish);
            sim::Click(dialog, IDC_PROP_ADD);
        });
        sim::Click(MainWindow, IDC_ADD);
    } else if (line >= 0) {
        sim::Select(MainWindow, IDC_CARDLIST, line);
        sim::Click(MainWindow, step.action == REMOVE ? IDC_REMOVE : IDC_TEST);
    }
    return CommandProblems(c, k, rules);
}

// ---- One run

struct Outcome {
    int exitCode = -1;
    std::vector<std::string> calls; // the fallible calls, described
    std::vector<size_t> stepStarts; // where in calls each step and then Quit began
    std::vector<sim::Box> boxes;
    std::string problems;
    std::set<std::string> keys, listed; // key names, upper case
};

// What a crash report names: the story, the code and the call failing.
char CrashContext[256];

void PrintCrashContext() {
    fprintf(stderr, "fault sweep: crashed in %s\n", CrashContext);
}

Outcome RunStory(const Story &story, int k, LONG status, DWORD commError) {
    Outcome run;
    sim::Reset();
    ResetProgram();
    story.seed();
    sim::RegSeedKey(PORTS_ROOT);
    sim::FailNthFallible(k, status, commError);
    MirrorRules rules;
    rules.defaultsAllowed = k > 0;
    sim::OnMessageBox([&run](const sim::Box &box) {
        run.problems += BoxProblems(box);
        return IDOK;
    });
    sim::OnIdle([&run, &story, &rules, k]() {
        for (size_t i = 0; i < story.steps.size() && sim::IsLive(MainWindow); i++) {
            run.stepStarts.push_back(sim::FallibleCalls().size());
            std::string problems = Perform(story.steps[i], (size_t)k, &rules);
            problems += ProgramProblems(rules);
            if (!problems.empty())
                run.problems += "after step " + std::to_string(i + 1) + ":\n" + problems;
        }
        run.stepStarts.push_back(sim::FallibleCalls().size());
        if (sim::IsLive(MainWindow))
            sim::Click(MainWindow, IDC_QUIT);
    });
    run.exitCode = WinMain((HINSTANCE)1, NULL, (LPSTR) "", SW_SHOWNORMAL);
    run.problems += ListProblems() + MirrorProblems(rules) + HandleProblems();
    for (const std::string &failure : sim::Failures())
        run.problems += "stand-in: " + failure + "\n";
    run.calls = sim::FallibleCalls();
    run.boxes = sim::Boxes();
    for (const std::string &name : sim::RegSubkeys(PORTS_ROOT))
        run.keys.insert(Upper(name));
    for (PortEntry *e : Ports())
        run.listed.insert(Upper(e->keyName));
    run.problems += ReleaseProgram();
    sim::Reset();
    return run;
}

// ---- What a failure must show

// Texts as the program shows them, read the way it reads them.
std::string String(int id) {
    char text[STRING_AREA];
    int length = LoadStringA((HINSTANCE)1, (UINT)id, text, sizeof text);
    return std::string(text, length > 0 ? (size_t)length : 0);
}

std::string Format(const std::string &format, const std::string &a, const std::string &b = "",
                   const std::string &c = "") {
    char message[300];
    snprintf(message, sizeof message, format.c_str(), a.c_str(), b.c_str(), c.c_str());
    return message;
}

// A box without owner, described.
std::string Box(int text, int caption, const char *icon) {
    return "[" + String(caption) + "|" + icon + "|ownerless] " + String(text);
}

struct Expectation {
    std::string report;          // shown once, the only report; empty: no report at all
    std::string box;             // another box that must be shown, described
    bool anyKeyUnlisted = false; // loading never finished
    std::string keyUnlisted;     // the one key that may stay in the registry alone
    std::string resultLine;      // the port's line in the results box
};

// The words of a fallible call's description: its function, then what it names.
std::vector<std::string> CallWords(const std::string &text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string word; in >> word;)
        words.push_back(word);
    return words;
}

// The port key that the last registry call up to call number `index` opened.
std::string CurrentKey(const std::vector<std::string> &calls, size_t index) {
    for (size_t i = index; i-- > 0;) {
        std::vector<std::string> w = CallWords(calls[i]);
        if ((w[0] == "RegOpenKeyExA" || w[0] == "RegCreateKeyExA") && w[1] == "Parameters")
            return w[2];
    }
    return "";
}

// A combo box's report: its tag by dialog and control, and its text, which
// the jumper-strap and switch dialogs take from the combo box's result.
std::string ComboReport(int dialog, int control, bool add) {
    std::string result = SystemText(add ? (DWORD)CB_ERRSPACE : (DWORD)CB_ERR);
    if (dialog == IDD_RS && control == IDC_ADDRESS)
        return Format("%s:%s", "CB_ADDSTRING/SETCURSEL", result);
    if (dialog == IDD_RS)
        return Format("%s:%s", add ? "CB_ADDSTRING" : "CB_SETCURSEL", result);
    if (dialog == IDD_LINX && control == IDC_ADDRESS)
        return Format("%s: %s", "Sw11/CB_ADDSTRING/SETCURSEL", result);
    if (dialog == IDD_LINX)
        return Format("%s: %s", add ? "linx/CB_ADDSTRING" : "linx/CB_SETCURSEL", result);
    if (add)
        return Format("%s: %s", "mpbIrq/CB_ADDSTRING", SystemText(ERROR_NOT_ENOUGH_MEMORY));
    return "mpbIrq/CB_SETCURSEL: "; // the last error as left
}

// The result line of a port whose comm call failed; the calls that put the
// port back are not looked at.
std::string ResultLine(const std::vector<std::string> &w, DWORD code, bool puttingBack) {
    if (puttingBack)
        return "";
    std::string result = SystemText(code);
    if (w[0] == "CreateFileA" && code == ERROR_FILE_NOT_FOUND)
        result = String(IDS_TEST_NOT_INSTALLED);
    if (w[0] == "GetCommState" && code == ERROR_INVALID_PARAMETER)
        result = String(IDS_TEST_COMM_API);
    std::string port = w[0] == "CreateFileA" ? w[1].substr(4) : w[1];
    return port + ": " + result;
}

// The failing call, word by word, and the system's texts its failure shows.
struct Failure {
    const std::vector<std::string> &calls;
    size_t k;
    std::vector<std::string> w;
    std::string text, outOfMemory; // for the status, and for no memory
};

Expectation ExpectAtStartUp(const Failure &c) {
    Expectation e;
    const std::string &f = c.w[0];
    bool created = false;
    for (size_t i = 0; i + 1 < c.k; i++)
        created = created || c.calls[i].rfind("CreateDialogParamA", 0) == 0;
    e.anyKeyUnlisted = true; // unless the failure is one port's alone
    if (!created && f != "CreateDialogParamA") {
        e.box = "[Internal error|error|ownerless] Cannot allocate string table";
    } else if (f == "CreateDialogParamA") {
        e.box = Box(IDS_NO_MAIN_WINDOW, IDS_INTERNAL_ERROR, "error");
    } else if (f == "RegOpenKeyExA" && c.w[1] == "HKLM") {
        e.report = Format("%s: %s", "listCards/OpenKey", c.text);
    } else if (f == "RegEnumKeyExA") {
        e.report = Format("%s: %s", "listCards/EnumKey", c.text);
    } else {
        e.anyKeyUnlisted = false;
        std::string key = CurrentKey(c.calls, c.k);
        e.keyUnlisted = Upper(key);
        std::string value = c.w.size() > 2 ? c.w[2] : "";
        bool mandatory = value == "DosDevices" || value == "Interrupt" || value == "PortAddress";
        bool sizeQuery = c.w.size() > 3;
        if (f == "RegOpenKeyExA")
            e.report = Format("%s: %s", "cards/OpenKey/subkey", c.text);
        else if (f == "RegQueryValueExA" && value == "DosDevices" && sizeQuery)
            // Read then with room for one byte: the text does not fit.
            e.report = Format(String(IDS_READ_MANDATORY), value, key, SystemText(234));
        else if (f == "RegQueryValueExA" && mandatory)
            e.report = Format(String(IDS_READ_MANDATORY), value, key, c.text);
        else if (f == "RegQueryValueExA")
            e.keyUnlisted = ""; // an optional value: read as absent, silently
        else
            e.report = Format("%s: %s", "New DosDevices", c.outOfMemory);
    }
    return e;
}

Expectation ExpectInAdd(const Failure &c, const CardModel *row) {
    Expectation e;
    const std::string &f = c.w[0];
    WriterTags writer = WriterTagsOf(row);
    std::string key = CurrentKey(c.calls, c.k);
    if (f == "DialogBoxParamA" && c.w[1] == "102") {
        e.box = Box(IDS_NO_MAIN_WINDOW, IDS_INTERNAL_ERROR, "error");
    } else if (f == "DialogBoxParamA") {
        // The properties dialog's result is not looked at.
    } else if (f == "LB_ADDSTRING") {
        e.report = Format("%s: %s", "model/LB_ADDSTRING", c.outOfMemory);
    } else if (f == "CB_ADDSTRING" || f == "CB_SETCURSEL") {
        e.report = ComboReport(std::stoi(c.w[1]), std::stoi(c.w[2]), f == "CB_ADDSTRING");
    } else if (f == "RegOpenKeyExA" && c.w[2] == PORTS_ROOT) {
        e.report = Format(writer.rootFormat, writer.root, c.text);
    } else if (f == "RegOpenKeyExA") {
        e.report = Format("%s: %s", writer.serial, c.text);
    } else if (f == "RegSetValueExA" && c.w[1] == "Serial") {
        e.report = Format("%s: %s", writer.share, c.text);
    } else if (f == "RegCreateKeyExA") {
        e.report = Format("%s: %s", writer.port, c.text);
    } else if (f == "RegSetValueExA" || f == "malloc" || f == "calloc") {
        e.report = Format("%s: %s", writer.port, f[0] == 'R' ? c.text : c.outOfMemory);
        e.keyUnlisted = Upper(key);
    }
    return e;
}

Expectation ExpectInRemoveOrTest(const Failure &c, Action action, DWORD commError) {
    Expectation e;
    const std::string &f = c.w[0];
    if (action == REMOVE && f == "RegOpenKeyExA") {
        e.report = Format("%s: %s", "Delete/OpenKey", c.text);
    } else if (action == REMOVE && f == "RegDeleteKeyA") {
        e.report = Format(String(IDS_DELETE_FAILED), c.text, c.w[2]);
        e.keyUnlisted = Upper(c.w[2]);
    } else if (action == TEST && f == "malloc") {
        e.report = Format(String(IDS_TEST_HALTED), "TestCard/NewPort", c.outOfMemory);
    } else if (action == TEST) {
        size_t earlier = 0;
        for (size_t i = 0; i + 1 < c.k; i++)
            earlier += c.calls[i] == c.calls[c.k - 1];
        bool puttingBack = (f == "SetCommState" || f == "SetCommTimeouts") && earlier > 0;
        e.resultLine = ResultLine(c.w, commError, puttingBack);
    }
    return e;
}

Expectation Expect(const Story &story, const Outcome &clean, size_t k, LONG status,
                   DWORD commError) {
    Failure c = {clean.calls, k, CallWords(clean.calls[k - 1]), SystemText((DWORD)status),
                 SystemText(ERROR_NOT_ENOUGH_MEMORY)};
    size_t step = 0; // 0: start-up, then the story's steps, then Quit
    while (step < clean.stepStarts.size() && clean.stepStarts[step] < k)
        step++;
    Expectation e;
    // The card list, refilled at start and after every command.
    if (c.w[0] == "LB_ADDSTRING" && c.w[1] == "101")
        e.report = Format("%s: %s", "listCards/LB_ADDSTRING", c.outOfMemory);
    else if (c.w[0] == "LB_SETITEMDATA")
        e.report = Format("%s: %s", "listCards/LB_SETITEMDATA", SystemText(1413));
    else if (step == 0)
        return ExpectAtStartUp(c);
    else if (step > story.steps.size())
        return e; // Quit calls nothing that can fail
    else if (c.w[0] == "LB_GETITEMDATA")
        e.box = Box(IDS_NO_SELECTION, IDS_INVALID_DATA, "error");
    else if (story.steps[step - 1].action == ADD)
        return ExpectInAdd(c, Row(story.steps[step - 1].what));
    else
        return ExpectInRemoveOrTest(c, story.steps[step - 1].action, commError);
    return e;
}

// The problems of a run with call k failing, against what its failure must
// show and what the clean run left.
std::string Judge(const Story &story, const Outcome &clean, const Outcome &run, size_t k,
                  LONG status, DWORD commError) {
    Expectation e = Expect(story, clean, k, status, commError);
    std::string problems = run.problems;
    if (run.exitCode != 0)
        problems += "exit code " + std::to_string(run.exitCode) + "\n";
    std::vector<std::string> reports, shown;
    for (const sim::Box &box : run.boxes) {
        shown.push_back(Describe(box));
        if (box.caption == String(IDS_INTERNAL_ERROR) && (box.type & 0xF0) == MB_ICONWARNING)
            reports.push_back(box.text);
    }
    // The free-address dialog's CB_SETCURSEL report ends in whatever text
    // the last error left: only its start is known.
    bool asLeft = e.report == "mpbIrq/CB_SETCURSEL: ";
    bool reported = reports.size() == 1 &&
                    (reports[0] == e.report || (asLeft && reports[0].rfind(e.report, 0) == 0));
    if (e.report.empty() && !reports.empty())
        problems += "a silent failure reported \"" + reports[0] + "\"\n";
    if (!e.report.empty() && !reported)
        problems += "the report \"" + e.report + "\" was not shown once, alone\n";
    if (!e.box.empty() && std::find(shown.begin(), shown.end(), e.box) == shown.end())
        problems += "the box " + e.box + " was not shown\n";
    if (!e.resultLine.empty()) {
        bool found = false;
        for (const sim::Box &box : run.boxes)
            if (box.caption == String(IDS_TEST_RESULTS))
                found = found ||
                        ("\n" + box.text).find("\n" + e.resultLine + "\n") != std::string::npos;
        if (!found)
            problems += "no result line \"" + e.resultLine + "\"\n";
    }
    for (const std::string &key : run.keys) {
        if (run.listed.count(key) || e.anyKeyUnlisted || key == e.keyUnlisted)
            continue;
        problems += "the key " + key + " has no record and the failure does not explain it\n";
    }
    return problems;
}

// ---- The sweep

struct Code {
    const char *name;
    LONG registryStatus;
    DWORD commError;
};

// Denied as for a user without administrator rights (the ports then fail
// as devices that do not work); out of memory (the ports then refuse the
// parameters, which GetCommState reports as string 22).
const Code Codes[] = {
    {"access denied", ERROR_ACCESS_DENIED, 31 /* ERROR_GEN_FAILURE */},
    {"out of memory", 14 /* ERROR_OUTOFMEMORY */, ERROR_INVALID_PARAMETER},
};

class FaultSweep : public ::testing::TestWithParam<size_t> {};

TEST_P(FaultSweep, EveryFallibleCallFailsCleanly) {
    const Story &story = Stories[GetParam()];
    __sanitizer_set_death_callback(PrintCrashContext);
    snprintf(CrashContext, sizeof CrashContext, "\"%s\", the run without a failure", story.name);
    Outcome clean = RunStory(story, 0, ERROR_SUCCESS, 0);
    ASSERT_EQ("", clean.problems);
    ASSERT_EQ(0, clean.exitCode);
    ASSERT_EQ(clean.keys, clean.listed) << "every key has its record";
    for (const sim::Box &box : clean.boxes)
        ASSERT_NE(String(IDS_INTERNAL_ERROR), box.caption) << box.text;
    size_t points = clean.calls.size();
    for (const Code &code : Codes) {
        for (size_t k = 1; k <= points; k++) {
            snprintf(CrashContext, sizeof CrashContext, "\"%s\", %s, call %zu: %s", story.name,
                     code.name, k, clean.calls[k - 1].c_str());
            Outcome run = RunStory(story, (int)k, code.registryStatus, code.commError);
            ASSERT_EQ(clean.calls[k - 1], run.calls[k - 1]) << "the runs went apart";
            std::string problems = Judge(story, clean, run, k, code.registryStatus, code.commError);
            EXPECT_EQ("", problems) << CrashContext;
        }
    }
    // Anything else the runs left behind, the stand-in's memory included.
    EXPECT_EQ(0, __lsan_do_recoverable_leak_check()) << "memory leaked in " << story.name;
    printf("[ sweep    ] %s: %zu failure points, each failed with two codes%s\n", story.name,
           points, HasFailure() ? "" : ": all held");
}

std::string StoryName(const ::testing::TestParamInfo<size_t> &info) {
    std::string name;
    for (const char *c = Stories[info.param].name; *c; c++)
        name += isalnum((unsigned char)*c) ? *c : '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Stories, FaultSweep,
                         ::testing::Range<size_t>(0, sizeof Stories / sizeof Stories[0]),
                         StoryName);

} // namespace
