// The log file "ErrorLog.zlg": append-only entries of fixed line forms, lines ending CR LF.
#include "workers/log_file.h"

#include <cerrno>
#include <cfloat>
#include <cstring>

#include "common/platform.h"
#include "serial/exchange.h"

namespace {

// Room for the longest line: the identity form with two tokens of 271 characters.
constexpr size_t kLineSize = 1024;

// A word as "%08X" takes it, the same on every platform.
unsigned Hex(uint32_t dwWord) {
    return static_cast<unsigned>(dwWord);
}

bool Fail(LogFile* pLog, const char* szStep, int nError) {
    if (pLog->nError == 0) {
        pLog->nError = nError != 0 ? nError : EIO;
        pLog->szStep = szStep;
    }
    return false;
}

// Appends the entry whole to the open file, on a line of its own, and closes the file; the
// errno of the write or close that failed, 0 when the entry arrived. Where the entry begins is
// measured under the log's lock, so an entry that another run appended since the open is kept,
// and a part of this entry that did arrive is cut off back to that point, no further.
int AppendWhole(FILE* pFile, const char* szPath, bool bReadable, const char* pEntry,
                size_t nEntry) {
    void* hLock = g_Platform.pfnLockLog != nullptr ? g_Platform.pfnLockLog(szPath) : nullptr;
    // A file cut short or edited by hand may end inside a line; the new entry's stamp must not
    // be glued onto it, or the old entry would swallow the new records.
    bool bNewLine = false;
    if (bReadable && fseek(pFile, -1, SEEK_END) == 0) {
        int c = fgetc(pFile);
        bNewLine = c != EOF && c != '\n';
    }
    // Positioned again between reading and writing, as an update stream asks.
    int64_t nSizeBefore = fseek(pFile, 0, SEEK_END) == 0 ? ftell(pFile) : -1;
    clearerr(pFile);
    int nError = 0;
    errno = 0;
    if ((bNewLine && fwrite("\r\n", 1, 2, pFile) != 2) ||
        fwrite(pEntry, 1, nEntry, pFile) != nEntry || fflush(pFile) != 0) {
        nError = errno != 0 ? errno : EIO;
    }
    if (fclose(pFile) != 0 && nError == 0) {
        nError = errno != 0 ? errno : EIO;
    }
    // A full disk takes part of the entry before the write fails: what did arrive is taken
    // back, so the log neither ends inside a line nor holds half an entry.
    if (nError != 0 && nSizeBefore >= 0 && g_Platform.pfnCutFile != nullptr) {
        g_Platform.pfnCutFile(szPath, nSizeBefore);
    }
    if (hLock != nullptr && g_Platform.pfnUnlockLog != nullptr) {
        g_Platform.pfnUnlockLog(hLock);
    }
    return nError;
}

void RemoveIfEmpty(const char* szPath) {
    FILE* pFile = fopen(szPath, "rb");
    if (pFile == nullptr) {
        return;
    }
    bool bEmpty = fgetc(pFile) == EOF;
    fclose(pFile);
    if (bEmpty) {
        remove(szPath);
    }
}

size_t MeasureLargestEntry() {
    LogFile scratch;
    memset(&scratch, 0, sizeof scratch);
    const LocalTime time = {8099, 12, 31, 23, 59, 59};
    ArmIdentity identity;
    memset(&identity, 'W', sizeof identity);
    identity.szArm[kTokenSize - 1] = '\0';
    identity.szCalibrated[kTokenSize - 1] = '\0';
    identity.fVersion = -FLT_MAX;
    ErrorRecord record;
    memset(&record, 0xFF, sizeof record);
    StatsRecord stats;
    memset(&stats, 0xFF, sizeof stats);
    WriteStampForm(&scratch, kStampByStats, time);
    WriteIdentityForm(&scratch, identity);
    for (int n = 0; n < kErrorRecordRequests; ++n) {
        WriteErrorForm(&scratch, record);
    }
    WriteCountersForm(&scratch, stats);
    return scratch.nEntry + 2;  // and the line end before a stamp
}

}  // namespace

