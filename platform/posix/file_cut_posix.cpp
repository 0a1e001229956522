// The log file's side of the platform: cutting a failed entry back, the room an entry needs on
// the disk and under the file size limit, and the lock that keeps two runs' entries apart.
#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdint>

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

// Only a plain file has a disk and a size limit to ask; a device's own write must tell.
bool PosixLogRoom(const char* szPath, int64_t nSize, int64_t nBytes, int* pnError) {
    struct stat info;
    if (stat(szPath, &info) != 0 || !S_ISREG(info.st_mode) || nBytes < 0) {
        return true;
    }
    // The entry may begin a new block of the file system.
    struct statvfs fs;
    if (statvfs(szPath, &fs) == 0 && fs.f_frsize > 0 &&
        static_cast<uint64_t>(fs.f_bavail) < static_cast<uint64_t>(nBytes) / fs.f_frsize + 1) {
        *pnError = ENOSPC;
        return false;
    }
    struct rlimit limit;
    if (getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        static_cast<uint64_t>(nSize + nBytes) > static_cast<uint64_t>(limit.rlim_cur)) {
        *pnError = EFBIG;
        return false;
    }
    return true;
}

// flock belongs to this opening of the file alone: the entry's own descriptor and the cut's
// write beside it, and closing them does not let the lock go.
void* PosixLockLog(const char* szPath) {
    int fd = open(szPath, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        fd = open(szPath, O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);  // a write-only log
    }
    if (fd < 0) {
        return nullptr;
    }
    int nResult;
    do {
        nResult = flock(fd, LOCK_EX);
    } while (nResult != 0 && errno == EINTR);
    if (nResult != 0) {
        (void)close(fd);
        return nullptr;
    }
    // The descriptor plus one, so that descriptor 0 is not mistaken for no lock.
    return reinterpret_cast<void*>(static_cast<intptr_t>(fd) + 1);
}

void PosixUnlockLog(void* hLock) {
    int fd = static_cast<int>(reinterpret_cast<intptr_t>(hLock) - 1);
    (void)flock(fd, LOCK_UN);
    (void)close(fd);
}
