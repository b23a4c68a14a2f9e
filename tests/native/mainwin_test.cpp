// The main window: its card list and its commands.
#include "fixture.h"

#include <string.h>

using MainWindowTest = ProgramTest;

TEST_F(MainWindowTest, ListsOneSortedLinePerCard) {
    SeedCard(10000, "4SX510", 3, 10, {0x3F8, 0x2F8, 0x3E8, 0x2E8});
    SeedCard(10004, "2SX510", 10, 4, {0x3E8, 0x2E8});
    SeedPorts({{"Serial10006", "COM20", 5, 0x280, "", "Serial10006"}, // no model: not a card
               {"Serial10007", "COM21", 5, 0x288, "2SX510", ""}});    // no leader: no card
    ASSERT_EQ(1, Start());
    EXPECT_EQ((std::vector<std::string>{"COM10: 2SX510, base 3e8H, IRQ4",
                                        "COM3: 4SX510, base 3f8H, IRQ10"}),
              CardLines());
    EXPECT_EQ((LONG_PTR)Ports()[4], sim::ItemData(MainWindow, IDC_CARDLIST, 0));
    EXPECT_EQ((LONG_PTR)&PortList, sim::ItemData(MainWindow, IDC_CARDLIST, 1));
    EXPECT_EQ(LB_ERR, sim::Selection(MainWindow, IDC_CARDLIST));
    EXPECT_EQ("TORVIN serial cards setup for Windows NT version 1.3", sim::Text(MainWindow));
    EXPECT_EQ(sim::Control(MainWindow, IDC_ADD), sim::Focus());
    EXPECT_TRUE(sim::Boxes().empty());
}

TEST_F(MainWindowTest, SpeaksFrench) {
    SeedCard(10000, "2SX-BTL", 7, 5, {0x3E8, 0x330});
    ASSERT_EQ(1, Start(FRENCH));
    EXPECT_EQ("Installation des cartes s\xE9rie passives TORVIN version 1.3.NT",
              sim::Text(MainWindow));
    EXPECT_EQ("Supp&rimer", sim::Text(MainWindow, IDC_REMOVE));
    EXPECT_EQ((std::vector<std::string>{"COM7: 2SX-BTL, base 3e8H, IRQ5"}), CardLines());
}

TEST_F(MainWindowTest, LongLinesAreCutAt99Characters) {
    std::string model(150, 'M');
    SeedPorts({{"Serial10000", "COM3", 4, 0x3F8, model, "Serial10000"}});
    ASSERT_EQ(1, Start());
    ASSERT_EQ(1u, CardLines().size());
    EXPECT_EQ(("COM3: " + model).substr(0, 99), CardLines()[0]);
}

// A card list that cannot be loaded or filled ends the program at once.
TEST_F(MainWindowTest, FailingToLoadOrFillTheListEndsTheProgramWithoutChecks) {
    struct Case {
        const char *message;
        LONG_PTR result;  // 0: no ports root
        const char *text; // null: the last error as the list box left it
    };
    const Case cases[] = {
        {"OpenKey", 0, "The system cannot find the file specified."},
        {"LB_ADDSTRING", LB_ERR, nullptr},
        {"LB_ADDSTRING", LB_ERRSPACE,
         "Not enough memory resources are available to process this command."},
        {"LB_SETITEMDATA", LB_ERR, nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.message) + " " + std::to_string(c.result));
        sim::Reset();
        ResetProgram();
        if (c.result) {
            SeedCard(10000, "4SX510", 3, 10, {0x3F8, 0x2F8, 0x3E8, 0x2E8});
            sim::FailCall(c.message, 1, c.result);
        }
        EXPECT_EQ(0, WinMain((HINSTANCE)1, NULL, (LPSTR) "", SW_SHOWNORMAL));
        ASSERT_EQ(1u, sim::Boxes().size());
        const std::string prefix =
            "[Internal error|warning|ownerless] listCards/" + std::string(c.message) + ": ";
        if (c.text)
            EXPECT_EQ(prefix + c.text, Describe(sim::Boxes()[0]));
        else
            EXPECT_EQ(0u, Describe(sim::Boxes()[0]).find(prefix));
    }
}

