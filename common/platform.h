// The table of seam implementations in use: the platform's own, or the test doubles.
#ifndef ARMLINK_COMMON_PLATFORM_H
#define ARMLINK_COMMON_PLATFORM_H

#include <cstdint>

#include "common/clock.h"
#include "common/threads.h"

class SerialBus;
class SettingsBackend;

// Cuts the file at szPath back to its first nSize bytes: a log entry that did not reach the
// file whole is taken back, so the log never ends inside a line. A file that is not longer is
// left as it is (never lengthened), and so is anything that is not a plain file (a device).
// True when the file holds no more than nSize bytes afterwards.
typedef bool (*CutFileProc)(const char* szPath, int64_t nSize);

// The platform's main (or a test) fills it before start-up.
struct Platform {
    Clock* pClock;
    ThreadApi* pThreads;
    SerialBus* pBus;
    SettingsBackend* pSettings;
    CutFileProc pfnCutFile;  // none: an entry that failed keeps what reached the file
};

extern Platform g_Platform;

#endif
