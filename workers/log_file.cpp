// The log file "ErrorLog.zlg": append-only entries of fixed line forms, lines ending CR LF.
#include "workers/log_file.h"

#include <cerrno>
#include <cstring>

#include "common/platform.h"

namespace {

// Room for the longest line: the identity form with two tokens of 271 characters.
constexpr size_t kLineSize = 1024;
// A whole entry (a stamp line of at most about 600 bytes, seven error lines, the counters)
// fits, so the buffer is written once, at the close.
constexpr size_t kEntryBufferSize = 16384;

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

}  // namespace

bool OpenLogFile(const char* szPath, LogFile* pLog) {
    pLog->szPath = szPath;
    pLog->nSizeBefore = -1;
    pLog->nError = 0;
    pLog->szStep = "";
    pLog->bStartNewLine = false;
    pLog->bWritten = false;
    // Binary append: the line ends are written as CR LF by WriteLog itself, the same bytes on
    // every platform. Opened for reading too, to see how the file ends.
    pLog->pFile = fopen(szPath, "a+b");
    bool bReadable = pLog->pFile != nullptr;
    if (!bReadable && errno == EACCES) {
        pLog->pFile = fopen(szPath, "ab");  // a file that may be appended to but not read
    }
    if (pLog->pFile == nullptr) {
        return Fail(pLog, "open", errno);
    }
    setvbuf(pLog->pFile, nullptr, _IOFBF, kEntryBufferSize);
    // A file cut short or edited by hand may end inside a line; the new entry's stamp must not
    // be glued onto it, or the old entry would swallow the new records.
    if (bReadable && fseek(pLog->pFile, -1, SEEK_END) == 0) {
        int c = fgetc(pLog->pFile);
        pLog->bStartNewLine = c != EOF && c != '\n';
    }
    // Positioned again between reading and writing, as an update stream asks; the end is
    // where the entry begins, and where a failed entry is cut back to.
    if (fseek(pLog->pFile, 0, SEEK_END) == 0) {
        pLog->nSizeBefore = ftell(pLog->pFile);
    }
    clearerr(pLog->pFile);
    return true;
}

bool CloseLogFile(LogFile* pLog) {
    if (pLog->pFile == nullptr) {
        return false;
    }
    if (fclose(pLog->pFile) != 0) {
        Fail(pLog, "write", errno);  // the entry is written out as the file closes
    }
    pLog->pFile = nullptr;
    // A full disk takes part of the buffer before the write fails: what did arrive is taken
    // back, so the log neither ends inside a line nor holds half an entry. Another program
    // appending at this very moment could lose its bytes too; two writers of one log are not
    // a case the log is made for.
    if (pLog->nError != 0 && pLog->bWritten && pLog->nSizeBefore >= 0 &&
        g_Platform.pfnCutFile != nullptr) {
        g_Platform.pfnCutFile(pLog->szPath, pLog->nSizeBefore);
    }
    return pLog->nError == 0;
}

bool WriteLog(LogFile* pLog, const char* szText) {
    if (pLog->pFile == nullptr || pLog->nError != 0) {
        return false;
    }
    bool bFirst = !pLog->bWritten;
    pLog->bWritten = true;
    if (pLog->bStartNewLine && bFirst && fputs("\r\n", pLog->pFile) == EOF) {
        return Fail(pLog, "write", errno);
    }
    for (const char* p = szText; *p != '\0'; ++p) {
        int nResult = *p == '\n' ? fputs("\r\n", pLog->pFile) : fputc(*p, pLog->pFile);
        if (nResult == EOF) {
            return Fail(pLog, "write", errno);
        }
    }
    return true;
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
