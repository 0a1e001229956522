// The table of seam implementations in use: the platform's own, or the test doubles.
#ifndef ARMLINK_COMMON_PLATFORM_H
#define ARMLINK_COMMON_PLATFORM_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "common/clock.h"
#include "common/threads.h"

class SerialBus;
class SettingsBackend;

// Cuts the file at szPath back to its first nSize bytes: a log entry that did not reach the
// file whole is taken back, so the log never ends inside a line. A file that is not longer is
// left as it is (never lengthened), and so is anything that is not a plain file (a device).
// True when the file holds no more than nSize bytes afterwards.
typedef bool (*CutFileProc)(const char* szPath, int64_t nSize);

// Opens szPath for appending in text mode, as the report is saved, creating it when missing.
// Something that is not a plain file (a FIFO, a device) is refused, and nothing waits on it.
// nullptr when it does not open; szWhy then says why ("not a plain file", the system's text).
typedef FILE* (*OpenReportProc)(const char* szPath, char* szWhy, size_t cchWhy);

// The platform's main (or a test) fills it before start-up.
struct Platform {
    Clock* pClock;
    ThreadApi* pThreads;
    SerialBus* pBus;
    SettingsBackend* pSettings;
    CutFileProc pfnCutFile;        // none: an entry that failed keeps what reached the file
    OpenReportProc pfnOpenReport;  // none: the report file is opened as fopen "at" opens it
};

extern Platform g_Platform;

#endif
