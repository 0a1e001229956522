// Tests of the in-process simulated line: reply pacing, polls, purges, faults and the bus.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "support/virtual_platform.h"
#include "tools/armsim/sim_device.h"

namespace {

uint32_t Queued(SimDevice* pDevice, bool* pbLineError = nullptr) {
    bool bLineError = false;
    uint32_t cbInQue = 0;
    EXPECT_TRUE(pDevice->Poll(&bLineError, &cbInQue));
    if (pbLineError != nullptr) {
        *pbLineError = bLineError;
    }
    return cbInQue;
}

void Program(SimDevice* pDevice, uint32_t nBaud, uint8_t nDataBits, char cParity) {
    ASSERT_TRUE(pDevice->SetLine(nBaud, cParity, nDataBits));
}

void Send(SimDevice* pDevice, const std::string& text) {
    ASSERT_EQ(pDevice->WriteAndDrain(text.data(), static_cast<uint32_t>(text.size())), text.size());
}

std::string ReadAll(SimDevice* pDevice) {
    char buffer[512];
    uint32_t nRead = pDevice->Read(buffer, sizeof buffer);
    return std::string(buffer, nRead);
}

struct Rig {
    explicit Rig(const ArmScenario& scenario = ArmScenario()) : clock(100), arm(scenario) {
        line.pArm = &arm;
        pDevice.reset(new SimDevice(&line, &clock));
    }
    VirtualClock clock;
    ArmModel arm;
    SimLine line;
    std::unique_ptr<SimDevice> pDevice;
};

}  // namespace

TEST(SimDevice, ReplyArrivesAtTheLinePace) {
    // The echo, 2 ms after the write: one character is 2.0833 ms at 4800, 1.0417 ms at 9600
    // and 0.0868 ms at 115200, so at the high rate several bytes share one millisecond. The
    // echo is 12 bytes at 4800 and 9600, 14 at 115200.
    struct Case {
        uint32_t nBaud;
        uint32_t nAfterMs;
        uint32_t nArrived;
    };
    const Case cases[] = {
        {9600, 0, 0},   {9600, 3, 0},   {9600, 4, 1},   {9600, 5, 2},    {9600, 8, 5},
        {9600, 14, 11}, {9600, 15, 12}, {115200, 2, 0}, {115200, 3, 11}, {115200, 4, 14},
        {4800, 4, 0},   {4800, 5, 1},   {4800, 27, 12}, {4800, 26, 11},
    };
    for (const Case& c : cases) {
        ArmScenario s;
        s.nBaud = c.nBaud;
        s.nLatencyMs = 2;
        Rig rig(s);
        Program(rig.pDevice.get(), c.nBaud, 8, 'n');
        Send(rig.pDevice.get(), "_I");
        rig.clock.Advance(c.nAfterMs);
        EXPECT_EQ(Queued(rig.pDevice.get()), c.nArrived) << c.nBaud << " baud +" << c.nAfterMs;
    }
}

TEST(SimDevice, ByteGapSpacesTheReply) {
    ArmScenario s;
    s.nBaud = 115200;
    s.nLatencyMs = 0;
    s.nByteGapMs = 5;
    Rig rig(s);
    Program(rig.pDevice.get(), 115200, 8, 'n');
    Send(rig.pDevice.get(), "_P");  // "OK\r\n"
    const uint32_t expected[][2] = {{0, 0}, {1, 1}, {5, 1}, {6, 2}, {10, 2}, {11, 3}, {16, 4}};
    uint32_t nAt = 0;
    for (const auto& e : expected) {
        rig.clock.Advance(e[0] - nAt);
        nAt = e[0];
        EXPECT_EQ(Queued(rig.pDevice.get()), e[1]) << "+" << e[0];
    }
    EXPECT_EQ(ReadAll(rig.pDevice.get()), "OK\r\n");
}

TEST(SimDevice, ReadReturnsOnlyWhatHasArrived) {
    Rig rig;
    Send(rig.pDevice.get(), "_I");
    rig.clock.Advance(8);  // 5 of "9600 n 8 1\r\n"
    EXPECT_EQ(ReadAll(rig.pDevice.get()), "9600 ");
    EXPECT_EQ(rig.pDevice->Pending(), 7u);
    char buffer[4];
    EXPECT_EQ(rig.pDevice->Read(buffer, sizeof buffer), 0u);
    rig.clock.Advance(20);
    uint32_t nRead = rig.pDevice->Read(buffer, 3);
    EXPECT_EQ(std::string(buffer, nRead), "n 8");
    EXPECT_EQ(ReadAll(rig.pDevice.get()), " 1\r\n");
}

