// Start-up, the string table, error reports and the message loop.
#include "fixture.h"
#include "shell/format.h"

#include <string.h>

using StringTableTest = ProgramTest;

// The table holds strings 1 to 28 back to back in one block of exactly
// the texts' sizes: 1511 bytes in English, 1770 in French (code page 1252).
TEST_F(StringTableTest, LoadsBothLanguagesIntoOneBlock) {
    struct Case {
        WORD language;
        size_t blockSize;
        int id;
        const char *text;
    } cases[] = {
        {ENGLISH, 1511, 14, "Conflict detected between serial cards"},
        {FRENCH, 1770, 14, "Conflit entre cartes s\xE9rie passives"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.language);
        ResetProgram();
        LoadTexts(c.language);
        ASSERT_NE(nullptr, StringTable);
        EXPECT_EQ(nullptr, StringTable[0]);
        size_t total = 0;
        for (int id = 1; id <= 28; id++) {
            ASSERT_NE(nullptr, StringTable[id]) << id;
            EXPECT_EQ(StringTable[1] + total, StringTable[id]) << id;
            total += strlen(StringTable[id]) + 1;
        }
        EXPECT_EQ(c.blockSize, total);
        EXPECT_STREQ(c.text, StringTable[c.id]);
    }
}

TEST_F(StringTableTest, KeepsTextsExactlyAsWritten) {
    LoadTexts(ENGLISH);
    EXPECT_STREQ("In the \"COM number for first port\" field, type a number between 1 and 255. "
                 "For example, if you type 3, the first port will be named COM3 (or \\.\\COM3), "
                 "and so on.",
                 Text(IDS_BAD_FIRST_COM));
    EXPECT_STREQ("Internal error, test halted. Details: %s: \"%s\"", Text(IDS_TEST_HALTED));
    const char *reminder = Text(IDS_IRQ_REMINDER);
    EXPECT_NE(nullptr, strstr(reminder, "ISA bus: %s\n\nYou must reboot"));
    EXPECT_NE(nullptr, strstr(reminder, "installation..\nAfter reboot"));
    EXPECT_EQ('.', reminder[strlen(reminder) - 1]);

    ResetProgram();
    LoadTexts(FRENCH);
    EXPECT_NE(nullptr, strstr(Text(IDS_BAD_FIRST_COM), "compris%nentre"));
    EXPECT_STREQ("Saisie invalide", Text(IDS_INVALID_DATA));
}

TEST_F(StringTableTest, StopsAtTheFirstMissingString) {
    sim::OverrideString(5, nullptr);
    LoadTexts();
    for (int id = 1; id <= 4; id++)
        EXPECT_NE(nullptr, StringTable[id]) << id;
    EXPECT_STREQ("", Text(5));
    EXPECT_STREQ("", Text(14)); // present in the resources, beyond the gap
}

TEST_F(StringTableTest, CutsLongStringsTo499Characters) {
    std::string longText(600, 'x');
    sim::OverrideString(3, longText.c_str());
    LoadTexts();
    EXPECT_EQ(longText.substr(0, 499), StringTable[3]);
    EXPECT_EQ(StringTable[3] + 500, StringTable[4]);
}

TEST_F(StringTableTest, NoStringsGiveNoTableButTheProgramStarts) {
    sim::OverrideString(1, nullptr);
    sim::RegSeedKey(PORTS_ROOT);
    ASSERT_EQ(1, Start());
    EXPECT_EQ(nullptr, StringTable);
    EXPECT_TRUE(sim::IsLive(MainWindow));
    EXPECT_TRUE(CardLines().empty());
}

using StartupTest = ProgramTest;

// A string table that cannot be allocated and a main window that cannot be
// created end start-up with a built-in message.
TEST_F(StartupTest, FailuresBeforeTheMessageLoopEndTheProgram) {
    const char *cases[][2] = {{"calloc", "Cannot allocate string table"},
                              {"malloc", "Cannot allocate string table"},
                              {"CreateDialogParamA", "Cannot create main window"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c[0]);
        sim::Reset();
        ResetProgram();
        sim::RegSeedKey(PORTS_ROOT);
        sim::FailCall(c[0], 1, 0);
        EXPECT_EQ(0, WinMain((HINSTANCE)1, NULL, (LPSTR) "", SW_SHOWNORMAL));
        EXPECT_EQ(std::vector<std::string>{std::string("[Internal error|error|ownerless] ") + c[1]},
                  Described());
        EXPECT_EQ(nullptr, sim::DialogOf(IDD_MAIN));
    }
}

