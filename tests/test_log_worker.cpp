// The log worker against a simulated arm: the exact bytes of each entry, the failures that
// shorten it, and the end steps in the dialog.
#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "serial/serial_port.h"
#include "support/core_fixture.h"
#include "workers/log_file.h"
#include "workers/log_worker.h"

namespace {

const char kFirstLine[] =
    "STAMP: BY: Error Log, DATE: 12-07-126, TIME: 09:05:33, ARM: ARM01, CALIBRATED: YES, "
    "VERSION: 4.60\r\n";
const char kStatsLine[] =
    "STATS: 00001F40 00000003 00000000 00000001 00000002 00000000 00000000 000000FA "
    "00000000\r\n";
const char kOldFirmware[] = "VERSION OF FIRMWARE DOES NOT SUPPORT EXTENDED ERROR REPORTING:\r\n";

class LogWorkerTest : public CoreTest {
  protected:
    void SetUp() override {
        CoreTest::SetUp();
        CreateEvents();
        OpenDialog();
        clock.localTime = {126, 12, 7, 9, 5, 33};
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
        g_App.Line = {1, static_cast<int32_t>(scenario.nBaud), scenario.cParity, scenario.nDataBits,
                      1};
        g_App.hPort = OpenArmPort(1);
        EXPECT_NE(g_App.hPort, nullptr);
        return pArm;
    }

    std::string Log() const { return FileBytes(g_App.szLogPath); }

    std::vector<std::string> Commands() const {
        std::vector<std::string> texts;
        for (const SimCommand& command : bus.lines[1].commands) {
            texts.push_back(command.text);
        }
        return texts;
    }

    void ExpectEndSteps(const char* szStatus = "Done") {
        EXPECT_EQ(dialog.text[kIdStatusText], szStatus);
        EXPECT_EQ(dialog.text[kIdButton], "Close");
        EXPECT_EQ(dialog.text[kIdLogPathText], g_App.szLogPath);
        EXPECT_TRUE(dialog.shown[kIdLogPathText]);
        EXPECT_TRUE(dialog.shown[kIdLogPathLabel]);
        EXPECT_TRUE(g_App.WorkerExitedEvent->IsSet());
        EXPECT_EQ(g_App.hWorkerThread.load(), nullptr);
    }

