// Removing a card from the registry and the port list.
#include "fixture.h"

#include <algorithm>

class RemoveTest : public ProgramTest {
  protected:
    void Load() {
        LoadTexts();
        ASSERT_EQ(1, listCards());
    }
    void TearDown() override {
        EXPECT_EQ(0, sim::RegOpenHandleCount());
        ProgramTest::TearDown();
    }
};

// Card A has its first port in the head and its second port last; card B
// stands in between. A's second port goes first, its head last, and B's
// first port then stands in the head.
TEST_F(RemoveTest, RemovingTheHeadCardMovesTheNextPortIntoTheHead) {
    SeedPorts({{"Serial10000", "COM3", 4, 0x3F8, "2SX510", "Serial10000"},
               {"Serial10001", "COM5", 5, 0x3E8, "2SX510", "Serial10001"},
               {"Serial10002", "COM6", 5, 0x2E8, "2SX510", "Serial10001"},
               {"Serial10003", "COM4", 3, 0x2F8, "2SX510", "Serial10000"}});
    Load();
    sim::FailCall("RegDeleteKeyA", 1, ERROR_ACCESS_DENIED); // shows which goes first
    EXPECT_EQ(1, RemoveCard(&PortList));
    EXPECT_EQ((std::vector<std::string>{"Serial10001", "Serial10002"}), KeyNames());
    EXPECT_EQ(&PortList, PortList.leader);
    EXPECT_EQ(&PortList, Ports()[1]->leader);
    EXPECT_STREQ("COM5", PortList.dosDevices);
    ASSERT_EQ(1u, sim::Boxes().size());
    EXPECT_EQ("[Internal error|warning|ownerless] RegDeleteKey: Access is denied. deleting "
              "Serial10003",
              Describe(sim::Boxes()[0]));
    EXPECT_EQ((std::vector<std::string>{"Serial10001", "Serial10002", "Serial10003"}),
              sim::RegSubkeys(PORTS_ROOT));
}

TEST_F(RemoveTest, AKeyThatCannotBeDeletedIsNamedAndTheRestGoes) {
    SeedCard(10000, "4SX510", 3, 10, {0x3F8, 0x2F8, 0x3E8, 0x2E8});
    SeedCard(10004, "2SX510", 7, 5, {0x3E8, 0x2E8});
    Load();
    sim::FailCall("RegDeleteKeyA", 2, ERROR_ACCESS_DENIED);
    EXPECT_EQ(1, RemoveCard(&PortList));
    EXPECT_EQ((std::vector<std::string>{"Serial10004", "Serial10005"}), KeyNames());
    ASSERT_EQ(1u, sim::Boxes().size());
    EXPECT_EQ("RegDeleteKey: Access is denied. deleting Serial10002", sim::Boxes()[0].text);
    EXPECT_EQ((std::vector<std::string>{"Serial10002", "Serial10004", "Serial10005"}),
              sim::RegSubkeys(PORTS_ROOT));
}

TEST_F(RemoveTest, ARootThatCannotBeOpenedChangesNothing) {
    SeedCard(10000, "2SX510", 3, 4, {0x3F8, 0x2F8});
    Load();
    sim::FailCall("RegOpenKeyExA", 1, ERROR_ACCESS_DENIED);
    EXPECT_EQ(0, RemoveCard(&PortList));
    EXPECT_EQ((std::vector<std::string>{"Serial10000", "Serial10001"}), KeyNames());
    EXPECT_EQ(2u, sim::RegSubkeys(PORTS_ROOT).size());
    EXPECT_EQ(std::vector<std::string>{"Delete/OpenKey: Access is denied."}, BoxTexts());
}

TEST_F(RemoveTest, RemoveFromTheMainWindowRebuildsTheList) {
    SeedCard(10000, "2SX510", 3, 4, {0x3F8, 0x2F8});
    SeedCard(10002, "4SX510", 10, 10, {0x280, 0x288, 0x290, 0x298});
    ASSERT_EQ(1, Start());
    int line = LineOf("COM3: 2SX510, base 3f8H, IRQ4");
    ASSERT_GE(line, 0);
    sim::Select(MainWindow, IDC_CARDLIST, line);
    sim::Click(MainWindow, IDC_REMOVE);
    EXPECT_EQ((std::vector<std::string>{"COM10: 4SX510, base 280H, IRQ10"}), CardLines());
    EXPECT_EQ(LB_ERR, sim::Selection(MainWindow, IDC_CARDLIST));
    EXPECT_EQ(
        (std::vector<std::string>{"Serial10002", "Serial10003", "Serial10004", "Serial10005"}),
        sim::RegSubkeys(PORTS_ROOT));
    EXPECT_TRUE(sim::Boxes().empty());
}

