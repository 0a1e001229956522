// The log file's place: beside the executable, or the user's state directory.
#include "platform/posix/log_location.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "shell/startup.h"

namespace {

// Makes every missing directory of path, private to the user; true when path is a directory.
bool MakeDirectories(const std::string& path) {
    for (size_t n = path.find('/', 1); n != std::string::npos; n = path.find('/', n + 1)) {
        if (mkdir(path.substr(0, n).c_str(), 0700) != 0 && errno != EEXIST) {
            return false;
        }
    }
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        return false;
    }
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Whether the log belongs in exeDir: a directory where a file can be made, or an existing log
// there that opens for appending. Asking the file system itself (rather than the mode bits)
// also answers for root, read-only mounts and directories like /proc. A log there that cannot
// be opened although the directory may be written stays there, so that the run names the
// fault instead of writing the entry somewhere the technician does not look.
bool LogWritableIn(const std::string& exeDir, bool bMake) {
    // An installed program's directory is the system's, whoever runs it (sudo included).
    for (const char* szSystem : {"/usr/", "/bin/", "/sbin/", "/opt/"}) {
        if (exeDir.compare(0, strlen(szSystem), szSystem) == 0) {
            return false;
        }
    }
    if (!bMake) {
        return access(exeDir.c_str(), W_OK | X_OK) == 0 ||
               access((exeDir + "ErrorLog.zlg").c_str(), W_OK) == 0;
    }
    // The log that is there already answers first: it is the usual case, and opening it costs
    // less than making and removing a file. Without waiting: a pipe with no reader, say, does
    // not answer, and the probe decides.
    std::string log = exeDir + "ErrorLog.zlg";
    int fd = open(log.c_str(), O_WRONLY | O_APPEND | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd >= 0) {
        close(fd);
        return true;
    }
    std::string probe = exeDir + ".ErrorLog.zlg." + std::to_string(getpid());
    fd = open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
        close(fd);
        unlink(probe.c_str());
        return true;
    }
    return false;
}

// ${XDG_STATE_HOME:-$HOME/.local/state}/armlink, made when missing with bMake; "" when it cannot
// be formed (or made). A relative XDG_STATE_HOME is to be ignored, as the XDG rules say.
std::string StateDirectory(bool bMake) {
    std::string stateDir;
    const char* szState = getenv("XDG_STATE_HOME");
    const char* szHome = getenv("HOME");
    if (szState != nullptr && szState[0] == '/') {
        stateDir = szState;
    } else if (szHome != nullptr && szHome[0] == '/') {
        stateDir = std::string(szHome) + "/.local/state";
    } else {
        return std::string();
    }
    std::string dir = stateDir + "/armlink";
    return !bMake || MakeDirectories(dir) ? dir : std::string();
}

}  // namespace

bool PosixStateDir(char* szDir, size_t cchDir) {
    std::string dir = StateDirectory(true);
    if (dir.empty() || dir.size() + 1 >= cchDir) {
        return false;
    }
    snprintf(szDir, cchDir, "%s/", dir.c_str());
    return true;
}

void ChooseLogPath(const char* szExeDir, char* szLogPath, size_t cchLogPath, bool bMake) {
    FormatLogPath(szExeDir, szLogPath, cchLogPath);
    std::string exeDir = szExeDir[0] != '\0' ? szExeDir : "./";
    if (LogWritableIn(exeDir, bMake)) {
        return;
    }
    std::string dir = StateDirectory(bMake);
    if (dir.empty()) {
        return;
    }
    std::string path = dir + "/ErrorLog.zlg";
    if (path.size() < cchLogPath) {
        snprintf(szLogPath, cchLogPath, "%s", path.c_str());
    }
}