// Quit, and Escape and the close box, which reach the main window through
// the dialog manager as command 2, end the message loop with exit code 0.
TEST_F(StartupTest, QuitEscapeAndTheCloseBoxEndTheMessageLoop) {
    for (int way = 0; way < 3; way++) {
        SCOPED_TRACE(way);
        sim::Reset();
        ResetProgram();
        SeedCard(10000, "4SX510", 3, 10, {0x3F8, 0x2F8, 0x3E8, 0x2E8});
        sim::OnIdle([way] {
            if (way == 0)
                sim::PostCommand(MainWindow, IDC_QUIT);
            else if (way == 1)
                sim::PostKey(MainWindow, VK_ESCAPE);
            else
                sim::PostCloseBox(MainWindow);
        });
        EXPECT_EQ(0, WinMain((HINSTANCE)1, NULL, (LPSTR) "", SW_SHOWNORMAL));
        EXPECT_FALSE(sim::IsLive(MainWindow));
        ASSERT_EQ(1u, sim::Boxes().size()); // the interrupt reminder
        EXPECT_EQ("ISA non-PNP cards installation", sim::Boxes()[0].caption);
    }
}

using ReportTest = ProgramTest;

TEST_F(ReportTest, SystemTextLosesTrailingLineBreaksOnly) {
    const char *cases[][2] = {{"Access is denied.\r\n", "Access is denied."},
                              {"\r\n\n\r", ""},
                              {"Two\r\nlines\n\r\r", "Two\r\nlines"}};
    for (const auto &c : cases) {
        sim::SetSystemText(5, c[0]);
        SetLastError(5);
        EXPECT_STREQ(c[1], SystemErrorText());
    }
}

TEST_F(ReportTest, EachSystemTextReleasesThePreviousOne) {
    SetLastError(2);
    SystemErrorText();
    SetLastError(5);
    SystemErrorText();
    EXPECT_EQ(1, sim::LocalAllocCount());
    // A code without a text gives an empty text, and the previous one is
    // gone rather than handed out again.
    SetLastError((DWORD)-1);
    EXPECT_STREQ("", SystemErrorText());
    EXPECT_EQ(0, sim::LocalAllocCount());
    SetLastError(2);
    EXPECT_STREQ("The system cannot find the file specified.", SystemErrorText());
}

TEST_F(ReportTest, ReportsAreWarningsCaptionedInternalErrorAndOwnedByTheMainWindow) {
    LoadTexts(FRENCH);
    sim::RegSeedKey(PORTS_ROOT);
    ReportError("%s: %s", "listCards/EnumKey", "Access is denied.", NULL);
    MainWindow =
        CreateDialogParamA(AppInstance, MAKEINTRESOURCEA(IDD_MAIN), NULL, ListCardsFunc, 0);
    ASSERT_NE(nullptr, MainWindow);
    bool ownerEnabled = true;
    sim::OnMessageBox([&](const sim::Box &) {
        ownerEnabled = sim::IsEnabled(MainWindow);
        return IDOK;
    });
    ReportError("%s:%s", "CB_ADDSTRING", "", NULL);
    ASSERT_EQ(2u, sim::Boxes().size());
    EXPECT_EQ("[Erreur interne|warning|ownerless] listCards/EnumKey: Access is denied.",
              Describe(sim::Boxes()[0]));
    EXPECT_EQ(MainWindow, sim::Boxes()[1].owner);
    EXPECT_FALSE(ownerEnabled);
    EXPECT_TRUE(sim::IsEnabled(MainWindow));
    EXPECT_EQ("CB_ADDSTRING:", sim::Boxes()[1].text);
}

TEST_F(ReportTest, LongMessagesAreCutAt299Characters) {
    LoadTexts();
    std::string text(400, 'e');
    ReportError("%s: %s", "TestCard/NewPort", text.c_str(), NULL);
    EXPECT_EQ(std::vector<std::string>{("TestCard/NewPort: " + text).substr(0, 299)}, BoxTexts());
}

using FormatTextTest = ProgramTest;

// The system formatter leaves the area open when the text fills it exactly
// or is cut; FormatText always ends it in a NUL and never writes past it.
TEST_F(FormatTextTest, EndsEveryTextInsideItsArea) {
    const size_t size = 8;
    struct Case {
        size_t length;
        int system; // what _vsnprintf returns
        int fit;    // what FormatText returns
    } cases[] = {
        {0, 0, 1}, {3, 3, 1}, {7, 7, 1}, {8, 8, 0}, {9, -1, 0}, {300, -1, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.length);
        std::string text;
        for (size_t i = 0; i < c.length; i++)
            text += (char)('a' + i % 26);
        char area[size + 4];
        memset(area, '#', sizeof area);
        EXPECT_EQ(c.system, sim::SystemFormat(area, size, "%s", text.c_str()));
        bool open = c.system < 0 || (size_t)c.system == size;
        EXPECT_EQ(open, memchr(area, '\0', sizeof area) == nullptr);
        memset(area, '#', sizeof area);
        EXPECT_EQ(c.fit, FormatText(area, size, "%s", text.c_str()));
        EXPECT_EQ(text.substr(0, size - 1), area);
        EXPECT_EQ(std::string(4, '#'), std::string(area + size, 4));
    }
}
