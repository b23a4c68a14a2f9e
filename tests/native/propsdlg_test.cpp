// The three card properties dialogs: jumper-strap (template 104),
// switch-selected (108) and free-address (103), alone and opened by the
// main window's Add... command.
#include "dialogs/props.h"
#include "fixture.h"

#include <string.h>

#include <functional>

namespace {

// Plays the user of the model dialog that Add... opens: the row's model,
// then Next>>.
void ChooseOnAdd(const CardModel *row) {
    sim::OnDialog(IDD_MODELS, [row](HWND dialog) {
        sim::Select(dialog, IDC_MODELLIST, (int)(row - CardCatalogue));
        sim::Click(dialog, IDC_NEXT);
    });
}

// The interrupt texts a combo box offers for a row, in catalogue order.
std::vector<std::string> Offered(const CardModel *row) {
    std::vector<std::string> texts;
    for (const int *v = row->irqChoices + 1; *v; v++)
        texts.push_back(*v == IRQ_PAIR_4_3 ? "4+3" : std::to_string(*v));
    return texts;
}

std::vector<std::string> Labels(const CardModel *row) {
    const AddressChoice *choices = (const AddressChoice *)row->addressInfo;
    return {choices[0].label, choices[1].label};
}

std::string Selected(HWND dialog, int id) {
    int at = sim::Selection(dialog, id);
    return at < 0 ? "" : sim::Items(dialog, id)[at];
}

void Pick(HWND dialog, int id, const std::string &text) {
    std::vector<std::string> items = sim::Items(dialog, id);
    for (size_t i = 0; i < items.size(); i++)
        if (items[i] == text)
            return sim::Select(dialog, id, (int)i);
    ADD_FAILURE() << text << " is not offered by " << id;
}

// No entry selected, as a program would leave it; the user cannot.
void Deselect(HWND dialog, int id) {
    SendDlgItemMessageA(dialog, id, CB_SETCURSEL, (WPARAM)-1, 0);
}

std::string EntryError(int id) {
    return "[Configuration error|error|ownerless] " + std::string(Text(id));
}

// What a port in the list holds, as one comparable line.
std::string PortLine(const PortEntry *e) {
    char line[100];
    snprintf(line, sizeof line, "%s %s irq %d at %x", e->model, e->dosDevices, e->interrupt,
             (unsigned)e->portAddress);
    return line;
}

std::vector<std::string> PortLines() {
    std::vector<std::string> lines;
    for (PortEntry *e = &PortList; e->next; e = e->next)
        lines.push_back(PortLine(e));
    return lines;
}

class PropsDialogTest : public ProgramTest {
  protected:
    void SetUp() override {
        ProgramTest::SetUp();
        Fresh();
    }
    // Opens the row's dialog as the main window does; the handler, when
    // given, plays the user.
    INT_PTR Run(const CardModel *row, std::function<void(HWND)> user = nullptr) {
        if (user)
            sim::OnDialog(row->dialogTemplate, user);
        return DialogBoxParamA(AppInstance, MAKEINTRESOURCEA(row->dialogTemplate), NULL,
                               row->dialogProc, (LPARAM)row);
    }
    // Runs the dialog with one combo box message failing at its nth call
    // and checks that it ends with -1, having written nothing, after the
    // report expected. The last error before the dialog has a text of its
    // own, which only a report of the last error as it stands shows.
    void ExpectComboFailure(const CardModel *row, const char *message, int nth, LONG_PTR result,
                            const std::vector<std::string> &reports) {
        SCOPED_TRACE(std::string(row->name) + ", " + message + " #" + std::to_string(nth) +
                     " gives " + std::to_string(result));
        Fresh();
        sim::SetSystemText(ERROR_NOT_ENOUGH_MEMORY, "Not enough memory.\r\n");
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        sim::FailCall(message, nth, result);
        EXPECT_EQ(-1, Run(row));
        EXPECT_EQ(reports, Described());
        EXPECT_EQ(nullptr, PortList.next);
        EXPECT_TRUE(sim::RegSubkeys(PORTS_ROOT).empty());
    }
};

} // namespace

// ---- Entry checks, at bounds the catalogue's dialogs cannot reach

