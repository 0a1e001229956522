// Cutting a file back to an earlier size, for the log entry that did not reach the file whole.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/posix_platform.h"

// The file is opened once and measured and cut through that one descriptor, so the file cut is
// the file measured. A device (/dev/full) or a pipe has no length to cut back.
bool PosixCutFile(const char* szPath, int64_t nSize) {
    if (szPath == nullptr || nSize < 0) {
        return false;
    }
    int fd = open(szPath, O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    struct stat info;
    bool bDone = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    if (bDone && info.st_size > nSize) {
        int nResult;
        do {
            nResult = ftruncate(fd, static_cast<off_t>(nSize));
        } while (nResult != 0 && errno == EINTR);
        bDone = nResult == 0;
    }
    (void)close(fd);
    return bDone;
}
