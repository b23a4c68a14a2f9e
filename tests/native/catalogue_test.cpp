// The card catalogue: the ten models, their interrupt lists and their
// address choices or ranges; the guides' tables of them, and the program
// texts that the guides quote.
#include "fixture.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string.h>

namespace {

// What the model list and the properties dialogs rely on for each row.
struct ExpectedRow {
    const char *name;
    int portCount;
    WORD dialogTemplate;
    std::vector<int> irqChoices; // default first, then the offered values
    // Choice 0 and choice 1 of a strap or switch, or the typed range.
    std::vector<int> choice0, choice1;
    int lowest, highest;
};

const int P = IRQ_PAIR_4_3;
const std::vector<int> I1 = {10, 3, 4, 5, 6, 7, 9, 10, 11, 12, 15};
const std::vector<int> I2 = {10, 3, 4, 5, 7, 10, 11, 12, 15};
const std::vector<int> I3 = {10, 3, 4, 5, 7, 9, 10, 11, 15};
const std::vector<int> I4 = {4, 3, 4, 5, 7, 9, 10, 11, 15};

const ExpectedRow Rows[] = {
    {"MPB510-8", 8, IDD_MPB, I1, {}, {}, 0x100, 0x1FFF},
    {"MPB510-4", 4, IDD_MPB, I1, {}, {}, 0x100, 0x1FFF},
    {"8SX510", 8, IDD_MPB, I2, {}, {}, 0x100, 0xFFF},
    {"4SX510", 4, IDD_RS, I3, {0x3F8, 0x2F8, 0x3E8, 0x2E8}, {0x280, 0x288, 0x290, 0x298}, 0, 0},
    {"2SX510", 2, IDD_RS, I4, {0x3F8, 0x2F8}, {0x3E8, 0x2E8}, 0, 0},
    {"Linx700", 2, IDD_LINX, {P, P, 9, 10, 11, 12}, {0x3F8, 0x2F8}, {0x3E8, 0x2E8}, 0, 0},
    {"DuoLinx", 2, IDD_LINX, {P, P, 5}, {0x3F8, 0x2F8}, {0x3E8, 0x2E8}, 0, 0},
    {"4SX-MORAV", 4, IDD_RS, I3, {0x2F8, 0x3E8, 0x2E8, 0x280}, {0x3E8, 0x2E8, 0x280, 0x288}, 0, 0},
    {"2SX-MORAV", 2, IDD_RS, I4, {0x2F8, 0x3E8}, {0x3E8, 0x2E8}, 0, 0},
    {"2SX-BTL", 2, IDD_RS, I4, {0x3F8, 0x2F8}, {0x3E8, 0x330}, 0, 0},
};

std::vector<int> IrqList(const int *list) {
    std::vector<int> values;
    for (int i = 0; i == 0 || list[i]; i++)
        values.push_back(list[i]);
    return values;
}

// The numbers a text names, in order: the interrupts of "4+3, 9, 10" (the
// pair code, 9 and 10), or the hexadecimal addresses of "100H to 1FFFH"
// (0x100 and 0x1FFF) or of a strap label "ST1:1-2, 3F8/2F8H" (0x3F8, 0x2F8).
std::vector<int> Numbers(const std::string &text, bool hexadecimal) {
    static const std::regex irqs("(4\\+3|[0-9]+)"), addresses("([0-9A-F]+)(?=[/0-9A-F]*H)");
    std::vector<int> values;
    std::sregex_iterator it(text.begin(), text.end(), hexadecimal ? addresses : irqs), end;
    for (; it != end; ++it)
        values.push_back(it->str() == "4+3"
                             ? IRQ_PAIR_4_3
                             : std::stoi((*it)[1].str(), nullptr, hexadecimal ? 16 : 10));
    return values;
}

} // namespace

