// The port listing's look at a device: a pty, a missing path, a regular file, a busy device.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/file.h>
#include <unistd.h>

#include <string>

#include "platform/posix/port_check.h"

namespace {

TEST(PortCheck, WhatTheListingSaysOfEachDevice) {
    int fdMaster = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(fdMaster, 0);
    ASSERT_EQ(grantpt(fdMaster), 0);
    ASSERT_EQ(unlockpt(fdMaster), 0);
    std::string pty = ptsname(fdMaster);
    char szFile[] = "/tmp/armlink-port-check-XXXXXX";
    int fdFile = mkstemp(szFile);
    ASSERT_GE(fdFile, 0);
    std::string dangling = std::string(szFile) + ".link";
    ASSERT_EQ(symlink("/nonexistent/armlink", dangling.c_str()), 0);

    struct Case {
        std::string path;
        bool bUsable;
        const char* szText;
    } cases[] = {
        {pty, true, "terminal device, free"},
        {"/nonexistent/armlink-port", false, "does not exist"},
        {dangling, false, "a link to nowhere"},
        {szFile, false, "not a terminal device"},
        {"", false, "no device"},
    };
    for (const Case& c : cases) {
        char szText[160] = "";
        EXPECT_EQ(CheckPortDevice(c.path.c_str(), szText, sizeof szText), c.bUsable) << c.path;
        EXPECT_STREQ(szText, c.szText) << c.path;
    }

    // Held by another program (an ArmLink holds its port with an exclusive lock).
    int fdHolder = open(pty.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fdHolder, 0);
    ASSERT_EQ(flock(fdHolder, LOCK_EX | LOCK_NB), 0);
    char szText[160] = "";
    EXPECT_FALSE(CheckPortDevice(pty.c_str(), szText, sizeof szText));
    EXPECT_STREQ(szText, "terminal device, busy (held by another program)");
    close(fdHolder);

    unlink(dangling.c_str());
    close(fdFile);
    unlink(szFile);
    close(fdMaster);
}

}  // namespace