TEST(EntryChecksTest, BoundsAreInclusive) {
    EXPECT_EQ((std::vector<int>{0, 1, 1, 0}),
              (std::vector<int>{ValidFirstCom(0), ValidFirstCom(1), ValidFirstCom(255),
                                ValidFirstCom(256)}));
    EXPECT_EQ((std::vector<int>{0, 1, 1, 0}),
              (std::vector<int>{ValidIrq(0), ValidIrq(1), ValidIrq(15), ValidIrq(16)}));
    const int list[] = {4, 3, 4, 0};
    EXPECT_EQ((std::vector<int>{0, 3, 4, 0}),
              (std::vector<int>{OfferedIrq(list, -1), OfferedIrq(list, 0), OfferedIrq(list, 1),
                                OfferedIrq(list, 2)}));
}

// ---- Jumper-strap cards (template 104)

TEST_F(PropsDialogTest, RsDialogOpensOnTheModelsChoices) {
    SeedCard(10000, "2SX510", 4, 4, {0x3F8, 0x2F8}); // COM4 and COM5 are taken
    ASSERT_EQ(1, listCards());
    for (const CardModel *row = CardCatalogue; row->name; row++) {
        if (row->dialogTemplate != IDD_RS)
            continue;
        SCOPED_TRACE(row->name);
        EXPECT_EQ(-2, Run(row, [row](HWND dialog) {
            EXPECT_EQ(sim::Control(dialog, IDC_FIRSTCOM), sim::Focus());
            EXPECT_EQ("6", sim::Text(dialog, IDC_FIRSTCOM));
            for (int port = 0; port < 4; port++) {
                SCOPED_TRACE("port " + std::to_string(port + 1));
                int id = IDC_IRQ1 + port;
                bool used = port < row->portCount;
                EXPECT_EQ(used, sim::IsEnabled(sim::Control(dialog, id)));
                EXPECT_EQ(used ? Offered(row) : std::vector<std::string>(), sim::Items(dialog, id));
            }
            if (row->portCount == 4) {
                for (int id = IDC_IRQ1; id <= IDC_IRQ4; id++)
                    EXPECT_EQ("10", Selected(dialog, id));
            } else {
                EXPECT_EQ("4", Selected(dialog, IDC_IRQ1));
                EXPECT_EQ("3", Selected(dialog, IDC_IRQ2));
            }
            EXPECT_EQ(Labels(row), sim::Items(dialog, IDC_ADDRESS));
            EXPECT_EQ(0, sim::Selection(dialog, IDC_ADDRESS));
            sim::Key(dialog, VK_ESCAPE); // not a way out here
            ASSERT_TRUE(sim::IsLive(dialog));
            sim::CloseBox(dialog);
        }));
    }
    EXPECT_EQ(2u, Ports().size());
    EXPECT_TRUE(sim::Boxes().empty());
}

TEST_F(PropsDialogTest, RsAddWritesTheEnteredSettings) {
    EXPECT_EQ(0, Run(Row("4SX510"), [](HWND dialog) {
                  sim::Type(dialog, IDC_FIRSTCOM, "12");
                  Pick(dialog, IDC_IRQ3, "5");
                  sim::Select(dialog, IDC_ADDRESS, 1);
                  sim::Click(dialog, IDC_PROP_ADD);
              }));
    EXPECT_EQ((std::vector<std::string>{"4SX510 COM12 irq 10 at 280", "4SX510 COM13 irq 10 at 288",
                                        "4SX510 COM14 irq 5 at 290", "4SX510 COM15 irq 10 at 298"}),
              PortLines());
    EXPECT_EQ(1u, sim::RegDword(SERIAL_KEY, "PermitShare"));

    // Two ports: only two interrupts are read; Enter adds.
    int reads = sim::CallCount("GetDlgItemInt");
    EXPECT_EQ(0, Run(Row("2SX-BTL"), [](HWND dialog) {
                  sim::Type(dialog, IDC_FIRSTCOM, "1");
                  sim::Select(dialog, IDC_ADDRESS, 1);
                  sim::Key(dialog, VK_RETURN);
              }));
    EXPECT_EQ(reads + 3, sim::CallCount("GetDlgItemInt"));
    std::vector<std::string> lines = PortLines();
    EXPECT_EQ((std::vector<std::string>{"2SX-BTL COM1 irq 4 at 3e8", "2SX-BTL COM2 irq 3 at 330"}),
              std::vector<std::string>(lines.begin() + 4, lines.end()));
    EXPECT_TRUE(sim::Boxes().empty());
}

