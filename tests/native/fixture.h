// Shared set-up of the native tests: a fresh stand-in machine and a fresh
// program state for every test, and helpers to seed and read port keys.
#ifndef CARDINST_TESTS_FIXTURE_H
#define CARDINST_TESTS_FIXTURE_H

#include "catalogue/catalogue.h"
#include "dialogs/dialogs.h"
#include "helpers.h"
#include "resource.h"
#include "shell/app.h"
#include "shell/report.h"
#include "simtest.h"
#include "store/portlist.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#define ENGLISH 0x409
#define FRENCH 0x40C

// A port key to seed; an empty model or leader is left out of the key.
struct SeedPortKey {
    std::string name;
    std::string dosDevices;
    DWORD interrupt;
    DWORD portAddress;
    std::string model;
    std::string leader;
};

class ProgramTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    // A fresh machine with the ports root, the program fresh with its texts.
    void Fresh();

    // Loads the string table in the given language.
    void LoadTexts(WORD language = ENGLISH);
    // Starts the program as WinMain does, up to the message loop.
    int Start(WORD language = ENGLISH);

    static void SeedPorts(const std::vector<SeedPortKey> &ports);
    static std::vector<std::string> KeyNames();
    std::vector<std::string> CardLines() const;
    // Index of the card line with this text, -1 when absent.
    int LineOf(const std::string &line) const;
    // Texts of the message boxes shown so far.
    static std::vector<std::string> BoxTexts();
};

// Every box shown so far, described.
std::vector<std::string> Described();
// A report box with this text, described.
std::string Report(const std::string &text);

#endif