TEST_F(MainWindowTest, RemoveAndTestNeedASelectedCard) {
    SeedCard(10000, "4SX510", 3, 10, {0x3F8, 0x2F8, 0x3E8, 0x2E8});
    ASSERT_EQ(1, Start());
    sim::Click(MainWindow, IDC_REMOVE);
    sim::Click(MainWindow, IDC_TEST);
    ASSERT_EQ(2u, sim::Boxes().size());
    for (const sim::Box &box : sim::Boxes())
        EXPECT_EQ("[You entered invalid data.|error|ownerless] You must first select a card in "
                  "the list.",
                  Describe(box));
    EXPECT_EQ(4u, Ports().size());
    EXPECT_TRUE(sim::RegKeyExists(PortKey("Serial10000")));
}

TEST_F(MainWindowTest, CardsAddedDuringTheRunAreNotTested) {
    SeedCard(10000, "2SX510", 3, 4, {0x3F8, 0x2F8});
    ASSERT_EQ(1, Start());
    PortList.isNew = 1;
    sim::Select(MainWindow, IDC_CARDLIST, 0);
    sim::Click(MainWindow, IDC_TEST);
    ASSERT_EQ(1u, sim::Boxes().size());
    EXPECT_EQ("[Card test|error|ownerless] You just added this card. You must restart Windows "
              "before you can test it.",
              Describe(sim::Boxes()[0]));
    EXPECT_EQ(0, sim::CallCount("CreateFileA"));
    EXPECT_EQ(LB_ERR, sim::Selection(MainWindow, IDC_CARDLIST)); // list rebuilt
}

TEST_F(MainWindowTest, ListNotificationsDoNothing) {
    SeedCard(10000, "2SX510", 3, 4, {0x3F8, 0x2F8});
    ASSERT_EQ(1, Start());
    sim::DoubleClick(MainWindow, IDC_CARDLIST, 0);
    EXPECT_TRUE(sim::Boxes().empty());
    EXPECT_TRUE(sim::IsLive(MainWindow));
    EXPECT_EQ(0, sim::Selection(MainWindow, IDC_CARDLIST));
}

TEST_F(MainWindowTest, QuitWithAnEmptyListRunsNoCheck) {
    sim::RegSeedKey(PORTS_ROOT);
    ASSERT_EQ(1, Start());
    sim::Click(MainWindow, IDC_QUIT);
    EXPECT_FALSE(sim::IsLive(MainWindow));
    EXPECT_TRUE(sim::Boxes().empty());
}

// The boxes of the exit checks have no owner. A command given to the main
// window while one is open must not change the list under the walk.
TEST_F(MainWindowTest, CommandsWaitUntilTheExitChecksAreDone) {
    SeedCard(10000, "2SX510", 3, 5, {0x3F8, 0x2F8});
    SeedCard(10002, "2SX510", 5, 5, {0x3E8, 0x2E8});
    ASSERT_EQ(1, Start());
    sim::Select(MainWindow, IDC_CARDLIST, 0);
    bool enabledDuringChecks = true;
    sim::OnMessageBox([&](const sim::Box &box) {
        EXPECT_EQ(nullptr, box.owner);
        enabledDuringChecks = enabledDuringChecks && sim::IsEnabled(MainWindow);
        // What a user, or a program posting to the window, could send.
        SendMessageA(MainWindow, WM_COMMAND, MAKEWPARAM(IDC_REMOVE, BN_CLICKED), 0);
        return IDOK;
    });
    sim::Click(MainWindow, IDC_QUIT);
    EXPECT_FALSE(enabledDuringChecks);
    EXPECT_EQ(4u, Ports().size());
    EXPECT_TRUE(sim::RegKeyExists(PortKey("Serial10000")));
    ASSERT_EQ(5u, sim::Boxes().size()); // four shared-IRQ warnings, then the reminder
    EXPECT_FALSE(sim::IsLive(MainWindow));
}