TEST(CardCatalogueTest, HoldsTheTenModelsInListOrder) {
    size_t count = 0;
    while (CardCatalogue[count].name)
        count++;
    ASSERT_EQ(sizeof Rows / sizeof Rows[0], count);
    const CardModel &end = CardCatalogue[count];
    EXPECT_EQ(0, end.portCount);
    EXPECT_EQ(0, end.dialogTemplate);
    EXPECT_EQ(nullptr, end.dialogProc);
    EXPECT_EQ(nullptr, end.irqChoices);
    EXPECT_EQ(nullptr, end.addressInfo);

    for (size_t i = 0; i < count; i++) {
        const CardModel &row = CardCatalogue[i];
        const ExpectedRow &want = Rows[i];
        SCOPED_TRACE(want.name);
        EXPECT_STREQ(want.name, row.name);
        EXPECT_EQ(want.portCount, row.portCount);
        EXPECT_EQ(want.dialogTemplate, row.dialogTemplate);
        EXPECT_EQ(want.dialogTemplate == IDD_MPB  ? &MpbFunc
                  : want.dialogTemplate == IDD_RS ? &RsFunc
                                                  : &LinxFunc,
                  row.dialogProc);
        EXPECT_EQ(want.irqChoices, IrqList(row.irqChoices));
        if (row.dialogTemplate == IDD_MPB) {
            const AddressRange *range = (const AddressRange *)row.addressInfo;
            EXPECT_STREQ("280", range->defaultText);
            EXPECT_EQ(want.lowest, range->lowest);
            EXPECT_EQ(want.highest, range->highest);
            continue;
        }
        const AddressChoice *choices = (const AddressChoice *)row.addressInfo;
        for (int c = 0; c < 2; c++) {
            SCOPED_TRACE(choices[c].label);
            const std::vector<int> &wanted = c == 0 ? want.choice0 : want.choice1;
            std::vector<int> stored(choices[c].portAddresses, choices[c].portAddresses + 4);
            std::vector<int> padded = wanted;
            padded.resize(4, 0);
            EXPECT_EQ(padded, stored);
            // The label the user picks names the addresses that get written.
            EXPECT_EQ(wanted, Numbers(choices[c].label, true));
            const char *prefix = row.dialogTemplate == IDD_LINX ? "SW1-1:" : "ST1:";
            EXPECT_EQ(0u, std::string(choices[c].label).find(prefix));
        }
    }
}

// Each interrupt combo box opens with its default selected: the default is
// offered, the offered values are distinct and fit a combo box, and only
// the switch-selected cards offer the pair code.
TEST(CardCatalogueTest, EveryInterruptListOffersItsDefaultOnce) {
    for (const CardModel *row = CardCatalogue; row->name; row++) {
        SCOPED_TRACE(row->name);
        std::vector<int> offered = IrqList(row->irqChoices);
        int defaultIrq = offered[0];
        offered.erase(offered.begin());
        EXPECT_LE(offered.size(), 16u);
        EXPECT_EQ(1, std::count(offered.begin(), offered.end(), defaultIrq));
        for (int irq : offered) {
            EXPECT_EQ(1, std::count(offered.begin(), offered.end(), irq)) << irq;
            if (irq == IRQ_PAIR_4_3)
                EXPECT_EQ(IDD_LINX, row->dialogTemplate);
            else
                EXPECT_TRUE(irq >= 1 && irq <= 15) << irq;
        }
    }
}

namespace {

// The table rows of a Markdown file whose first cell names a model, by
// model name, each as its trimmed cells without code marks.
std::map<std::string, std::vector<std::vector<std::string>>> ModelRows(const std::string &path) {
    std::map<std::string, std::vector<std::vector<std::string>>> rows;
    std::ifstream file(path);
    std::string line;
    while (std::getline(file, line)) {
        if (line.empty() || line[0] != '|')
            continue;
        std::vector<std::string> cells;
        std::stringstream stream(line.substr(1));
        std::string cell;
        while (std::getline(stream, cell, '|')) {
            size_t first = cell.find_first_not_of(" `");
            size_t last = cell.find_last_not_of(" `");
            cells.push_back(first == std::string::npos ? "" : cell.substr(first, last - first + 1));
        }
        if (Row(cells[0].c_str()))
            rows[cells[0]].push_back(cells);
    }
    return rows;
}

} // namespace

// Each guide has one table row per model: name, ports, the interrupts
// offered, the ones proposed, then the two strap or switch positions as the
// dialog lists them, or the range and step of a typed base address.
TEST(CardCatalogueTest, TheGuidesTablesMatchTheCatalogue) {
    for (const char *guide : {"guide.en.md", "guide.fr.md"}) {
        SCOPED_TRACE(guide);
        std::string path = std::string(CARDINST_DOCS_DIR) + "/" + guide;
        ASSERT_TRUE(std::ifstream(path).good()) << path;
        auto rows = ModelRows(path);
        for (const CardModel *row = CardCatalogue; row->name; row++) {
            SCOPED_TRACE(row->name);
            EXPECT_EQ(1u, rows[row->name].size()) << "table rows naming the model";
            if (rows[row->name].size() != 1 || rows[row->name][0].size() != 6) {
                ADD_FAILURE() << "no single row of six cells";
                continue;
            }
            const std::vector<std::string> &cells = rows[row->name][0];
            EXPECT_EQ(std::to_string(row->portCount), cells[1]);
            std::vector<int> irqs = IrqList(row->irqChoices);
            EXPECT_EQ(std::vector<int>(irqs.begin() + 1, irqs.end()), Numbers(cells[2], false));
            // Two-port strap dialogs propose IRQ 4 for port 1 and 3 for port 2.
            bool pair = row->dialogTemplate == IDD_RS && row->portCount == 2;
            std::vector<int> proposed = pair ? std::vector<int>{4, 3} : std::vector<int>{irqs[0]};
            EXPECT_EQ(proposed, Numbers(cells[3], false));
            if (row->dialogTemplate == IDD_MPB) {
                const AddressRange *range = (const AddressRange *)row->addressInfo;
                EXPECT_EQ((std::vector<int>{range->lowest, range->highest}),
                          Numbers(cells[4], true));
                EXPECT_EQ(std::vector<int>{8 * row->portCount}, Numbers(cells[5], true));
            } else {
                const AddressChoice *choices = (const AddressChoice *)row->addressInfo;
                EXPECT_EQ(choices[0].label, cells[4]);
                EXPECT_EQ(choices[1].label, cells[5]);
            }
        }
    }
}

