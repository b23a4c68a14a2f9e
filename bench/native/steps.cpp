// Benchmarks of the program's steps on the Linux stand-in for N configured
// ports: loading, the card list, the first-COM suggestion, the key names of
// a new 8-port card and the four exit checks. Each iteration times one call
// of the step and nothing else: whatever puts the state back for the next
// iteration runs outside the timed region (manual timing).
//
// At the end it prints a Markdown table of the median times and each step's
// growth exponent (the slope of log time against log N).
#include "catalogue/catalogue.h"
#include "dialogs/dialogs.h"
#include "invariants.h"
#include "resource.h"
#include "shell/app.h"
#include "simtest.h"
#include "store/portlist.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

const int kCardPorts = 8;
const char kCardModel[] = "MPB510-8";
// The interrupts offered for that model, given to the cards in turn.
const int kIrqs[] = {3, 4, 5, 6, 7, 9, 10, 11, 12, 15};
const int kIrqCount = sizeof kIrqs / sizeof kIrqs[0];
const int kSizes[] = {8, 64, 256, 1024, 4096};

using Clock = std::chrono::steady_clock;

std::string KeyName(int n) {
    char name[24];
    snprintf(name, sizeof name, "Serial%05d", n);
    return name;
}

// n ports in cards of 8 free-address ports, as the program would have
// written them one card after the other: keys Serial10000 up, COM3 up,
// card c at base 0x100 + 0x40 c with one interrupt of the model's list, in
// turn. Names and addresses are all different; interrupts are shared
// between cards once there are more cards than interrupts.
void SeedPorts(int n) {
    const std::string root = PORTS_ROOT;
    sim::RegSeedKey(root);
    for (int p = 0; p < n; p++) {
        int card = p / kCardPorts, i = p % kCardPorts;
        DWORD base = 0x100 + 0x40 * (DWORD)card;
        std::string key = root + "\\" + KeyName(10000 + p);
        sim::RegSeedKey(key);
        sim::RegSeedSz(key, "DosDevices", "COM" + std::to_string(3 + p));
        sim::RegSeedDword(key, "Interrupt", (DWORD)kIrqs[card % kIrqCount]);
        sim::RegSeedDword(key, "PortAddress", base + 8 * (DWORD)i);
        sim::RegSeedDword(key, "InterruptStatus", base + 7);
        sim::RegSeedDword(key, "PortIndex", (DWORD)i + 1);
        sim::RegSeedSz(key, "Model", kCardModel);
        sim::RegSeedSz(key, "Leader", KeyName(10000 + card * kCardPorts));
    }
}

// Releases what the program built, resets its globals and the stand-in.
void FreeProgram() {
    ResetProgram();
    sim::Reset();
}

// Starts the program on n seeded ports as WinMain does, up to its message
// loop: strings loaded, main window made, ports loaded and listed. Message
// boxes are recorded and closed at once. Returns false (and skips the
// benchmark) when that did not go as it should.
bool Start(benchmark::State &state, int n) {
    FreeProgram();
    SeedPorts(n);
    sim::SetLanguage(0x409);
    sim::OnMessageBox([](const sim::Box &) { return IDOK; });
    if (!InitApplication((HINSTANCE)1) || (int)Ports().size() != n || !Row(kCardModel)) {
        state.SkipWithError("the program did not start on the seeded ports");
        return false;
    }
    return true;
}

// Ends a benchmark: the stand-in must have met nothing unexpected.
void Finish(benchmark::State &state) {
    if (!sim::Failures().empty())
        state.SkipWithError(("stand-in failure: " + sim::Failures().front()).c_str());
    FreeProgram();
}

double Seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void BM_listCards(benchmark::State &state) {
    int n = (int)state.range(0);
    if (!Start(state, n))
        return;
    for (auto _ : state) {
        ReleasePortList();
        Clock::time_point start = Clock::now();
        int loaded = listCards();
        state.SetIterationTime(Seconds(start));
        if (!loaded || (int)Ports().size() != n) {
            state.SkipWithError("listCards did not load every port");
            break;
        }
    }
    Finish(state);
}

void BM_FillCardList(benchmark::State &state) {
    int n = (int)state.range(0);
    if (!Start(state, n))
        return;
    for (auto _ : state) {
        Clock::time_point start = Clock::now();
        int filled = FillCardList(MainWindow);
        state.SetIterationTime(Seconds(start));
        if (!filled || (int)sim::Items(MainWindow, IDC_CARDLIST).size() != n / kCardPorts) {
            state.SkipWithError("FillCardList did not show one line per card");
            break;
        }
    }
    Finish(state);
}

