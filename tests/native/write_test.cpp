// Writing a new card (AddRsCard, AddLinxCard, addMpb) and the first COM
// number proposed for it (SuggestFirstCom).
#include "fixture.h"

#include <string.h>

#include <algorithm>
#include <functional>

namespace {

// One call of a writer with everything it should leave behind.
struct Writer {
    const char *name;
    const CardModel *row;
    int firstCom;
    std::vector<int> irqs, addresses; // one per port
    int interruptStatus;              // 0: neither InterruptStatus nor PortIndex
    bool permitShare;
    std::function<int(const Writer &)> write;
};

std::vector<Writer> Writers() {
    auto rs = [](const Writer &w) {
        return AddRsCard(w.row, w.firstCom, w.irqs.data(), w.addresses.data());
    };
    auto linx = [](const Writer &w) {
        return AddLinxCard(w.row, w.firstCom, w.irqs.data(), w.addresses.data());
    };
    auto mpb = [](const Writer &w) { return addMpb(w.row, w.firstCom, 0x280, w.irqs[0]); };
    return {
        {"AddRsCard", Row("2SX510"), 3, {4, 3}, {0x3F8, 0x2F8}, 0, true, rs},
        {"AddLinxCard", Row("Linx700"), 1, {10, 10}, {0x3E8, 0x2E8}, 0, true, linx},
        {"addMpb",
         Row("MPB510-4"),
         7,
         {12, 12, 12, 12},
         {0x280, 0x288, 0x290, 0x298},
         0x287,
         false,
         mpb},
    };
}

std::vector<std::string> ValueNames(bool mpb) {
    std::vector<std::string> names = {"Model", "Leader", "DosDevices", "Interrupt", "PortAddress"};
    if (mpb) {
        names.push_back("InterruptStatus");
        names.push_back("PortIndex");
    }
    return names;
}

std::string Sz(const std::string &text) {
    return text + '\0';
}

class WriteTest : public ProgramTest {
  protected:
    void SetUp() override {
        ProgramTest::SetUp();
        Fresh();
    }
    void TearDown() override {
        EXPECT_EQ(0, sim::RegOpenHandleCount());
        ProgramTest::TearDown();
    }

    // The ports of the list from position from on are one card written by
    // this run, in the list and in the registry, with COM numbers from
    // firstCom.
    void ExpectCard(size_t from, const CardModel *row, int firstCom, const std::vector<int> &irqs,
                    const std::vector<int> &addresses, int interruptStatus = 0) {
        std::vector<PortEntry *> ports = Ports();
        ASSERT_LE(from + (size_t)row->portCount, ports.size());
        PortEntry *first = ports[from];
        for (int i = 0; i < row->portCount; i++) {
            PortEntry *e = ports[from + i];
            SCOPED_TRACE(e->keyName);
            std::string com = "COM" + std::to_string(firstCom + i);
            EXPECT_EQ(com, e->dosDevices);
            EXPECT_EQ(e->dosDevices + com.size() + 1, e->keyName); // one text block
            EXPECT_EQ(row->name, e->model);                        // the row's own text
            EXPECT_EQ(first, e->leader);
            EXPECT_EQ(first->keyName, e->leaderName);
            EXPECT_EQ(irqs[i], e->interrupt);
            EXPECT_EQ(addresses[i], e->portAddress);
            EXPECT_EQ(interruptStatus, e->interruptStatus);
            EXPECT_EQ(interruptStatus ? i + 1 : 0, e->portIndex);
            EXPECT_EQ(1, e->isNew);

            std::string key = PortKey(e->keyName);
            EXPECT_EQ(Sz(row->name), sim::RegValueBytes(key, "Model"));
            EXPECT_EQ(Sz(first->keyName), sim::RegValueBytes(key, "Leader"));
            EXPECT_EQ(Sz(com), sim::RegValueBytes(key, "DosDevices"));
            for (const char *text : {"Model", "Leader", "DosDevices"})
                EXPECT_EQ((DWORD)REG_SZ, sim::RegValueType(key, text)) << text;
            EXPECT_EQ((DWORD)irqs[i], sim::RegDword(key, "Interrupt"));
            EXPECT_EQ((DWORD)addresses[i], sim::RegDword(key, "PortAddress"));
            if (interruptStatus) {
                EXPECT_EQ((DWORD)interruptStatus, sim::RegDword(key, "InterruptStatus"));
                EXPECT_EQ((DWORD)i + 1, sim::RegDword(key, "PortIndex"));
            }
            for (const char *number : {"Interrupt", "PortAddress"})
                EXPECT_EQ((DWORD)REG_DWORD, sim::RegValueType(key, number)) << number;
        }
    }
    void ExpectCard(size_t from, const Writer &w) {
        ExpectCard(from, w.row, w.firstCom, w.irqs, w.addresses, w.interruptStatus);
    }