TEST(SimDevice, RepliesQueueBehindTheOneStillArriving) {
    Rig rig;
    Send(rig.pDevice.get(), "_P");  // 4 bytes, the last at 100 + 2 + 4.17 ms
    Send(rig.pDevice.get(), "_P");
    EXPECT_EQ(rig.pDevice->LastArrivalTick(), 111u);  // 2 + 8 characters = 10.33 ms
    rig.clock.Advance(7);
    EXPECT_EQ(Queued(rig.pDevice.get()), 4u);
    rig.clock.Advance(4);
    EXPECT_EQ(ReadAll(rig.pDevice.get()), "OK\r\nOK\r\n");
}

TEST(SimDevice, WaitForInputStopsAtTheNextArrival) {
    Rig rig;
    rig.pDevice->WaitForInput(7);  // nothing on its way: the whole wait
    EXPECT_EQ(rig.clock.nNow, 107u);
    rig.pDevice->WaitForInput(0);
    EXPECT_EQ(rig.clock.nNow, 107u);
    Send(rig.pDevice.get(), "_I");  // first byte at 107 + 3.04
    rig.pDevice->WaitForInput(100);
    EXPECT_EQ(rig.clock.nNow, 111u);
    EXPECT_EQ(Queued(rig.pDevice.get()), 1u);
    rig.pDevice->WaitForInput(100);
    EXPECT_EQ(rig.clock.nNow, 112u);
    EXPECT_EQ(Queued(rig.pDevice.get()), 2u);
    // Bytes that share a millisecond still cost at least 1 ms a wait.
    rig.clock.Advance(30);
    rig.pDevice->WaitForInput(5);
    EXPECT_EQ(rig.clock.nNow, 147u);
}

TEST(SimDevice, PurgeDropsQueuedInputAndBytesOnTheirWay) {
    Rig rig;
    Send(rig.pDevice.get(), "_I");
    rig.clock.Advance(6);
    EXPECT_EQ(Queued(rig.pDevice.get()), 3u);
    rig.pDevice->Purge();
    EXPECT_EQ(Queued(rig.pDevice.get()), 0u);
    rig.clock.Advance(50);
    EXPECT_EQ(Queued(rig.pDevice.get()), 0u);
    // The next reply is paced from its own write, not behind the dropped one.
    Send(rig.pDevice.get(), "_P");
    rig.pDevice->Purge();
    EXPECT_EQ(rig.line.nPurges, 2);
    Send(rig.pDevice.get(), "_P");
    EXPECT_EQ(rig.pDevice->LastArrivalTick(), rig.clock.nNow + 7);
}

TEST(SimDevice, NoiseRaisesAFramingErrorWithItsFirstByte) {
    ArmScenario s;
    s.bGarbageOnMismatch = true;
    s.bFramingErrorOnMismatch = true;
    Rig rig(s);
    Program(rig.pDevice.get(), 19200, 8, 'n');  // the arm is at 9600
    Send(rig.pDevice.get(), "_I");
    bool bLineError = true;
    rig.clock.Advance(2);  // first byte at 2.52 ms
    EXPECT_EQ(Queued(rig.pDevice.get(), &bLineError), 0u);
    EXPECT_FALSE(bLineError);
    rig.clock.Advance(1);
    EXPECT_EQ(Queued(rig.pDevice.get(), &bLineError), 1u);
    EXPECT_TRUE(bLineError);
    EXPECT_EQ(Queued(rig.pDevice.get(), &bLineError), 1u);
    EXPECT_FALSE(bLineError);  // the poll cleared it
    rig.clock.Advance(10);
    EXPECT_EQ(ReadAll(rig.pDevice.get()), ArmModelNoise());

    // Purged before it arrives, noise brings no error either.
    Send(rig.pDevice.get(), "_I");
    rig.pDevice->Purge();
    rig.clock.Advance(20);
    EXPECT_EQ(Queued(rig.pDevice.get(), &bLineError), 0u);
    EXPECT_FALSE(bLineError);
}

