// The log file on a disk that fills up: a full disk is never reported as done, an entry that
// reached the file only in part is cut off again, so the log holds whole entries only, and the
// records read from the arm are kept whole elsewhere.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/posix/posix_platform.h"
#include "serial/serial_port.h"
#include "support/core_fixture.h"
#include "workers/log_file.h"
#include "workers/log_worker.h"
#include "workers/stats_worker.h"

namespace {

const char kEntry[] =
    "STAMP: BY: Error Log, DATE: 12-07-126, TIME: 09:05:33, ARM: ARM01, CALIBRATED: YES, "
    "VERSION: 4.60\r\n"
    "ERROR: 00000104 00000002 00000000 0000001A 00000000 00000000 00000000\r\n"
    "ERROR: 00020008 00000001 00000010 00000000 00000000 00000000 00000000\r\n"
    "STATS: 00001F40 00000003 00000000 00000001 00000002 00000000 00000000 000000FA "
    "00000000\r\n";

// The state directory of the test: where an entry the log refused is kept.
std::string g_stateDir;
bool TestStateDir(char* szDir, size_t cchDir) {
    snprintf(szDir, cchDir, "%s", g_stateDir.c_str());
    return !g_stateDir.empty();
}

class FullDiskTest : public CoreTest {
  protected:
    void SetUp() override {
        CoreTest::SetUp();
        g_Platform.pfnCutFile = PosixCutFile;
        g_Platform.pfnLockLog = PosixLockLog;
        g_Platform.pfnUnlockLog = PosixUnlockLog;
        g_Platform.pfnStateDir = TestStateDir;
        stateDir = TestFilePath("-state");
        g_stateDir = stateDir + "/";
        mkdir(stateDir.c_str(), 0700);
        keptPath = g_stateDir + "ErrorLog-unsaved-20261207-090533.zlg";
        CreateEvents();
        OpenDialog();
        struct sigaction ignore = {};
        ignore.sa_handler = SIG_IGN;
        ASSERT_EQ(sigaction(SIGXFSZ, &ignore, &before), 0) << "a file too large gives EFBIG";
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &limits), 0);
    }
    void TearDown() override {
        setrlimit(RLIMIT_FSIZE, &limits);
        sigaction(SIGXFSZ, &before, nullptr);
        remove(keptPath.c_str());
        rmdir(stateDir.c_str());
        CoreTest::TearDown();
    }

    // The disk takes nBytes of the log at most (a file size limit stands in for a full disk).
    void LimitFileSize(size_t nBytes) {
        struct rlimit full = limits;
        full.rlim_cur = nBytes;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &full), 0);
    }

    // An arm with two pending records; returns it after the worker's run.
    ArmModel* RunLogWorker() {
        ArmScenario scenario;
        scenario.errorRecords = {"104 2 0 1A 0 0 0", "20008 1 10 0 0 0 0"};
        ArmModel* pArm = PlaceArm(1, scenario);
        g_App.hPort = OpenArmPort(1);
        EXPECT_NE(g_App.hPort.load(), nullptr);
        StartLogWorker();
        delete g_App.hPort.exchange(nullptr);
        return pArm;
    }

    std::string stateDir;
    std::string keptPath;
    struct sigaction before = {};
    struct rlimit limits = {};
};

