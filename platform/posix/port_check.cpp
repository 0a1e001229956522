// The port listing's look at one device: there, a terminal, allowed, free.
#include "platform/posix/port_check.h"

#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <stdio.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The advice for a device this user may not open, read from the device itself: the group that
// may use it, when the group's bits would allow it, else the device's mode.
void PermissionAdvice(const struct stat& info, char* szText, size_t cchText) {
    const struct group* pGroup = getgrgid(info.st_gid);
    bool bGroupMay = (info.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    if (bGroupMay && pGroup != nullptr) {
        snprintf(szText, cchText, "join the group \"%s\"", pGroup->gr_name);
    } else {
        snprintf(szText, cchText, "mode %04o", static_cast<unsigned>(info.st_mode & 07777));
    }
}

void NoPermission(const struct stat& info, char* szText, size_t cchText) {
    char szAdvice[96];
    PermissionAdvice(info, szAdvice, sizeof szAdvice);
    snprintf(szText, cchText, "terminal device, no permission (%s)", szAdvice);
}

struct FailureReason {
    int nErrno;
    const char* szReason;
};
const FailureReason kFailureReasons[] = {
    {ENOENT, "no such device"},      {EBUSY, "in use by another program"},
    {ENOTTY, "not a serial device"}, {ENODEV, "no such port"},
    {ENXIO, "no such port"},         {ENAMETOOLONG, "the device path it maps to is too long"},
};

}  // namespace

void DescribePortFailure(const char* szPath, int nErrno, char* szReason, size_t cchReason) {
    struct stat info;
    if ((nErrno == EACCES || nErrno == EPERM) && stat(szPath, &info) == 0) {
        char szAdvice[96];
        PermissionAdvice(info, szAdvice, sizeof szAdvice);
        snprintf(szReason, cchReason, "permission denied (%s)", szAdvice);
        return;
    }
    if (nErrno == ENOENT && lstat(szPath, &info) == 0) {
        snprintf(szReason, cchReason, "%s", "a link to nowhere");
        return;
    }
    const char* szText = strerror(nErrno);
    for (const FailureReason& reason : kFailureReasons) {
        szText = reason.nErrno == nErrno ? reason.szReason : szText;
    }
    snprintf(szReason, cchReason, "%s", szText);
}

bool CheckPortDevice(const char* szPath, char* szText, size_t cchText) {
    struct stat info;
    if (szPath == nullptr || szPath[0] == '\0') {
        snprintf(szText, cchText, "%s", "no device");
        return false;
    }
    if (stat(szPath, &info) != 0) {
        bool bDangling = lstat(szPath, &info) == 0;
        snprintf(szText, cchText, "%s", bDangling ? "a link to nowhere" : "does not exist");
        return false;
    }
    if (!S_ISCHR(info.st_mode)) {
        snprintf(szText, cchText, "%s", "not a terminal device");
        return false;
    }
    if (access(szPath, R_OK | W_OK) != 0) {
        NoPermission(info, szText, cchText);
        return false;
    }
    // Read only, not exclusive, no controlling terminal: the holder of the port, if any, is
    // not disturbed, and nothing of the line is changed.
    int fd = open(szPath, O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == EBUSY) {
            snprintf(szText, cchText, "%s", "terminal device, busy (held by another program)");
        } else {
            snprintf(szText, cchText, "terminal device, cannot be opened: %s", strerror(errno));
        }
        return false;
    }
    bool bTerminal = isatty(fd) != 0;
    bool bLocked = flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    close(fd);
    if (!bTerminal) {
        snprintf(szText, cchText, "%s", "not a terminal device");
        return false;
    }
    if (bLocked) {
        snprintf(szText, cchText, "%s", "terminal device, busy (held by another program)");
        return false;
    }
    snprintf(szText, cchText, "%s", "terminal device, free");
    return true;
}
