// The statistics worker against a simulated arm in virtual time: what each poll shows, the
// faults that show nothing, the logging passes and their bytes, the order on the line, and the
// end on StopEvent or an old firmware.
#include <cerrno>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "serial/serial_port.h"
#include "shell/controller.h"
#include "support/core_fixture.h"
#include "workers/stats_worker.h"

namespace {

// The value controls as the dialog shows them after a poll: the eight current values, the
// eight changes, then the rate, MIN and MAX in brackets (their leading blanks count).
std::string Shown(std::map<int, std::string> text) {
    std::string line;
    for (int nId = IDC_CAPTURES; nId <= IDC_ADDRESS_ERRORS; ++nId) {
        line += text[nId] + " ";
    }
    line += "|";
    for (int nId = IDC_CHANGE_CAPTURES; nId <= IDC_CHANGE_ADDRESS_ERRORS; ++nId) {
        line += " " + text[nId];
    }
    return line + " | [" + text[IDC_POINTS_PER_SECOND] + "] [" + text[IDC_MIN_POINTS] + "] [" +
           text[IDC_MAX_POINTS] + "]";
}

void SetCounters(uint32_t* pdwCounters, std::vector<uint32_t> values) {
    for (size_t i = 0; i < 9; ++i) {
        pdwCounters[i] = values[i];
    }
}

class StatsWorkerTest : public CoreTest {
  protected:
    void SetUp() override {
        CoreTest::SetUp();
        CreateEvents();
        OpenDialog();
        clock.localTime = {126, 12, 7, 14, 2, 10};
        snprintf(g_App.szLogPath, sizeof g_App.szLogPath, "%s", TestFilePath(".zlg").c_str());
        remove(g_App.szLogPath);
    }
    void TearDown() override {
        remove(g_App.szLogPath);
        CoreTest::TearDown();
    }

    // Connects an arm on COM1 as the search would leave it.
    ArmModel* Connect(const ArmScenario& scenario) {
        ArmModel* pArm = PlaceArm(1, scenario);
        g_App.Line = {1, 9600, 'n', 8, 1};
        g_App.hPort = OpenArmPort(1);
        EXPECT_NE(g_App.hPort, nullptr);
        return pArm;
    }

    // Runs the worker until it has ended nPolls polls: StopEvent is set as the last one ends
    // (or at the tick nStopAt, when given). What the dialog shows is kept at the end of each
    // poll; onPoll(n) runs there too.
    void Run(int nPolls, uint32_t nStopAt = 0) {
        dialog.onWrite = [this, nPolls](const RecordingDialog::Write& write) {
            if (write.op != "poll") {
                return;
            }
            shown.push_back(dialog.text);
            if (onPoll) {
                onPoll(static_cast<int>(shown.size()));
            }
            if (static_cast<int>(shown.size()) == nPolls) {
                g_App.StopEvent->Set();
            }
        };
        nStartTick = clock.TickCount();
        if (nStopAt != 0) {
            clock.At(nStopAt, [] { g_App.StopEvent->Set(); });
        }
        // A worker that never reaches its polls still ends, and the test fails on its checks.
        clock.At(nStartTick + 3600000, [] { g_App.StopEvent->Set(); });
        ASSERT_TRUE(StartStatsWorker());
        nEndTick = clock.TickCount();
        EXPECT_TRUE(g_App.WorkerExitedEvent->IsSet());
        EXPECT_EQ(g_App.hWorkerThread.load(), nullptr);
        EXPECT_EQ(threads.nClosed, threads.nCreated) << "the worker closes its own handle";
    }

    std::vector<std::string> Commands() const {
        std::vector<std::string> texts;
        for (const SimCommand& command : bus.lines[1].commands) {
            texts.push_back(command.text);
        }
        return texts;
    }

    int CountOf(const std::string& text) const {
        int nCount = 0;
        for (const std::string& command : Commands()) {
            nCount += command == text ? 1 : 0;
        }
        return nCount;
    }

    std::string Log() const { return FileBytes(g_App.szLogPath); }

