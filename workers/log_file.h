// The log file "ErrorLog.zlg" and its line forms, shared by the log and statistics workers.
#ifndef ARMLINK_WORKERS_LOG_FILE_H
#define ARMLINK_WORKERS_LOG_FILE_H

#include <cstdint>
#include <cstdio>

#include "common/clock.h"
#include "protocol/arm_protocol.h"

// One open log file. Every "\n" written is stored as CR LF on every platform, so a log moves
// between machines unchanged. The entry reaches the file in one piece when the file is closed,
// so an entry cut short by the end of the process leaves no half line behind; an entry whose
// write or close failed is cut off again (a full disk may take part of it).
struct LogFile {
    FILE* pFile;
    const char* szPath;   // the file, as the caller keeps it while the entry is written
    int64_t nSizeBefore;  // the file's size before the entry; -1 when it could not be told
    int nError;           // the errno of the first open, write or close that failed; 0 if none
    const char* szStep;   // what failed: "open" or "write" (the close writes the entry out)
    bool bStartNewLine;   // the file ends inside a line: the entry begins with a line end
    bool bWritten;        // something of this entry has been written
};

// Opens the log for appending, creating it when missing; false when it cannot be opened.
// szPath must stay valid until the file is closed.
bool OpenLogFile(const char* szPath, LogFile* pLog);
// Closes the file; false when anything of the entry did not reach the file. The file is then
// cut back to its size before the entry (through the platform's pfnCutFile), so it holds the
// whole entry or none of it.
bool CloseLogFile(LogFile* pLog);
// Writes text, storing each "\n" as CR LF. False once a write has failed: the entry stops
// there, and later writes do nothing.
bool WriteLog(LogFile* pLog, const char* szText);
// Why the open, a write or the close failed, in the system's words ("" when nothing failed).
const char* LogFileError(const LogFile* pLog);
// The failure for the technician: "cannot write <szPath>: No space left on device".
void DescribeLogFailure(const LogFile* pLog, const char* szPath, char* szText, size_t cchText);

// Who writes the stamp.
enum StampBy { kStampByLog, kStampByStats };

// The line forms; each returns WriteLog's result. The stamp has no line end of its own: the
// identity form or the bare line end completes it.
bool WriteStampForm(LogFile* pLog, StampBy by, const LocalTime& time);
bool WriteIdentityForm(LogFile* pLog, const ArmIdentity& identity);
bool WriteBareLineEnd(LogFile* pLog);
bool WriteOldFirmwareForm(LogFile* pLog);
bool WriteErrorForm(LogFile* pLog, const ErrorRecord& record);
bool WriteCountersForm(LogFile* pLog, const StatsRecord& stats);

#endif
