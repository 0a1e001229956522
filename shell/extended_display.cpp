// Check and Save of the extended error display: the exchanges with the arm on the user-interface
// thread, the report's blocks in their exact forms, and the saved file.
#include "shell/extended_display.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/app_state.h"
#include "protocol/arm_protocol.h"
#include "protocol/error_decoder.h"
#include "serial/exchange.h"
#include "settings/settings_store.h"
#include "shell/controller.h"

const char kReportCutText[] = "REPORT INCOMPLETE: THE DISPLAY COULD NOT HOLD ALL OF IT";

namespace {

constexpr uint32_t kHeaderSize = 128;    // the stamp and each record header in Check
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

// A request to close (a signal) ends a Check after the exchange under way.
bool CloseRequested() {
    return g_App.bCloseRequested.load() != 0;
}

// A failed save outweighs an interruption, which outweighs a silent arm, which outweighs a done
// piece of work.
void ReportExtendedOutcome() {
    if (g_bSaveFailed) {
        ReportRunOutcome(kOutcomeReportNotSaved, g_szSaveFailure);
    } else if (CloseRequested()) {
        SetDialogItemText(kIdStatusText, "Interrupted");
        ReportRunOutcome(kOutcomeInterrupted, "a request to close ended the Checks");
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

// The eight counters print as signed 32-bit numbers, -1 for FFFFFFFF on every platform.
long Signed(uint32_t dwValue) {
    return static_cast<long>(static_cast<int32_t>(dwValue));
}

// The eight counter lines of item 5 in their order, each its label then ": %ld     \r\n", and
// the slot of its counter in record order; the point rate line follows them.
struct CounterLine {
    const char* szLabel;
    int nSlot;
};
const CounterLine kCounterLines[] = {
    {"CAPTURES       ", 0}, {"ASYNC. CAPTURES", 1}, {"CRC ERRORS     ", 2}, {"STALL COUNT    ", 3},
    {"RETRY COUNT    ", 4}, {"BOUNCES > 16ms ", 5}, {"UART ERRORS    ", 6}, {"ADDRESS ERRORS ", 8},
};
constexpr size_t kCounterLineCount = sizeof kCounterLines / sizeof kCounterLines[0];

// Item 5 of the block: the two heading lines and the nine counter lines, the point rate last.
void AppendCounters(DialogSurface* pDialog, const StatsRecord& stats) {
    uint32_t dwCounters[kStatsCounters];
    StatsCounters(stats, dwCounters);
    char aszLines[kCounterLineCount + 1][kCounterLineSize];
    for (size_t i = 0; i < kCounterLineCount; ++i) {
        snprintf(aszLines[i], kCounterLineSize, "%s: %ld     \r\n", kCounterLines[i].szLabel,
                 Signed(dwCounters[kCounterLines[i].nSlot]));
    }
    snprintf(aszLines[kCounterLineCount], kCounterLineSize, "POINTS/SEC     : %6.2lf  \r\n",
             PointRate(stats.nPointPeriod));
    const char* apTexts[kCounterLineCount + 3] = {"------------------\r\n", "CURRENT STATS:\r\n"};
    for (size_t i = 0; i <= kCounterLineCount; ++i) {
        apTexts[i + 2] = aszLines[i];
    }
    Append(pDialog, apTexts, sizeof apTexts / sizeof apTexts[0]);
}

// What a Check's error read-out has come to: the records numbered so far, the requests the arm
// answered.
struct CheckRecords {
    DialogSurface* pDialog;
    int nRecords;
    int nAnswered;
};

// One request of the read-out: a non-empty record takes the next number and is appended with
// its header and decoded text.
bool AppendRecord(void* pContext, const ErrorRequest& request) {
    CheckRecords* pCheck = static_cast<CheckRecords*>(pContext);
    pCheck->nAnswered += request.Exchange.nRead != 0 ? 1 : 0;
    if (!request.bValid || IsEmptyRecord(request.Record)) {
        return !CloseRequested();
    }
    char szText[kReportBufferSize];
    memset(szText, 0, sizeof szText);
    ErrorDecoder(request.Record, szText);
    char szHeader[kHeaderSize];
    snprintf(szHeader, sizeof szHeader, "----------<%d>----------\r\n", ++pCheck->nRecords);
    const char* const apRecord[] = {szHeader, szText};
    Append(pCheck->pDialog, apRecord, 2);
    return !CloseRequested();
}

void NoteSaveFailure(const char* szPath, const char* szWhat, const char* szWhy) {
    g_bSaveFailed = true;
    snprintf(g_szSaveFailure, sizeof g_szSaveFailure, "%s %s: %s", szWhat, szPath, szWhy);
}

// The report's file as the platform opens it (a FIFO or a device refused without waiting), or
// as the text-mode append opens it.
FILE* OpenReportFile(const char* szPath, char* szWhy, size_t cchWhy) {
    if (g_Platform.pfnOpenReport != nullptr) {
        return g_Platform.pfnOpenReport(szPath, szWhy, cchWhy);
    }
    FILE* pFile = fopen(szPath, "at");
    if (pFile == nullptr) {
        snprintf(szWhy, cchWhy, "%s", strerror(errno));
    }
    return pFile;
}

// Every line of the report but the last, the empty one after the report's final line end;
// each cut to 127 characters and ended with the platform's text line end. False with the
// errno of the first write that failed.
bool WriteReportLines(DialogSurface* pDialog, FILE* pFile, int* pnError) {
    uint32_t nLines = pDialog->ReportLineCount();
    for (uint32_t nLine = 0; nLine + 1 < nLines; ++nLine) {
        char szLine[kLineSize];
        memset(szLine, 0, sizeof szLine);
        pDialog->ReportLine(nLine, szLine, kLineMaxChars);
        if (fprintf(pFile, "%s\n", szLine) < 0) {
            *pnError = errno;
            return false;
        }
    }
    if (g_bReportCut && fprintf(pFile, "%s\n", kReportCutText) < 0) {
        *pnError = errno;
        return false;
    }
    return true;
}

}  // namespace

void ExtendedInitDialog() {
    g_bSaveFailed = false;
    g_szSaveFailure[0] = '\0';
    g_bArmSilent = false;
    g_bReportCut = false;
    EnableDialogItem(kIdButton, false);
    EnableDialogItem(kIdSaveButton, false);
    StatusInitDialog();
}

void ExtendedCommand(int nId) {
    if (nId == kIdCancel) {
        // Closed from outside while the Checks ran or waited: the run says it was cut short.
        if (CloseRequested()) {
            ReportExtendedOutcome();
        }
    } else if (nId == kIdButton) {
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
    LocalTime now;
    g_Platform.pClock->GetLocalTime(&now);
    char szStamp[kHeaderSize];
    snprintf(szStamp, sizeof szStamp, "%02d/%02d/%02d %02d:%02d:%02d\r\n", now.nMonth, now.nDay,
             now.nYear, now.nHour, now.nMinute, now.nSecond);
    const char* const apStamp[] = {kRuleLine, szStamp};
    Append(pDialog, apStamp, 2);

    CheckRecords check = {pDialog, 0, 0};
    ReadErrorRecords(kReaderExtended, AppendRecord, &check);
    if (CloseRequested()) {
        // The block ends with the records read so far; the read-out is left as it stands.
        ShowDialogProgress("");
        ReportExtendedOutcome();
        return check.nAnswered;
    }
    if (check.nRecords == 0) {
        const char* const apNone[] = {"No Errors Detected\r\n"};
        Append(pDialog, apNone, 1);
    }

    ShowDialogProgress("counters");
    ArmExchange exchange;
    StatsRecord stats;
    if (ExchangeStats(kReaderExtended, kPurgeFirst, &stats, &exchange)) {
        AppendCounters(pDialog, stats);
    }
    check.nAnswered += exchange.nRead != 0 ? 1 : 0;

    // The read-out is closed whatever the counters step came to; the reply is not examined.
    ShowDialogProgress("closing the read-out");
    if (Exchange(kReaderExtended, kCmdCloseReadOut, kNoPurge, &exchange)) {
        ++check.nAnswered;
    }
    ShowDialogProgress("");

    g_bArmSilent = check.nAnswered == 0;
    ReportExtendedOutcome();
    return check.nAnswered;
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
    char szWhy[160] = "";
    FILE* pFile = OpenReportFile(szFileName, szWhy, sizeof szWhy);
    if (pFile == nullptr) {
        NoteSaveFailure(szFileName, "cannot open", szWhy);
        pDialog->ShowMessage(szFileName, "INVALID FILE");
        ReportExtendedOutcome();
        return false;
    }
    // Where the report begins: a save that fails part-way is taken back to here, so the next
    // save's rule line is never glued onto half a line.
    long nSizeBefore = fseek(pFile, 0, SEEK_END) == 0 ? ftell(pFile) : -1;

    int nWriteError = 0;
    bool bWritten = WriteReportLines(pDialog, pFile, &nWriteError);
    if (fclose(pFile) != 0 && bWritten) {
        bWritten = false;
        nWriteError = errno;
    }

    if (!bWritten) {
        // The file holds less than the report: the technician is told as for a file that
        // does not open, and the report stays in the display to be saved elsewhere.
        if (nSizeBefore >= 0 && g_Platform.pfnCutFile != nullptr) {
            g_Platform.pfnCutFile(szFileName, nSizeBefore);
        }
        NoteSaveFailure(szFileName, "cannot write", strerror(nWriteError != 0 ? nWriteError : EIO));
        pDialog->ShowMessage(szFileName, "INVALID FILE");
    } else {
        // Only a file that took the whole report becomes the last saved path.
        store.WriteLastFile(szFileName);
        if (g_bReportCut) {
            g_bSaveFailed = true;
            snprintf(g_szSaveFailure, sizeof g_szSaveFailure, "%s holds an incomplete report: %s",
                     szFileName, kReportCutText);
        } else {
            g_bSaveFailed = false;
            g_szSaveFailure[0] = '\0';
            ReportSaved(szFileName);
        }
    }
    ReportExtendedOutcome();
    return bWritten && !g_bReportCut;
}
