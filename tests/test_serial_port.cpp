// Port access in virtual time: opening and programming a port, sending, and the two phases of
// reading a reply.
#include <cstring>
#include <string>

#include "serial/serial_port.h"
#include "support/core_fixture.h"

namespace {

class SerialPortTest : public CoreTest {
  protected:
    void SetUp() override {
        CoreTest::SetUp();
        device.reset(new SimDevice(&line, &clock));
        memset(szBuffer, '#', sizeof szBuffer);
    }

    // Reads into a buffer prefilled with '#', so bytes beyond the count show any overrun.
    uint32_t Read(uint32_t nMaxBytes, uint32_t nTimeoutMs) {
        nStart = clock.TickCount();
        return ReadReply(device.get(), szBuffer, nMaxBytes, nTimeoutMs);
    }
    uint32_t Took() const { return clock.nNow - nStart; }
    std::string Got(uint32_t nCount) const { return std::string(szBuffer, nCount); }
    uint32_t At(uint32_t nMs) const { return clock.nNow + nMs; }

    SimLine line;
    std::unique_ptr<SimDevice> device;
    char szBuffer[128];
    uint32_t nStart = 0;
};

TEST_F(SerialPortTest, ZeroTimeoutWithEmptyQueueReturnsZeroAtOnce) {
    EXPECT_EQ(Read(64, 0), 0u);
    EXPECT_EQ(Took(), 0u);
}

TEST_F(SerialPortTest, WholeReplyAtOnceIsReturnedOnlyAfterTheDeadline) {
    device->QueueInput(At(5), "115200 n 8 1\r\n");
    EXPECT_EQ(Read(64, 2000), 14u);
    EXPECT_EQ(Got(14), "115200 n 8 1\r\n");
    EXPECT_GE(Took(), 2000u);
    EXPECT_LT(Took(), 2010u);
    EXPECT_EQ(szBuffer[14], '#') << "ReadReply writes no terminator and nothing past the count";
}

TEST_F(SerialPortTest, ReplyCompletedInPhaseTwoEndsAtItsLineFeed) {
    device->QueueInput(At(10), "0 a b c d e 4.");
    device->QueueInput(At(2300), "60 x\r\n");
    EXPECT_EQ(Read(64, 2000), 20u);
    EXPECT_EQ(Got(20), "0 a b c d e 4.60 x\r\n");
    EXPECT_GE(Took(), 2300u);
    EXPECT_LT(Took(), 2310u);
}

TEST_F(SerialPortTest, PhaseOneEndsAsSoonAsTheLimitIsQueued) {
    device->QueueInput(At(100), "0123456789ABCDEF");
    EXPECT_EQ(Read(10, 2000), 10u);
    EXPECT_EQ(Got(10), "0123456789");
    EXPECT_EQ(szBuffer[10], '#');
    // Phase 1 ends at the poll that sees the ten bytes; the full buffer ends phase 2.
    EXPECT_LT(Took(), 110u);
}

TEST_F(SerialPortTest, LineFeedInsideAPieceDoesNotEndTheReply) {
    device->QueueInput(At(1), "abc\nde");
    EXPECT_EQ(Read(64, 500), 6u);
    EXPECT_EQ(Got(6), "abc\nde");
    EXPECT_GE(Took(), 1000u) << "both phases run out";
}

TEST_F(SerialPortTest, FramingErrorAtTheEndOfPhaseOneFailsTheRead) {
    device->QueueInput(At(10), "9600 n 8 1\r\n");
    // Reported at the poll that ends phase 1; errors seen by the earlier polls are not examined.
    device->InjectError(At(1500), kCeOverrun);
    device->InjectError(At(2000), kCeFrame);
    EXPECT_EQ(Read(64, 2000), 0u);
}

TEST_F(SerialPortTest, ErrorsSeenWhilePhaseOneWaitsAreNotExamined) {
    device->QueueInput(At(10), "9600 n 8 1\r\n");
    device->InjectError(At(1500), kCeOverrun);
    EXPECT_EQ(Read(64, 2000), 12u);
}

TEST_F(SerialPortTest, VanishedDeviceEndsTheReadAtOnce) {
    device->QueueInput(At(10), "9600 n 8 1\r\n");
    clock.At(At(300), [this] { line.bFailPoll = true; });
    EXPECT_EQ(Read(64, 2000), 0u);
    EXPECT_LE(Took(), 301u) << "a poll that fails means the device is gone: no use waiting";
}

TEST_F(SerialPortTest, ErrorDuringPhaseTwoFailsTheReadWithBytesStored) {
    device->QueueInput(At(10), "partial");
    device->InjectError(At(2500), kCeOverrun);
    EXPECT_EQ(Read(64, 2000), 0u);
    EXPECT_EQ(Got(7), "partial");
}

TEST_F(SerialPortTest, NothingArrivingReturnsZeroAfterTheDeadline) {
    EXPECT_EQ(Read(64, 2000), 0u);
    EXPECT_GE(Took(), 2000u);
    EXPECT_LT(Took(), 2005u);
}

TEST_F(SerialPortTest, EndlessDribbleIsCutAfterTwoDeadlines) {
    for (uint32_t nMs = 5; nMs < 6000; nMs += 50) {
        device->QueueInput(At(nMs), "x");
    }
    uint32_t nCount = Read(120, 1000);
    EXPECT_GT(nCount, 30u);
    EXPECT_LE(Took(), 2050u);
    EXPECT_EQ(Got(nCount), std::string(nCount, 'x'));
}

TEST_F(SerialPortTest, FailedPollCountsAsALineError) {
    device->QueueInput(At(1), "9600 n 8 1\r\n");
    line.bFailPoll = true;
    EXPECT_EQ(Read(64, 100), 0u);
    uint32_t dwErrors = 0;
    uint32_t cbInQue = 99;
    PollPort(device.get(), &dwErrors, &cbInQue);
    EXPECT_NE(dwErrors, 0u);
    EXPECT_EQ(cbInQue, 0u);
}

TEST_F(SerialPortTest, NoPortReadsAndSendsNothing) {
    EXPECT_EQ(ReadReply(nullptr, szBuffer, 64, 2000), 0u);
    EXPECT_EQ(SendCommand(nullptr, "_I"), 0u);
    EXPECT_EQ(clock.TickCount(), 100000u);
}

TEST_F(SerialPortTest, SendCommandWritesTheBareText) {
    EXPECT_EQ(SendCommand(device.get(), "_I"), 2u);
    EXPECT_EQ(SendCommand(device.get(), "_G STATS"), 8u);
    ASSERT_EQ(line.commands.size(), 2u);
    EXPECT_EQ(line.commands[0].text, std::string("\x5F\x49"));
    EXPECT_EQ(line.commands[1].text, "_G STATS");
}

TEST_F(SerialPortTest, ApplyLineSettingsProgramsTheFieldsThatMatterAndKeepsTheRest) {
    CommState& before = device->state;
    before.fTXContinueOnXoff = 1;
    before.fErrorChar = 1;
    before.fNull = 1;
    before.fAbortOnError = 1;
    before.fDummy2 = 0x1ABCD;
    before.wReserved = 7;
    before.ErrorChar = 'E';
    before.EofChar = 'F';
    before.EvtChar = 'V';
    before.wReserved1 = 9;
    before.fOutxCtsFlow = 1;
    before.fOutX = 1;
    before.fInX = 1;
    before.StopBits = 2;
    g_App.Line = {2, 19200, 'o', 7, 2};

    ASSERT_TRUE(ApplyLineSettings(device.get()));
    ASSERT_EQ(line.states.size(), 1u);
    const CommState& s = line.states[0];
    EXPECT_EQ(s.DCBlength, 28u);
    EXPECT_EQ(s.BaudRate, 19200u);
    EXPECT_EQ(s.fBinary, 1);
    EXPECT_EQ(s.fParity, 1);
    EXPECT_EQ(s.fOutxCtsFlow, 0);
    EXPECT_EQ(s.fOutxDsrFlow, 0);
    EXPECT_EQ(s.fDtrControl, 1);
    EXPECT_EQ(s.fDsrSensitivity, 0);
    EXPECT_EQ(s.fOutX, 0);
    EXPECT_EQ(s.fInX, 0);
    EXPECT_EQ(s.fRtsControl, 1);
    EXPECT_EQ(s.XonLim, 100);
    EXPECT_EQ(s.XoffLim, 100);
    EXPECT_EQ(s.ByteSize, 7);
    EXPECT_EQ(s.Parity, kEvenParity) << "any letter but 'n' programs even parity";
    EXPECT_EQ(s.StopBits, kOneStopBit) << "stop bits are never programmed";
    EXPECT_EQ(s.XonChar, 0x11);
    EXPECT_EQ(s.XoffChar, 0x13);
    // Kept as read back.
    EXPECT_EQ(s.fTXContinueOnXoff, 1);
    EXPECT_EQ(s.fErrorChar, 1);
    EXPECT_EQ(s.fNull, 1);
    EXPECT_EQ(s.fAbortOnError, 1);
    EXPECT_EQ(s.fDummy2, 0x1ABCDu);
    EXPECT_EQ(s.wReserved, 7);
    EXPECT_EQ(s.ErrorChar, 'E');
    EXPECT_EQ(s.EofChar, 'F');
    EXPECT_EQ(s.EvtChar, 'V');
    EXPECT_EQ(s.wReserved1, 9);

    g_App.Line.cParity = 'n';
    ASSERT_TRUE(ApplyLineSettings(device.get()));
    EXPECT_EQ(line.states[1].Parity, kNoParity);
}

TEST_F(SerialPortTest, OpenArmPortSizesClearsAndProgramsThePort) {
    g_App.Line = {3, 38400, 'n', 8, 1};
    SerialDevice* port = OpenArmPort(3);
    ASSERT_NE(port, nullptr);
    const SimLine& opened = bus.lines[3];
    ASSERT_EQ(opened.timeouts.size(), 1u);
    EXPECT_EQ(opened.timeouts[0].ReadTotalTimeoutConstant, 0u);
    EXPECT_EQ(opened.timeouts[0].ReadIntervalTimeout, 0u);
    ASSERT_EQ(opened.purges.size(), 1u);
    EXPECT_EQ(opened.purges[0], 0x0Fu);
    ASSERT_EQ(opened.states.size(), 1u);
    EXPECT_EQ(opened.states[0].BaudRate, 38400u);
    SetReadTimeout(port, 250);
    EXPECT_EQ(opened.timeouts.back().ReadTotalTimeoutConstant, 250u);
    CloseArmPort(port);
    EXPECT_FALSE(bus.lines[3].bOpen);
}

TEST_F(SerialPortTest, PortsThatCannotBeUsedDoNotOpen) {
    RemoveDevice(1);
    bus.lines[2].bBusy = true;
    bus.lines[3].bRejectState = true;
    EXPECT_EQ(OpenArmPort(1), nullptr);
    EXPECT_EQ(OpenArmPort(2), nullptr) << "held by another program";
    EXPECT_EQ(OpenArmPort(3), nullptr) << "rejects the line settings";
    EXPECT_FALSE(bus.lines[3].bOpen) << "a port that rejects the settings is closed again";
    SerialDevice* port = OpenArmPort(4);
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(OpenArmPort(4), nullptr) << "the open is exclusive";
    CloseArmPort(port);
}

}  // namespace