    std::vector<std::map<int, std::string>> shown;
    std::function<void(int)> onPoll;
    uint32_t nStartTick = 0;
    uint32_t nEndTick = 0;
};

TEST_F(StatsWorkerTest, OldFirmwareOrNoIdentityEndsWithTheVersionMessage) {
    struct Case {
        const char* szName;
        bool bAnswered;
        const char* szIdentity;  // the status line before the version message; "" for none
        RunOutcome outcome;      // an unanswered identity is not a firmware too old
    } cases[] = {
        {"firmware 4.50", true, "Arm: ARM01, v4.50, Calibrated: YES", kOutcomeVersionNotSupported},
        {"no identity", false, "", kOutcomeIncomplete},
    };
    for (const Case& c : cases) {
        ArmScenario scenario;
        scenario.version = "4.50";
        if (!c.bAnswered) {
            scenario.unanswered = {"_G"};
        }
        Connect(scenario);
        dialog = RecordingDialog();
        uint32_t nVersionShownAt = 0;
        dialog.onWrite = [&](const RecordingDialog::Write& write) {
            if (write.text == ">>VERSION NOT SUPPORTED<<") {
                nVersionShownAt = clock.TickCount();
            }
        };
        uint32_t nStart = clock.TickCount();
        clock.At(nStart + 60000, [] { g_App.StopEvent->Set(); });
        ASSERT_TRUE(StartStatsWorker());

        std::vector<std::string> statuses = dialog.TextsOf(kIdStatusText);
        if (c.szIdentity[0] != '\0') {
            ASSERT_EQ(statuses.size(), 2u) << c.szName;
            EXPECT_EQ(statuses[0], c.szIdentity) << c.szName;
        } else {
            EXPECT_EQ(statuses.size(), 1u) << c.szName;
        }
        EXPECT_EQ(statuses.back(), ">>VERSION NOT SUPPORTED<<") << c.szName;
        // The identity read runs to its 1000 ms deadline, then the 2000 ms wait.
        EXPECT_GE(nVersionShownAt - nStart, 3000u) << c.szName;
        EXPECT_LT(nVersionShownAt - nStart, 3100u) << c.szName;
        EXPECT_EQ(Commands(), std::vector<std::string>({"_G"})) << c.szName;
        EXPECT_EQ(dialog.text[kIdButton], "Close") << c.szName;
        EXPECT_EQ(dialog.outcome, c.outcome) << c.szName;
        EXPECT_TRUE(g_App.WorkerExitedEvent->IsSet()) << c.szName;
        delete g_App.hPort;
        g_App.hPort = nullptr;
        bus.lines[1].commands.clear();
    }
}

TEST_F(StatsWorkerTest, EachPollShowsValuesChangesAndRates) {
    ArmScenario scenario;
    scenario.countersAt = {
        // The first good sample: its rate becomes MIN and MAX; captures 0 keep the baseline
        // open, so the next sample becomes the baseline again.
        {1, {0, 0, 0, 0, 0, 0, 0, 250, 0}},
        // A period of 0 shows a rate of 0.00 and pulls MIN down.
        {2, {0, 3, 0, 0, 0, 0, 0, 0, 0}},
        // Captures not 0: this sample is the baseline for good.
        {3, {0xFFFFFFFE, 3, 10, 1, 0, 0, 0, 500, 0}},
        // Captures with the top bit set show negative; CRC errors went down by 3.
        {4, {0xFFFFFFFF, 3, 7, 1, 0, 0, 0, 125, 2}},
        // Captures wrapped through FFFFFFFF: the change is the 32-bit difference.
        {5, {1, 3, 7, 1, 0, 0, 0, 125, 2}},
    };
    Connect(scenario);
    Run(5);

    const char* const kExpected[] = {
        "0 0 0 0 0 0 0 0 | (+0) (+0) (+0) (+0) (+0) (+0) (+0) (+0) | [400.00] [400.00] [400.00]",
        "0 3 0 0 0 0 0 0 | (+0) (+0) (+0) (+0) (+0) (+0) (+0) (+0) | [  0.00] [  0.00] [400.00]",
        "-2 3 10 1 0 0 0 0 | (+0) (+0) (+0) (+0) (+0) (+0) (+0) (+0) | [200.00] [  0.00] [400.00]",
        "-1 3 7 1 0 0 0 2 | (+1) (+0) (-3) (+0) (+0) (+0) (+0) (+2) | [800.00] [  0.00] [800.00]",
        "1 3 7 1 0 0 0 2 | (+3) (+0) (-3) (+0) (+0) (+0) (+0) (+2) | [800.00] [  0.00] [800.00]",
    };
    ASSERT_EQ(shown.size(), 5u);
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(Shown(shown[i]), kExpected[i]) << "poll " << i + 1;
    }
    // Every MIN and MAX ever written: the initial 1e11 and -1e11 never show.
    EXPECT_EQ(dialog.TextsOf(IDC_MIN_POINTS),
              std::vector<std::string>({"400.00", "  0.00", "  0.00", "  0.00", "  0.00"}));
    EXPECT_EQ(dialog.TextsOf(IDC_MAX_POINTS),
              std::vector<std::string>({"400.00", "400.00", "400.00", "800.00", "800.00"}));
    EXPECT_EQ(dialog.TextsOf(kIdStatusText),
              std::vector<std::string>({"Arm: ARM01, v4.60, Calibrated: YES"}));
    EXPECT_EQ(dialog.text[kIdButton], "Close");
    EXPECT_EQ(dialog.outcome, kOutcomeDone) << "closing is the normal end";
    EXPECT_EQ(CountOf("_G STATS"), 5);
    EXPECT_EQ(CountOf("_Y1") + CountOf("_P"), 0) << "no error reported: no pass";
}

