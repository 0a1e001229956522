// The log file on a disk that fills up: a full disk is never reported as done, and an entry that
// reached the file only in part is cut off again, so the log holds whole entries only.
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "platform/posix/posix_platform.h"
#include "serial/serial_port.h"
#include "support/core_fixture.h"
#include "workers/log_worker.h"

namespace {

class FullDiskTest : public CoreTest {
  protected:
    void SetUp() override {
        CoreTest::SetUp();
        g_Platform.pfnCutFile = PosixCutFile;
        CreateEvents();
        OpenDialog();
    }

    void RunLogWorker() {
        PlaceArm(1, ArmScenario());
        g_App.hPort = OpenArmPort(1);
        ASSERT_NE(g_App.hPort.load(), nullptr);
        StartLogWorker();
        delete g_App.hPort.exchange(nullptr);
    }
};

TEST_F(FullDiskTest, EntryOnAFullDiskIsNotWrittenAndSaysWhy) {
    snprintf(g_App.szLogPath, sizeof g_App.szLogPath, "%s", "/dev/full");
    RunLogWorker();
    EXPECT_EQ(dialog.text[kIdStatusText], "Log Not Written: No space left on device");
    EXPECT_EQ(dialog.text[kIdLogPathText], "/dev/full");
    EXPECT_EQ(dialog.outcome, kOutcomeLogNotWritten);
    EXPECT_EQ(dialog.outcomeDetail, "cannot write /dev/full: No space left on device");
}

// The disk takes only nRoom more bytes of the log (a file size limit stands in for the full
// disk: the close writes the part that fits, then fails). The part that did arrive is cut off,
// and the log is byte for byte what it was; an entry that fits is written whole.
TEST_F(FullDiskTest, EntryThatReachedTheFileInPartIsCutOff) {
    const std::string entry =
        "STAMP: BY: Error Log, DATE: 12-07-126, TIME: 09:05:33, ARM: ARM01, CALIBRATED: YES, "
        "VERSION: 4.60\r\n"
        "STATS: 00001F40 00000003 00000000 00000001 00000002 00000000 00000000 000000FA "
        "00000000\r\n";
    struct Case {
        const char* szBefore;
        size_t nRoom;  // bytes the disk takes beyond the old log
        bool bWritten;
    } cases[] = {
        {"", 40, false},
        {"old entry\r\n", 1, false},
        {"old entry\r\n", 100, false},
        {"old entry cut short", 60, false},  // the entry would begin with a line end
        {"old entry\r\n", 4096, true},
    };
    struct sigaction ignore = {};
    struct sigaction before = {};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(sigaction(SIGXFSZ, &ignore, &before), 0) << "a file too large gives EFBIG instead";
    struct rlimit limits;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &limits), 0);
    for (const Case& c : cases) {
        snprintf(g_App.szLogPath, sizeof g_App.szLogPath, "%s", TestFilePath(".zlg").c_str());
        FILE* pFile = fopen(g_App.szLogPath, "wb");
        ASSERT_NE(pFile, nullptr);
        fputs(c.szBefore, pFile);
        fclose(pFile);
        struct rlimit full = limits;
        full.rlim_cur = strlen(c.szBefore) + c.nRoom;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &full), 0);
        RunLogWorker();
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limits), 0);

        std::string log = FileBytes(g_App.szLogPath);
        if (c.bWritten) {
            EXPECT_EQ(log, c.szBefore + entry);
            EXPECT_EQ(dialog.outcome, kOutcomeDone);
        } else {
            EXPECT_EQ(log, c.szBefore) << c.szBefore << " + " << c.nRoom;
            EXPECT_EQ(dialog.text[kIdStatusText], "Log Not Written: File too large");
            EXPECT_EQ(dialog.outcome, kOutcomeLogNotWritten);
            EXPECT_EQ(dialog.outcomeDetail,
                      std::string("cannot write ") + g_App.szLogPath + ": File too large");
        }
        remove(g_App.szLogPath);
        bus.lines[1] = SimLine();
    }
    sigaction(SIGXFSZ, &before, nullptr);
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