TEST_F(PropsDialogTest, RsAddRefusesInvalidEntriesOneAtATime) {
    EXPECT_EQ(0, Run(Row("4SX510"), [](HWND dialog) {
                  // Digits only when typed, but a pasted text or a program
                  // can put anything there: it reads as 0 and is refused.
                  for (const char *com : {"", "0", "256", "COM3", "-3", "99999999999"}) {
                      SetDlgItemTextA(dialog, IDC_FIRSTCOM, com);
                      sim::Click(dialog, IDC_PROP_ADD);
                  }
                  Deselect(dialog, IDC_IRQ4);
                  Deselect(dialog, IDC_ADDRESS);
                  sim::Click(dialog, IDC_PROP_ADD); // still the COM number
                  sim::Type(dialog, IDC_FIRSTCOM, "255");
                  sim::Click(dialog, IDC_PROP_ADD);
                  Pick(dialog, IDC_IRQ4, "15");
                  sim::Click(dialog, IDC_PROP_ADD);
                  ASSERT_TRUE(sim::IsLive(dialog));
                  EXPECT_EQ(nullptr, PortList.next);
                  EXPECT_EQ("255", sim::Text(dialog, IDC_FIRSTCOM)); // entries kept
                  sim::Select(dialog, IDC_ADDRESS, 0);
                  sim::Click(dialog, IDC_PROP_ADD);
              }));
    std::vector<std::string> boxes(7, EntryError(IDS_BAD_FIRST_COM));
    boxes.push_back(EntryError(IDS_BAD_IRQ));
    boxes.push_back(EntryError(IDS_BAD_ADDRESS_CHOICE));
    EXPECT_EQ(boxes, Described());
    ASSERT_EQ(4u, Ports().size());
    EXPECT_EQ("4SX510 COM255 irq 10 at 3f8", PortLine(Ports()[0]));
    EXPECT_EQ("4SX510 COM258 irq 15 at 2e8", PortLine(Ports()[3]));
}

// Every combo box message that fails is reported with the result stored as
// the last error, which has no system text; the other fills go on and the
// dialog ends with -1.
TEST_F(PropsDialogTest, RsComboFailuresEndTheDialog) {
    for (const char *name : {"4SX510", "2SX510"}) {
        const CardModel *row = Row(name);
        const int irqItems = (int)Offered(row).size() * row->portCount;
        for (int nth = 1; nth <= irqItems + 2; nth++) {
            LONG_PTR result = nth % 2 ? CB_ERR : CB_ERRSPACE;
            ExpectComboFailure(
                row, "CB_ADDSTRING", nth, result,
                {Report(nth <= irqItems ? "CB_ADDSTRING:" : "CB_ADDSTRING/SETCURSEL:")});
            // Only the failing box stops; the others are filled.
            int perBox = nth <= irqItems ? (int)Offered(row).size() : 2;
            int inBox = (nth <= irqItems ? nth - 1 : nth - 1 - irqItems) % perBox;
            EXPECT_EQ(irqItems + 2 - (perBox - inBox - 1), sim::CallCount("CB_ADDSTRING"));
            EXPECT_EQ(row->portCount, sim::CallCount("CB_SETCURSEL"));
            EXPECT_EQ(1, sim::CallCount("SetDlgItemTextA"));
        }
        for (int nth = 1; nth <= row->portCount + 1; nth++)
            ExpectComboFailure(
                row, "CB_SETCURSEL", nth, CB_ERR,
                {Report(nth <= row->portCount ? "CB_SETCURSEL:" : "CB_ADDSTRING/SETCURSEL:")});
    }
    // Each failing step has its own report.
    Fresh();
    sim::FailCall("CB_ADDSTRING", 1, CB_ERR);
    sim::FailCall("CB_SETCURSEL", 1, CB_ERR); // port 2: port 1 selects nothing
    sim::FailCall("CB_SETCURSEL", 2, CB_ERR);
    EXPECT_EQ(-1, Run(Row("2SX510")));
    EXPECT_EQ((std::vector<std::string>{Report("CB_ADDSTRING:"), Report("CB_SETCURSEL:"),
                                        Report("CB_ADDSTRING/SETCURSEL:")}),
              Described());
}

// ---- Switch-selected cards (template 108)