// A second poll whose reply is garbage, short, missing or dribbled past its deadline shows
// nothing; the third is measured against the first poll's baseline, MIN and MAX.
TEST_F(StatsWorkerTest, PollWithoutAGoodReplyShowsNothing) {
    struct Case {
        const char* szName;
        std::function<void(ArmScenario*)> fault;
        std::function<void(ArmScenario*)> mend;
        const char* szThirdPoll;
    } cases[] = {
        {"garbage", [](ArmScenario* s) { s->statsReplies = {"\x01zz\xFE\r\n"}; },
         [](ArmScenario*) {},
         "8001 3 0 1 2 0 0 0 | (+1) (+0) (+0) (+0) (+0) (+0) (+0) (+0) | [400.00] [200.00] "
         "[400.00]"},
        {"short", [](ArmScenario* s) { s->statsReplies = {"4 1F40 3 0 1 2 0 0 FA\r\n"}; },
         [](ArmScenario*) {},
         "8001 3 0 1 2 0 0 0 | (+1) (+0) (+0) (+0) (+0) (+0) (+0) (+0) | [400.00] [200.00] "
         "[400.00]"},
        {"unanswered", [](ArmScenario* s) { s->unanswered = {"_G STATS"}; },
         [](ArmScenario* s) { s->unanswered.clear(); },
         "8001 3 0 1 2 0 0 0 | (+1) (+0) (+0) (+0) (+0) (+0) (+0) (+0) | [400.00] [200.00] "
         "[400.00]"},
        // The dribbled reply is the arm's second: its 400.00 never reaches MAX.
        {"dribbled", [](ArmScenario* s) { s->nByteGapMs = 200; },
         [](ArmScenario* s) { s->nByteGapMs = 0; },
         "8002 3 0 1 2 0 0 0 | (+2) (+0) (+0) (+0) (+0) (+0) (+0) (+0) | [  0.00] [  0.00] "
         "[200.00]"},
    };
    for (const Case& c : cases) {
        ArmScenario scenario;
        SetCounters(scenario.counters, {0x1F40, 3, 0, 1, 2, 0, 0, 500, 0});
        scenario.counterStep[0] = 1;
        scenario.counterStep[7] = -250;
        ArmModel* pArm = Connect(scenario);
        dialog = RecordingDialog();
        shown.clear();
        onPoll = [&](int nPoll) {
            if (nPoll == 1) {
                c.fault(&pArm->scenario);
            } else if (nPoll == 2) {
                c.mend(&pArm->scenario);
            }
        };
        Run(3);

        ASSERT_EQ(shown.size(), 3u) << c.szName;
        EXPECT_EQ(shown[1], shown[0]) << c.szName << ": the second poll showed nothing";
        int nTextsInPoll2 = 0;
        int nPoll = 0;
        for (const RecordingDialog::Write& write : dialog.writes) {
            nPoll += write.op == "poll" ? 1 : 0;
            nTextsInPoll2 += nPoll == 1 && write.op == "text" ? 1 : 0;
        }
        EXPECT_EQ(nTextsInPoll2, 0) << c.szName;
        EXPECT_EQ(Shown(shown[2]), c.szThirdPoll) << c.szName;
        EXPECT_EQ(CountOf("_Y1"), 0) << c.szName << ": a bad reply never starts a pass";
        delete g_App.hPort;
        g_App.hPort = nullptr;
        bus.lines[1].commands.clear();
    }
}

