// The log file "ErrorLog.zlg" and its line forms, shared by the log and statistics workers.
#ifndef ARMLINK_WORKERS_LOG_FILE_H
#define ARMLINK_WORKERS_LOG_FILE_H

#include <cstdio>

#include "protocol/arm_protocol.h"
#include "common/platform.h"

// One open log file. Every "\n" written is stored as CR LF on every platform, so a log moves
// between machines unchanged.
struct LogFile {
    FILE* pFile;
    bool bWriteFailed;  // a write or the close did not reach the file in full
};

// Opens the log for appending, creating it when missing; false when it cannot be opened (the
// reason is kept for LastLogFileError).
bool OpenLogFile(const char* szPath, LogFile* pLog);
// Closes the file; false when the entry did not reach the file in full.
bool CloseLogFile(LogFile* pLog);
// Writes text, storing each "\n" as CR LF.
void WriteLog(LogFile* pLog, const char* szText);

// Who writes the stamp.
enum StampBy { kStampByLog, kStampByStats };

// The line forms. The stamp has no line end of its own: the identity form or the bare line
// end completes it.
void WriteStampForm(LogFile* pLog, StampBy by, const LocalTime& time);
void WriteIdentityForm(LogFile* pLog, const ArmIdentity& identity);
void WriteBareLineEnd(LogFile* pLog);
void WriteOldFirmwareForm(LogFile* pLog);
void WriteErrorForm(LogFile* pLog, const ErrorRecord& record);
void WriteCountersForm(LogFile* pLog, const StatsRecord& stats);

// The reason the last open or close of a log file failed ("" when none has), for the front
// ends that can say it.
const char* LastLogFileError();

#endif