TEST_F(PropsDialogTest, LinxDialogOpensOnThePairAndSwitchOff) {
    const std::vector<std::pair<const char *, std::vector<std::string>>> models = {
        {"Linx700", {"4+3", "9", "10", "11", "12"}}, {"DuoLinx", {"4+3", "5"}}};
    for (const auto &model : models) {
        SCOPED_TRACE(model.first);
        EXPECT_EQ(-2, Run(Row(model.first), [&](HWND dialog) {
            EXPECT_EQ(model.second, sim::Items(dialog, IDC_IRQ1));
            EXPECT_EQ("4+3", Selected(dialog, IDC_IRQ1));
            EXPECT_EQ((std::vector<std::string>{"SW1-1:OFF, 3F8/2F8H", "SW1-1:ON,  3E8/2E8H"}),
                      sim::Items(dialog, IDC_ADDRESS));
            EXPECT_EQ(0, sim::Selection(dialog, IDC_ADDRESS));
            EXPECT_EQ(nullptr, sim::Control(dialog, IDC_FIRSTCOM));
            sim::Key(dialog, VK_ESCAPE); // not a way out here
            ASSERT_TRUE(sim::IsLive(dialog));
            if (model.second.size() > 2)
                sim::Click(dialog, IDC_PROP_CANCEL);
            else
                sim::CloseBox(dialog);
        }));
    }
    EXPECT_EQ(nullptr, PortList.next);
}

TEST_F(PropsDialogTest, LinxAddWritesTheSwitchPositionAndInterrupts) {
    struct Case {
        const char *model, *irq;
        int switchOn;
        std::vector<std::string> ports;
    };
    const Case cases[] = {
        {"Linx700", "4+3", 0, {"Linx700 COM1 irq 4 at 3f8", "Linx700 COM2 irq 3 at 2f8"}},
        {"Linx700", "10", 1, {"Linx700 COM3 irq 10 at 3e8", "Linx700 COM4 irq 10 at 2e8"}},
        {"DuoLinx", "5", 0, {"DuoLinx COM1 irq 5 at 3f8", "DuoLinx COM2 irq 5 at 2f8"}},
        {"DuoLinx", "4+3", 1, {"DuoLinx COM3 irq 4 at 3e8", "DuoLinx COM4 irq 3 at 2e8"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.model) + " " + c.irq);
        Fresh();
        EXPECT_EQ(0, Run(Row(c.model), [&](HWND dialog) {
                      Pick(dialog, IDC_IRQ1, c.irq);
                      sim::Select(dialog, IDC_ADDRESS, c.switchOn);
                      sim::Key(dialog, VK_RETURN);
                  }));
        EXPECT_EQ(c.ports, PortLines());
        EXPECT_EQ(1u, sim::RegDword(SERIAL_KEY, "PermitShare"));
        EXPECT_TRUE(sim::Boxes().empty());
    }
}

TEST_F(PropsDialogTest, LinxAddNeedsAnInterruptThenASwitchPosition) {
    EXPECT_EQ(0, Run(Row("Linx700"), [](HWND dialog) {
                  Deselect(dialog, IDC_IRQ1);
                  Deselect(dialog, IDC_ADDRESS);
                  sim::Click(dialog, IDC_PROP_ADD);
                  Pick(dialog, IDC_IRQ1, "12");
                  sim::Click(dialog, IDC_PROP_ADD);
                  ASSERT_TRUE(sim::IsLive(dialog));
                  sim::Select(dialog, IDC_ADDRESS, 1);
                  sim::Click(dialog, IDC_PROP_ADD);
              }));
    EXPECT_EQ(
        (std::vector<std::string>{EntryError(IDS_BAD_IRQ), EntryError(IDS_BAD_ADDRESS_CHOICE)}),
        Described());
    EXPECT_EQ(
        (std::vector<std::string>{"Linx700 COM3 irq 12 at 3e8", "Linx700 COM4 irq 12 at 2e8"}),
        PortLines());
}

