// Check and Save of the extended error display: the exchanges with the arm on the user-interface
// thread, the report's blocks in their exact forms, and the saved file.
#include "shell/extended_display.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/app_state.h"
#include "protocol/arm_protocol.h"
#include "protocol/error_decoder.h"
#include "serial/serial_port.h"
#include "settings/settings_store.h"

const char kReportCutText[] = "REPORT INCOMPLETE: THE DISPLAY COULD NOT HOLD ALL OF IT";

namespace {

constexpr int kRecordRequests = 7;
constexpr int kCounterLines = 9;
constexpr uint32_t kHeaderSize = 128;    // the record header in Check
constexpr uint32_t kLineSize = 128;      // one report line in Save
constexpr uint32_t kLineMaxChars = 127;  // the most characters of a line that Save writes
constexpr uint32_t kFileNameSize = 768;  // the save path, as "LastFile" holds it
constexpr size_t kCounterLineSize = 64;

const char kRuleLine[] = "#####################################################\r\n";

// What the run has come to, for its outcome: the latest save failed (and why), the latest
// Check found the arm silent, the display had to cut the report.
bool g_bSaveFailed = false;
char g_szSaveFailure[kFileNameSize + 160] = "";
bool g_bArmSilent = false;
bool g_bReportCut = false;

DialogSurface* Dialog() {
    return g_App.hDialog.load();
}

// A failed save outweighs a silent arm, which outweighs a done piece of work.
void ReportExtendedOutcome() {
    if (g_bSaveFailed) {
        ReportRunOutcome(kOutcomeReportNotSaved, g_szSaveFailure);
    } else if (g_bArmSilent) {
        ReportRunOutcome(kOutcomeIncomplete, "the arm answered none of the Check's requests");
    } else {
        ReportRunOutcome(kOutcomeDone, "");
    }
}

// One append group; a display that could not take it whole has cut the report.
void Append(DialogSurface* pDialog, const char* const* pTexts, size_t nTexts) {
    if (!pDialog->AppendReport(pTexts, nTexts) && !g_bReportCut) {
        g_bReportCut = true;
        SetDialogItemText(kIdStatusText, kReportCutText);
    }
}

// Sends the command; when it went out whole, clears the buffer and reads one reply into it
// within the command's limit and deadline. Returns the count read, 0 when the step failed.
uint32_t Exchange(SerialDevice* port, ArmCommandId id, char* pBuffer) {
    const ArmCommand& command = kArmCommands[id];
    if (SendCommand(port, command.szText) != command.nSentBytes) {
        return 0;
    }
    memset(pBuffer, 0, kReportBufferSize);
    return ReadReply(port, pBuffer, command.nReplyLimit, command.nDeadlineMs);
}

// The eight counters print as signed 32-bit numbers, -1 for FFFFFFFF on every platform.
long Signed(uint32_t dwValue) {
    return static_cast<long>(static_cast<int32_t>(dwValue));
}

// Item 5 of the block: the two heading lines and the nine counter lines, the point rate last.
void AppendCounters(DialogSurface* pDialog, const StatsRecord& stats) {
    char aszLines[kCounterLines][kCounterLineSize];
    snprintf(aszLines[0], kCounterLineSize, "CAPTURES       : %ld     \r\n",
             Signed(stats.nCaptures));
    snprintf(aszLines[1], kCounterLineSize, "ASYNC. CAPTURES: %ld     \r\n",
             Signed(stats.nAsyncCaptures));
    snprintf(aszLines[2], kCounterLineSize, "CRC ERRORS     : %ld     \r\n",
             Signed(stats.nCrcErrors));
    snprintf(aszLines[3], kCounterLineSize, "STALL COUNT    : %ld     \r\n",
             Signed(stats.nStallCount));
    snprintf(aszLines[4], kCounterLineSize, "RETRY COUNT    : %ld     \r\n",
             Signed(stats.nRetryCount));
    snprintf(aszLines[5], kCounterLineSize, "BOUNCES > 16ms : %ld     \r\n",
             Signed(stats.nBounces));
    snprintf(aszLines[6], kCounterLineSize, "UART ERRORS    : %ld     \r\n",
             Signed(stats.nLineErrors));
    snprintf(aszLines[7], kCounterLineSize, "ADDRESS ERRORS : %ld     \r\n",
             Signed(stats.nAddressErrors));
    snprintf(aszLines[8], kCounterLineSize, "POINTS/SEC     : %6.2lf  \r\n",
             PointRate(stats.nPointPeriod));
    const char* const apTexts[] = {
        "------------------\r\n",
        "CURRENT STATS:\r\n",
        aszLines[0],
        aszLines[1],
        aszLines[2],
        aszLines[3],
        aszLines[4],
        aszLines[5],
        aszLines[6],
        aszLines[7],
        aszLines[8],
    };
    Append(pDialog, apTexts, sizeof apTexts / sizeof apTexts[0]);
}

void NoteSaveFailure(const char* szPath, const char* szWhat, int nError) {
    g_bSaveFailed = true;
    snprintf(g_szSaveFailure, sizeof g_szSaveFailure, "%s %s: %s", szWhat, szPath,
             strerror(nError));
}

}  // namespace

void ExtendedInitDialog() {
    g_bSaveFailed = false;
    g_szSaveFailure[0] = '\0';
    g_bArmSilent = false;
    g_bReportCut = false;
    EnableDialogItem(kIdButton, false);
    EnableDialogItem(kIdSaveButton, false);
    SetDialogItemText(kIdStatusText, "Searching");
}