    static bool PermitShareWritten() {
        return sim::RegValueExists(SERIAL_KEY, "PermitShare");
    }
};

std::vector<std::string> Names(int from, int count) {
    std::vector<std::string> names;
    for (int n = from; n < from + count; n++)
        names.push_back("Serial" + std::to_string(n));
    return names;
}

} // namespace

TEST_F(WriteTest, EachWriterWritesOneKeyPerPortFromSerial10000) {
    for (const Writer &w : Writers()) {
        SCOPED_TRACE(w.name);
        Fresh();
        const int mallocs = sim::CallCount("malloc"), callocs = sim::CallCount("calloc");
        EXPECT_EQ(1, w.write(w));
        const std::vector<std::string> names = Names(10000, w.row->portCount);
        EXPECT_EQ(names, KeyNames());
        EXPECT_EQ(names, sim::RegSubkeys(PORTS_ROOT));
        ExpectCard(0, w);
        for (const std::string &name : names)
            EXPECT_EQ(ValueNames(w.interruptStatus != 0), sim::RegValueNames(PortKey(name)))
                << name;
        // One text block and one fresh record per port.
        EXPECT_EQ(mallocs + w.row->portCount, sim::CallCount("malloc"));
        EXPECT_EQ(callocs + w.row->portCount, sim::CallCount("calloc"));
        EXPECT_EQ(w.permitShare, PermitShareWritten());
        if (w.permitShare) {
            EXPECT_EQ((DWORD)REG_DWORD, sim::RegValueType(SERIAL_KEY, "PermitShare"));
            EXPECT_EQ(1u, sim::RegDword(SERIAL_KEY, "PermitShare"));
        }
        EXPECT_TRUE(sim::Boxes().empty());
    }
}

TEST_F(WriteTest, NewPortsTakeTheFirstNamesNoListedPortHas) {
    SeedPorts({{"Serial10000", "COM1", 4, 0x3F8, "", ""},
               {"Serial10002", "COM2", 3, 0x2F8, "", ""},
               {"serial10003", "COM9", 5, 0x280, "", ""}, // names compare byte for byte
               {"Serial10004", "COM12", 5, 0x290, "", ""}});
    // Skipped while loading (no DosDevices): its name counts as free.
    sim::RegSeedKey(PortKey("Serial10001"));
    sim::RegSeedDword(PortKey("Serial10001"), "InterruptStatus", 0x2BF);
    ASSERT_EQ(1, listCards());
    sim::ClearBoxes();

    const CardModel *rs4 = Row("4SX510");
    const int irqs[] = {5, 7, 9, 11};
    const int addresses[] = {0x280, 0x288, 0x290, 0x298};
    ASSERT_EQ(1, AddRsCard(rs4, 7, irqs, addresses));
    EXPECT_EQ(
        (std::vector<std::string>{"Serial10000", "Serial10002", "serial10003", "Serial10004",
                                  "Serial10001", "Serial10003", "Serial10005", "Serial10006"}),
        KeyNames());
    ExpectCard(4, rs4, 7, {5, 7, 9, 11}, {0x280, 0x288, 0x290, 0x298});
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(0, Ports()[i]->isNew);
    // The registry ignores case: Serial10003 opened the key serial10003.
    EXPECT_EQ((std::vector<std::string>{"Serial10000", "Serial10001", "Serial10002", "serial10003",
                                        "Serial10004", "Serial10005", "Serial10006"}),
              sim::RegSubkeys(PORTS_ROOT));
    EXPECT_EQ(Sz("COM1"), sim::RegValueBytes(PortKey("Serial10000"), "DosDevices"));
    EXPECT_EQ(Sz("COM12"), sim::RegValueBytes(PortKey("Serial10004"), "DosDevices"));
    EXPECT_EQ(Sz("COM8"), sim::RegValueBytes(PortKey("serial10003"), "DosDevices"));
    // The writer overwrites its own values only.
    EXPECT_EQ((std::vector<std::string>{"InterruptStatus", "Model", "Leader", "DosDevices",
                                        "Interrupt", "PortAddress"}),
              sim::RegValueNames(PortKey("Serial10001")));
    EXPECT_EQ(0x2BFu, sim::RegDword(PortKey("Serial10001"), "InterruptStatus"));
}

