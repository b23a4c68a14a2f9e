// Loading the port list from the registry.
#include "fixture.h"

#include <string.h>

class LoadTest : public ProgramTest {
  protected:
    void SetUp() override {
        ProgramTest::SetUp();
        LoadTexts();
    }
    void TearDown() override {
        EXPECT_EQ(0, sim::RegOpenHandleCount());
        ProgramTest::TearDown();
    }
    // A failed allocation's report: it never reads as a success.
    static std::string OutOfMemory(const char *tag) {
        return std::string(tag) +
               ": Not enough memory resources are available to process this command.";
    }
};

TEST_F(LoadTest, EmptyRootGivesAnEmptyList) {
    sim::RegSeedKey(PORTS_ROOT);
    EXPECT_EQ(1, listCards());
    EXPECT_EQ(nullptr, PortList.next);
    EXPECT_TRUE(sim::Boxes().empty());
}

TEST_F(LoadTest, MissingRootStopsLoading) {
    EXPECT_EQ(0, listCards());
    EXPECT_EQ(nullptr, PortList.next);
    ASSERT_EQ(1u, sim::Boxes().size());
    EXPECT_EQ("[Internal error|warning|ownerless] listCards/OpenKey: The system cannot find the "
              "file specified.",
              Describe(sim::Boxes()[0]));
}

TEST_F(LoadTest, LoadsEveryValueOfACard) {
    SeedCard(10000, "MPB510-4", 5, 11, {0x280, 0x288, 0x290, 0x298});
    for (int i = 0; i < 4; i++) {
        std::string key = PortKey("Serial1000" + std::to_string(i));
        sim::RegSeedDword(key, "InterruptStatus", 0x287);
        sim::RegSeedDword(key, "PortIndex", (DWORD)i + 1);
    }
    ASSERT_EQ(1, listCards());
    std::vector<PortEntry *> ports = Ports();
    ASSERT_EQ(4u, ports.size());
    for (int i = 0; i < 4; i++) {
        SCOPED_TRACE(i);
        PortEntry *p = ports[i];
        EXPECT_EQ("Serial1000" + std::to_string(i), p->keyName);
        EXPECT_EQ("COM" + std::to_string(5 + i), p->dosDevices);
        EXPECT_STREQ("MPB510-4", p->model);
        EXPECT_STREQ("Serial10000", p->leaderName);
        EXPECT_EQ(ports[0], p->leader);
        EXPECT_EQ(11, p->interrupt);
        EXPECT_EQ(0x280 + 8 * i, p->portAddress);
        EXPECT_EQ(0x287, p->interruptStatus);
        EXPECT_EQ(i + 1, p->portIndex);
        EXPECT_EQ(0, p->isNew);
    }
    EXPECT_EQ(&PortList, ports[0]);
    EXPECT_TRUE(sim::Boxes().empty());
}

TEST_F(LoadTest, OptionalValuesMayBeAbsent) {
    SeedPorts({{"Serial10000", "COM3", 4, 0x3F8, "", ""}});
    ASSERT_EQ(1, listCards());
    ASSERT_EQ(1u, Ports().size());
    EXPECT_STREQ("", PortList.model);
    EXPECT_STREQ("", PortList.leaderName);
    EXPECT_EQ(nullptr, PortList.leader);
    EXPECT_EQ(0, PortList.interruptStatus);
    EXPECT_EQ(0, PortList.portIndex);
}

// One spoilt port key of a card, by a mandatory value left out or a value
// of the wrong type, is skipped alone: with a report, or silently for a
// wrong type. (The fault sweep fails each call of the loading in turn.)
TEST_F(LoadTest, ASpoiltPortIsSkippedAlone) {
    const std::string mandatory =
        "[Internal error|warning|ownerless] Error reading mandatory value ";
    const std::string missing = " from Serial10001: The system cannot find the file specified.";
    struct Case {
        const char *value; // Serial10001's, left out (REG_NONE) or of another type
        DWORD type;
        std::string bytes;
        std::string box; // "" for none
    } cases[] = {
        {"DosDevices", REG_NONE, "", mandatory + "DosDevices" + missing},
        {"Interrupt", REG_NONE, "", mandatory + "Interrupt" + missing},
        {"PortAddress", REG_NONE, "", mandatory + "PortAddress" + missing},
        {"DosDevices", REG_EXPAND_SZ, std::string("COM4\0", 5), ""},
        {"Interrupt", REG_SZ, std::string("4\0", 2), ""},
        {"PortAddress", REG_BINARY, std::string("\xF8\x02\0\0", 4), ""},
        {"InterruptStatus", REG_SZ, std::string("287\0", 4), ""},
        {"PortIndex", REG_SZ, std::string("1\0", 2), ""},
        {"Model", REG_DWORD, std::string("\1\0\0\0", 4), ""},
        {"Leader", REG_MULTI_SZ, std::string("Serial10000\0\0", 13), ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.value);
        Fresh();
        SeedCard(10000, "2SX510", 3, 4, {0x3F8, 0x2F8, 0x3E8});
        const std::string key = PortKey("Serial10001");
        if (c.type == REG_NONE) { // the key again, without the value
            sim::RegRemoveKey(key);
            sim::RegSeedKey(key);
            if (strcmp(c.value, "DosDevices"))
                sim::RegSeedSz(key, "DosDevices", "COM4");
            if (strcmp(c.value, "Interrupt"))
                sim::RegSeedDword(key, "Interrupt", 4);
            if (strcmp(c.value, "PortAddress"))
                sim::RegSeedDword(key, "PortAddress", 0x2F8);
        } else {
            sim::RegSeedRaw(key, c.value, c.type, c.bytes);
        }
        ASSERT_EQ(1, listCards());
        EXPECT_EQ((std::vector<std::string>{"Serial10000", "Serial10002"}), KeyNames());
        EXPECT_EQ(c.box.empty() ? std::vector<std::string>() : std::vector<std::string>{c.box},
                  Described());
    }
}