// Contact lost at once when the device goes (hang-up, unplugged), or after two silent polls:
// "No Reply Since" the last reply (the clock reads 14:02:1n at poll n) until a sample comes
// again from the same COM1 opened again, against the first baseline. change(n) runs before the
// start (n 0) and at the end of polls 1 (the fault) and 3 (the mend).
TEST_F(StatsWorkerTest, LostArmIsNamedAndTakenBack) {
    struct Case {
        const char* szName;
        void (*change)(ArmScenario*, SimLine*, int);
        int nLostAt;           // the poll that lost contact
        bool bBack;            // back at poll 4
        size_t nOpens;         // tried, the first included
        const char* szChange;  // of the captures at poll 4
    } cases[] = {
        {"hang-up", [](ArmScenario* s, SimLine*, int n) { s->nHangupAfter = n == 0 ? 2 : 0; }, 2,
         false, 3, "(+0)"},
        {"unplugged, then back",
         [](ArmScenario*, SimLine* p, int n) { p->bFailPoll = !(p->bPresent = n != 1); }, 2, true,
         3, "(+2)"},
        {"silent twice",
         [](ArmScenario* s, SimLine*, int n) { s->unanswered.assign(n == 1, "_G STATS"); }, 3, true,
         1, "(+1)"},
    };
    for (const Case& c : cases) {
        ArmScenario scenario;
        SetCounters(scenario.counters, {0x1F40, 3, 0, 1, 2, 0, 0, 250, 0});
        scenario.counterStep[0] = 1;
        c.change(&scenario, &bus.lines[1], 0);
        ArmModel* pArm = Connect(scenario);
        clock.localTime.nSecond = 10;
        bus.openOrder.assign(1, 1);
        dialog = RecordingDialog();
        shown.clear();
        onPoll = [&](int nPoll) {
            clock.localTime.nSecond = 10 + nPoll;
            if (nPoll == 1 || nPoll == 3) {
                c.change(&pArm->scenario, &bus.lines[1], nPoll);
            }
        };
        Run(4);
        ASSERT_EQ(shown.size(), 4u) << c.szName;
        const std::string lost = "No Reply Since 14:02:10", identity = shown[0][kIdStatusText];
        EXPECT_EQ(shown[c.nLostAt - 2][kIdStatusText], identity) << c.szName;
        EXPECT_EQ(shown[c.nLostAt - 1][kIdStatusText], lost) << c.szName;
        EXPECT_EQ(shown[3][kIdStatusText], c.bBack ? identity : lost) << c.szName;
        EXPECT_EQ(dialog.outcomes.size(), c.bBack ? 3u : 2u) << "lost once: " << c.szName;
        EXPECT_EQ(dialog.outcome, c.bBack ? kOutcomeDone : kOutcomeContactLost) << c.szName;
        EXPECT_EQ(dialog.outcomeDetail, c.bBack ? "14:02:13" : "14:02:10") << c.szName;
        EXPECT_EQ(bus.openOrder.size(), c.nOpens) << c.szName;
        EXPECT_EQ(shown[3][IDC_CHANGE_CAPTURES], c.szChange) << c.szName;
        // Identity 1000 ms, then no more than the 2000 ms waits and one read's 1000 ms a poll.
        EXPECT_LT(nEndTick - nStartTick, 1000u + 4 * 3000u + 100u) << c.szName;
        delete g_App.hPort.exchange(nullptr);
        bus.lines[1] = SimLine();
    }
}