// Removing a card deletes the keys of its ports alone, and no port is left
// leading to a released record. A Leader may name a port that is not a
// card's first port (P3 led by P2, P2 by P1): removing P1's card releases P2
// as well, so P3 and any port led through it lose their leader, wherever
// they stand in the list.
namespace {
struct Removal {
    const char *what;
    std::vector<SeedPortKey> ports;
    const char *card;
    std::vector<std::pair<std::string, std::string>> left; // and leaders, "" for none
};
const Removal kRemovals[] = {
    {"the only card",
     {{"Serial10000", "COM3", 10, 0x3F8, "4SX510", "Serial10000"},
      {"Serial10001", "COM4", 10, 0x2F8, "4SX510", "Serial10000"}},
     "Serial10000",
     {}},
    {"a card between two others",
     {{"Serial10000", "COM3", 4, 0x3F8, "2SX510", "Serial10000"},
      {"Serial10001", "COM4", 4, 0x2F8, "2SX510", "Serial10000"},
      {"Serial10002", "COM5", 5, 0x2F8, "2SX-MORAV", "Serial10002"},
      {"Serial10003", "COM6", 5, 0x3E8, "2SX-MORAV", "Serial10002"},
      {"Serial10004", "COM7", 7, 0x3E8, "2SX-BTL", "Serial10004"},
      {"Serial10005", "COM8", 7, 0x330, "2SX-BTL", "Serial10004"}},
     "Serial10002",
     {{"Serial10000", "Serial10000"},
      {"Serial10001", "Serial10000"},
      {"Serial10004", "Serial10004"},
      {"Serial10005", "Serial10004"}}},
    // The head belongs to the card though it is not its first port.
    {"ports outside the card",
     {{"Serial10000", "COM3", 4, 0x3F8, "2SX510", "Serial10001"},
      {"Serial10001", "COM4", 3, 0x2F8, "2SX510", "Serial10001"},
      {"Serial10002", "COM5", 3, 0x2E8, "", ""},
      {"Serial10003", "COM6", 3, 0x2E8, "2SX510", "Serial10009"},
      {"Serial10004", "COM7", 7, 0x280, "2SX510", "Serial10001"}},
     "Serial10001",
     {{"Serial10002", ""}, {"Serial10003", ""}}},
    {"chain behind a head card",
     {{"Serial10000", "COM3", 4, 0x3F8, "2SX510", "Serial10000"},
      {"Serial10001", "COM4", 3, 0x2F8, "2SX510", "Serial10000"},
      {"Serial10002", "COM5", 5, 0x3E8, "2SX510", "Serial10001"},
      {"Serial10003", "COM6", 5, 0x2E8, "2SX510", "Serial10002"}},
     "Serial10000",
     {{"Serial10002", ""}, {"Serial10003", "Serial10002"}}},
    {"chain link before its leader, card in the middle",
     {{"Serial10000", "COM7", 7, 0x280, "2SX510", "Serial10000"},
      {"Serial10001", "COM5", 5, 0x3E8, "2SX510", "Serial10003"},
      {"Serial10002", "COM3", 4, 0x3F8, "2SX510", "Serial10002"},
      {"Serial10003", "COM4", 3, 0x2F8, "2SX510", "Serial10002"}},
     "Serial10002",
     {{"Serial10000", "Serial10000"}, {"Serial10001", ""}}},
    {"ports led by a head that belongs to the card",
     {{"Serial10000", "COM4", 3, 0x2F8, "2SX510", "Serial10001"},
      {"Serial10001", "COM3", 4, 0x3F8, "2SX510", "Serial10001"},
      {"Serial10002", "COM5", 5, 0x3E8, "2SX510", "Serial10000"},
      {"Serial10003", "COM6", 6, 0x2E8, "2SX510", "Serial10003"}},
     "Serial10001",
     {{"Serial10002", ""}, {"Serial10003", "Serial10003"}}},
};
} // namespace

TEST_F(RemoveTest, RemovingACardLeavesTheOtherPortsAndNoStrayLeader) {
    for (const Removal &c : kRemovals) {
        SCOPED_TRACE(c.what);
        sim::Reset();
        ResetProgram();
        SeedPorts(c.ports);
        Load();
        std::vector<PortEntry *> ports = Ports();
        auto named = [&](PortEntry *e) { return std::string(c.card) == e->keyName; };
        auto card = std::find_if(ports.begin(), ports.end(), named);
        ASSERT_NE(ports.end(), card);
        EXPECT_EQ(1, RemoveCard(*card));
        ports = Ports();
        std::vector<std::pair<std::string, std::string>> left;
        for (PortEntry *e : ports) {
            bool listed = std::find(ports.begin(), ports.end(), e->leader) != ports.end();
            std::string leader = !e->leader ? "" : listed ? e->leader->keyName : "(released)";
            left.push_back({e->keyName, leader});
        }
        EXPECT_EQ(c.left, left);
        EXPECT_EQ(KeyNames(), sim::RegSubkeys(PORTS_ROOT));
        EXPECT_TRUE(sim::RegKeyExists(PORTS_ROOT));
        EXPECT_TRUE(sim::Boxes().empty());
        EXPECT_EQ(0, sim::RegOpenHandleCount());
    }
}
