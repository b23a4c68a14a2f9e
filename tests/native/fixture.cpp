// Shared set-up of the native tests.
#include "fixture.h"

#include <stdlib.h>
#include <string.h>

void ProgramTest::SetUp() {
    sim::Reset();
    ResetProgram();
}

void ProgramTest::TearDown() {
    EXPECT_EQ(std::vector<std::string>(), sim::Failures());
    ResetProgram();
    sim::Reset();
}

void ProgramTest::LoadTexts(WORD language) {
    sim::SetLanguage(language);
    AppInstance = (HINSTANCE)1;
    ASSERT_EQ(1, LoadStringTable());
}

int ProgramTest::Start(WORD language) {
    sim::SetLanguage(language);
    return InitApplication((HINSTANCE)1);
}

std::string ProgramTest::PortKey(const std::string &name) {
    return std::string(PORTS_ROOT) + "\\" + name;
}

void ProgramTest::SeedPorts(const std::vector<SeedPortKey> &ports) {
    sim::RegSeedKey(PORTS_ROOT);
    for (const SeedPortKey &port : ports) {
        std::string key = PortKey(port.name);
        sim::RegSeedKey(key);
        sim::RegSeedSz(key, "DosDevices", port.dosDevices);
        sim::RegSeedDword(key, "Interrupt", port.interrupt);
        sim::RegSeedDword(key, "PortAddress", port.portAddress);
        if (!port.model.empty())
            sim::RegSeedSz(key, "Model", port.model);
        if (!port.leader.empty())
            sim::RegSeedSz(key, "Leader", port.leader);
    }
}

void ProgramTest::SeedCard(int firstKey, const std::string &model, int firstCom, DWORD irq,
                           const std::vector<DWORD> &addresses) {
    std::vector<SeedPortKey> ports;
    std::string leader = "Serial" + std::to_string(firstKey);
    for (size_t i = 0; i < addresses.size(); i++)
        ports.push_back({"Serial" + std::to_string(firstKey + (int)i),
                         "COM" + std::to_string(firstCom + (int)i), irq, addresses[i], model,
                         leader});
    SeedPorts(ports);
}

std::vector<PortEntry *> ProgramTest::Ports() {
    std::vector<PortEntry *> ports;
    for (PortEntry *e = &PortList; e->next; e = e->next)
        ports.push_back(e);
    return ports;
}

std::vector<std::string> ProgramTest::KeyNames() {
    std::vector<std::string> names;
    for (PortEntry *e : Ports())
        names.push_back(e->keyName);
    return names;
}

std::vector<std::string> ProgramTest::CardLines() const {
    return sim::Items(MainWindow, IDC_CARDLIST);
}

int ProgramTest::LineOf(const std::string &line) const {
    std::vector<std::string> lines = CardLines();
    for (size_t i = 0; i < lines.size(); i++)
        if (lines[i] == line)
            return (int)i;
    return -1;
}

std::vector<std::string> ProgramTest::BoxTexts() {
    std::vector<std::string> texts;
    for (const sim::Box &box : sim::Boxes())
        texts.push_back(box.text);
    return texts;
}

std::string Describe(const sim::Box &box) {
    const char *icon = "none";
    switch (box.type & 0xF0) {
    case MB_ICONERROR:
        icon = "error";
        break;
    case MB_ICONWARNING:
        icon = "warning";
        break;
    case MB_ICONINFORMATION:
        icon = "information";
        break;
    default:
        break;
    }
    return "[" + box.caption + "|" + icon + "|" + (box.owner ? "owned" : "ownerless") + "] " +
           box.text;
}

std::vector<std::string> Described() {
    std::vector<std::string> boxes;
    for (const sim::Box &box : sim::Boxes())
        boxes.push_back(Describe(box));
    return boxes;
}

const CardModel *Row(const char *name) {
    for (const CardModel *row = CardCatalogue; row->name; row++)
        if (strcmp(row->name, name) == 0)
            return row;
    return nullptr;
}
