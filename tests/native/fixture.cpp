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

void ProgramTest::Fresh() {
    sim::Reset();
    ResetProgram();
    LoadTexts();
    sim::RegSeedKey(PORTS_ROOT);
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

void ProgramTest::SeedPorts(const std::vector<SeedPortKey> &ports) {
    sim::RegSeedKey(PORTS_ROOT);
    for (const SeedPortKey &p : ports)
        SeedPort(p.name, p.dosDevices, p.interrupt, p.portAddress, p.model, p.leader);
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

std::vector<std::string> Described() {
    std::vector<std::string> boxes;
    for (const sim::Box &box : sim::Boxes())
        boxes.push_back(Describe(box));
    return boxes;
}

std::string Report(const std::string &text) {
    return "[Internal error|warning|ownerless] " + text;
}