// Another writer (a second copy, an import, the registry editor) adds
// Serial10000 after loading: a port the loader would list stays as it is
// and the card takes the next names; a key it would skip is reused, the
// values the writer does not write kept.
TEST_F(WriteTest, AKeyAddedSinceLoadingIsReusedOnlyWhenTheLoaderWouldSkipIt) {
    const std::string key = PortKey("Serial10000");
    struct Case {
        const char *what;
        std::function<void()> seed; // after a whole port's key
        int failQuery;              // the nth RegQueryValueExA then fails: access denied
        bool reused;
    };
    const Case cases[] = {
        {"whole", [] {}, 0, false},
        {"Interrupt as text", [&] { sim::RegSeedRaw(key, "Interrupt", REG_SZ, Sz("4")); }, 0, true},
        {"Interrupt too long", [&] { sim::RegSeedRaw(key, "Interrupt", REG_DWORD, "12345678"); }, 0,
         true},
        {"PortIndex as text", [&] { sim::RegSeedSz(key, "PortIndex", "1"); }, 0, true},
        {"Leader as a number", [&] { sim::RegSeedDword(key, "Leader", 1); }, 0, true},
        {"unreadable", [] {}, 1, false},
        {"unreadable Model", [] {}, 6, false},
    };
    for (const Writer &w : Writers()) {
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(w.name) + ", " + c.what);
            Fresh();
            ASSERT_EQ(1, listCards());
            SeedPort("Serial10000", "COM1", 4, 0x3F8, "2SX510", "Serial10000");
            sim::RegSeedDword(key, "LegacyDiscovered", 1);
            c.seed();
            const std::vector<sim::RegValue> before = sim::RegValues(key);
            if (c.failQuery)
                sim::FailCall("RegQueryValueExA", c.failQuery, ERROR_ACCESS_DENIED);
            EXPECT_EQ(1, w.write(w));
            EXPECT_EQ(Names(c.reused ? 10000 : 10001, w.row->portCount), KeyNames());
            ExpectCard(0, w);
            EXPECT_EQ(1u, sim::RegDword(key, "LegacyDiscovered"));
            const std::vector<sim::RegValue> &after = sim::RegValues(key);
            EXPECT_EQ(!c.reused, std::equal(before.begin(), before.end(), after.begin(),
                                            after.end(), [](const auto &a, const auto &b) {
                                                return a.name == b.name && a.type == b.type &&
                                                       a.bytes == b.bytes;
                                            }));
            EXPECT_TRUE(sim::Boxes().empty());
        }
    }
}

TEST_F(WriteTest, AddRsCardPermitsSharingForIrq3Or4OrAnIrqUsedTwice) {
    struct Case {
        const char *model;
        std::vector<int> irqs;
        bool share;
    };
    const Case cases[] = {
        {"2SX510", {5, 5}, true},
        {"2SX510", {5, 7}, false},
        {"2SX510", {4, 7}, true},
        {"2SX-MORAV", {7, 3}, true},
        {"4SX510", {5, 7, 9, 5}, true},
        {"4SX510", {5, 7, 9, 10}, false},
        {"4SX-MORAV", {15, 11, 4, 10}, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.irqs));
        Fresh();
        sim::RegSeedDword(SERIAL_KEY, "PermitShare", 0);
        const int addresses[] = {0x280, 0x288, 0x290, 0x298};
        EXPECT_EQ(1, AddRsCard(Row(c.model), 3, c.irqs.data(), addresses));
        EXPECT_EQ(c.share ? 1u : 0u, sim::RegDword(SERIAL_KEY, "PermitShare"));
        EXPECT_EQ(c.share ? 2 : 1, sim::CallCount("RegOpenKeyExA"));
    }
}

// A call of a writer made to fail.
struct WriteFault {
    std::string call;
    int nth;
    LONG_PTR result;
    std::string text; // system text reported
    bool keyCreated;
    size_t values; // written to port k's key before the failure
};

