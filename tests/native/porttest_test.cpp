// The loopback test of a card's ports.
#include "fixture.h"

#include "invariants.h"
#include "porttest/porttest.h"

#include <string.h>

class PortTestTest : public ProgramTest {
  protected:
    void LoadCard(const std::vector<std::string> &coms) {
        std::vector<SeedPortKey> ports;
        for (size_t i = 0; i < coms.size(); i++)
            ports.push_back({"Serial1000" + std::to_string(i), coms[i], 5, 0x280 + 8 * (DWORD)i,
                             "4SX510", "Serial10000"});
        SeedPorts(ports);
        LoadTexts();
        ASSERT_EQ(1, listCards());
    }
    std::string Results() {
        EXPECT_EQ(1u, sim::Boxes().size());
        return sim::Boxes().empty() ? "" : sim::Boxes()[0].text;
    }
    void TearDown() override {
        EXPECT_EQ(0, sim::OpenFileHandleCount());
        ProgramTest::TearDown();
    }
};

TEST_F(PortTestTest, ClassifiesEveryPortOfTheCard) {
    sim::Port loopback, silent, shortEcho, stuck, busy, badState, otherState;
    loopback.loopback = true;
    shortEcho.loopback = true;
    shortEcho.echoBytes = 20;
    stuck.writableBytes = 12;
    busy.busy = true;
    badState.commStateError = ERROR_INVALID_PARAMETER;
    otherState.commStateError = 6;
    sim::AddPort("COM3", loopback);
    sim::AddPort("COM4", silent);
    sim::AddPort("COM5", shortEcho);
    sim::AddPort("COM6", stuck);
    sim::AddPort("COM7", busy);
    sim::AddPort("COM8", badState);
    sim::AddPort("COM9", otherState);
    LoadCard({"COM3", "COM4", "COM5", "COM6", "COM7", "COM8", "COM9", "COM10"});
    EXPECT_EQ(1, TestCard(&PortList));
    EXPECT_EQ("COM3: OK (send and receive)\n"
              "COM4: OK (send) (no loopback connector found)\n"
              "COM5: Error: Cannot send data. Check the IRQ.\n"
              "COM6: Error: Cannot send data. Check the IRQ.\n"
              "COM7: Access is denied.\n"
              "COM8: Error: COMM API failure\n"
              "COM9: The handle is invalid.\n"
              "COM10: Error: port not installed\n",
              Results());
    EXPECT_EQ("[Tests results|none|ownerless] COM3", Describe(sim::Boxes()[0]).substr(0, 35));
    EXPECT_EQ(std::string("The quick brown fox jumps over lazy dog\r\n"),
              sim::GetPort("COM3").written);
    // COM3, COM4 and COM5 are read; COM6, which could not send, is not.
    EXPECT_EQ(3, sim::CallCount("ReadFile"));
}

// During the exchange a port holds exactly the test's setting, whatever
// it held before (COM4: the driver's own; COM3: set up otherwise), and
// afterwards its own again.
TEST_F(PortTestTest, SendsWithTheTestsSettingAndPutsEveryPortBack) {
    sim::Port loopback;
    loopback.loopback = true;
    sim::AddPort("COM3", loopback);
    sim::AddPort("COM4", sim::Port());
    HANDLE h = CreateFileA("\\\\.\\COM3", GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, NULL);
    DCB dcb = sim::GetPort("COM3").dcb;
    dcb.BaudRate = 19200;
    dcb.Parity = 1;   // odd
    dcb.StopBits = 2; // two stop bits
    dcb.fOutxDsrFlow = dcb.fDsrSensitivity = dcb.fErrorChar = dcb.fNull = dcb.fAbortOnError = 1;
    dcb.fTXContinueOnXoff = 1;
    dcb.XonLim = 2048;
    dcb.ErrorChar = '?';
    COMMTIMEOUTS timeouts = {20, 10, 1000, 5, 2000};
    ASSERT_TRUE(SetCommState(h, &dcb) && SetCommTimeouts(h, &timeouts) && CloseHandle(h));
    const sim::PortState before[] = {sim::GetPort("COM3"), sim::GetPort("COM4")};
    LoadCard({"COM3", "COM4"});
    TestCard(&PortList);
    for (int i = 0; i < 2; i++) {
        SCOPED_TRACE(i);
        sim::PortState after = sim::GetPort(i ? "COM4" : "COM3");
        ASSERT_EQ(2u, after.exchanges.size()); // the write and the read
        for (const sim::CommSetting &during : after.exchanges) {
            EXPECT_TRUE(SameSetting(TestSetting(before[i]), during));
            EXPECT_EQ(9600u, during.dcb.BaudRate);
            EXPECT_EQ(300u, during.timeouts.ReadTotalTimeoutConstant);
            EXPECT_EQ(0u, during.timeouts.ReadTotalTimeoutMultiplier);
            EXPECT_EQ(i ? 50u : 20u, during.timeouts.ReadIntervalTimeout);
        }
        EXPECT_TRUE(SameSetting({before[i].dcb, before[i].timeouts}, {after.dcb, after.timeouts}));
        EXPECT_FALSE(after.open);
        EXPECT_EQ(i ? 1 : 2, after.opens);
    }
}

TEST_F(PortTestTest, OnlyThePortsOfTheCardAreOpened) {
    sim::AddPort("COM3", sim::Port());
    sim::AddPort("COM5", sim::Port());
    SeedCard(10000, "2SX510", 3, 4, {0x3F8, 0x2F8});
    SeedCard(10002, "2SX510", 5, 5, {0x3E8, 0x2E8});
    LoadTexts();
    ASSERT_EQ(1, listCards());
    TestCard(Ports()[2]);
    EXPECT_EQ(0, sim::GetPort("COM3").opens);
    EXPECT_EQ(1, sim::GetPort("COM5").opens);
    EXPECT_EQ("COM5: OK (send) (no loopback connector found)\n"
              "COM6: Error: port not installed\n",
              Results());
}

TEST_F(PortTestTest, AFailedAllocationHaltsTheTest) {
    LoadCard({"COM3", "COM4", "COM5"});
    sim::FailCall("malloc", 3, 0);
    EXPECT_EQ(0, TestCard(&PortList));
    ASSERT_EQ(1u, sim::Boxes().size());
    EXPECT_EQ("[Internal error|warning|ownerless] Internal error, test halted. Details: "
              "TestCard/NewPort: \"Not enough memory resources are available to process this "
              "command.\"",
              Describe(sim::Boxes()[0]));
}

TEST_F(PortTestTest, ResultsLongerThanTheirAreaAreCut) {
    std::string longName = "COM" + std::string(3000, '7');
    LoadCard({longName, longName});
    TestCard(&PortList);
    EXPECT_EQ((size_t)RESULTS_AREA - 1, Results().size());
}
