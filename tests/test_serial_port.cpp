// Port access in virtual time: opening and programming a port, sending, and the two phases of
// reading a reply.
#include <cstring>
#include <string>
#include <vector>

#include "serial/exchange.h"
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
    device->InjectError(At(1500));
    device->InjectError(At(2000));
    EXPECT_EQ(Read(64, 2000), 0u);
}

TEST_F(SerialPortTest, ErrorsSeenWhilePhaseOneWaitsAreNotExamined) {
    device->QueueInput(At(10), "9600 n 8 1\r\n");
    device->InjectError(At(1500));
    EXPECT_EQ(Read(64, 2000), 12u);
}

TEST_F(SerialPortTest, VanishedDeviceEndsTheReadAtOnce) {
    device->QueueInput(At(10), "9600 n 8 1\r\n");
    device->Vanish(At(300));
    EXPECT_EQ(Read(64, 2000), 0u);
    EXPECT_LE(Took(), 301u) << "a poll that fails means the device is gone: no use waiting";
}

TEST_F(SerialPortTest, ErrorDuringPhaseTwoFailsTheReadWithBytesStored) {
    device->QueueInput(At(10), "partial");
    device->InjectError(At(2500));
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

// Between its polls a read sleeps until new input comes or its deadline passes: a poll for each
// arrival, never one a millisecond.
TEST_F(SerialPortTest, WaitsSleepUntilNewInputOrTheDeadline) {
    struct Case {
        const char* szInput;  // the first byte at 5 ms, each further one nGapMs later
        uint32_t nGapMs;
        uint32_t nExpected;
        int nMaxPolls;
    } cases[] = {
        {"", 0, 0, 2},                      // a poll at the start and one at the deadline
        {"9600 n 8 1\r\n", 0, 12, 5},       // all at once
        {"9600 n 8 1\r\n", 1, 12, 12 + 5},  // at the line's pace: one wake a byte
    };
    for (const Case& c : cases) {
        device.reset(new SimDevice(&line, &clock));
        line.nPolls = 0;
        std::string input(c.szInput);
        for (size_t i = 0; i < input.size(); ++i) {
            device->QueueInput(At(5 + c.nGapMs * static_cast<uint32_t>(i)), input.substr(i, 1));
        }
        EXPECT_EQ(Read(64, 2000), c.nExpected) << c.nGapMs;
        EXPECT_GE(Took(), 2000u);
        EXPECT_LE(line.nPolls, c.nMaxPolls) << '"' << c.szInput << "\" every " << c.nGapMs;
    }
}

TEST_F(SerialPortTest, FailedPollCountsAsALineError) {
    device->QueueInput(At(1), "9600 n 8 1\r\n");
    line.bFailPoll = true;
    EXPECT_EQ(Read(64, 100), 0u);
    bool bLineError = false;
    uint32_t cbInQue = 99;
    EXPECT_FALSE(PollPort(device.get(), &bLineError, &cbInQue));
    EXPECT_TRUE(bLineError);
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

// The line is programmed from Line as it stands: any letter but 'n' means even parity, and the
// stop bits are never programmed.
TEST_F(SerialPortTest, ApplyLineSettingsProgramsRateParityAndDataBitsFromLine) {
    struct Case {
        LineSettings line;
        SimLineSetting expected;
    } cases[] = {
        {{2, 19200, 'o', 7, 2}, {19200, 'e', 7}},
        {{2, 19200, 'e', 7, 1}, {19200, 'e', 7}},
        {{2, 115200, 'n', 8, 1}, {115200, 'n', 8}},
        {{2, 4800, 'x', 8, 2}, {4800, 'e', 8}},
    };
    for (const Case& c : cases) {
        g_App.Line = c.line;
        ASSERT_TRUE(ApplyLineSettings(device.get()));
        const SimLineSetting& s = line.settings.back();
        EXPECT_EQ(s.nBaud, c.expected.nBaud);
        EXPECT_EQ(s.cParity, c.expected.cParity) << c.line.cParity;
        EXPECT_EQ(s.nDataBits, c.expected.nDataBits);
    }
    EXPECT_EQ(line.settings.size(), 4u);
    line.bRejectLine = true;
    EXPECT_FALSE(ApplyLineSettings(device.get()));
    EXPECT_FALSE(ApplyLineSettings(nullptr));
}

TEST_F(SerialPortTest, OpenArmPortSizesClearsAndProgramsThePort) {
    g_App.Line = {3, 38400, 'n', 8, 1};
    SerialDevice* port = OpenArmPort(3);
    ASSERT_NE(port, nullptr);
    const SimLine& opened = bus.lines[3];
    EXPECT_EQ(opened.nPurges, 1);
    ASSERT_EQ(opened.settings.size(), 1u);
    EXPECT_EQ(opened.settings[0].nBaud, 38400u);
    EXPECT_EQ(opened.settings[0].cParity, 'n');
    EXPECT_EQ(opened.settings[0].nDataBits, 8);
    CloseArmPort(port);
    EXPECT_FALSE(bus.lines[3].bOpen);
}

TEST_F(SerialPortTest, PortsThatCannotBeUsedDoNotOpen) {
    RemoveDevice(1);
    bus.lines[2].bBusy = true;
    bus.lines[3].bRejectLine = true;
    EXPECT_EQ(OpenArmPort(1), nullptr);
    EXPECT_EQ(OpenArmPort(2), nullptr) << "held by another program";
    EXPECT_EQ(OpenArmPort(3), nullptr) << "rejects the line settings";
    EXPECT_FALSE(bus.lines[3].bOpen) << "a port that rejects the settings is closed again";
    SerialDevice* port = OpenArmPort(4);
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(OpenArmPort(4), nullptr) << "the open is exclusive";
    CloseArmPort(port);
}

// Every command's reply, with fast replies and without, each followed by a second command: a
// whole reply ends the fast read at once and its trailing bytes are purged; a reply that never
// becomes whole is read exactly as without; its tail is drained before the next command, and a
// whole one costs no drain.
// A device on which the reply to the next command comes in the pieces given (ms after the send).
struct PiecesDevice : SimDevice {
    PiecesDevice(SimLine* pLine, VirtualClock* pClock) : SimDevice(pLine, pClock), pClock(pClock) {}
    uint32_t WriteAndDrain(const char* pData, uint32_t nBytes) override {
        for (const auto& piece : pieces) {
            QueueInput(pClock->nNow + piece.first, piece.second);
        }
        pieces.clear();
        return SimDevice::WriteAndDrain(pData, nBytes);
    }
    VirtualClock* pClock;
    std::vector<std::pair<uint32_t, std::string>> pieces;
};

TEST_F(SerialPortTest, FastReadsEndWithTheWholeReplyAndNoTailReachesTheNextCommand) {
    const std::string kLine1 =
        "0 STATUS 0 0 0 FIRMWARE 4.60 BUILD 0 ARM01 SERIAL 0 YES 1 0.0 0.0\r\n";
    const std::string kId = kLine1 + "0.0 0.0 0.0 0.0 0.0 0.0 0.0 0.0 0.0 0.0 0.0 0.0 0 0.0\r\n" +
                            "0.0 0.0 0.0 0.0 0.0 0.0\r\n";
    struct Case {
        ArmCommandId nCommand;
        std::vector<std::pair<uint32_t, std::string>> pieces;  // ms after the send, bytes
        std::string trailing;                                  // 2 ms after the last piece
        int nWhole;  // 1: whole at the last piece; 2: only in phase 2; 0: never
    } cases[] = {
        {kCmdIdentity, {{20, kId}}, "", 1},
        {kCmdIdentity, {{20, kLine1}, {300, kId.substr(kLine1.size())}}, "", 1},
        {kCmdIdentity, {{20, kLine1}}, "", 0},  // a line feed, but not yet the end
        {kCmdIdentity, {{20, kId}}, "\r\nXY", 1},
        {kCmdErrorRecord, {{20, "104 2 0"}, {60, " 1A 0 0 0\r\n"}}, "", 1},
        {kCmdErrorRecord, {{20, "104 2 0\r\n"}}, "", 0},
        {kCmdErrorRecord, {{20, std::string(100, '7')}}, "", 0},  // cut at its limit
        {kCmdErrorRecord, {{20, "104 2 0 1A 0 0 0\r\n"}}, "0 0", 1},
        {kCmdStats, {{20, "0 1F40 3 0 1 2 0 0 FA 0\r\n"}}, "", 1},
        {kCmdStats, {{20, "0 1F40 3 0 1"}, {900, " 2 0 0 FA 0\r\n"}}, "", 1},
        {kCmdStats, {{20, "0 1F40 3 0 1"}, {1500, " 2 0 0 FA 0\r\n"}}, "", 2},
        {kCmdCloseReadOut, {{20, "O"}, {40, "K\r\n"}}, "OK", 1},
        {kCmdCloseReadOut, {{20, "OK"}}, "", 0},
    };
    // At 115200 every piece of the table can come in the time it is given.
    g_App.Line.nBaud = 115200;
    for (const Case& c : cases) {
        std::string whole;
        for (const auto& piece : c.pieces) {
            whole += piece.second;
        }
        ArmCommandId nNext = c.nCommand == kCmdCloseReadOut ? kCmdErrorRecord : kCmdCloseReadOut;
        ArmExchange runs[2], next[2];
        uint32_t nTook[2];
        for (int bFast = 0; bFast < 2; ++bFast) {
            SCOPED_TRACE(whole + (bFast ? " fast" : " described"));
            ArmScenario scenario;
            scenario.unanswered = {kArmCommands[c.nCommand].szText};
            ArmModel arm(scenario);
            line.pArm = &arm;
            PiecesDevice* pDevice = new PiecesDevice(&line, &clock);
            pDevice->pieces = c.pieces;
            pDevice->pieces.push_back({c.pieces.back().first + 2, c.trailing});
            g_App.hPort.store(pDevice);
            g_App.bFastReplies = bFast;
            uint32_t nSend = clock.TickCount();
            Exchange(kReaderLog, c.nCommand, kNoPurge, &runs[bFast]);
            nTook[bFast] = clock.TickCount() - nSend;
            Exchange(kReaderLog, nNext, kNoPurge, &next[bFast]);
            EXPECT_STREQ(next[bFast].szReply,
                         nNext == kCmdErrorRecord ? "0 0 0 0 0 0 0\r\n" : "OK\r\n");
            delete g_App.hPort.exchange(nullptr);
            line.pArm = nullptr;
        }
        uint32_t nDeadline = kArmCommands[c.nCommand].nDeadlineMs;
        if (c.nWhole == 1) {
            EXPECT_EQ(runs[1].szReply, whole);
            EXPECT_LE(nTook[1], c.pieces.back().first + 1);
            if (c.trailing.empty()) {
                EXPECT_EQ(runs[0].szReply, whole);
                EXPECT_LE(nTook[0], nDeadline + 1) << "read to its deadline, and no drain";
            }
        } else {
            EXPECT_EQ(runs[1].nRead, runs[0].nRead);
            EXPECT_STREQ(runs[1].szReply, runs[0].szReply);
            EXPECT_EQ(nTook[1], nTook[0]);
            uint32_t nEnd = c.pieces.back().first + (c.nWhole == 2 ? 0 : 100);
            EXPECT_GE(nTook[1], nEnd) << "a reply whole in phase 2 ends there, a tail drains";
            EXPECT_LE(nTook[1], c.nWhole == 2 ? nEnd + 1 : 2 * nDeadline + 200);
        }
    }
}

// A reply that comes at the line's pace is looked at when it could be whole, not every few
// bytes, and the read still ends within a few byte times of its line feed.
TEST_F(SerialPortTest, FastReadsLookAtAPacedReplyWhenItCouldBeWhole) {
    const std::pair<ArmCommandId, uint32_t> cases[] = {
        {kCmdIdentity, 10}, {kCmdErrorRecord, 3}, {kCmdStats, 3}};  // command, most polls
    for (const auto& c : cases) {
        SCOPED_TRACE(kArmCommands[c.first].szText);
        ArmModel arm(ArmAt(9600, 8, 'n'));
        line.pArm = &arm;
        g_App.hPort.store(new SimDevice(&line, &clock));
        g_App.bFastReplies = 1;
        ArmExchange exchange;
        int nPolls = line.nPolls;
        Exchange(kReaderLog, c.first, kNoPurge, &exchange);
        uint32_t nEnd = clock.TickCount();
        EXPECT_TRUE(IsReplyComplete(c.first, exchange.szReply, exchange.nRead));
        EXPECT_LE(static_cast<uint32_t>(line.nPolls - nPolls), c.second);
        EXPECT_LE(nEnd, static_cast<SimDevice*>(g_App.hPort.load())->LastArrivalTick() + 4);
        delete g_App.hPort.exchange(nullptr);
        line.pArm = nullptr;
    }
}

}  // namespace
