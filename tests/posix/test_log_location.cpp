// Where the log goes: beside the program when its directory may be written, else the user's
// state directory (XDG_STATE_HOME, else ~/.local/state), made when missing.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/posix/log_location.h"

namespace {

TEST(LogLocation, BesideTheProgramOrInTheStateDirectory) {
    char szTop[] = "/tmp/armlink-logloc-XXXXXX";
    ASSERT_NE(mkdtemp(szTop), nullptr);
    std::string top = szTop;
    std::string writable = top + "/bin/";
    ASSERT_EQ(mkdir(writable.c_str(), 0755), 0);
    // A writable directory whose log cannot be opened keeps the log, so the run names the fault.
    std::string blocked = top + "/blocked/";
    ASSERT_EQ(mkdir(blocked.c_str(), 0755), 0);
    ASSERT_EQ(mkdir((blocked + "ErrorLog.zlg").c_str(), 0755), 0);
    // A log that does not answer at once (a pipe with no reader) holds nothing up.
    std::string piped = top + "/piped/";
    ASSERT_EQ(mkdir(piped.c_str(), 0755), 0);
    ASSERT_EQ(mkfifo((piped + "ErrorLog.zlg").c_str(), 0644), 0);
    const char* szOldState = getenv("XDG_STATE_HOME");
    std::string oldState = szOldState != nullptr ? szOldState : "";
    setenv("XDG_STATE_HOME", (top + "/state").c_str(), 1);

    struct Case {
        std::string exeDir;
        std::string expected;
    } cases[] = {
        {writable, writable + "ErrorLog.zlg"},
        {blocked, blocked + "ErrorLog.zlg"},
        {piped, piped + "ErrorLog.zlg"},
        {top + "/no-such-dir/", top + "/state/armlink/ErrorLog.zlg"},
        // /proc may not be written, not even by root.
        {"/proc/", top + "/state/armlink/ErrorLog.zlg"},
        // An installed program never logs beside itself.
        {"/usr/bin/", top + "/state/armlink/ErrorLog.zlg"},
    };
    for (const Case& c : cases) {
        char szPath[768] = "";
        ChooseLogPath(c.exeDir.c_str(), szPath, sizeof szPath, true);
        EXPECT_EQ(std::string(szPath), c.expected) << c.exeDir;
    }
    struct stat info;
    ASSERT_EQ(stat((top + "/state/armlink").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u) << "the state directory is private";

    if (oldState.empty()) {
        unsetenv("XDG_STATE_HOME");
    } else {
        setenv("XDG_STATE_HOME", oldState.c_str(), 1);
    }
    (void)system(("rm -rf '" + top + "'").c_str());
}

}  // namespace