TEST(SimDevice, InjectedErrorsAndInputComeAtTheirTicks) {
    Rig rig;
    rig.pDevice->InjectError(105);
    rig.pDevice->InjectError(105);
    rig.pDevice->QueueInput(103, "abc");
    bool bLineError = true;
    rig.clock.Advance(2);
    EXPECT_EQ(Queued(rig.pDevice.get(), &bLineError), 0u);
    EXPECT_FALSE(bLineError);
    rig.pDevice->WaitForInput(50);
    EXPECT_EQ(rig.clock.nNow, 103u);
    EXPECT_EQ(Queued(rig.pDevice.get(), &bLineError), 3u);
    EXPECT_FALSE(bLineError);
    rig.pDevice->WaitForInput(50);  // wakes for the errors too
    EXPECT_EQ(rig.clock.nNow, 105u);
    EXPECT_EQ(Queued(rig.pDevice.get(), &bLineError), 3u);
    EXPECT_TRUE(bLineError);
    EXPECT_EQ(Queued(rig.pDevice.get(), &bLineError), 3u);
    EXPECT_FALSE(bLineError) << "two errors at one tick are one report";
    // An injected error survives a purge: it is the line's, not the bytes'.
    rig.pDevice->InjectError(110);
    rig.pDevice->Purge();
    rig.clock.Advance(5);
    EXPECT_EQ(Queued(rig.pDevice.get(), &bLineError), 0u);
    EXPECT_TRUE(bLineError);
}

TEST(SimDevice, WriteIsRecordedWithTheProgrammedLine) {
    ArmScenario s;
    s.nBaud = 19200;
    s.nDataBits = 7;
    s.cParity = 'e';
    Rig rig(s);
    Program(rig.pDevice.get(), 19200, 7, 'e');
    rig.clock.Advance(5);
    Send(rig.pDevice.get(), "_G STATS");
    ASSERT_EQ(rig.line.commands.size(), 1u);
    const SimCommand& c = rig.line.commands[0];
    EXPECT_EQ(c.text, "_G STATS");
    EXPECT_EQ(c.nBaud, 19200u);
    EXPECT_EQ(c.nDataBits, 7);
    EXPECT_EQ(c.cParity, 'e');
    EXPECT_EQ(c.nTick, 105u);
    ASSERT_EQ(rig.arm.seen.size(), 1u);
    EXPECT_EQ(rig.arm.seen[0].text, "_G STATS");
    EXPECT_EQ(rig.arm.seen[0].cParity, 'e');
    EXPECT_EQ(rig.arm.seen[0].nDataBits, 7);
    rig.clock.Advance(50);
    EXPECT_EQ(ReadAll(rig.pDevice.get()), "0 1F40 3 0 1 2 0 0 FA 0\r\n");
}

TEST(SimDevice, LineIsKeptRecordedOrRefused) {
    VirtualClock clock;
    SimLine line;
    SimDevice device(&line, &clock);
    // Before anyone programs it, a port runs 9600 8N1.
    EXPECT_EQ(device.programmed.nBaud, 9600u);
    EXPECT_EQ(device.programmed.cParity, 'n');
    EXPECT_EQ(device.programmed.nDataBits, 8);

    EXPECT_TRUE(device.SetLine(57600, 'o', 7));  // any letter but 'n': even parity
    ASSERT_EQ(line.settings.size(), 1u);
    EXPECT_EQ(line.settings[0].nBaud, 57600u);
    EXPECT_EQ(line.settings[0].cParity, 'e');
    EXPECT_EQ(line.settings[0].nDataBits, 7);

    EXPECT_FALSE(device.SetLine(0, 'n', 8));
    EXPECT_FALSE(device.SetLine(9600, 'n', 9));
    EXPECT_FALSE(device.SetLine(9600, 'n', 4));
    line.bRejectLine = true;
    EXPECT_FALSE(device.SetLine(4800, 'n', 8));
    EXPECT_EQ(device.programmed.nBaud, 57600u);
    EXPECT_EQ(line.settings.size(), 1u);
}