void BM_SuggestFirstCom(benchmark::State &state) {
    int n = (int)state.range(0);
    if (!Start(state, n))
        return;
    const CardModel *row = Row(kCardModel);
    std::string expected = std::to_string(3 + n);
    for (auto _ : state) {
        Clock::time_point start = Clock::now();
        const char *suggestion = SuggestFirstCom(row);
        state.SetIterationTime(Seconds(start));
        benchmark::DoNotOptimize(suggestion);
        if (expected != suggestion) {
            state.SkipWithError("SuggestFirstCom did not propose the first free COM number");
            break;
        }
    }
    Finish(state);
}

// Writing a new 8-port card after the n ports: each port's key name is
// searched from Serial10000 up. The card is removed again, untimed, so
// that every iteration writes into the same list and registry.
void BM_NewCardKeyNames(benchmark::State &state) {
    int n = (int)state.range(0);
    if (!Start(state, n))
        return;
    const CardModel *row = Row(kCardModel);
    for (auto _ : state) {
        Clock::time_point start = Clock::now();
        int written = addMpb(row, 3 + n, 0x280, 10);
        state.SetIterationTime(Seconds(start));
        PortEntry *first = &PortList;
        for (int i = 0; i < n && first->next; i++)
            first = first->next;
        bool named = written && (int)Ports().size() == n + kCardPorts && first->leader == first;
        const PortEntry *e = first;
        for (int i = 0; named && i < kCardPorts; i++, e = e->next)
            named = KeyName(10000 + n + i) == e->keyName && e->leader == first;
        if (!named || !sim::Boxes().empty()) {
            state.SkipWithError("addMpb did not write the card under the next free key names");
            break;
        }
        RemoveCard(first);
        if ((int)Ports().size() != n || sim::RegSubkeys(PORTS_ROOT).size() != (size_t)n) {
            state.SkipWithError("RemoveCard did not put the list and the registry back");
            break;
        }
    }
    Finish(state);
}

// One exit check; its boxes are recorded by the stand-in and closed at
// once. The record is emptied between iterations, untimed.
template <typename Check> void RunCheck(benchmark::State &state, Check check) {
    int n = (int)state.range(0);
    if (!Start(state, n))
        return;
    size_t boxes = 0;
    for (auto _ : state) {
        sim::ClearBoxes();
        Clock::time_point start = Clock::now();
        check();
        state.SetIterationTime(Seconds(start));
        boxes = sim::Boxes().size();
    }
    state.counters["boxes"] = (double)boxes;
    sim::ClearBoxes();
    Finish(state);
}

void BM_CheckDuplicateNames(benchmark::State &state) {
    RunCheck(state, CheckDuplicateNames);
}

void BM_CheckSharedIrqs(benchmark::State &state) {
    RunCheck(state, CheckSharedIrqs);
}

void BM_CheckDuplicateAddresses(benchmark::State &state) {
    RunCheck(state, CheckDuplicateAddresses);
}

void BM_ShowIrqReminder(benchmark::State &state) {
    RunCheck(state, ShowIrqReminder);
}

void Sizes(benchmark::internal::Benchmark *b) {
    for (int n : kSizes)
        b->Arg(n);
    b->UseManualTime()->Unit(benchmark::kMicrosecond)->ArgName("N");
}

BENCHMARK(BM_listCards)->Apply(Sizes);
BENCHMARK(BM_FillCardList)->Apply(Sizes);
BENCHMARK(BM_SuggestFirstCom)->Apply(Sizes);
BENCHMARK(BM_NewCardKeyNames)->Apply(Sizes);
BENCHMARK(BM_CheckDuplicateNames)->Apply(Sizes);
BENCHMARK(BM_CheckSharedIrqs)->Apply(Sizes);
BENCHMARK(BM_CheckDuplicateAddresses)->Apply(Sizes);
BENCHMARK(BM_ShowIrqReminder)->Apply(Sizes);

// The console report, and for the table each step's median time (the
// median aggregate with repetitions, the single run without) and boxes.
class TableReporter : public benchmark::ConsoleReporter {
  public:
    struct Point {
        double micros;
        double boxes;
    };
    std::vector<std::string> steps; // in the order they ran
    std::map<std::string, std::map<int, Point>> points;
    std::map<std::string, std::string> errors;

    void ReportRuns(const std::vector<Run> &runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs) {
            std::string step = run.run_name.function_name.substr(3); // without "BM_"
            int n = atoi(run.run_name.args.c_str() + run.run_name.args.find(':') + 1);
            if (run.error_occurred) {
                errors[step] = run.error_message;
                continue;
            }
            bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
            if (!median && !single)
                continue;
            if (points.find(step) == points.end())
                steps.push_back(step);
            auto boxes = run.counters.find("boxes");
            points[step][n] = {run.GetAdjustedRealTime(),
                               boxes == run.counters.end() ? -1.0 : boxes->second.value};
        }
    }
};