bool OpenLogFile(const char* szPath, LogFile* pLog) {
    pLog->szPath = szPath;
    pLog->nError = 0;
    pLog->szStep = "";
    pLog->bWritten = false;
    pLog->nEntry = 0;
    pLog->szEntry[0] = '\0';
    pLog->szKeptPath[0] = '\0';
    size_t nLargest = LargestEntrySize();
    // Binary append: the line ends are written as CR LF by WriteLog itself, the same bytes on
    // every platform. Opened for reading too, to see how the file ends.
    pLog->pFile = fopen(szPath, "a+b");
    pLog->bReadable = pLog->pFile != nullptr;
    if (!pLog->bReadable && errno == EACCES) {
        pLog->pFile = fopen(szPath, "ab");  // a file that may be appended to but not read
    }
    if (pLog->pFile == nullptr) {
        return Fail(pLog, "open", errno);
    }
    // The entry is in memory already and goes out in one write.
    setvbuf(pLog->pFile, nullptr, _IONBF, 0);
    // The arm forgets a record once it has sent it: a log that cannot take the entry is found
    // out now, before anything is read from the arm.
    int64_t nSize = fseek(pLog->pFile, 0, SEEK_END) == 0 ? ftell(pLog->pFile) : 0;
    int nError = 0;
    if (g_Platform.pfnLogRoom != nullptr &&
        !g_Platform.pfnLogRoom(szPath, nSize < 0 ? 0 : nSize, static_cast<int64_t>(nLargest),
                               &nError)) {
        fclose(pLog->pFile);
        pLog->pFile = nullptr;
        return Fail(pLog, "write", nError);
    }
    return true;
}

bool CloseLogFile(LogFile* pLog) {
    FILE* pFile = pLog->pFile;
    if (pFile == nullptr) {
        return false;
    }
    pLog->pFile = nullptr;
    // An entry that stopped short in memory is not appended; it is kept elsewhere whole as far
    // as it goes.
    if (!pLog->bWritten || pLog->nError != 0) {
        if (fclose(pFile) != 0) {
            Fail(pLog, "write", errno);
        }
        return pLog->nError == 0;
    }
    int nError = AppendWhole(pFile, pLog->szPath, pLog->bReadable, pLog->szEntry, pLog->nEntry);
    if (nError != 0) {
        Fail(pLog, "write", nError);
    }
    return pLog->nError == 0;
}

bool WriteLog(LogFile* pLog, const char* szText) {
    if (pLog->nError != 0) {
        return false;
    }
    pLog->bWritten = true;
    for (const char* p = szText; *p != '\0'; ++p) {
        // One byte is left for the terminator, so the entry can be handed on as text.
        if (pLog->nEntry + 3 > sizeof pLog->szEntry) {
            return Fail(pLog, "write", ENOSPC);
        }
        if (*p == '\n') {
            pLog->szEntry[pLog->nEntry++] = '\r';
        }
        pLog->szEntry[pLog->nEntry++] = *p;
    }
    pLog->szEntry[pLog->nEntry] = '\0';
    return true;
}

size_t LargestEntrySize() {
    static const size_t nLargest = MeasureLargestEntry();
    return nLargest;
}

void KeepUnloggedEntry(LogFile* pLog) {
    if (pLog->nEntry == 0) {
        return;
    }
    char szDir[kPathSize];
    if (g_Platform.pfnStateDir != nullptr && g_Platform.pfnStateDir(szDir, sizeof szDir)) {
        LocalTime t;
        g_Platform.pClock->GetLocalTime(&t);
        char szPath[kPathSize];
        int nLength =
            snprintf(szPath, sizeof szPath, "%sErrorLog-unsaved-%04d%02d%02d-%02d%02d%02d.zlg",
                     szDir, t.nYear + 1900, t.nMonth, t.nDay, t.nHour, t.nMinute, t.nSecond);
        // Two entries kept in the same second follow one another in the same file.
        FILE* pFile = nLength > 0 && static_cast<size_t>(nLength) < sizeof szPath
                          ? fopen(szPath, "a+b")
                          : nullptr;
        if (pFile != nullptr) {
            setvbuf(pFile, nullptr, _IONBF, 0);
            if (AppendWhole(pFile, szPath, true, pLog->szEntry, pLog->nEntry) == 0) {
                snprintf(pLog->szKeptPath, sizeof pLog->szKeptPath, "%s", szPath);
                return;
            }
            RemoveIfEmpty(szPath);  // made for this entry, and holding nothing
        }
    }
    // Nowhere on disk to keep it: the technician is shown the entry, to copy it by hand.
    DialogSurface* pDialog = g_App.hDialog.load();
    if (pDialog != nullptr) {
        pDialog->ShowUnloggedEntry(pLog->szEntry);
    }
}

