// The model selection dialog (template 102), alone and as the first step
// of the main window's Add... command.
#include "fixture.h"

#include <functional>

namespace {

class ModelDialogTest : public ProgramTest {
  protected:
    // Runs the dialog as the main window does; the handler plays the user.
    INT_PTR Run(std::function<void(HWND)> user) {
        if (!StringTable)
            LoadTexts();
        sim::OnDialog(IDD_MODELS, user);
        return DialogBoxParamA(AppInstance, MAKEINTRESOURCEA(IDD_MODELS), NULL, ListModelsFunc, 0);
    }
};

std::vector<std::string> CatalogueNames() {
    std::vector<std::string> names;
    for (const CardModel *row = CardCatalogue; row->name; row++)
        names.push_back(row->name);
    return names;
}

} // namespace

TEST_F(ModelDialogTest, OpensOnTheModelNamesInCatalogueOrder) {
    INT_PTR result = Run([](HWND dialog) {
        EXPECT_EQ(
            (std::vector<std::string>{"MPB510-8", "MPB510-4", "8SX510", "4SX510", "2SX510",
                                      "Linx700", "DuoLinx", "4SX-MORAV", "2SX-MORAV", "2SX-BTL"}),
            sim::Items(dialog, IDC_MODELLIST));
        EXPECT_EQ(LB_ERR, sim::Selection(dialog, IDC_MODELLIST));
        EXPECT_EQ(sim::Control(dialog, IDC_MODELLIST), sim::Focus());
        EXPECT_EQ("Card model selection", sim::Text(dialog));
        sim::Click(dialog, IDCANCEL);
    });
    EXPECT_EQ(-2, result);
}

TEST_F(ModelDialogTest, NextReturnsTheCataloguePositionOfTheSelectedLine) {
    const std::vector<std::string> names = CatalogueNames();
    for (int position = 0; position < (int)names.size(); position++) {
        SCOPED_TRACE(names[position]);
        // Next>> and Enter without a selection are ignored, silently.
        INT_PTR result = Run([&](HWND dialog) {
            sim::Click(dialog, IDC_NEXT);
            sim::Key(dialog, VK_RETURN);
            ASSERT_TRUE(sim::IsLive(dialog));
            sim::Select(dialog, IDC_MODELLIST, position);
            if (position % 2)
                sim::Click(dialog, IDC_NEXT);
            else
                sim::Key(dialog, VK_RETURN);
        });
        EXPECT_EQ(position, result);
        EXPECT_STREQ(names[position].c_str(), CardCatalogue[result].name);
    }
    EXPECT_TRUE(sim::Boxes().empty());
}

TEST_F(ModelDialogTest, CancelEscapeAndTheCloseBoxReturnMinusTwo) {
    const std::vector<std::pair<const char *, std::function<void(HWND)>>> ways = {
        {"Cancel", [](HWND dialog) { sim::Click(dialog, IDCANCEL); }},
        {"Escape", [](HWND dialog) { sim::Key(dialog, VK_ESCAPE); }},
        {"close box", [](HWND dialog) { sim::CloseBox(dialog); }},
    };
    for (const auto &way : ways) {
        SCOPED_TRACE(way.first);
        EXPECT_EQ(-2, Run([&](HWND dialog) {
            sim::Select(dialog, IDC_MODELLIST, 3);
            way.second(dialog);
        }));
    }
}

TEST_F(ModelDialogTest, DoubleClickingAModelDoesNotEndTheDialog) {
    EXPECT_EQ(6, Run([](HWND dialog) {
                  sim::DoubleClick(dialog, IDC_MODELLIST, 6);
                  ASSERT_TRUE(sim::IsLive(dialog));
                  EXPECT_EQ(6, sim::Selection(dialog, IDC_MODELLIST));
                  sim::Click(dialog, IDC_NEXT);
              }));
}

// Any model name that cannot be added, with either error result, ends the
// dialog as one that could not be created: the main window then says so,
// opens no properties dialog and takes input again. Out of space reads as
// out of memory; LB_ERR shows the last error as the list box left it.
TEST_F(ModelDialogTest, AListThatCannotBeFilledEndsAddWithoutAPropertiesDialog) {
    const int count = (int)CatalogueNames().size();
    for (int nth = 1; nth <= count; nth++) {
        for (LONG_PTR error : {(LONG_PTR)LB_ERR, (LONG_PTR)LB_ERRSPACE}) {
            SCOPED_TRACE("name " + std::to_string(nth) + ", result " + std::to_string(error));
            sim::Reset();
            ResetProgram();
            sim::SetSystemText(ERROR_NOT_ENOUGH_MEMORY, "Out of memory.\r\n");
            SeedCard(10000, "2SX510", 3, 4, {0x3F8, 0x2F8});
            ASSERT_EQ(1, Start());
            sim::Select(MainWindow, IDC_CARDLIST, 0);
            sim::FailCall("LB_ADDSTRING", nth, error);
            SetLastError(error == LB_ERRSPACE ? ERROR_SUCCESS : ERROR_ACCESS_DENIED);
            sim::Click(MainWindow, IDC_ADD);

            EXPECT_EQ(nth, sim::CallCount("LB_ADDSTRING") - 1); // card line, then the names
            ASSERT_EQ(2u, sim::Boxes().size());
            EXPECT_EQ(MainWindow, sim::Boxes()[0].owner);
            EXPECT_EQ(std::string("[Internal error|warning|owned] model/LB_ADDSTRING: ") +
                          (error == LB_ERRSPACE ? "Out of memory." : "Access is denied."),
                      Describe(sim::Boxes()[0]));
            EXPECT_EQ("[Internal error|error|ownerless] Cannot create main window",
                      Describe(sim::Boxes()[1]));
            EXPECT_EQ(nullptr, sim::DialogOf(IDD_MODELS));
            EXPECT_TRUE(sim::IsEnabled(MainWindow));
            EXPECT_EQ(0, sim::PendingDialogHandlers());
            EXPECT_EQ(0, sim::Selection(MainWindow, IDC_CARDLIST)); // list not rebuilt
            EXPECT_EQ(2u, Ports().size());
        }
    }
}

TEST_F(ModelDialogTest, CancellingTheModelChoiceLeavesTheMainWindowAsItWas) {
    SeedCard(10000, "4SX510", 3, 10, {0x3F8, 0x2F8, 0x3E8, 0x2E8});
    SeedCard(10004, "2SX510", 10, 4, {0x3E8, 0x2E8});
    ASSERT_EQ(1, Start());
    sim::Select(MainWindow, IDC_CARDLIST, 1);
    sim::OnDialog(IDD_MODELS, [](HWND dialog) {
        EXPECT_FALSE(sim::IsEnabled(MainWindow)); // modal over the main window
        EXPECT_EQ(MainWindow, sim::Owner(dialog));
        sim::Key(dialog, VK_ESCAPE);
    });
    int lineAdds = sim::CallCount("LB_ADDSTRING");
    sim::Click(MainWindow, IDC_ADD);
    EXPECT_EQ(1, sim::CallCount("DialogBoxParamA"));          // no properties dialog
    EXPECT_EQ(lineAdds + 10, sim::CallCount("LB_ADDSTRING")); // the names only
    EXPECT_EQ(1, sim::Selection(MainWindow, IDC_CARDLIST));
    EXPECT_TRUE(sim::IsEnabled(MainWindow));
    EXPECT_TRUE(sim::Boxes().empty());
}