// A full disk takes no byte of the log, and says so only when the entry is written: the records
// read are kept whole in the state directory, or, when that fails too, shown to the technician.
// A logging pass of the statistics keeps its entry the same way.
TEST_F(FullDiskTest, EntryOnAFullDiskIsNotWrittenAndSaysWhy) {
    std::string stats = kEntry;
    stats.replace(stats.find("Log"), 3, "Stat");
    stats.erase(stats.find("ERROR: 0002"), stats.find("STATS") - stats.find("ERROR: 0002"));
    for (const char* szState : {"test", "stats", "", "/dev/full/"}) {
        bool bKept = szState[0] == 't' || szState[0] == 's';
        g_stateDir = bKept ? g_stateDir : szState;
        dialog = RecordingDialog();
        snprintf(g_App.szLogPath, sizeof g_App.szLogPath, "%s", "/dev/full");
        if (szState[0] == 's') {
            ArmScenario scenario;
            scenario.nStatsStatus = 4;
            scenario.errorRecords = {"104 2 0 1A 0 0 0"};
            PlaceArm(1, scenario);
            g_App.hPort = OpenArmPort(1);
            clock.At(clock.TickCount() + 4500, [] { g_App.StopEvent->Set(); });
            StartStatsWorker();
            CloseArmPort(g_App.hPort.exchange(nullptr));
        } else {
            RunLogWorker();
            EXPECT_EQ(dialog.text[kIdStatusText], "Log Not Written");
            EXPECT_EQ(dialog.text[kIdLogPathLabel], bKept ? "Kept In:" : "Not Written:");
            EXPECT_EQ(dialog.text[kIdLogPathText],
                      bKept ? keptPath : "/dev/full: No space left on device")
                << szState;
        }
        EXPECT_EQ(dialog.outcome, bKept ? kOutcomeLogKept : kOutcomeLogNotWritten) << szState;
        EXPECT_EQ(dialog.outcomeDetail,
                  bKept ? keptPath : "cannot write /dev/full: No space left on device");
        std::string kept = szState[0] == 's' ? stats : kEntry;
        EXPECT_EQ(FileBytes(keptPath.c_str()), bKept ? kept : "<missing>") << szState;
        EXPECT_EQ(dialog.unlogged,
                  bKept ? std::vector<std::string>() : std::vector<std::string>({kEntry}));
        remove(keptPath.c_str());
        bus.lines[1] = SimLine();
    }
}

// The disk takes only nRoom more bytes of the log: it fills in the middle of each line of the
// entry in turn. The part that did arrive is cut off, the log is byte for byte what it was, and
// the entry is kept whole; an entry that fits is written whole. Asked first, the file size
// limit stops the entry before anything is read from the arm.
TEST_F(FullDiskTest, EntryThatReachedTheFileInPartIsCutOff) {
    const std::string entry = kEntry;
    // An old log longer than the entry, so that the limit lets the kept file take it.
    const std::string old = "old entry\r\n" + std::string(400, '0') + "\r\n";
    struct Case {
        std::string before;
        size_t nRoom;  // bytes the disk takes beyond the old log
        bool bAskRoom;
        RunOutcome outcome;
    } cases[] = {
        {"", 40, false, kOutcomeLogNotWritten},  // the kept file is under the limit too: shown
        {old, 1, false, kOutcomeLogKept},
        {old, 60, false, kOutcomeLogKept},
        {old, 130, false, kOutcomeLogKept},
        {old, 200, false, kOutcomeLogKept},
        {old, entry.size() - 1, false, kOutcomeLogKept},
        {std::string(420, 'x'), 60, false, kOutcomeLogKept},  // begins with a line end
        {old, 4096, false, kOutcomeDone},
        {old, 100, true, kOutcomeLogNotWritten},
        {old, 4096, true, kOutcomeDone},
    };
    for (const Case& c : cases) {
        snprintf(g_App.szLogPath, sizeof g_App.szLogPath, "%s", TestFilePath(".zlg").c_str());
        FILE* pFile = fopen(g_App.szLogPath, "wb");
        ASSERT_NE(pFile, nullptr);
        fputs(c.before.c_str(), pFile);
        fclose(pFile);
        dialog = RecordingDialog();
        g_Platform.pfnLogRoom = c.bAskRoom ? PosixLogRoom : nullptr;
        LimitFileSize(c.before.size() + c.nRoom);
        ArmModel* pArm = RunLogWorker();
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limits), 0);

        std::string row = std::to_string(c.before.size()) + " + " + std::to_string(c.nRoom);
        EXPECT_EQ(dialog.outcome, c.outcome) << row;
        EXPECT_EQ(FileBytes(g_App.szLogPath), c.before + (c.outcome == kOutcomeDone ? entry : ""))
            << row;
        EXPECT_EQ(FileBytes(keptPath.c_str()), c.outcome == kOutcomeLogKept ? entry : "<missing>")
            << row;
        bool bRead = !c.bAskRoom || c.outcome == kOutcomeDone;
        EXPECT_EQ(pArm->scenario.errorRecords.size(), bRead ? 0u : 2u)
            << "the records stay on the arm when the log is known to refuse them";
        bool bShown = bRead && c.outcome == kOutcomeLogNotWritten;
        EXPECT_EQ(dialog.unlogged.size() == 1 && dialog.unlogged[0] == entry, bShown) << row;
        if (c.outcome != kOutcomeDone) {
            EXPECT_EQ(dialog.text[kIdStatusText], "Log Not Written");
        }
        if (c.outcome == kOutcomeLogNotWritten) {
            EXPECT_EQ(dialog.outcomeDetail,
                      std::string("cannot write ") + g_App.szLogPath + ": File too large");
        }
        remove(g_App.szLogPath);
        remove(keptPath.c_str());
        bus.lines[1] = SimLine();
    }
}

