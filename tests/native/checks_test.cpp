// The checks run when the user quits.
#include "fixture.h"

class ChecksTest : public ProgramTest {
  protected:
    void Load(const std::vector<SeedPortKey> &ports, WORD language = ENGLISH) {
        SeedPorts(ports);
        LoadTexts(language);
        ASSERT_EQ(1, listCards());
        ASSERT_EQ(ports.size(), Ports().size());
    }
    static std::string Reminder(const std::string &irqs) {
        return "IMPORTANT: check in the BIOS SETUP of the computer, on the PNP (Plug-And-Play) "
               "configuration page, that the following IRQs are actually reserved for the ISA "
               "bus: " +
               irqs +
               "\n\nYou must reboot the computer in order to complete the installation..\nAfter "
               "reboot, you can restart this program in order to test the installed cards..";
    }
};

TEST_F(ChecksTest, DuplicateNamesAreReportedOncePerPairInListOrder) {
    Load({{"Serial10000", "COM3", 4, 0x3F8, "", ""},
          {"Serial10001", "com3", 5, 0x2F8, "", ""},
          {"Serial10002", "COM3", 6, 0x3E8, "", ""},
          {"Serial10003", "COM3", 7, 0x2E8, "", ""}});
    EXPECT_EQ(0, CheckDuplicateNames());
    EXPECT_EQ((std::vector<std::string>{
                  "[Conflict detected between serial cards|error|ownerless] ERROR: The name COM3 "
                  "is used in both the Serial10000 and Serial10002 keys.",
                  "[Conflict detected between serial cards|error|ownerless] ERROR: The name COM3 "
                  "is used in both the Serial10000 and Serial10003 keys.",
                  "[Conflict detected between serial cards|error|ownerless] ERROR: The name COM3 "
                  "is used in both the Serial10002 and Serial10003 keys."}),
              Described());
    EXPECT_EQ(1, CheckSharedIrqs());
    EXPECT_EQ(1, CheckDuplicateAddresses());
}

TEST_F(ChecksTest, SharedInterruptsAreReportedBetweenCardsOnly) {
    Load({{"Serial10000", "COM3", 5, 0x3F8, "2SX510", "Serial10000"},
          {"Serial10001", "COM4", 5, 0x2F8, "2SX510", "Serial10000"},
          {"Serial10002", "COM5", 5, 0x3E8, "2SX510", "Serial10002"},
          {"Serial10003", "COM6", 5, 0x2E8, "2SX510", "Serial10002"},
          {"Serial10004", "COM7", 9, 0x280, "", ""},
          {"Serial10005", "COM8", 9, 0x288, "", ""}});
    EXPECT_EQ(0, CheckSharedIrqs());
    std::vector<std::string> expected;
    for (const char *pair : {"COM3 and COM5", "COM3 and COM6", "COM4 and COM5", "COM4 and COM6"})
        expected.push_back(std::string("Potential problem:Interrupt 5 is shared between ports ") +
                           pair + ". Some cards do not allow this.");
    EXPECT_EQ(expected, BoxTexts());
    for (const sim::Box &box : sim::Boxes())
        EXPECT_EQ(MB_ICONWARNING, box.type & 0xF0);
}

TEST_F(ChecksTest, DuplicateAddressesAreReportedWhateverTheCard) {
    Load({{"Serial10000", "COM3", 4, 0x3F8, "2SX510", "Serial10000"},
          {"Serial10001", "COM4", 3, 0x3F8, "2SX510", "Serial10000"}});
    EXPECT_EQ(0, CheckDuplicateAddresses());
    ASSERT_EQ(1u, sim::Boxes().size());
    EXPECT_EQ("[Conflict detected between serial cards|error|ownerless] ERROR:The address 3f8H "
              "is used by both the COM3 and COM4 ports.",
              Describe(sim::Boxes()[0]));
}

TEST_F(ChecksTest, ConflictsSpeakFrench) {
    Load({{"Serial10000", "COM3", 4, 0x3F8, "A", "Serial10000"},
          {"Serial10001", "COM3", 4, 0x3F8, "B", "Serial10001"}},
         FRENCH);
    CheckDuplicateNames();
    CheckSharedIrqs();
    CheckDuplicateAddresses();
    EXPECT_EQ((std::vector<std::string>{
                  "ERREUR: Le nom COM3 est utilis\xE9 simultan\xE9ment par les cl\xE9s Serial10000 "
                  "et Serial10001.",
                  "Probl\xE8me potentiel : L'interruption 4 est partag\xE9"
                  "e entre les deux ports "
                  "COM3 et COM3. Certaines cartes ne supportent pas cela.",
                  "ERREUR: L'adresse 3f8H est utilis\xE9"
                  "e simultan\xE9ment par les ports COM3 "
                  "et COM3."}),
              BoxTexts());
    EXPECT_EQ("Conflit entre cartes s\xE9rie passives", sim::Boxes()[0].caption);
}