RunOutcome LogFailureOutcome(const LogFile* pLog, char* szDetail, size_t cchDetail) {
    if (pLog->szKeptPath[0] != '\0') {
        snprintf(szDetail, cchDetail, "%s", pLog->szKeptPath);
        return kOutcomeLogKept;
    }
    DescribeLogFailure(pLog, pLog->szPath, szDetail, cchDetail);
    return kOutcomeLogNotWritten;
}

void ReportLogFailure(const LogFile* pLog) {
    char szDetail[kPathSize + 160];
    RunOutcome outcome = LogFailureOutcome(pLog, szDetail, sizeof szDetail);
    ReportRunOutcome(outcome, szDetail);
}

const char* LogFileError(const LogFile* pLog) {
    return pLog->nError != 0 ? strerror(pLog->nError) : "";
}

void DescribeLogFailure(const LogFile* pLog, const char* szPath, char* szText, size_t cchText) {
    snprintf(szText, cchText, "cannot %s %s: %s", pLog->szStep, szPath, LogFileError(pLog));
}

bool WriteStampForm(LogFile* pLog, StampBy by, const LocalTime& t) {
    char szLine[kLineSize];
    if (by == kStampByLog) {
        snprintf(szLine, sizeof szLine,
                 "STAMP: BY: Error Log, DATE: %02d-%02d-%02d, TIME: %02d:%02d:%02d", t.nMonth,
                 t.nDay, t.nYear, t.nHour, t.nMinute, t.nSecond);
    } else {
        snprintf(szLine, sizeof szLine,
                 "STAMP: BY: Error Stat, DATE: %02d-%02d-%02d, TIME: %02d:%02d:%02d", t.nMonth,
                 t.nDay, t.nYear, t.nHour, t.nMinute, t.nSecond);
    }
    return WriteLog(pLog, szLine);
}

bool WriteIdentityForm(LogFile* pLog, const ArmIdentity& identity) {
    char szLine[kLineSize];
    snprintf(szLine, sizeof szLine, ", ARM: %s, CALIBRATED: %s, VERSION: %3.2f\n", identity.szArm,
             identity.szCalibrated, static_cast<double>(identity.fVersion));
    return WriteLog(pLog, szLine);
}

bool WriteBareLineEnd(LogFile* pLog) {
    return WriteLog(pLog, "\n");
}

bool WriteOldFirmwareForm(LogFile* pLog) {
    return WriteLog(pLog, "VERSION OF FIRMWARE DOES NOT SUPPORT EXTENDED ERROR REPORTING:\n");
}

bool WriteErrorForm(LogFile* pLog, const ErrorRecord& r) {
    char szLine[kLineSize];
    snprintf(szLine, sizeof szLine, "ERROR: %08X %08X %08X %08X %08X %08X %08X\n", Hex(r.dwWord0),
             Hex(r.dwWord1), Hex(r.dwWord2), Hex(r.dwWord3), Hex(r.dwWord4), Hex(r.dwWord5),
             Hex(r.dwWord6));
    return WriteLog(pLog, szLine);
}

bool WriteCountersForm(LogFile* pLog, const StatsRecord& stats) {
    uint32_t dw[kStatsCounters];
    StatsCounters(stats, dw);
    char szLine[kLineSize];
    snprintf(szLine, sizeof szLine, "STATS: %08X %08X %08X %08X %08X %08X %08X %08X %08X\n",
             Hex(dw[0]), Hex(dw[1]), Hex(dw[2]), Hex(dw[3]), Hex(dw[4]), Hex(dw[5]), Hex(dw[6]),
             Hex(dw[7]), Hex(dw[8]));
    return WriteLog(pLog, szLine);
}