TEST_F(PropsDialogTest, LinxComboFailuresEndTheDialog) {
    const CardModel *row = Row("Linx700");
    const int irqItems = (int)Offered(row).size();
    for (int nth = 1; nth <= irqItems + 2; nth++) {
        LONG_PTR result = nth % 2 ? CB_ERR : CB_ERRSPACE;
        ExpectComboFailure(
            row, "CB_ADDSTRING", nth, result,
            {Report(nth <= irqItems ? "linx/CB_ADDSTRING: " : "Sw11/CB_ADDSTRING/SETCURSEL: ")});
        // A failed interrupt box does not keep the switch box empty.
        EXPECT_EQ(nth <= irqItems ? nth + 2 : nth, sim::CallCount("CB_ADDSTRING"));
    }
    ExpectComboFailure(row, "CB_SETCURSEL", 1, CB_ERR, {Report("linx/CB_SETCURSEL: ")});
    EXPECT_EQ(2, sim::CallCount("CB_SETCURSEL"));
    ExpectComboFailure(row, "CB_SETCURSEL", 2, CB_ERR, {Report("Sw11/CB_ADDSTRING/SETCURSEL: ")});
}

// ---- Free-address cards (template 103)

TEST_F(PropsDialogTest, MpbDialogOpensOnIrq10AndBase280) {
    for (const CardModel *row = CardCatalogue; row->name; row++) {
        if (row->dialogTemplate != IDD_MPB)
            continue;
        SCOPED_TRACE(row->name);
        EXPECT_EQ(-2, Run(row, [row](HWND dialog) {
            EXPECT_EQ(Offered(row), sim::Items(dialog, IDC_IRQ1));
            EXPECT_EQ("10", Selected(dialog, IDC_IRQ1));
            EXPECT_EQ("3", sim::Text(dialog, IDC_FIRSTCOM));
            EXPECT_EQ("280", sim::Text(dialog, IDC_ADDRESS));
            EXPECT_EQ(sim::Control(dialog, IDC_FIRSTCOM), sim::Focus());
            sim::Key(dialog, VK_ESCAPE);
        }));
    }
    EXPECT_EQ(-2, Run(Row("8SX510"), [](HWND dialog) { sim::CloseBox(dialog); }));
    EXPECT_EQ(-2, Run(Row("8SX510"), [](HWND dialog) { sim::Click(dialog, IDCANCEL); }));
    EXPECT_EQ(nullptr, PortList.next);
}

TEST_F(PropsDialogTest, MpbAddTakesAHexadecimalBaseInTheModelsRange) {
    struct Case {
        const char *model, *typed;
        int base; // -1: refused
    };
    const Case cases[] = {
        {"MPB510-8", "100", 0x100},   {"MPB510-8", "280", 0x280},    {"MPB510-8", "1FC0", 0x1FC0},
        {"MPB510-8", "1fc0", 0x1FC0}, {"MPB510-8", "280H", 0x280},   {"MPB510-8", "0x280", 0x280},
        {"MPB510-8", " 2c0", 0x2C0},  {"MPB510-8", "C0", -1},        {"MPB510-8", "2000", -1},
        {"MPB510-8", "2A0", -1},      {"MPB510-8", "000280", -1},    {"MPB510-8", "", -1},
        {"MPB510-8", "H280", -1},     {"MPB510-8", "-280", -1},      {"MPB510-4", "2A0", 0x2A0},
        {"MPB510-4", "2B0", -1},      {"MPB510-4", "1FE0", 0x1FE0},  {"8SX510", "1000", -1},
        {"8SX510", "FC0", 0xFC0},     {"8SX510", "1FC0", -1},        {"MPB510-8", "0x1000", -1},
        {"MPB510-8", "0x1800", -1},   {"MPB510-8", "0x140 ", 0x140}, {"MPB510-8", "1C00H", 0x1C00},
        {"MPB510-8", "0X280", 0x280}, {"MPB510-8", "+280", 0x280},   {"MPB510-8", "xyz", -1},
        {"MPB510-8", "  ", -1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.model) + " \"" + c.typed + "\"");
        Fresh();
        const CardModel *row = Row(c.model);
        INT_PTR result = Run(row, [&](HWND dialog) {
            sim::Type(dialog, IDC_ADDRESS, c.typed);
            sim::Click(dialog, IDC_PROP_ADD);
            if (sim::IsVisible(dialog))
                sim::Click(dialog, IDCANCEL);
        });
        if (c.base < 0) {
            EXPECT_EQ(-2, result);
            EXPECT_EQ(std::vector<std::string>{EntryError(IDS_BAD_BASE)}, Described());
            EXPECT_EQ(nullptr, PortList.next);
            EXPECT_TRUE(sim::RegSubkeys(PORTS_ROOT).empty());
            continue;
        }
        EXPECT_EQ(0, result);
        EXPECT_TRUE(sim::Boxes().empty());
        std::vector<PortEntry *> ports = Ports();
        ASSERT_EQ((size_t)row->portCount, ports.size());
        for (int i = 0; i < row->portCount; i++) {
            EXPECT_EQ(c.base + 8 * i, ports[i]->portAddress);
            EXPECT_EQ(c.base + 7, ports[i]->interruptStatus);
            EXPECT_EQ(10, ports[i]->interrupt);
        }
    }
}