// A read that asks for more than has arrived takes what is there, at once.
TEST(SimDevice, ReadTakesWhatHasArrivedWithoutWaiting) {
    VirtualClock clock;
    SimLine line;
    SimDevice device(&line, &clock);
    device.QueueInput(0, "ab");
    device.QueueInput(30, "cde");
    char buffer[8];
    EXPECT_EQ(device.Read(buffer, 5), 2u);
    EXPECT_EQ(std::string(buffer, 2), "ab");
    EXPECT_EQ(clock.nNow, 0u);
}

TEST(SimDevice, FailingPollAndSilentLine) {
    VirtualClock clock;
    SimLine line;  // no arm: a device that never answers
    SimDevice device(&line, &clock);
    Send(&device, "_I");
    clock.Advance(100);
    EXPECT_EQ(Queued(&device), 0u);
    EXPECT_EQ(line.commands.size(), 1u);
    line.bFailPoll = true;
    bool bLineError = false;
    uint32_t cbInQue = 0;
    EXPECT_FALSE(device.Poll(&bLineError, &cbInQue));
}

TEST(SimDevice, HungUpArmLeavesADeadLine) {
    ArmScenario s;
    s.nHangupAfter = 1;
    Rig rig(s);
    Send(rig.pDevice.get(), "_I");
    rig.clock.Advance(20);
    // The last reply is still there to be read; then the line is dead.
    EXPECT_EQ(Queued(rig.pDevice.get()), 12u);
    EXPECT_EQ(ReadAll(rig.pDevice.get()), "9600 n 8 1\r\n");
    bool bLineError = false;
    uint32_t cbInQue = 0;
    EXPECT_FALSE(rig.pDevice->Poll(&bLineError, &cbInQue));
    char buffer[8];
    EXPECT_EQ(rig.pDevice->Read(buffer, sizeof buffer), 0u);
    Send(rig.pDevice.get(), "_G");  // a write still reports its count
    rig.clock.Advance(100);
    EXPECT_EQ(rig.pDevice->Pending(), 0u);
    EXPECT_EQ(rig.arm.seen.size(), 1u);
    EXPECT_EQ(rig.line.commands.size(), 2u);
}

TEST(SimDevice, DestructionClosesTheLine) {
    VirtualClock clock;
    SimLine line;
    {
        SimDevice device(&line, &clock);
        EXPECT_TRUE(line.bOpen);
        EXPECT_EQ(line.pDevice, &device);
    }
    EXPECT_FALSE(line.bOpen);
    EXPECT_EQ(line.pDevice, nullptr);
    EXPECT_EQ(line.nOpens, 1);
    EXPECT_EQ(line.nCloses, 1);
}

TEST(SimDeviceBus, OpensOnlyPresentFreePortsExclusively) {
    VirtualClock clock;
    SimBus bus(&clock);
    bus.lines[2].bPresent = false;
    bus.lines[3].bBusy = true;
    EXPECT_EQ(OpenOn(&bus, 0), nullptr);
    EXPECT_EQ(OpenOn(&bus, 5), nullptr);
    EXPECT_EQ(OpenOn(&bus, 2), nullptr);
    EXPECT_EQ(OpenOn(&bus, 3), nullptr);
    SerialDevice* pFirst = OpenOn(&bus, 1);
    ASSERT_NE(pFirst, nullptr);
    EXPECT_EQ(bus.pLastDevice, pFirst);
    EXPECT_EQ(OpenOn(&bus, 1), nullptr);  // already open: exclusive
    SerialDevice* pFourth = OpenOn(&bus, 4);
    ASSERT_NE(pFourth, nullptr);
    EXPECT_EQ(bus.pLastDevice, pFourth);
    delete pFirst;
    EXPECT_EQ(bus.pLastDevice, pFourth);
    delete pFourth;
    EXPECT_EQ(bus.pLastDevice, nullptr);
    SerialDevice* pAgain = OpenOn(&bus, 1);
    EXPECT_NE(pAgain, nullptr);
    delete pAgain;
    const std::vector<unsigned> order = {0, 5, 2, 3, 1, 1, 4, 1};
    EXPECT_EQ(bus.openOrder, order);
    EXPECT_EQ(bus.lines[1].nOpens, 2);
    EXPECT_EQ(bus.lines[1].nCloses, 2);
    EXPECT_EQ(bus.lines[2].nOpens, 0);
}