TEST_F(ChecksTest, LongNamesGiveMessagesCutAt199Characters) {
    std::string name(300, 'N');
    Load({{"Serial10000", name, 4, 0x3F8, "", ""}, {"Serial10001", name, 4, 0x3F8, "", ""}});
    CheckDuplicateNames();
    CheckDuplicateAddresses();
    ASSERT_EQ(2u, sim::Boxes().size());
    EXPECT_EQ(("ERROR: The name " + name).substr(0, 199), sim::Boxes()[0].text);
    EXPECT_EQ(("ERROR:The address 3f8H is used by both the " + name).substr(0, 199),
              sim::Boxes()[1].text);
}

TEST_F(ChecksTest, ReminderListsEachInterruptOnceInAscendingOrder) {
    Load({{"Serial10000", "COM3", 10, 0x3F8, "", ""},
          {"Serial10001", "COM4", 3, 0x2F8, "", ""},
          {"Serial10002", "COM5", 10, 0x3E8, "", ""},
          {"Serial10003", "COM6", 0, 0x2E8, "", ""},
          {"Serial10004", "COM7", 16, 0x280, "", ""},
          {"Serial10005", "COM8", 0xFFFFFFFF, 0x288, "", ""},
          {"Serial10006", "COM9", IRQ_PAIR_4_3, 0x290, "", ""}});
    ShowIrqReminder();
    ASSERT_EQ(1u, sim::Boxes().size());
    EXPECT_EQ(Reminder("IRQ0, IRQ3, IRQ10"), sim::Boxes()[0].text);
    EXPECT_EQ("ISA non-PNP cards installation", sim::Boxes()[0].caption);
    EXPECT_EQ(MB_ICONINFORMATION, sim::Boxes()[0].type & 0xF0);
}

TEST_F(ChecksTest, ReminderNamesAllSixteenInterrupts) {
    std::vector<SeedPortKey> ports;
    std::string irqs;
    for (int irq = 15; irq >= 0; irq--)
        ports.push_back({"Serial" + std::to_string(10000 + irq), "COM" + std::to_string(irq + 1),
                         (DWORD)irq, (DWORD)(0x100 + 8 * irq), "", ""});
    for (int irq = 0; irq <= 15; irq++)
        irqs += (irq ? ", IRQ" : "IRQ") + std::to_string(irq);
    Load(ports, FRENCH);
    ShowIrqReminder();
    ASSERT_EQ(1u, sim::Boxes().size());
    EXPECT_NE(std::string::npos, sim::Boxes()[0].text.find("bus ISA : " + irqs + "\n\n"));
    EXPECT_EQ("Installation sur bus ISA PNP", sim::Boxes()[0].caption);
}

TEST_F(ChecksTest, NoReminderWithoutAnInterruptFrom0To15) {
    Load({{"Serial10000", "COM3", 16, 0x3F8, "", ""}});
    ShowIrqReminder();
    EXPECT_TRUE(sim::Boxes().empty());
}

TEST_F(ChecksTest, QuitShowsNamesThenInterruptsThenAddressesThenTheReminder) {
    SeedPorts({{"Serial10000", "COM3", 5, 0x3F8, "2SX510", "Serial10000"},
               {"Serial10001", "COM3", 5, 0x3F8, "2SX510", "Serial10001"}});
    ASSERT_EQ(1, Start());
    sim::Click(MainWindow, IDC_QUIT);
    std::vector<std::string> captions;
    for (const sim::Box &box : sim::Boxes())
        captions.push_back(box.text.substr(0, 18));
    EXPECT_EQ((std::vector<std::string>{"ERROR: The name CO", "Potential problem:",
                                        "ERROR:The address ", "IMPORTANT: check i"}),
              captions);
    EXPECT_FALSE(sim::IsLive(MainWindow));
}

TEST_F(ChecksTest, PortsWithoutAModelStillTakePartInTheChecks) {
    SeedPorts(
        {{"Serial10000", "COM3", 5, 0x3E8, "", ""}, {"Serial10001", "COM3", 7, 0x3E8, "", ""}});
    ASSERT_EQ(1, Start());
    EXPECT_TRUE(CardLines().empty());
    sim::Click(MainWindow, IDC_QUIT);
    EXPECT_EQ((std::vector<std::string>{
                  "ERROR: The name COM3 is used in both the Serial10000 and Serial10001 keys.",
                  "ERROR:The address 3e8H is used by both the COM3 and COM3 ports.",
                  Reminder("IRQ5, IRQ7")}),
              BoxTexts());
    EXPECT_FALSE(sim::IsLive(MainWindow));
}