void ExtendedCommand(int nId) {
    if (nId == kIdButton) {
        RunCheck();
    } else if (nId == kIdSaveButton) {
        SaveReport();
    }
}

int RunCheck() {
    DialogSurface* pDialog = Dialog();
    if (pDialog == nullptr) {
        return 0;
    }
    SerialDevice* port = g_App.hPort.load();
    char szBuffer[kReportBufferSize];
    char szHeader[kHeaderSize];
    int nAnswered = 0;

    LocalTime now;
    g_Platform.pClock->GetLocalTime(&now);
    snprintf(szHeader, sizeof szHeader, "%02d/%02d/%02d %02d:%02d:%02d\r\n", now.nMonth, now.nDay,
             now.nYear, now.nHour, now.nMinute, now.nSecond);
    const char* const apStamp[] = {kRuleLine, szHeader};
    Append(pDialog, apStamp, 2);

    // Seven requests, without a purge between them; only non-empty records take a number.
    int nRecords = 0;
    for (int nRequest = 1; nRequest <= kRecordRequests; ++nRequest) {
        char szProgress[32];
        snprintf(szProgress, sizeof szProgress, "record %d of %d", nRequest, kRecordRequests);
        ShowDialogProgress(szProgress);
        if (Exchange(port, kCmdErrorRecord, szBuffer) == 0) {
            continue;
        }
        ++nAnswered;
        ErrorRecord record;
        memset(&record, 0, sizeof record);
        if (ParseErrorRecord(szBuffer, sizeof szBuffer, &record) != kErrorRecordValues ||
            IsEmptyRecord(record)) {
            continue;
        }
        memset(szBuffer, 0, sizeof szBuffer);
        ++nRecords;
        ErrorDecoder(record, szBuffer);
        snprintf(szHeader, sizeof szHeader, "----------<%d>----------\r\n", nRecords);
        const char* const apRecord[] = {szHeader, szBuffer};
        Append(pDialog, apRecord, 2);
    }
    if (nRecords == 0) {
        const char* const apNone[] = {"No Errors Detected\r\n"};
        Append(pDialog, apNone, 1);
    }

    PurgePort(port);
    ShowDialogProgress("counters");
    if (Exchange(port, kCmdStats, szBuffer) != 0) {
        ++nAnswered;
        StatsRecord stats;
        memset(&stats, 0, sizeof stats);
        if (ParseStatsRecord(szBuffer, sizeof szBuffer, &stats) == kStatsRecordValues) {
            AppendCounters(pDialog, stats);
        }
    }

    // The read-out is closed whatever the counters step came to; the reply is not examined.
    ShowDialogProgress("closing the read-out");
    if (Exchange(port, kCmdPurge, szBuffer) != 0) {
        ++nAnswered;
    }
    ShowDialogProgress("");

    g_bArmSilent = nAnswered == 0;
    ReportExtendedOutcome();
    return nAnswered;
}

bool SaveReport() {
    DialogSurface* pDialog = Dialog();
    if (pDialog == nullptr) {
        return false;
    }
    char szFileName[kFileNameSize];
    memset(szFileName, 0, sizeof szFileName);
    SettingsStore store(kSettingsKeyPath);
    uint32_t nSize = sizeof szFileName;
    store.ReadLastFile(szFileName, &nSize);

    if (!pDialog->AskSaveFileName(szFileName, sizeof szFileName)) {
        return false;
    }
    szFileName[sizeof szFileName - 1] = '\0';
    FILE* pFile = fopen(szFileName, "at");
    if (pFile == nullptr) {
        NoteSaveFailure(szFileName, "cannot open", errno);
        pDialog->ShowMessage(szFileName, "INVALID FILE");
        ReportExtendedOutcome();
        return false;
    }
    store.WriteLastFile(szFileName);

    // Every line but the last, the empty one after the report's final line end; each cut to
    // 127 characters and ended with the platform's text line end.
    bool bWritten = true;
    uint32_t nLines = pDialog->ReportLineCount();
    for (uint32_t nLine = 0; nLine + 1 < nLines; ++nLine) {
        char szLine[kLineSize];
        memset(szLine, 0, sizeof szLine);
        pDialog->ReportLine(nLine, szLine, kLineMaxChars);
        if (fprintf(pFile, "%s\n", szLine) < 0) {
            bWritten = false;
            break;
        }
    }
    if (bWritten && g_bReportCut && fprintf(pFile, "%s\n", kReportCutText) < 0) {
        bWritten = false;
    }
    int nWriteError = errno;
    if (fclose(pFile) != 0 && bWritten) {
        bWritten = false;
        nWriteError = errno;
    }

    if (!bWritten) {
        // The file holds less than the report: the technician is told as for a file that
        // does not open, and the report stays in the display to be saved elsewhere.
        NoteSaveFailure(szFileName, "cannot write", nWriteError);
        pDialog->ShowMessage(szFileName, "INVALID FILE");
    } else if (g_bReportCut) {
        g_bSaveFailed = true;
        snprintf(g_szSaveFailure, sizeof g_szSaveFailure, "%s holds an incomplete report: %s",
                 szFileName, kReportCutText);
    } else {
        g_bSaveFailed = false;
        g_szSaveFailure[0] = '\0';
    }
    ReportExtendedOutcome();
    return bWritten && !g_bReportCut;
}
