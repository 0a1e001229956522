// The portable half of start-up: the run mode from the command line, the executable's
// directory and the path of the log file beside it.
#include "shell/startup.h"

#include <cstdio>
#include <cstring>

#include "common/app_state.h"

namespace {

// The switches in the order they are tried, with the count of characters compared: the
// statistics switches are compared with their terminating zero (the text must be exactly
// "/STATS" or "/stats"), the extended switches without it (any text beginning with them).
struct RunModeSwitch {
    const char* szSwitch;
    size_t nCompared;
    int32_t nRunMode;
};

const RunModeSwitch kRunModeSwitches[] = {
    {"/STATS", 8, kRunModeStats},
    {"/stats", 8, kRunModeStats},
    {"/EXTENDED", 9, kRunModeExtended},
    {"/extended", 9, kRunModeExtended},
};

const char kLogFileName[] = "ErrorLog.zlg";

}  // namespace

int32_t SelectRunMode(const char* szCmdLine) {
    if (szCmdLine == nullptr) {
        return kRunModeLog;
    }
    for (const RunModeSwitch& entry : kRunModeSwitches) {
        if (strncmp(szCmdLine, entry.szSwitch, entry.nCompared) == 0) {
            return entry.nRunMode;
        }
    }
    return kRunModeLog;
}

void CutExeDir(const char* szExePath, char cSeparator, char* szExeDir, size_t nSize) {
    if (szExeDir == nullptr || nSize == 0) {
        return;
    }
    szExeDir[0] = '\0';
    if (szExePath == nullptr) {
        return;
    }
    // Keep the text up to and including the last separator, or the whole name when there is
    // none. A part that does not fit is not cut short: a shortened directory would name some
    // other directory, so the text stays empty and the log lands in the current directory.
    const char* pLastSeparator = strrchr(szExePath, cSeparator);
    size_t nKeep = pLastSeparator != nullptr ? static_cast<size_t>(pLastSeparator - szExePath) + 1
                                             : strlen(szExePath);
    if (nKeep >= nSize) {
        return;
    }
    memcpy(szExeDir, szExePath, nKeep);
    szExeDir[nKeep] = '\0';
}

bool FormatLogPath(const char* szExeDir, char* szLogPath, size_t nSize) {
    if (szLogPath == nullptr || nSize == 0) {
        return false;
    }
    int nLength = snprintf(szLogPath, nSize, "%sErrorLog.zlg", szExeDir != nullptr ? szExeDir : "");
    if (nLength >= 0 && static_cast<size_t>(nLength) < nSize) {
        return true;
    }
    // The directory does not leave room for the name: use the bare name, as with no directory.
    snprintf(szLogPath, nSize, "%s", kLogFileName);
    return false;
}
