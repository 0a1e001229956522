// The log file "ErrorLog.zlg": append-only entries of fixed line forms, lines ending CR LF.
#include "workers/log_file.h"

#include <cerrno>
#include <cstring>
#include <mutex>

namespace {

std::mutex g_ErrorLock;
char g_szLastError[1024];

void KeepError(const char* szWhat, const char* szPath, int nErrno) {
    std::lock_guard<std::mutex> lock(g_ErrorLock);
    snprintf(g_szLastError, sizeof g_szLastError, "%s %s: %s", szWhat, szPath, strerror(nErrno));
}

// Room for the longest line: the identity form with two tokens of 271 characters.
constexpr size_t kLineSize = 1024;

}  // namespace

const char* LastLogFileError() {
    std::lock_guard<std::mutex> lock(g_ErrorLock);
    return g_szLastError;
}

bool OpenLogFile(const char* szPath, LogFile* pLog) {
    pLog->bWriteFailed = false;
    // Binary append: the line ends are written as CR LF by WriteLog itself, the same bytes on
    // every platform.
    pLog->pFile = fopen(szPath, "ab");
    if (pLog->pFile == nullptr) {
        KeepError("cannot open", szPath, errno);
        return false;
    }
    return true;
}

bool CloseLogFile(LogFile* pLog) {
    if (pLog->pFile == nullptr) {
        return false;
    }
    bool bOk = fclose(pLog->pFile) == 0 && !pLog->bWriteFailed;
    pLog->pFile = nullptr;
    return bOk;
}

void WriteLog(LogFile* pLog, const char* szText) {
    if (pLog->pFile == nullptr) {
        return;
    }
    for (const char* p = szText; *p != '\0'; ++p) {
        int nResult = *p == '\n' ? fputs("\r\n", pLog->pFile) : fputc(*p, pLog->pFile);
        if (nResult == EOF) {
            pLog->bWriteFailed = true;
            return;
        }
    }
}

void WriteStampForm(LogFile* pLog, StampBy by, const LocalTime& t) {
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
    WriteLog(pLog, szLine);
}

void WriteIdentityForm(LogFile* pLog, const ArmIdentity& identity) {
    char szLine[kLineSize];
    snprintf(szLine, sizeof szLine, ", ARM: %s, CALIBRATED: %s, VERSION: %3.2f\n", identity.szArm,
             identity.szCalibrated, static_cast<double>(identity.fVersion));
    WriteLog(pLog, szLine);
}

void WriteBareLineEnd(LogFile* pLog) {
    WriteLog(pLog, "\n");
}

void WriteOldFirmwareForm(LogFile* pLog) {
    WriteLog(pLog, "VERSION OF FIRMWARE DOES NOT SUPPORT EXTENDED ERROR REPORTING:\n");
}

void WriteErrorForm(LogFile* pLog, const ErrorRecord& r) {
    char szLine[kLineSize];
    snprintf(szLine, sizeof szLine, "ERROR: %08X %08X %08X %08X %08X %08X %08X\n",
             static_cast<unsigned>(r.dwWord0), static_cast<unsigned>(r.dwWord1),
             static_cast<unsigned>(r.dwWord2), static_cast<unsigned>(r.dwWord3),
             static_cast<unsigned>(r.dwWord4), static_cast<unsigned>(r.dwWord5),
             static_cast<unsigned>(r.dwWord6));
    WriteLog(pLog, szLine);
}

void WriteCountersForm(LogFile* pLog, const StatsRecord& s) {
    char szLine[kLineSize];
    snprintf(szLine, sizeof szLine, "STATS: %08X %08X %08X %08X %08X %08X %08X %08X %08X\n",
             static_cast<unsigned>(s.nCaptures), static_cast<unsigned>(s.nAsyncCaptures),
             static_cast<unsigned>(s.nCrcErrors), static_cast<unsigned>(s.nStallCount),
             static_cast<unsigned>(s.nRetryCount), static_cast<unsigned>(s.nBounces),
             static_cast<unsigned>(s.nLineErrors), static_cast<unsigned>(s.nPointPeriod),
             static_cast<unsigned>(s.nAddressErrors));
    WriteLog(pLog, szLine);
}
