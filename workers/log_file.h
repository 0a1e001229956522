// The log file "ErrorLog.zlg" and its line forms, shared by the log and statistics workers.
#ifndef ARMLINK_WORKERS_LOG_FILE_H
#define ARMLINK_WORKERS_LOG_FILE_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "common/app_state.h"
#include "common/clock.h"
#include "protocol/arm_protocol.h"

// A whole entry (a stamp line of at most about 650 bytes, seven error lines, the counters) fits.
constexpr size_t kEntryBufferSize = 16384;

// One entry on its way to the log. Every "\n" written is stored as CR LF on every platform, so
// a log moves between machines unchanged. The entry is built here in memory while the arm is
// read, and reaches the file in one piece as the file is closed, under the log's lock: an entry
// cut short by the end of the process leaves no half line behind, and an entry whose write or
// close failed is cut off again (a full disk may take part of it) and kept elsewhere.
struct LogFile {
    FILE* pFile;
    const char* szPath;  // the file, as the caller keeps it while the entry is written
    bool bReadable;      // the file opened for reading too: its last byte can be seen
    int nError;          // the errno of the first open, write or close that failed; 0 if none
    const char* szStep;  // what failed: "open" or "write" (the close writes the entry out)
    bool bWritten;       // something of this entry has been written
    size_t nEntry;       // the bytes of the entry so far
    char szEntry[kEntryBufferSize];  // the entry as the log is to hold it (CR LF lines)
    char szKeptPath[kPathSize];      // where the entry was kept when the log failed; "" if not
};

// Opens the log for appending, creating it when missing, and makes sure that it can take the
// largest entry (the room on its disk, a file size limit); false when it cannot, and then
// nothing must be read from the arm for the entry. szPath must stay valid until the close.
bool OpenLogFile(const char* szPath, LogFile* pLog);
// Appends the entry to the file whole, on a line of its own, and closes the file; false when
// anything of the entry did not reach the file. The file is then cut back to where the entry
// began (through the platform's pfnCutFile), so it holds the whole entry or none of it, and
// the entries of other runs are never touched.
bool CloseLogFile(LogFile* pLog);
// Writes text, storing each "\n" as CR LF. False once a write has failed: the entry stops
// there, and later writes do nothing.
bool WriteLog(LogFile* pLog, const char* szText);
// Why the open, a write or the close failed, in the system's words ("" when nothing failed).
const char* LogFileError(const LogFile* pLog);
// The failure for the technician: "cannot write <szPath>: No space left on device".
void DescribeLogFailure(const LogFile* pLog, const char* szPath, char* szText, size_t cchText);

// The most bytes one entry can add to the log: the line forms filled with their longest values,
// and the line end that may go before the stamp.
size_t LargestEntrySize();

// After a failed close: the entry that was read is written whole to a file of its own,
// "ErrorLog-unsaved-YYYYMMDD-HHMMSS.zlg" in the state directory (szKeptPath names it); when
// that fails too, it is handed to the dialog as text. An entry that holds nothing is left.
void KeepUnloggedEntry(LogFile* pLog);
// The outcome of an entry that did not reach the log: kept (the kept file's path), or not
// written (the failure), with its detail.
RunOutcome LogFailureOutcome(const LogFile* pLog, char* szDetail, size_t cchDetail);
// Reports that outcome.
void ReportLogFailure(const LogFile* pLog);

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