TEST_F(StatsWorkerTest, ErrorStatusBringsLoggingPasses) {
    struct Case {
        const char* szName;
        int32_t nIdentityStatus;
        int32_t nStatsStatus;
        std::vector<ArmScenario::ErrorAfterPoll> records;
        int nPolls;
        std::vector<std::string> errors;  // every text of 1042
        std::vector<std::string> exts;    // of 1043
        std::vector<std::string> logged;  // of 1041
    } cases[] = {
        {"status 3 is no error", 0, 3, {}, 2, {}, {}, {}},
        {"status 4: a pass at every poll", 0, 4, {}, 2, {"1", "1"}, {"0", "0"}, {"0", "0"}},
        {"status 0x20C: error 3, extended 2", 0, 0x20C, {}, 1, {"3"}, {"2"}, {"0"}},
        {"identity status 8: one pass", 8, 0, {}, 3, {"2"}, {"0"}, {"0"}},
        {"two passes of three records",
         0,
         4,
         {{1, "104 2 0 1A 0 0 0"},
          {1, "20008 1 10 0 0 0 0"},
          {1, "30001 0 0 0 0 0 0"},
          {2, "104 2 0 1B 0 0 0"},
          {2, "104 2 0 1C 0 0 0"},
          {2, "104 2 0 1D 0 0 0"}},
         2,
         {"1", "1"},
         {"0", "0"},
         {"3", "6"}},
    };
    for (const Case& c : cases) {
        ArmScenario scenario;
        scenario.nStatus = c.nIdentityStatus;
        scenario.nStatsStatus = c.nStatsStatus;
        scenario.errorsAfterPoll = c.records;
        Connect(scenario);
        dialog = RecordingDialog();
        shown.clear();
        remove(g_App.szLogPath);
        Run(c.nPolls);

        EXPECT_EQ(dialog.TextsOf(IDC_LAST_ERROR), c.errors) << c.szName;
        EXPECT_EQ(dialog.TextsOf(IDC_LAST_EXTENDED), c.exts) << c.szName;
        EXPECT_EQ(dialog.TextsOf(IDC_ERRORS_LOGGED), c.logged) << c.szName;
        int nPasses = static_cast<int>(c.errors.size());
        EXPECT_EQ(CountOf("_P"), nPasses) << c.szName;
        EXPECT_EQ(CountOf("_Y1"), 7 * nPasses) << c.szName;
        std::string log = Log();
        int nStamps = 0;
        for (size_t at = log.find("STAMP: BY: Error Stat"); at != std::string::npos;
             at = log.find("STAMP: BY: Error Stat", at + 1)) {
            ++nStamps;
        }
        EXPECT_EQ(nStamps, nPasses) << c.szName;
        delete g_App.hPort;
        g_App.hPort = nullptr;
        bus.lines[1].commands.clear();
    }
}

TEST_F(StatsWorkerTest, PassWritesTheEntryAndClosesTheReadOut) {
    ArmScenario scenario;
    scenario.statsStatusSeq = {0, 4};
    scenario.errorRecords = {"104 2 0 1A 0 0 0"};
    Connect(scenario);
    Run(2);

    EXPECT_EQ(Log(),
              "STAMP: BY: Error Stat, DATE: 12-07-126, TIME: 14:02:10, ARM: ARM01, CALIBRATED: "
              "YES, VERSION: 4.60\r\n"
              "ERROR: 00000104 00000002 00000000 0000001A 00000000 00000000 00000000\r\n"
              "STATS: 00001F40 00000003 00000000 00000001 00000002 00000000 00000000 000000FA "
              "00000000\r\n");
    EXPECT_EQ(Commands(), std::vector<std::string>({"_G", "_G STATS", "_G STATS", "_Y1", "_Y1",
                                                    "_Y1", "_Y1", "_Y1", "_Y1", "_Y1", "_P"}));
    // The purge of the open, one before each "_G STATS" and "_Y1", and one after "_P".
    EXPECT_EQ(bus.lines[1].nPurges, 1 + 2 + 7 + 1);

    // The second poll fills the dialog in this order, the pass's numbers last.
    std::vector<int> order;
    size_t nPolls = 0;
    for (const RecordingDialog::Write& write : dialog.writes) {
        if (write.op == "poll") {
            ++nPolls;
        } else if (nPolls == 1) {
            order.push_back(write.nId);
        }
    }
    EXPECT_EQ(order,
              std::vector<int>({1032, 1033, 1034, 1035, 1036, 1037, 1038, 1039, 1040, 1052, 1053,
                                1044, 1045, 1046, 1047, 1048, 1049, 1050, 1051, 1042, 1043, 1041}));
}