// Texts stored without their terminating NUL still load as terminated
// texts, and no text runs into the next one.
TEST_F(LoadTest, UnterminatedTextsAreTerminated) {
    sim::RegSeedKey(PortKey("Serial10000"));
    std::string key = PortKey("Serial10000");
    sim::RegSeedRaw(key, "DosDevices", REG_SZ, "COM7");
    sim::RegSeedDword(key, "Interrupt", 5);
    sim::RegSeedDword(key, "PortAddress", 0x2E8);
    sim::RegSeedRaw(key, "Model", REG_SZ, "2SX-BTL");
    sim::RegSeedRaw(key, "Leader", REG_SZ, "Serial10000");
    ASSERT_EQ(1, listCards());
    EXPECT_STREQ("COM7", PortList.dosDevices);
    EXPECT_STREQ("2SX-BTL", PortList.model);
    EXPECT_STREQ("Serial10000", PortList.leaderName);
    EXPECT_EQ(&PortList, PortList.leader);
}

TEST_F(LoadTest, LeadersAreLinkedByExactName) {
    SeedPorts({
        {"Serial10000", "COM3", 4, 0x3F8, "2SX510", "Serial10000"},
        {"Serial10001", "COM4", 3, 0x2F8, "2SX510", "Serial10000"},
        {"Serial10002", "COM5", 5, 0x3E8, "2SX510", "serial10002"}, // case differs
        {"Serial10003", "COM6", 5, 0x2E8, "2SX510", "Serial10009"}, // nobody
        {"Serial10004", "COM7", 7, 0x280, "2SX510", "Serial10005"}, // skipped port
    });
    sim::RegSeedKey(PortKey("Serial10005")); // no values: skipped with a message
    ASSERT_EQ(1, listCards());
    std::vector<PortEntry *> ports = Ports();
    ASSERT_EQ(5u, ports.size());
    std::vector<PortEntry *> leaders;
    for (PortEntry *e : ports)
        leaders.push_back(e->leader);
    EXPECT_EQ((std::vector<PortEntry *>{ports[0], ports[0], nullptr, nullptr, nullptr}), leaders);
    EXPECT_EQ(1u, sim::Boxes().size());
}

TEST_F(LoadTest, PortsFollowTheRegistryEnumerationOrder) {
    SeedPorts({
        {"serial10002", "COM5", 5, 0x3E8, "", ""},
        {"Serial10001", "COM4", 4, 0x2F8, "", ""},
        {"Port", "COM9", 9, 0x280, "", ""},
        {"a", "COM1", 4, 0x3F8, "", ""},
    });
    ASSERT_EQ(1, listCards());
    EXPECT_EQ((std::vector<std::string>{"a", "Port", "Serial10001", "serial10002"}), KeyNames());
}

TEST_F(LoadTest, SubkeyNamesOf29CharactersLoadAnd30StopLoading) {
    std::string name29 = "T" + std::string(28, 'k'), name30 = "z" + std::string(29, 'k');
    SeedPorts({{"Serial10000", "COM3", 4, 0x3F8, "2SX510", "Serial10000"},
               {name29, "COM4", 3, 0x2F8, "2SX510", "Serial10000"},
               {name30, "COM5", 3, 0x2E8, "2SX510", "Serial10000"}});
    EXPECT_EQ(0, listCards());
    // The ports read before stay, unlinked: the leaders are never looked up.
    std::vector<PortEntry *> ports = Ports();
    ASSERT_EQ(2u, ports.size());
    EXPECT_EQ(name29, ports[1]->keyName);
    EXPECT_EQ(nullptr, ports[0]->leader);
    EXPECT_EQ(nullptr, ports[1]->leader);
    EXPECT_EQ(std::vector<std::string>{"listCards/EnumKey: More data is available."}, BoxTexts());
}

TEST_F(LoadTest, AFailedRecordAllocationKeepsTheListEnded) {
    SeedCard(10000, "2SX510", 3, 4, {0x3F8, 0x2F8});
    sim::FailCall("calloc", 1, 0); // the record behind Serial10000
    ASSERT_EQ(1, listCards());
    EXPECT_EQ((std::vector<std::string>{"Serial10001"}), KeyNames());
    EXPECT_EQ(nullptr, PortList.leader); // its leader was not loaded
    EXPECT_EQ(std::vector<std::string>{OutOfMemory("New DosDevices")}, BoxTexts());
}

TEST_F(LoadTest, AFailedEnumerationKeepsWhatWasRead) {
    SeedCard(10000, "2SX510", 3, 4, {0x3F8, 0x2F8});
    sim::FailCall("RegEnumKeyExA", 2, ERROR_ACCESS_DENIED);
    EXPECT_EQ(0, listCards());
    EXPECT_EQ((std::vector<std::string>{"Serial10000"}), KeyNames());
    EXPECT_EQ(std::vector<std::string>{"listCards/EnumKey: Access is denied."}, BoxTexts());
}
