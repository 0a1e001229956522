// Start-up: the run mode from the command line, the executable's directory, the log path.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "common/app_state.h"
#include "shell/startup.h"

namespace {

TEST(StartupRunMode, SwitchesAreExactOrPrefixAndCaseSensitive) {
    struct Row {
        const char* szCmdLine;
        int32_t nRunMode;
    };
    const Row kRows[] = {
        {"", kRunModeLog},
        {"/stats", kRunModeStats},
        {"/STATS", kRunModeStats},
        {"/stats ", kRunModeLog},
        {"/STATS ", kRunModeLog},
        {"/statsx", kRunModeLog},
        {"/stats /extended", kRunModeLog},
        {"/Stats", kRunModeLog},
        {"/stat", kRunModeLog},
        {" /stats", kRunModeLog},
        {"/extended", kRunModeExtended},
        {"/EXTENDED", kRunModeExtended},
        {"/extendedXYZ", kRunModeExtended},
        {"/extended /stats", kRunModeExtended},
        {"/EXTENDED ", kRunModeExtended},
        {"/extende", kRunModeLog},
        {"/Extended", kRunModeLog},
        {"/eXTENDED", kRunModeLog},
        {"extended", kRunModeLog},
    };
    for (const Row& row : kRows) {
        EXPECT_EQ(SelectRunMode(row.szCmdLine), row.nRunMode) << "\"" << row.szCmdLine << "\"";
    }
    EXPECT_EQ(SelectRunMode(nullptr), kRunModeLog);
}

// The outcomes reported in order, then the exit status; without an identity the firmware gate
// that follows is no firmware judged too old.
TEST(StartupExitStatus, TheRunsOutcomeGivesTheStatus) {
    const std::pair<std::vector<RunOutcome>, int> rows[] = {
        {{}, 1},
        {{kOutcomeDone}, 0},
        {{kOutcomeNoArm}, 1},
        {{kOutcomeInterrupted}, 1},
        {{kOutcomeLogNotWritten}, 3},
        {{kOutcomeReportNotSaved}, 4},
        {{kOutcomeIncomplete}, 5},
        {{kOutcomeDone, kOutcomeVersionNotSupported}, 6},
        {{kOutcomeIncomplete, kOutcomeVersionNotSupported}, 5}};
    for (const auto& row : rows) {
        RunOutcome outcome = kOutcomeNone;
        for (RunOutcome reported : row.first) {
            outcome = NextOutcome(outcome, reported);
        }
        EXPECT_EQ(RunExitStatus(outcome), row.second) << row.first.size();
    }
}

TEST(StartupExeDir, CutAfterTheLastSeparator) {
    struct Row {
        const char* szExePath;
        char cSeparator;
        const char* szExeDir;
    };
    const Row kRows[] = {
        {"C:\\Tools\\Arm\\prog.exe", '\\', "C:\\Tools\\Arm\\"},
        {"C:\\prog.exe", '\\', "C:\\"},
        {"/usr/local/bin/armlink", '/', "/usr/local/bin/"},
        {"/armlink", '/', "/"},
        {"dir\\", '\\', "dir\\"},
        {"prog.exe", '\\', "prog.exe"},            // no separator: left whole
        {"/opt/arm/prog", '\\', "/opt/arm/prog"},  // only the platform's separator counts
        {"", '\\', ""},
    };
    for (const Row& row : kRows) {
        char szExeDir[kPathSize];
        memset(szExeDir, 'X', sizeof szExeDir);
        CutExeDir(row.szExePath, row.cSeparator, szExeDir, sizeof szExeDir);
        EXPECT_STREQ(szExeDir, row.szExeDir) << row.szExePath;
    }
}

TEST(StartupExeDir, BoundedToTheBuffer) {
    char szExeDir[11];
    // "C:\Tools\" is 9 bytes and fits with its terminator; a directory that does not fit is
    // not cut to some other directory: the text stays empty.
    CutExeDir("C:\\Tools\\prog.exe", '\\', szExeDir, 10);
    EXPECT_STREQ(szExeDir, "C:\\Tools\\");
    CutExeDir("C:\\Tools\\Arm\\prog.exe", '\\', szExeDir, sizeof szExeDir);
    EXPECT_STREQ(szExeDir, "");
    CutExeDir("abcdefghijk", '\\', szExeDir, sizeof szExeDir);
    EXPECT_STREQ(szExeDir, "");
    CutExeDir(nullptr, '\\', szExeDir, sizeof szExeDir);
    EXPECT_STREQ(szExeDir, "");

    std::string path(kPathSize - 1, 'd');
    path[kPathSize - 2] = '\\';  // 767 bytes of directory: fits the 768-byte buffer exactly
    char szLong[kPathSize];
    CutExeDir((path + "prog.exe").c_str(), '\\', szLong, sizeof szLong);
    EXPECT_EQ(std::string(szLong), path);
}

TEST(StartupLogPath, BesideTheExecutableOrBare) {
    struct Row {
        std::string szExeDir;
        bool bFits;
        std::string szLogPath;
    };
    std::string dir755(754, 'd');
    dir755 += '\\';
    std::string dir756 = "d" + dir755;
    const Row kRows[] = {
        {"C:\\Tools\\Arm\\", true, "C:\\Tools\\Arm\\ErrorLog.zlg"},
        {"/home/tech/bin/", true, "/home/tech/bin/ErrorLog.zlg"},
        {"", true, "ErrorLog.zlg"},
        {dir755, true, dir755 + "ErrorLog.zlg"},  // 767 characters and the terminator
        {dir756, false, "ErrorLog.zlg"},          // one too many: the bare name
    };
    for (const Row& row : kRows) {
        char szLogPath[kPathSize];
        memset(szLogPath, 'X', sizeof szLogPath);
        EXPECT_EQ(FormatLogPath(row.szExeDir.c_str(), szLogPath, sizeof szLogPath), row.bFits)
            << row.szExeDir.size();
        EXPECT_EQ(std::string(szLogPath), row.szLogPath) << row.szExeDir.size();
    }
    char szLogPath[kPathSize];
    EXPECT_TRUE(FormatLogPath(nullptr, szLogPath, sizeof szLogPath));
    EXPECT_STREQ(szLogPath, "ErrorLog.zlg");
}

TEST(StartupLogPath, ExampleExecutableEndToEnd) {
    char szExeDir[kPathSize];
    char szLogPath[kPathSize];
    CutExeDir("C:\\Tools\\Arm\\prog.exe", '\\', szExeDir, sizeof szExeDir);
    ASSERT_TRUE(FormatLogPath(szExeDir, szLogPath, sizeof szLogPath));
    EXPECT_STREQ(szExeDir, "C:\\Tools\\Arm\\");
    EXPECT_STREQ(szLogPath, "C:\\Tools\\Arm\\ErrorLog.zlg");
}

}  // namespace