namespace {

// A program text as the guides are written: Windows-1252 made UTF-8 (the
// texts use no character from 0x80 to 0x9F).
std::string Utf8(const char *text) {
    std::string utf8;
    for (const unsigned char *c = (const unsigned char *)text; *c; c++) {
        if (*c < 0x80) {
            utf8 += (char)*c;
        } else {
            utf8 += (char)(0xC0 | *c >> 6);
            utf8 += (char)(0x80 | (*c & 0x3F));
        }
    }
    return utf8;
}

// One line of a program text as a pattern: %s, %d and %x stand for any
// text, decimal or hexadecimal number; all else, the French string 6's
// "%n" included, stands for itself.
std::regex Pattern(const std::string &line) {
    std::string pattern;
    for (size_t i = 0; i < line.size(); i++) {
        const char *conversion =
            i + 1 < line.size() && line[i] == '%' ? strchr("sdx", line[i + 1]) : nullptr;
        if (conversion && *conversion) {
            pattern += *conversion == 's' ? ".+" : *conversion == 'd' ? "-?[0-9]+" : "[0-9a-f]+";
            i++;
            continue;
        }
        if (strchr(".^$|()[]{}*+?\\", line[i]))
            pattern += '\\';
        pattern += line[i];
    }
    return std::regex(pattern);
}

// The program texts a guide quotes: each code span set in the language's
// quotation marks, and each line of a ```message block.
std::vector<std::string> QuotedTexts(const std::string &path, const std::string &open,
                                     const std::string &close) {
    std::ifstream file(path);
    std::vector<std::string> quoted;
    std::string line, prose;
    bool inFence = false, inMessage = false;
    while (std::getline(file, line)) {
        std::string text = line.substr(std::min(line.size(), line.find_first_not_of(' ')));
        if (text.compare(0, 3, "```") == 0) {
            inMessage = !inFence && text == "```message";
            inFence = !inFence;
        } else if (inMessage && !text.empty()) {
            quoted.push_back(text);
        } else if (!inFence) {
            prose += " " + text; // a code span may run over a line's end
        }
    }
    std::regex span(open + "`([^`]+)`" + close);
    for (std::sregex_iterator it(prose.begin(), prose.end(), span), end; it != end; ++it)
        quoted.push_back((*it)[1]);
    return quoted;
}

} // namespace

// What a guide quotes is, in its language, a line of one of the program's
// strings, a system text, or either of them after a tag or a COM name and
// a colon, as the error reports and the test results show them.
using GuideTextsTest = ProgramTest;
TEST_F(GuideTextsTest, QuoteOnlyTheProgramsTexts) {
    struct Guide {
        const char *file;
        WORD language;
        const char *open, *close;
        const char *denied, *notFound; // Windows' texts for errors 5 and 2
    } guides[] = {
        {"guide.en.md", ENGLISH, "\"", "\"", "Access is denied.",
         "The system cannot find the file specified."},
        {"guide.fr.md", FRENCH, "\u00ab ", " \u00bb", "Acc\u00e8s refus\u00e9.",
         "Le fichier sp\u00e9cifi\u00e9 est introuvable."},
    };
    static const std::regex tagged("[A-Za-z0-9_/]+: ?(.+)");
    for (const Guide &guide : guides) {
        SCOPED_TRACE(guide.file);
        ResetProgram();
        LoadTexts(guide.language);
        std::vector<std::regex> lines;
        for (const char *text : {guide.denied, guide.notFound})
            lines.push_back(Pattern(text));
        for (int id = 1; id <= 28; id++) {
            std::stringstream text(Utf8(StringTable[id]));
            for (std::string line; std::getline(text, line);)
                if (!line.empty())
                    lines.push_back(Pattern(line));
        }
        auto isText = [&](const std::string &text) {
            return std::any_of(lines.begin(), lines.end(), [&](const std::regex &line) {
                return std::regex_match(text, line);
            });
        };
        std::vector<std::string> quoted =
            QuotedTexts(std::string(CARDINST_DOCS_DIR) + "/" + guide.file, guide.open, guide.close);
        EXPECT_LT(30u, quoted.size());
        for (const std::string &text : quoted) {
            std::smatch after;
            EXPECT_TRUE(isText(text) || (std::regex_match(text, after, tagged) && isText(after[1])))
                << text;
        }
    }
}
