// The extended display's report file: opened for appending without waiting on a FIFO or a
// device, and tried before a Check that is to be saved.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/posix/posix_platform.h"

namespace {

const char kNotPlainFile[] = "not a plain file";

void Say(char* szWhy, size_t cchWhy, const char* szText) {
    if (szWhy != nullptr && cchWhy > 0) {
        snprintf(szWhy, cchWhy, "%s", szText);
    }
}

// Opens szPath for appending; a FIFO without a reader would block the open, a device would
// take the report somewhere no file keeps it: both are refused. O_NONBLOCK keeps the open from
// waiting, fstat then tells what was opened. -1 with szWhy said when it does not do.
int OpenPlainForAppend(const char* szPath, int nCreate, char* szWhy, size_t cchWhy) {
    int fd = open(szPath, O_WRONLY | O_APPEND | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | nCreate, 0666);
    if (fd < 0) {
        // ENXIO: a FIFO that nobody reads.
        int nError = errno;
        Say(szWhy, cchWhy, nError == ENXIO ? kNotPlainFile : strerror(nError));
        errno = nError;
        return -1;
    }
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        (void)close(fd);
        Say(szWhy, cchWhy, kNotPlainFile);
        errno = EINVAL;
        return -1;
    }
    (void)fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

}  // namespace

FILE* PosixOpenReport(const char* szPath, char* szWhy, size_t cchWhy) {
    int fd = OpenPlainForAppend(szPath, O_CREAT, szWhy, cchWhy);
    if (fd < 0) {
        return nullptr;
    }
    FILE* pFile = fdopen(fd, "a");
    if (pFile == nullptr) {
        Say(szWhy, cchWhy, strerror(errno));
        (void)close(fd);
    }
    return pFile;
}

bool CheckReportFile(const char* szPath, char* szWhy, size_t cchWhy) {
    int fd = OpenPlainForAppend(szPath, 0, szWhy, cchWhy);
    if (fd >= 0) {
        (void)close(fd);
        return true;
    }
    if (errno != ENOENT) {
        return false;
    }
    // Not there yet: the folder must exist and take a new file; nothing is made now.
    std::string folder = szPath;
    size_t nSlash = folder.rfind('/');
    folder = nSlash == std::string::npos ? "." : nSlash == 0 ? "/" : folder.substr(0, nSlash);
    struct stat info;
    if (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        Say(szWhy, cchWhy, strerror(ENOENT));
        return false;
    }
    if (access(folder.c_str(), W_OK | X_OK) != 0) {
        Say(szWhy, cchWhy, strerror(errno));
        return false;
    }
    return true;
}