TEST_F(PropsDialogTest, MpbAddChecksTheComNumberThenTheInterruptThenTheBase) {
    EXPECT_EQ(0, Run(Row("MPB510-4"), [](HWND dialog) {
                  sim::Type(dialog, IDC_ADDRESS, "xyz");
                  Deselect(dialog, IDC_IRQ1);
                  // Digits only when typed, but a pasted text or a program
                  // can put anything there: it reads as 0 and is refused.
                  for (const char *com : {"", "0", "256", "COM3", "-3", "99999999999"}) {
                      SetDlgItemTextA(dialog, IDC_FIRSTCOM, com);
                      sim::Click(dialog, IDC_PROP_ADD);
                  }
                  sim::Type(dialog, IDC_FIRSTCOM, "255");
                  sim::Click(dialog, IDC_PROP_ADD);
                  Pick(dialog, IDC_IRQ1, "15");
                  sim::Click(dialog, IDC_PROP_ADD);
                  ASSERT_TRUE(sim::IsLive(dialog));
                  EXPECT_EQ("xyz", sim::Text(dialog, IDC_ADDRESS));
                  sim::Type(dialog, IDC_ADDRESS, "300");
                  sim::Key(dialog, VK_RETURN);
              }));
    std::vector<std::string> boxes(6, EntryError(IDS_BAD_FIRST_COM));
    boxes.push_back(EntryError(IDS_BAD_IRQ));
    boxes.push_back(EntryError(IDS_BAD_BASE));
    EXPECT_EQ(boxes, Described());
    EXPECT_EQ((std::vector<std::string>{
                  "MPB510-4 COM255 irq 15 at 300", "MPB510-4 COM256 irq 15 at 308",
                  "MPB510-4 COM257 irq 15 at 310", "MPB510-4 COM258 irq 15 at 318"}),
              PortLines());
}

// Unlike the other two dialogs, this one reports the last error as the
// combo box left it, not the combo box's result.
TEST_F(PropsDialogTest, MpbComboFailuresEndTheDialog) {
    const CardModel *row = Row("MPB510-8");
    for (int nth = 1; nth <= (int)Offered(row).size(); nth++) {
        ExpectComboFailure(row, "CB_ADDSTRING", nth, nth % 2 ? CB_ERR : CB_ERRSPACE,
                           {Report("mpbIrq/CB_ADDSTRING: Not enough memory.")});
        EXPECT_EQ(2, sim::CallCount("SetDlgItemTextA")); // COM number and base still set
    }
    ExpectComboFailure(row, "CB_SETCURSEL", 1, CB_ERR,
                       {Report("mpbIrq/CB_SETCURSEL: Not enough memory.")});
    EXPECT_EQ(2, sim::CallCount("SetDlgItemTextA"));
}

// ---- Add... in the main window

using AddCardTest = ProgramTest;

TEST_F(AddCardTest, EveryModelOpensItsOwnPropertiesDialog) {
    SeedCard(10000, "2SX510", 3, 4, {0x3F8, 0x2F8});
    ASSERT_EQ(1, Start());
    for (const CardModel *row = CardCatalogue; row->name; row++) {
        SCOPED_TRACE(row->name);
        sim::Select(MainWindow, IDC_CARDLIST, 0);
        ChooseOnAdd(row);
        sim::OnDialog(row->dialogTemplate, [row](HWND dialog) {
            EXPECT_EQ(MainWindow, sim::Owner(dialog));
            EXPECT_FALSE(sim::IsEnabled(MainWindow));
            // The dialog shows what the chosen row holds.
            EXPECT_EQ(Offered(row), sim::Items(dialog, IDC_IRQ1));
            if (row->dialogTemplate == IDD_MPB) {
                EXPECT_EQ("280", sim::Text(dialog, IDC_ADDRESS));
            } else {
                EXPECT_EQ(Labels(row), sim::Items(dialog, IDC_ADDRESS));
            }
            if (row->dialogTemplate == IDD_RS) {
                EXPECT_EQ(row->portCount == 4, sim::IsEnabled(sim::Control(dialog, IDC_IRQ4)));
            }
            sim::Click(dialog, row->dialogTemplate == IDD_MPB ? IDCANCEL : IDC_PROP_CANCEL);
        });
        sim::Click(MainWindow, IDC_ADD);
        EXPECT_EQ(0, sim::PendingDialogHandlers());
        EXPECT_EQ(LB_ERR, sim::Selection(MainWindow, IDC_CARDLIST)); // rebuilt
        EXPECT_TRUE(sim::IsEnabled(MainWindow));
    }
    EXPECT_EQ(1u, CardLines().size());
    EXPECT_TRUE(sim::Boxes().empty());
}

