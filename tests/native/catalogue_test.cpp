// The card catalogue: the ten models, their interrupt lists and their
// address choices or ranges.
#include "fixture.h"

#include <algorithm>
#include <stdio.h>

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

// The addresses a strap or switch label names: "ST1:1-2, 3F8/2F8H" gives
// 0x3F8 and 0x2F8.
std::vector<int> LabelAddresses(const std::string &label) {
    std::vector<int> addresses;
    size_t at = label.find(", ");
    if (at == std::string::npos || label.back() != 'H')
        return addresses;
    std::string list = label.substr(at + 2, label.size() - at - 3);
    size_t start = list.find_first_not_of(' ');
    while (start != std::string::npos && start < list.size()) {
        size_t end = list.find('/', start);
        unsigned value = 0;
        if (sscanf(list.substr(start, end - start).c_str(), "%x", &value) != 1)
            return {};
        addresses.push_back((int)value);
        start = end == std::string::npos ? end : end + 1;
    }
    return addresses;
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
            EXPECT_EQ(wanted, LabelAddresses(choices[c].label));
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