    static int nCase;
};

int LogWorkerTest::nCase = 0;

TEST_F(LogWorkerTest, EntryWithTwoErrorRecords) {
    ArmScenario scenario;
    scenario.errorRecords = {"104 2 0 1A 0 0 0", "20008 1 10 0 0 0 0"};
    Connect(scenario);

    ASSERT_TRUE(StartLogWorker());

    EXPECT_EQ(Log(),
              std::string(kFirstLine) +
                  "ERROR: 00000104 00000002 00000000 0000001A 00000000 00000000 00000000\r\n"
                  "ERROR: 00020008 00000001 00000010 00000000 00000000 00000000 00000000\r\n" +
                  kStatsLine);
    EXPECT_EQ(Commands(), std::vector<std::string>(
                              {"_G", "_Y1", "_Y1", "_Y1", "_Y1", "_Y1", "_Y1", "_Y1", "_G STATS"}))
        << "seven requests, no \"_P\"";
    // One purge at the open, then one before every command.
    EXPECT_EQ(bus.lines[1].nPurges, 1 + 9);
    ExpectEndSteps();
    EXPECT_EQ(threads.nClosed, 1) << "the worker closes the handle the launcher stored";
}

TEST_F(LogWorkerTest, OnlyRecordsWithAnErrorOrExtendedCodeAreWritten) {
    ArmScenario scenario;
    scenario.errorRecords = {"0 0 0 0 0 0 0",
                             "30000 5 0 0 0 0 0",
                             "FF00 5 0 0 0 0 0",
                             "1 2 3",
                             "zz",
                             "FFFFFFFF FFFFFFFF 0 0 0 0 FFFFFFFF"};
    Connect(scenario);
    StartLogWorker();
    EXPECT_EQ(Log(),
              std::string(kFirstLine) +
                  "ERROR: 00030000 00000005 00000000 00000000 00000000 00000000 00000000\r\n"
                  "ERROR: FFFFFFFF FFFFFFFF 00000000 00000000 00000000 00000000 FFFFFFFF\r\n" +
                  kStatsLine);
}

TEST_F(LogWorkerTest, AllRecordsEmptyGivesTheFirstLineAndTheCounters) {
    Connect(ArmScenario());
    StartLogWorker();
    EXPECT_EQ(Log(), std::string(kFirstLine) + kStatsLine);
}

struct GateCase {
    const char* szVersion;
    bool bPasses;
    const char* szShown;
};

TEST_F(LogWorkerTest, FirmwareVersionGate) {
    const GateCase cases[] = {
        {"4.6", true, "4.60"},   {"4.60", true, "4.60"},  {"5.01", true, "5.01"},
        {"4.59", false, "4.59"}, {"4.50", false, "4.50"},
    };
    for (const GateCase& c : cases) {
        ArmScenario scenario;
        scenario.version = c.szVersion;
        Connect(scenario);
        remove(g_App.szLogPath);
        StartLogWorker();
        std::string first =
            std::string(
                "STAMP: BY: Error Log, DATE: 12-07-126, TIME: 09:05:33, ARM: ARM01, "
                "CALIBRATED: YES, VERSION: ") +
            c.szShown + "\r\n";
        EXPECT_EQ(Log(), first + (c.bPasses ? kStatsLine : kOldFirmware)) << c.szVersion;
        delete g_App.hPort;
        g_App.hPort = nullptr;
        bus.lines[1].commands.clear();
    }
}

TEST_F(LogWorkerTest, UnansweredIdentityEndsTheStampLineBare) {
    ArmScenario scenario;
    scenario.unanswered = {"_G"};
    Connect(scenario);
    StartLogWorker();
    EXPECT_EQ(Log(), std::string("STAMP: BY: Error Log, DATE: 12-07-126, TIME: 09:05:33\r\n") +
                         kOldFirmware);
    EXPECT_EQ(Commands(), std::vector<std::string>({"_G"}));
}

TEST_F(LogWorkerTest, PartlyParsedIdentityWritesWhatItReached) {
    ArmScenario scenario;
    scenario.identityReply = "0 a b c d e 4.70 x y\r\n";
    Connect(scenario);
    StartLogWorker();
    EXPECT_EQ(Log(), std::string("STAMP: BY: Error Log, DATE: 12-07-126, TIME: 09:05:33, ARM: , "
                                 "CALIBRATED: , VERSION: 4.70\r\n") +
                         kStatsLine);
}

TEST_F(LogWorkerTest, StopRequestBeforeTheRecordsLeavesOnlyTheCounters) {
    ArmScenario scenario;
    scenario.errorRecords = {"104 2 0 1A 0 0 0"};
    Connect(scenario);
    g_App.StopEvent->Set();
    LogWorker(nullptr);
    EXPECT_EQ(Log(), std::string(kFirstLine) + kStatsLine);
    EXPECT_EQ(Commands(), std::vector<std::string>({"_G", "_G STATS"}));
}

TEST_F(LogWorkerTest, TwoRunsAppendTwoEntriesOlderFirst) {
    ArmScenario scenario;
    scenario.errorRecords = {"104 2 0 1A 0 0 0"};
    Connect(scenario);
    StartLogWorker();
    clock.localTime.nSecond = 59;
    StartLogWorker();
    std::string second = kFirstLine;
    second.replace(second.find("09:05:33"), 8, "09:05:59");
    EXPECT_EQ(Log(),
              std::string(kFirstLine) +
                  "ERROR: 00000104 00000002 00000000 0000001A 00000000 00000000 00000000\r\n" +
                  kStatsLine + second + kStatsLine);
}

// A disk without room for the largest entry, as the platform reports it.
int64_t nRoomAskedFor = 0;
bool NoRoomOnTheDisk(const char*, int64_t, int64_t nBytes, int* pnError) {
    nRoomAskedFor = nBytes;
    *pnError = ENOSPC;
    return false;
}

// A log that cannot take the entry (it does not open; its disk has no room) gets nothing read
// for it: the arm keeps its records, and the dialog says why instead of "Done".
TEST_F(LogWorkerTest, UnwritableLogSendsNothingAndSaysSoInsteadOfDone) {
    for (bool bNoRoom : {true, false}) {
        ArmScenario scenario;
        scenario.errorRecords = {"104 2 0 1A 0 0 0"};
        ArmModel* pArm = Connect(scenario);
        g_Platform.pfnLogRoom = bNoRoom ? NoRoomOnTheDisk : nullptr;
        if (!bNoRoom) {
            snprintf(g_App.szLogPath, sizeof g_App.szLogPath, "%sno_such_dir_%d/ErrorLog.zlg",
                     ::testing::TempDir().c_str(), nCase);
        }
        StartLogWorker();
        EXPECT_TRUE(Commands().empty());
        EXPECT_EQ(pArm->scenario.errorRecords.size(), 1u) << "the record is still on the arm";
        EXPECT_EQ(Log(), bNoRoom ? "" : "<missing>");
        EXPECT_EQ(dialog.text[kIdStatusText], "Log Not Written");
        EXPECT_EQ(dialog.text[kIdLogPathLabel], "Not Written:");
        EXPECT_EQ(dialog.text[kIdLogPathText],
                  std::string(g_App.szLogPath) + ": " +
                      (bNoRoom ? "No space left on device" : "No such file or directory"))
            << "where the entry should be, and why it is not";
        EXPECT_TRUE(dialog.shown[kIdLogPathText]);
        EXPECT_EQ(dialog.outcome, kOutcomeLogNotWritten);
        EXPECT_EQ(dialog.outcomeDetail.rfind(bNoRoom ? "cannot write " : "cannot open ", 0), 0u);
        EXPECT_TRUE(g_App.WorkerExitedEvent->IsSet());
        delete g_App.hPort.exchange(nullptr);
    }
    EXPECT_EQ(nRoomAskedFor, static_cast<int64_t>(LargestEntrySize()));
}

// How the entry ended: "Done" only when the arm answered every exchange; whatever it left
// unanswered is named in the outcome, and a stop request during the read-out (at 5000 ms: the
// second record) is "Interrupted". The entry keeps the lines it has, in the log.
TEST_F(LogWorkerTest, UnansweredRequestsAreNamedInTheOutcome) {
    struct Case {
        const char* szUnanswered;
        int nHangupAfter;
        uint32_t nStopAtMs;  // 0: no stop request
        RunOutcome outcome;
        const char* szStatus;
        const char* szDetail;
    } cases[] = {
        {"", 0, 0, kOutcomeDone, "Done", ""},
        {"_G", 0, 0, kOutcomeIncomplete, "Entry Incomplete",
         "the arm did not answer the identity request"},
        {"_G STATS", 0, 0, kOutcomeIncomplete, "Entry Incomplete",
         "the arm did not answer the counters request"},
        {"", 3, 0, kOutcomeIncomplete, "Entry Incomplete",
         "the arm did not answer the request for error record 3 of 7 (and 5 later)"},
        {"", 0, 5000, kOutcomeInterrupted, "Interrupted", ""},
    };
    for (const Case& c : cases) {
        ArmScenario scenario;
        if (c.szUnanswered[0] != '\0') {
            scenario.unanswered = {c.szUnanswered};
        }
        scenario.nHangupAfter = c.nHangupAfter;
        Connect(scenario);
        if (c.nStopAtMs != 0) {
            clock.At(clock.TickCount() + c.nStopAtMs, [] { g_App.StopEvent->Set(); });
        }
        StartLogWorker();
        EXPECT_EQ(dialog.outcome, c.outcome) << c.szDetail;
        EXPECT_EQ(g_App.nLastOutcome.load(), c.outcome) << "kept past the dialog's end";
        EXPECT_EQ(dialog.outcomeDetail, c.szDetail);
        EXPECT_EQ(dialog.text[kIdStatusText], c.szStatus);
        EXPECT_EQ(dialog.text[kIdLogPathLabel], "Log Saved In:") << "the entry is in the log";
        EXPECT_EQ(dialog.progress.back(), "") << "the progress line is cleared at the end";
        delete g_App.hPort.exchange(nullptr);
        bus.lines[1] = SimLine();
    }
}

// An existing log that ends inside a line (a copy cut short, an editor) gets a line end first,
// so the new stamp starts a line of its own.
TEST_F(LogWorkerTest, EntryStartsOnALineOfItsOwn) {
    struct Case {
        const char* szBefore;
        const char* szSeparator;
    } cases[] = {
        {"", ""},
        {"old entry\r\n", ""},
        {"old entry cut short", "\r\n"},
        {"old entry\r", "\r\n"},
    };
    for (const Case& c : cases) {
        FILE* pFile = fopen(g_App.szLogPath, "wb");
        ASSERT_NE(pFile, nullptr);
        fputs(c.szBefore, pFile);
        fclose(pFile);
        Connect(ArmScenario());
        StartLogWorker();
        EXPECT_EQ(Log(), std::string(c.szBefore) + c.szSeparator + kFirstLine + kStatsLine)
            << c.szBefore;
        delete g_App.hPort.exchange(nullptr);
        bus.lines[1] = SimLine();
    }
}

TEST_F(LogWorkerTest, NoPortCreatesTheFileAndWritesNothing) {
    StartLogWorker();
    EXPECT_EQ(Log(), "");
    ExpectEndSteps();
}

TEST_F(LogWorkerTest, ArmHangingUpMidEntryClosesTheEntryWithWhatItHas) {
    ArmScenario scenario;
    scenario.errorRecords = {"104 2 0 1A 0 0 0", "20008 1 10 0 0 0 0"};
    scenario.nHangupAfter = 2;
    Connect(scenario);
    uint32_t nStart = clock.TickCount();
    StartLogWorker();
    EXPECT_EQ(Log(),
              std::string(kFirstLine) +
                  "ERROR: 00000104 00000002 00000000 0000001A 00000000 00000000 00000000\r\n");
    ExpectEndSteps("Entry Incomplete");
    // The reads before the hang-up take their deadlines (_G 2000 ms, the first _Y1 2000 ms);
    // the six dead "_Y1" exchanges and the dead "_G STATS" each end at their first poll.
    EXPECT_LT(clock.TickCount() - nStart, 4100u);
}

TEST_F(LogWorkerTest, WithoutADialogTheEndStepsAreSkipped) {
    g_App.hDialog.store(nullptr);
    Connect(ArmScenario());
    StartLogWorker();
    EXPECT_TRUE(dialog.writes.empty());
    EXPECT_TRUE(g_App.WorkerExitedEvent->IsSet());
}

TEST_F(LogWorkerTest, ThreadThatCannotBeCreatedChangesNothing) {
    threads.bFailCreate = true;
    EXPECT_FALSE(StartLogWorker());
    EXPECT_EQ(g_App.hWorkerThread.load(), nullptr);
    EXPECT_TRUE(dialog.writes.empty());
}

TEST(LogFileForms, StampYearsAndPaddings) {
    struct Case {
        LocalTime time;
        const char* szExpected;
    } cases[] = {
        {{98, 1, 2, 3, 4, 5}, "STAMP: BY: Error Log, DATE: 01-02-98, TIME: 03:04:05\r\n"},
        {{100, 12, 31, 23, 59, 59}, "STAMP: BY: Error Log, DATE: 12-31-100, TIME: 23:59:59\r\n"},
        {{126, 12, 7, 0, 0, 0}, "STAMP: BY: Error Log, DATE: 12-07-126, TIME: 00:00:00\r\n"},
    };
    std::string path = ::testing::TempDir() + "armlink_forms.zlg";
    for (const Case& c : cases) {
        remove(path.c_str());
        LogFile log;
        ASSERT_TRUE(OpenLogFile(path.c_str(), &log));
        WriteStampForm(&log, kStampByLog, c.time);
        WriteBareLineEnd(&log);
        EXPECT_TRUE(CloseLogFile(&log));
        EXPECT_EQ(FileBytes(path.c_str()), c.szExpected);
    }
    remove(path.c_str());
    LogFile log;
    ASSERT_TRUE(OpenLogFile(path.c_str(), &log));
    WriteStampForm(&log, kStampByStats, cases[2].time);
    WriteBareLineEnd(&log);
    CloseLogFile(&log);
    EXPECT_EQ(FileBytes(path.c_str()),
              "STAMP: BY: Error Stat, DATE: 12-07-126, TIME: 00:00:00\r\n");
    remove(path.c_str());
}

}  // namespace
