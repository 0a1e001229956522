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
// Whether the log at szPath, now nSize bytes long, can take nBytes more: its file system has
// the room and no file size limit of this process stands in the way. False with the reason
// as an errno value in *pnError (ENOSPC, EFBIG); true when the platform cannot tell.
typedef bool (*LogRoomProc)(const char* szPath, int64_t nSize, int64_t nBytes, int* pnError);
// Holds the log at szPath for this run alone, through an opening of its own, so that the
// entry's write and a cut back go on beside it; another run waits for it. Returns the lock to
// give back to pfnUnlockLog, or none when the file keeps no locks.
typedef void* (*LockLogProc)(const char* szPath);
typedef void (*UnlockLogProc)(void* hLock);
// The directory where an entry that the log could not take is kept, made when missing, with
// its trailing separator; false when there is none.
typedef bool (*StateDirProc)(char* szDir, size_t cchDir);

// Tells the host window, from the search worker's thread, that the search has just ended, so
// that the controller's next tick comes at once instead of up to 500 ms later.
typedef void (*SearchEndedProc)();

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
    CutFileProc pfnCutFile;  // none: an entry that failed keeps what reached the file
    LogRoomProc pfnLogRoom;  // none: the room is not known before the write
    LockLogProc pfnLockLog;  // none: no other run writes the log
    UnlockLogProc pfnUnlockLog;
    StateDirProc pfnStateDir;        // none: an unsaved entry goes to the dialog
    SearchEndedProc pfnSearchEnded;  // none: the end is seen at the next tick
    OpenReportProc pfnOpenReport;    // none: the report file is opened as fopen "at" opens it
};

extern Platform g_Platform;

#endif
