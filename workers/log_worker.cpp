// The log worker: one entry to the log file (stamp, identity, error records, counters), then
// "Done" and the log path in the dialog.
#include "workers/log_worker.h"

#include <cstdio>
#include <cstring>

#include "common/app_state.h"
#include "protocol/arm_protocol.h"
#include "serial/exchange.h"
#include "workers/log_file.h"

namespace {

// The identity fields the entry writes: the status, the version, the arm and the calibration.
constexpr int kIdentityFieldsWritten = 4;

// What the entry lacks: the first request the arm left without a usable reply, said as the
// technician is told, and how many more after it.
struct Shortfall {
    char szFirst[128];
    int nMore;
};

// Notes an exchange whose parse reached the fields the entry writes (bParsed), or not. A reply
// without its line end was cut short by the deadline or the read limit (a reply that dribbles
// in): its last field may be cut too. A reply that is whole but does not parse is line noise or
// not the arm's. Either way the entry misses what it should hold, and that is never reported as
// done.
void NoteReply(Shortfall* pShortfall, const char* szRequest, const ArmExchange& exchange,
               bool bParsed) {
    const char* szBefore = "the arm's reply to ";
    const char* szAfter = "";
    if (exchange.nRead == 0) {
        szBefore = "the arm did not answer ";
    } else if (exchange.szReply[exchange.nRead - 1] != '\n') {
        szAfter = " was cut short";
    } else if (!bParsed) {
        szAfter = " was not understood";
    } else {
        return;
    }
    if (pShortfall->szFirst[0] == '\0') {
        snprintf(pShortfall->szFirst, sizeof pShortfall->szFirst, "%s%s%s", szBefore, szRequest,
                 szAfter);
    } else {
        ++pShortfall->nMore;
    }
}

// Where the error read-out writes: the entry, what it lacks, and how many requests it made.
struct EntryRecords {
    LogFile* pLog;
    Shortfall* pShortfall;
    int* pnRequests;
};

// One request of the read-out: a non-empty record becomes an error line. A failed write ends
// the requests.
bool WriteRecord(void* pContext, const ErrorRequest& request) {
    EntryRecords* pEntry = static_cast<EntryRecords*>(pContext);
    ++*pEntry->pnRequests;
    if (request.bValid && !IsEmptyRecord(request.Record)) {
        WriteErrorForm(pEntry->pLog, request.Record);
    }
    char szWhat[80];
    snprintf(szWhat, sizeof szWhat, "the request for error record %d of %d", request.nRequest,
             kErrorRecordRequests);
    NoteReply(pEntry->pShortfall, szWhat, request.Exchange, request.bValid);
    return pEntry->pLog->nError == 0;
}

// The body of an entry behind its stamp: the identity (or the bare line end), then the error
// records and the counters, or the old-firmware line. Stops at the first write that fails.
// True when a stop request left error records unasked for.
bool WriteEntryBody(LogFile* pLog, ArmIdentity* pIdentity, Shortfall* pShortfall) {
    ArmExchange exchange;
    ShowDialogProgress("identity");
    if (ExchangeIdentity(kReaderLog, kPurgeFirst, pIdentity, &exchange)) {
        WriteIdentityForm(pLog, *pIdentity);
    } else {
        WriteBareLineEnd(pLog);
    }
    NoteReply(pShortfall, "the identity request", exchange,
              exchange.nParsed >= kIdentityFieldsWritten);
    if (!PassesVersionGate(pIdentity->fVersion)) {
        WriteOldFirmwareForm(pLog);
        return false;
    }

    int nRequests = 0;
    if (pLog->nError == 0) {
        EntryRecords entry = {pLog, pShortfall, &nRequests};
        ReadErrorRecords(kReaderLog, WriteRecord, &entry);
    }
    if (pLog->nError != 0) {
        return false;
    }
    // The read-out leaves its requests early only for a stop request; the counters still
    // complete the entry.
    bool bInterrupted = nRequests < kErrorRecordRequests;

    ShowDialogProgress("counters");
    StatsRecord stats;
    bool bParsed = ExchangeStats(kReaderLog, kPurgeFirst, &stats, &exchange);
    if (bParsed) {
        WriteCountersForm(pLog, stats);
    }
    NoteReply(pShortfall, "the counters request", exchange, bParsed);
    return bInterrupted;
}

// The end of the entry in the dialog: a short status, and the path field under a label that
// says what it holds.
void ShowEntryEnd(const LogFile& log, const char* szStatus) {
    char szField[kPathSize + 160];
    const char* szLabel = "Log Saved In:";
    snprintf(szField, sizeof szField, "%s", g_App.szLogPath);
    if (log.szKeptPath[0] != '\0') {
        szLabel = "Kept In:";
        snprintf(szField, sizeof szField, "%s", log.szKeptPath);
    } else if (log.nError != 0) {
        szLabel = "Not Written:";
        snprintf(szField, sizeof szField, "%s: %s", g_App.szLogPath, LogFileError(&log));
    }
    SetDialogItemText(kIdStatusText, szStatus);
    SetDialogItemText(kIdButton, "Close");
    SetDialogItemText(kIdLogPathLabel, szLabel);
    SetDialogItemText(kIdLogPathText, szField);
    ShowDialogItem(kIdLogPathText);
    ShowDialogItem(kIdLogPathLabel);
}

}  // namespace

bool StartLogWorker() {
    g_App.StopEvent->Reset();
    g_App.WorkerExitedEvent->Reset();
    return g_Platform.pThreads->CreateThread(LogWorker, nullptr, false, &g_App.hWorkerThread) != 0;
}

uint32_t LogWorker(void*) {
    ArmIdentity identity;
    memset(&identity, 0, sizeof identity);
    Shortfall shortfall;
    shortfall.szFirst[0] = '\0';
    shortfall.nMore = 0;

    LogFile log;
    bool bInterrupted = false;
    if (OpenLogFile(g_App.szLogPath, &log)) {
        if (g_App.hPort.load() != nullptr) {
            LocalTime now;
            g_Platform.pClock->GetLocalTime(&now);
            WriteStampForm(&log, kStampByLog, now);
            bInterrupted = WriteEntryBody(&log, &identity, &shortfall);
        }
        if (!CloseLogFile(&log)) {
            KeepUnloggedEntry(&log);
        }
    }
    ShowDialogProgress("");

    // "Done" only for an entry the arm answered whole and the log took.
    if (log.nError != 0) {
        ShowEntryEnd(log, "Log Not Written");
        ReportLogFailure(&log);
    } else if (bInterrupted) {
        ShowEntryEnd(log, "Interrupted");
        ReportRunOutcome(kOutcomeInterrupted, "");
    } else if (shortfall.szFirst[0] != '\0') {
        // The entry keeps the lines it has; the outcome says which request brought no usable
        // reply.
        ShowEntryEnd(log, "Entry Incomplete");
        char szDetail[160];
        if (shortfall.nMore > 0) {
            snprintf(szDetail, sizeof szDetail, "%s (and %d later)", shortfall.szFirst,
                     shortfall.nMore);
        } else {
            snprintf(szDetail, sizeof szDetail, "%s", shortfall.szFirst);
        }
        ReportRunOutcome(kOutcomeIncomplete, szDetail);
    } else {
        ShowEntryEnd(log, "Done");
        ReportRunOutcome(kOutcomeDone, "");
    }
    // The launcher stored this thread's handle before the thread ran, so the close below
    // always releases the handle of this very thread.
    ReleaseThreadSlot(&g_App.hWorkerThread);
    g_App.WorkerExitedEvent->Set();
    return 0;
}