std::string Time(double micros) {
    char text[32];
    if (micros < 10)
        snprintf(text, sizeof text, "%.2f µs", micros);
    else if (micros < 1000)
        snprintf(text, sizeof text, "%.1f µs", micros);
    else if (micros < 1e6)
        snprintf(text, sizeof text, "%.2f ms", micros / 1e3);
    else
        snprintf(text, sizeof text, "%.2f s", micros / 1e6);
    return text;
}

std::string Exponent(double value) {
    char text[16];
    snprintf(text, sizeof text, "%.2f", value);
    return text;
}

// Least-squares slope of log time against log N over every size.
double OverallExponent(const std::map<int, TableReporter::Point> &points) {
    double sx = 0, sy = 0, sxx = 0, sxy = 0, count = (double)points.size();
    for (const auto &p : points) {
        double x = std::log((double)p.first), y = std::log(p.second.micros);
        sx += x;
        sy += y;
        sxx += x * x;
        sxy += x * y;
    }
    return (count * sxy - sx * sy) / (count * sxx - sx * sx);
}

void PrintTable(const TableReporter &reporter, FILE *out) {
    fprintf(out, "\n| step |");
    for (int n : kSizes)
        fprintf(out, " N = %d |", n);
    fprintf(out, " under 1 ms at N = 256 |\n|---|");
    for (size_t i = 0; i < sizeof kSizes / sizeof kSizes[0]; i++)
        fprintf(out, "---:|");
    fprintf(out, ":---:|\n");
    for (const std::string &step : reporter.steps) {
        const auto &points = reporter.points.at(step);
        fprintf(out, "| %s |", step.c_str());
        for (int n : kSizes) {
            auto p = points.find(n);
            if (p == points.end()) {
                fprintf(out, " – |");
                continue;
            }
            fprintf(out, " %s", Time(p->second.micros).c_str());
            if (p->second.boxes >= 0)
                fprintf(out, " (%.0f box%s)", p->second.boxes, p->second.boxes == 1 ? "" : "es");
            fprintf(out, " |");
        }
        auto at256 = points.find(256);
        fprintf(out, " %s |\n",
                at256 == points.end()         ? "–"
                : at256->second.micros < 1000 ? "yes"
                                              : "**no**");
    }

    fprintf(out, "\nGrowth exponent (slope of log time against log N):\n\n| step |");
    for (size_t i = 1; i < sizeof kSizes / sizeof kSizes[0]; i++)
        fprintf(out, " %d→%d |", kSizes[i - 1], kSizes[i]);
    fprintf(out, " overall (fit) |\n|---|");
    for (size_t i = 0; i < sizeof kSizes / sizeof kSizes[0]; i++)
        fprintf(out, "---:|");
    fprintf(out, "\n");
    for (const std::string &step : reporter.steps) {
        const auto &points = reporter.points.at(step);
        fprintf(out, "| %s |", step.c_str());
        for (size_t i = 1; i < sizeof kSizes / sizeof kSizes[0]; i++) {
            auto a = points.find(kSizes[i - 1]), b = points.find(kSizes[i]);
            if (a == points.end() || b == points.end()) {
                fprintf(out, " – |");
                continue;
            }
            double slope = std::log(b->second.micros / a->second.micros) /
                           std::log((double)b->first / a->first);
            fprintf(out, " %s |", Exponent(slope).c_str());
        }
        fprintf(out, " %s |\n",
                points.size() >= 2 ? Exponent(OverallExponent(points)).c_str() : "–");
    }
    for (const auto &error : reporter.errors)
        fprintf(out, "\nERROR in %s: %s\n", error.first.c_str(), error.second.c_str());
}

} // namespace

// Usage: bench-steps [--table=FILE] [Google Benchmark options]
int main(int argc, char **argv) {
    std::string tableFile;
    std::vector<char *> args;
    for (int i = 0; i < argc; i++) {
        if (i > 0 && strncmp(argv[i], "--table=", 8) == 0)
            tableFile = argv[i] + 8;
        else
            args.push_back(argv[i]);
    }
    int count = (int)args.size();
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data()))
        return 1;
    TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    PrintTable(reporter, stdout);
    if (!tableFile.empty()) {
        FILE *out = fopen(tableFile.c_str(), "w");
        if (!out) {
            perror(tableFile.c_str());
            return 1;
        }
        PrintTable(reporter, out);
        fclose(out);
    }
    return reporter.errors.empty() ? 0 : 1;
}
