// The search in virtual time against simulated arms: port rotation, the 13 tries a port, the
// wait limits, the state it leaves, and stop requests.
#include <cstring>
#include <string>
#include <vector>

#include "serial/search_worker.h"
#include "support/core_fixture.h"

namespace {

class SearchTest : public CoreTest {
  protected:
    void SetUp() override {
        CoreTest::SetUp();
        CreateEvents();
        OpenDialog();
    }

    uint32_t RunSearch() {
        nStart = clock.TickCount();
        StartSearchWorker();
        return clock.TickCount() - nStart;
    }

    bool Found() const { return g_App.ConnectedEvent->IsSet(); }

    void ExpectRunEnded() {
        EXPECT_TRUE(g_App.SearchDoneEvent->IsSet());
        EXPECT_TRUE(g_App.WorkerExitedEvent->IsSet());
        EXPECT_EQ(g_App.hSearchThread.load(), nullptr);
        EXPECT_EQ(threads.nClosed, threads.nCreated) << "the worker releases its own handle";
    }

    uint32_t nStart = 0;
};

// The 13 tries of one port given up after mismatches, from the settings it was opened with.
std::vector<std::string> ThirteenTries(uint32_t nFirstBaud, char cFraming) {
    const char* szOpening = cFraming == 'n' ? "8n1" : "7e1";
    const char* szToggled = cFraming == 'n' ? "7e1" : "8n1";
    std::vector<std::string> tries;
    tries.push_back(std::to_string(nFirstBaud) + " " + szOpening + " _I");
    for (uint32_t nBaud : kBaudTable) {
        tries.push_back(std::to_string(nBaud) + " " + szOpening + " _I");
    }
    for (uint32_t nBaud : kBaudTable) {
        tries.push_back(std::to_string(nBaud) + " " + szToggled + " _I");
    }
    return tries;
}

TEST_F(SearchTest, ArmOnCom3BehindTwoMissingPortsIsFoundAtTheFirstEcho) {
    RemoveDevice(1);
    RemoveDevice(2);
    PlaceArm(3, ArmAt(9600, 8, 'n'));
    g_App.Line = {1, 9600, 'n', 8, 1};

    RunSearch();

    EXPECT_TRUE(Found());
    ExpectRunEnded();
    EXPECT_EQ(g_App.Line.nPort, 3u);
    ASSERT_NE(g_App.hPort, nullptr);
    EXPECT_TRUE(bus.lines[3].bOpen);
    EXPECT_EQ(TriesOf(bus.lines[3]), std::vector<std::string>({"9600 8n1 _I"}));
    EXPECT_EQ(
        dialog.TextsOf(kIdStatusText),
        std::vector<std::string>({"COM1: 9600 n 8 1", "COM2: 9600 n 8 1", "COM3: 9600 n 8 1"}));
    EXPECT_EQ(bus.lines[3].nPurges, 2) << "both queues purged at the open and after the echo";
    EXPECT_EQ(threads.nAboveNormal, 1);
}

TEST_F(SearchTest, NoDeviceAnywhereTriesEachPortOnceAndEndsWhereItStarted) {
    for (unsigned n = 1; n <= 4; ++n) {
        RemoveDevice(n);
    }
    g_App.Line = {2, 9600, 'n', 8, 1};

    RunSearch();

    EXPECT_FALSE(Found());
    ExpectRunEnded();
    EXPECT_EQ(g_App.hPort, nullptr);
    EXPECT_EQ(bus.openOrder, std::vector<unsigned>({2, 3, 4, 1}));
    EXPECT_EQ(g_App.Line.nPort, 2u) << "the last step comes back to the first port";
}

TEST_F(SearchTest, SilentDeviceOnEveryPortGetsThirteenTriesAPortInOrder) {
    g_App.Line = {1, 9600, 'n', 8, 1};

    RunSearch();

    EXPECT_FALSE(Found());
    ExpectRunEnded();
    EXPECT_EQ(bus.openOrder, std::vector<unsigned>({1, 2, 3, 4}));
    EXPECT_EQ(TriesOf(bus.lines[1]), ThirteenTries(9600, 'n'));
    // The line is programmed at the open, then twice for each new setting: the settings, and
    // the essentials once more.
    const std::vector<SimLineSetting>& programmed = bus.lines[1].settings;
    ASSERT_EQ(programmed.size(), 1u + 13u * 2u);
    for (size_t i = 1; i + 1 < programmed.size(); i += 2) {
        EXPECT_EQ(programmed[i].nBaud, programmed[i + 1].nBaud) << i;
        EXPECT_EQ(programmed[i].cParity, programmed[i + 1].cParity) << i;
        EXPECT_EQ(programmed[i].nDataBits, programmed[i + 1].nDataBits) << i;
    }
    // The mismatch after the 13th try toggles the framing back and sets 4800 before the port
    // is given up, so every later port starts at 4800 with the opening framing.
    for (unsigned n = 2; n <= 4; ++n) {
        EXPECT_EQ(TriesOf(bus.lines[n]), ThirteenTries(4800, 'n')) << "COM" << n;
        EXPECT_FALSE(bus.lines[n].bOpen);
    }
    EXPECT_EQ(g_App.Line.nBaud, 4800);
    EXPECT_EQ(g_App.Line.nDataBits, 8);
    EXPECT_EQ(g_App.Line.cParity, 'n');
    EXPECT_EQ(g_App.Line.nPort, 1u);
    EXPECT_EQ(g_App.hPort, nullptr);
}

TEST_F(SearchTest, SilentTriesWaitTheFirstLimitOfTheirRate) {
    // One silent port, the others missing: 13 waits, each ended just past its first limit.
    for (unsigned n = 2; n <= 4; ++n) {
        RemoveDevice(n);
    }
    g_App.Line = {1, 9600, 'n', 8, 1};
    uint32_t nTook = RunSearch();
    uint32_t nFloor = 208;
    const uint32_t kFirstLimits[6] = {416, 208, 104, 52, 34, 17};
    for (int nFraming = 0; nFraming < 2; ++nFraming) {
        for (uint32_t nLimit : kFirstLimits) {
            nFloor += nLimit;
        }
    }
    EXPECT_GT(nTook, nFloor);
    EXPECT_LT(nTook, nFloor + 13 * 3 + 10);
    // A silent wait sleeps in steps of 10 ms (to see a stop request), never polling every
    // millisecond: about one poll per 10 ms of waiting, and one more per try.
    EXPECT_LE(bus.lines[1].nPolls, nFloor / 10 + 13 * 2);
}

TEST_F(SearchTest, ArmAt19200SevenEvenIsFoundOnTheTenthTry) {
    for (unsigned n = 2; n <= 4; ++n) {
        RemoveDevice(n);
    }
    PlaceArm(1, ArmAt(19200, 7, 'e'));
    g_App.Line = {1, 9600, 'n', 8, 1};

    RunSearch();

    EXPECT_TRUE(Found());
    std::vector<std::string> tries = ThirteenTries(9600, 'n');
    tries.resize(10);
    EXPECT_EQ(TriesOf(bus.lines[1]), tries);
    EXPECT_EQ(g_App.Line.nBaud, 19200);
    EXPECT_EQ(g_App.Line.nDataBits, 7);
    EXPECT_EQ(g_App.Line.cParity, 'e');
    EXPECT_EQ(dialog.TextsOf(kIdStatusText).back(), "COM1: 19200 e 7 1");
}

TEST_F(SearchTest, FastRepliesLookAtTheEchoWhenItCouldBeWhole) {
    PlaceArm(1, ArmAt(9600, 8, 'n'));
    g_App.bFastReplies = 1;
    RunSearch();
    EXPECT_TRUE(Found());
    EXPECT_LE(bus.lines[1].nPolls, 4) << "one look at an echo that comes whole at its time";
}

TEST_F(SearchTest, StoredTwoStopBitsAreTriedOnceThenOneFindsTheArm) {
    for (unsigned n = 2; n <= 4; ++n) {
        RemoveDevice(n);
    }
    PlaceArm(1, ArmAt(9600, 8, 'n'));
    g_App.Line = {1, 9600, 'n', 8, 2};
    RunSearch();
    EXPECT_TRUE(Found());
    EXPECT_EQ(
        dialog.TextsOf(kIdStatusText),
        std::vector<std::string>({"COM1: 9600 n 8 2", "COM1: 4800 n 8 1", "COM1: 9600 n 8 1"}));
}

TEST_F(SearchTest, LineErrorDuringAWaitGivesThePortUp) {
    for (unsigned n = 3; n <= 4; ++n) {
        RemoveDevice(n);
    }
    ArmScenario noisy = ArmAt(19200, 8, 'n');
    noisy.bGarbageOnMismatch = true;
    noisy.bFramingErrorOnMismatch = true;
    PlaceArm(1, noisy);
    PlaceArm(2, ArmAt(4800, 8, 'n'));
    g_App.Line = {1, 9600, 'n', 8, 1};

    RunSearch();

    EXPECT_EQ(TriesOf(bus.lines[1]), std::vector<std::string>({"9600 8n1 _I"}));
    EXPECT_FALSE(bus.lines[1].bOpen);
    // Line keeps the settings of that try: COM2 is opened at 9600 and found at 4800.
    EXPECT_TRUE(Found());
    EXPECT_EQ(TriesOf(bus.lines[2]), std::vector<std::string>({"9600 8n1 _I", "4800 8n1 _I"}));
    EXPECT_EQ(g_App.Line.nPort, 2u);
}

TEST_F(SearchTest, PortThatRejectsSettingsIsPassedOver) {
    bus.lines[1].bRejectLine = true;
    PlaceArm(2, ArmAt(9600, 8, 'n'));
    g_App.Line = {1, 9600, 'n', 8, 1};
    RunSearch();
    EXPECT_TRUE(Found());
    EXPECT_EQ(g_App.Line.nPort, 2u);
    EXPECT_TRUE(bus.lines[1].commands.empty());
}

TEST_F(SearchTest, StopRequestEndsTheRunWithinOneTry) {
    g_App.Line = {1, 9600, 'n', 8, 1};
    uint32_t nStopAt = clock.TickCount() + 1000;
    clock.At(nStopAt, [] { g_App.StopEvent->Set(); });

    RunSearch();

    EXPECT_FALSE(Found());
    ExpectRunEnded();
    EXPECT_EQ(g_App.hPort, nullptr);
    EXPECT_FALSE(bus.lines[1].bOpen);
    // Every pass of the wait polls the stop request, and a silent port's wait wakes every
    // 10 ms to do so; no try follows.
    EXPECT_LE(clock.TickCount(), nStopAt + 11) << "every wait polls the stop request";
    ASSERT_FALSE(bus.lines[1].commands.empty());
    EXPECT_LE(bus.lines[1].commands.back().nTick, nStopAt) << "no try after the stop request";
    EXPECT_LT(bus.lines[1].commands.size(), 13u);
    EXPECT_TRUE(bus.lines[2].commands.empty());
}

TEST_F(SearchTest, WithoutADialogTheSearchRunsTheSame) {
    g_App.hDialog.store(nullptr);
    RemoveDevice(1);
    PlaceArm(2, ArmAt(9600, 8, 'n'));
    g_App.Line = {1, 9600, 'n', 8, 1};
    RunSearch();
    EXPECT_TRUE(Found());
    EXPECT_TRUE(dialog.writes.empty());
}

TEST_F(SearchTest, OpenPortFromAnEarlierRunIsClosedFirst) {
    PlaceArm(1, ArmAt(9600, 8, 'n'));
    g_App.Line = {1, 9600, 'n', 8, 1};
    RunSearch();
    ASSERT_TRUE(bus.lines[1].bOpen);
    RunSearch();
    EXPECT_EQ(bus.lines[1].nCloses, 1);
    EXPECT_TRUE(Found());
}

// Stored settings the search cannot use start from the initial ones, field by field.
TEST_F(SearchTest, UnusableStoredSettingsAreMadeSafe) {
    struct Case {
        LineSettings stored;
        LineSettings safe;
    } cases[] = {
        {{0, 0, 'x', 0, 0}, {1, 9600, 'n', 8, 1}},
        {{7, 19200, 'e', 7, 1}, {1, 19200, 'e', 7, 1}},
        {{3, -5, 'n', 8, 2}, {3, 9600, 'n', 8, 2}},
        {{4, 12345, 'e', 9, 1}, {4, 9600, 'e', 8, 1}},
        {{2, 115200, 'n', 8, 1}, {2, 115200, 'n', 8, 1}},
    };
    for (const Case& c : cases) {
        LineSettings line = c.stored;
        bool bChanged = MakeLineSafe(&line);
        EXPECT_EQ(line.nPort, c.safe.nPort);
        EXPECT_EQ(line.nBaud, c.safe.nBaud);
        EXPECT_EQ(line.cParity, c.safe.cParity);
        EXPECT_EQ(line.nDataBits, c.safe.nDataBits);
        EXPECT_EQ(line.nStopBits, c.safe.nStopBits);
        EXPECT_EQ(bChanged, memcmp(&line, &c.stored, sizeof line) != 0);
    }
}

TEST_F(SearchTest, RateOfZeroAndPortOutOfRangeSearchFromTheInitialSettings) {
    RemoveDevice(2);
    RemoveDevice(3);
    RemoveDevice(4);
    PlaceArm(1, ArmAt(9600, 8, 'n'));
    g_App.Line = {9, 0, 'n', 8, 1};
    RunSearch();
    EXPECT_TRUE(Found());
    EXPECT_EQ(TriesOf(bus.lines[1]), std::vector<std::string>({"9600 8n1 _I"}));
}

TEST(SearchText, TryTextFormat) {
    char szText[64];
    FormatTryText(szText, sizeof szText, 2, 19200, 'n', 8, 1);
    EXPECT_STREQ(szText, "COM2: 19200 n 8 1");
    FormatTryText(szText, sizeof szText, 4, 115200, 'e', 7, 1);
    EXPECT_STREQ(szText, "COM4: 115200 e 7 1");
}

}  // namespace