// A failure at any step of port k leaves ports 1 to k - 1 as a card, port
// k out of the list with the values written so far in its key, and no
// PermitShare. A later card then reuses the half-written key, unless it
// holds a whole port.
TEST_F(WriteTest, AFailedPortLeavesTheEarlierPortsAsACard) {
    const std::string noMemory =
        "Not enough memory resources are available to process this command.";
    for (const Writer &w : Writers()) {
        const std::vector<std::string> valueNames = ValueNames(w.interruptStatus != 0);
        const size_t count = valueNames.size();
        auto first = [&](size_t n) {
            return std::vector<std::string>(valueNames.begin(), valueNames.begin() + n);
        };
        for (int k = 0; k < w.row->portCount; k++) {
            std::vector<WriteFault> faults = {
                {"RegCreateKeyExA", k + 1, ERROR_ACCESS_DENIED, "Access is denied.", false, 0},
                {"malloc", k + 1, 0, noMemory, true, 0}};
            for (size_t v = 0; v < count; v++)
                faults.push_back({"RegSetValueExA", (int)(k * count + v + 1), ERROR_ACCESS_DENIED,
                                  "Access is denied.", true, v});
            faults.push_back({"calloc", k + 1, 0, noMemory, true, count});

            for (const WriteFault &f : faults) {
                SCOPED_TRACE(std::string(w.name) + ", port " + std::to_string(k + 1) + ", " +
                             f.call + " #" + std::to_string(f.nth));
                Fresh();
                sim::FailCall(f.call, f.nth, f.result);
                EXPECT_EQ(0, w.write(w));
                ASSERT_EQ(1u, sim::Boxes().size());
                EXPECT_EQ(Report(std::string(WriterTagsOf(w.row).port) + ": " + f.text),
                          Describe(sim::Boxes()[0]));
                EXPECT_EQ(Names(10000, k), KeyNames());
                for (PortEntry *e : Ports())
                    EXPECT_EQ(&PortList, e->leader);
                std::string failed = PortKey("Serial" + std::to_string(10000 + k));
                EXPECT_EQ(f.keyCreated, sim::RegKeyExists(failed));
                EXPECT_EQ(first(f.values), sim::RegValueNames(failed));
                EXPECT_EQ(Names(10000, k + f.keyCreated), sim::RegSubkeys(PORTS_ROOT));
                EXPECT_FALSE(PermitShareWritten());
                EXPECT_EQ(0, sim::RegOpenHandleCount());

                // The record that failed is the sentinel again and takes
                // the next card's first port, in the same key unless that
                // holds a whole port: DosDevices, Interrupt and PortAddress.
                const bool whole = f.values >= 5;
                std::vector<std::string> names = Names(10000, k);
                for (const std::string &name : Names(10000 + k + whole, w.row->portCount))
                    names.push_back(name);
                EXPECT_EQ(1, w.write(w));
                EXPECT_EQ(names, KeyNames());
                ExpectCard(k, w);
                EXPECT_EQ(first(whole ? f.values : count), sim::RegValueNames(failed));
                EXPECT_EQ(1u, sim::Boxes().size());
            }
        }
    }
}

// ---- SuggestFirstCom

using SuggestFirstComTest = ProgramTest;

TEST_F(SuggestFirstComTest, ProposesTheFirstRunOfFreeComNumbersFrom3) {
    struct Case {
        std::vector<std::string> devices; // in list order
        int portCount;
        const char *proposal;
    };
    const Case cases[] = {
        {{}, 2, "3"},
        {{}, 8, "3"},
        {{"COM3", "COM6"}, 2, "4"},
        {{"COM3", "COM6"}, 4, "7"},
        {{"COM4"}, 2, "5"},
        {{"COM4"}, 4, "5"},
        {{"COM9"}, 8, "10"},
        {{"COM1", "COM2", "COM11"}, 8, "3"},
        // A later port can push the candidate onto an earlier one.
        {{"COM6", "COM4", "COM3"}, 2, "7"},
        // Only names that start with "COM" count, read like strtol.
        {{"com3", "LPT3", "COM", "COMX3", "COM-3"}, 2, "3"},
        {{" COM3"}, 2, "3"},
        {{"COM 3", "COM+4"}, 2, "5"},
        {{"COM03", "COM4x"}, 2, "5"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.devices) + ", " + std::to_string(c.portCount) +
                     " ports");
        sim::Reset();
        ResetProgram();
        std::vector<SeedPortKey> ports;
        for (size_t i = 0; i < c.devices.size(); i++)
            ports.push_back({"Serial" + std::to_string(10000 + i), c.devices[i], 5, 0x280, "", ""});
        SeedPorts(ports);
        ASSERT_EQ(1, listCards());
        ASSERT_EQ(c.devices.size(), Ports().size());
        CardModel model = {"test", c.portCount, IDD_RS, RsFunc, nullptr, nullptr};
        EXPECT_STREQ(c.proposal, SuggestFirstCom(&model));
    }
}