TEST_F(AddCardTest, NewCardsAreListedAndCountForTheNextProposal) {
    SeedCard(10000, "4SX510", 3, 10, {0x3F8, 0x2F8, 0x3E8, 0x2E8});
    ASSERT_EQ(1, Start());
    auto add = [](const char *model, const char *proposal) {
        ChooseOnAdd(Row(model));
        sim::OnDialog(Row(model)->dialogTemplate, [proposal](HWND dialog) {
            EXPECT_EQ(proposal, sim::Text(dialog, IDC_FIRSTCOM));
            sim::Key(dialog, VK_RETURN);
        });
        sim::Click(MainWindow, IDC_ADD);
    };
    add("4SX510", "7");
    add("MPB510-8", "11");
    add("2SX510", "19");
    EXPECT_EQ((std::vector<std::string>{
                  "COM11: MPB510-8, base 280H, IRQ10", "COM19: 2SX510, base 3f8H, IRQ4",
                  "COM3: 4SX510, base 3f8H, IRQ10", "COM7: 4SX510, base 3f8H, IRQ10"}),
              CardLines());
    EXPECT_EQ(18u, Ports().size());
    EXPECT_EQ(Ports()[4], (PortEntry *)sim::ItemData(MainWindow, IDC_CARDLIST, 3));

    // The card just added cannot be tested in this run.
    sim::Select(MainWindow, IDC_CARDLIST, LineOf("COM19: 2SX510, base 3f8H, IRQ4"));
    sim::Click(MainWindow, IDC_TEST);
    EXPECT_EQ(std::vector<std::string>{std::string(Text(IDS_JUST_ADDED))}, BoxTexts());
}

TEST_F(AddCardTest, AFailedWriteStillClosesTheDialogAndListsWhatWasWritten) {
    sim::RegSeedKey(PORTS_ROOT);
    sim::SetSystemText(ERROR_ACCESS_DENIED, "Access is denied.\r\n");
    ASSERT_EQ(1, Start());
    ChooseOnAdd(Row("4SX510"));
    sim::OnDialog(IDD_RS, [](HWND dialog) {
        sim::FailCall("RegSetValueExA", 7, ERROR_ACCESS_DENIED); // Leader of port 2
        sim::Click(dialog, IDC_PROP_ADD);
    });
    sim::Click(MainWindow, IDC_ADD);
    EXPECT_EQ(nullptr, sim::DialogOf(IDD_RS));
    EXPECT_EQ(std::vector<std::string>{"[Internal error|warning|owned] xrs/CreateKey/SetValue/New: "
                                       "Access is denied."},
              Described());
    EXPECT_EQ((std::vector<std::string>{"COM3: 4SX510, base 3f8H, IRQ10"}), CardLines());
    EXPECT_EQ(1u, Ports().size());
}

TEST_F(AddCardTest, APropertiesDialogThatCannotBeCreatedOnlyRebuildsTheList) {
    SeedCard(10000, "2SX510", 3, 4, {0x3F8, 0x2F8});
    ASSERT_EQ(1, Start());
    sim::Select(MainWindow, IDC_CARDLIST, 0);
    ChooseOnAdd(CardCatalogue);
    sim::FailCall("DialogBoxParamA", 2, -1);
    sim::Click(MainWindow, IDC_ADD);
    EXPECT_TRUE(sim::Boxes().empty());
    EXPECT_EQ(LB_ERR, sim::Selection(MainWindow, IDC_CARDLIST));
    EXPECT_EQ(2u, Ports().size());
}