// Two runs, one log: run B appends its whole entry while run A still reads the arm, then A's
// write fails. A's part is cut back to where A's entry began, measured under the log's lock,
// so B's entry stays; and while another run holds the lock, an entry waits for it.
TEST_F(FullDiskTest, FailedEntryLeavesAnotherRunsEntryAlone) {
    std::string path = TestFilePath(".zlg");
    const std::string before = "entry of run B\r\n";
    static LogFile a, b;
    ASSERT_TRUE(OpenLogFile(path.c_str(), &a));
    WriteLog(&a, "entry of run A\n");
    ASSERT_TRUE(OpenLogFile(path.c_str(), &b));
    WriteLog(&b, "entry of run B\n");
    EXPECT_TRUE(CloseLogFile(&b));
    LimitFileSize(before.size() + 5);
    EXPECT_FALSE(CloseLogFile(&a));
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limits), 0);
    EXPECT_EQ(FileBytes(path.c_str()), before);

    void* hLock = PosixLockLog(path.c_str());
    ASSERT_NE(hLock, nullptr);
    ASSERT_TRUE(OpenLogFile(path.c_str(), &a));
    WriteLog(&a, "entry of run C\n");
    std::thread writer([] { CloseLogFile(&a); });
    usleep(100000);
    EXPECT_EQ(FileBytes(path.c_str()), before) << "the entry waits for the lock";
    PosixUnlockLog(hLock);
    writer.join();
    EXPECT_EQ(FileBytes(path.c_str()), before + "entry of run C\r\n");
    remove(path.c_str());
}

TEST(PosixCutFile, CutsAPlainFileBackAndNothingElse) {
    std::string path = ::testing::TempDir() + "armlink_cut_" + std::to_string(getpid());
    struct Case {
        const char* szContent;
        int64_t nSize;
        bool bResult;
        const char* szAfter;
    } cases[] = {
        {"old\r\nhalf an en", 5, true, "old\r\n"},
        {"old\r\n", 5, true, "old\r\n"},
        {"old", 5, true, "old"},  // never lengthened
        {"old\r\n", 0, true, ""},
        {"old\r\n", -1, false, "old\r\n"},
    };
    for (const Case& c : cases) {
        FILE* pFile = fopen(path.c_str(), "wb");
        ASSERT_NE(pFile, nullptr);
        fputs(c.szContent, pFile);
        fclose(pFile);
        EXPECT_EQ(PosixCutFile(path.c_str(), c.nSize), c.bResult) << c.szContent;
        EXPECT_EQ(FileBytes(path.c_str()), c.szAfter);
    }
    remove(path.c_str());
    EXPECT_FALSE(PosixCutFile(path.c_str(), 0)) << "a missing file";
    EXPECT_FALSE(PosixCutFile("/dev/null", 0)) << "a device has no length";
    EXPECT_FALSE(PosixCutFile(nullptr, 0));
}

}  // namespace