// The log does not open, or its disk has no room for an entry: the records stay on the arm.
TEST_F(StatsWorkerTest, UnwritableLogShowsTheNumbersAndSendsNothing) {
    for (bool bNoRoom : {true, false}) {
        ArmScenario scenario;
        scenario.nStatsStatus = 0x10C;
        scenario.errorRecords = {"104 2 0 1A 0 0 0"};
        ArmModel* pArm = Connect(scenario);
        g_Platform.pfnLogRoom = [](const char*, int64_t, int64_t, int* pnError) {
            *pnError = ENOSPC;
            return false;
        };
        if (!bNoRoom) {
            g_Platform.pfnLogRoom = nullptr;
            snprintf(g_App.szLogPath, sizeof g_App.szLogPath, "%sno_such_dir_stats/ErrorLog.zlg",
                     ::testing::TempDir().c_str());
        }
        dialog = RecordingDialog();
        Run(2);
        EXPECT_EQ(dialog.TextsOf(IDC_LAST_ERROR), std::vector<std::string>({"3", "3"}));
        EXPECT_EQ(dialog.TextsOf(IDC_LAST_EXTENDED), std::vector<std::string>({"1", "1"}));
        EXPECT_TRUE(dialog.TextsOf(IDC_ERRORS_LOGGED).empty());
        EXPECT_EQ(Commands(), std::vector<std::string>({"_G", "_G STATS", "_G STATS"}));
        EXPECT_EQ(pArm->scenario.errorRecords.size(), 1u);
        EXPECT_EQ(dialog.outcome, kOutcomeLogNotWritten);
        EXPECT_NE(dialog.outcomeDetail.find(bNoRoom ? "No space left on device" : "no_such_dir"),
                  std::string::npos);
        delete g_App.hPort.exchange(nullptr);
        bus.lines[1] = SimLine();
        shown.clear();
    }
}

// StopEvent set during the third "_Y1": that exchange, the counters line, "_P" and the close
// still happen, well within the shutdown's wait.
TEST_F(StatsWorkerTest, StopDuringAPassCompletesTheEntry) {
    ArmScenario scenario;
    scenario.nStatsStatus = 4;
    scenario.errorRecords = {"104 2 0 1A 0 0 0", "20008 1 10 0 0 0 0", "30001 0 0 0 0 0 0"};
    Connect(scenario);
    uint32_t nStopAt = clock.TickCount() + 9000;
    Run(100, nStopAt);

    EXPECT_EQ(Commands(), std::vector<std::string>({"_G", "_G STATS", "_Y1", "_Y1", "_Y1", "_P"}));
    const std::string tail =
        "ERROR: 00030001 00000000 00000000 00000000 00000000 00000000 00000000\r\n"
        "STATS: 00001F40 00000003 00000000 00000001 00000002 00000000 00000000 000000FA "
        "00000000\r\n";
    std::string log = Log();
    ASSERT_GE(log.size(), tail.size());
    EXPECT_EQ(log.substr(log.size() - tail.size()), tail)
        << "the entry ends with the record in progress and the counters";
    EXPECT_EQ(dialog.text[IDC_ERRORS_LOGGED], "3");
    EXPECT_LT(nEndTick - nStopAt, kShutdownWaitMs);
}

}  // namespace
