// The log worker: one entry to the log file (stamp, identity, error records, counters), then
// "Done" and the log path in the dialog.
#include "workers/log_worker.h"

#include <cstdio>
#include <cstring>

#include "common/app_state.h"
#include "protocol/arm_protocol.h"
#include "serial/serial_port.h"
#include "workers/log_file.h"

namespace {

constexpr int kRecordRequests = 7;

// One exchange: send the command and, when it went out whole, read one reply into the zeroed
// buffer. Returns the count read, 0 when the exchange failed.
uint32_t Exchange(PortSlot* pPort, ArmCommandId id, char* pReply) {
    const ArmCommand& command = kArmCommands[id];
    if (SendCommand(pPort->load(), command.szText) != command.nSentBytes) {
        return 0;
    }
    memset(pReply, 0, kReplyBufferSize);
    return ReadReply(pPort->load(), pReply, command.nReplyLimit, command.nDeadlineMs);
}

// The identity fields the entry writes: the status, the version, the arm and the calibration.
constexpr int kIdentityFieldsWritten = 4;

// What the entry lacks: the first request the arm left without a usable reply, said as the
// technician is told, and how many more after it.
struct Shortfall {
    char szFirst[128];
    int nMore;
};

// Notes an exchange of nRead bytes whose parse reached the fields the entry writes
// (bParsed), or not. A reply without its line end was cut short by the deadline or the read
// limit (a reply that dribbles in): its last field may be cut too. A reply that is whole but
// does not parse is line noise or not the arm's. Either way the entry misses what it should
// hold, and that is never reported as done.
void NoteReply(Shortfall* pShortfall, const char* szRequest, uint32_t nRead, const char* pReply,
               bool bParsed) {
    const char* szBefore = "the arm's reply to ";
    const char* szAfter = "";
    if (nRead == 0) {
        szBefore = "the arm did not answer ";
    } else if (pReply[nRead - 1] != '\n') {
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

// The body of an entry behind its stamp: the identity (or the bare line end), then the error
// records and the counters, or the old-firmware line. Stops at the first write that fails.
void WriteEntryBody(PortSlot* pPort, LogFile* pLog, ArmIdentity* pIdentity, Shortfall* pShortfall) {
    char szReply[kReplyBufferSize];

    ShowDialogProgress("identity");
    PurgePort(pPort->load());
    uint32_t nRead = Exchange(pPort, kCmdIdentity, szReply);
    if (nRead != 0) {
        int nParsed = ParseArmIdentity(szReply, sizeof szReply, pIdentity);
        WriteIdentityForm(pLog, *pIdentity);
        NoteReply(pShortfall, "the identity request", nRead, szReply,
                  nParsed >= kIdentityFieldsWritten);
    } else {
        WriteBareLineEnd(pLog);
        NoteReply(pShortfall, "the identity request", 0, szReply, false);
    }
    if (!PassesVersionGate(pIdentity->fVersion)) {
        WriteOldFirmwareForm(pLog);
        return;
    }

    for (int nRequest = 0; nRequest < kRecordRequests && pLog->nError == 0; ++nRequest) {
        if (g_App.StopEvent->IsSet()) {
            break;
        }
        char szRequest[48];
        snprintf(szRequest, sizeof szRequest, "record %d of %d", nRequest + 1, kRecordRequests);
        ShowDialogProgress(szRequest);
        PurgePort(pPort->load());
        char szWhat[80];
        snprintf(szWhat, sizeof szWhat, "the request for error %s", szRequest);
        nRead = Exchange(pPort, kCmdErrorRecord, szReply);
        if (nRead == 0) {
            NoteReply(pShortfall, szWhat, 0, szReply, false);
            continue;
        }
        ErrorRecord record;
        memset(&record, 0, sizeof record);
        bool bParsed = ParseErrorRecord(szReply, sizeof szReply, &record) == kErrorRecordValues;
        if (bParsed && !IsEmptyRecord(record)) {
            WriteErrorForm(pLog, record);
        }
        NoteReply(pShortfall, szWhat, nRead, szReply, bParsed);
    }
    if (pLog->nError != 0) {
        return;
    }

    ShowDialogProgress("counters");
    PurgePort(pPort->load());
    nRead = Exchange(pPort, kCmdStats, szReply);
    StatsRecord stats;
    memset(&stats, 0, sizeof stats);
    bool bParsed =
        nRead != 0 && ParseStatsRecord(szReply, sizeof szReply, &stats) == kStatsRecordValues;
    if (bParsed) {
        WriteCountersForm(pLog, stats);
    }
    NoteReply(pShortfall, "the counters request", nRead, szReply, bParsed);
}

}  // namespace

bool StartLogWorker(PortSlot* pPort) {
    g_App.StopEvent->Reset();
    g_App.WorkerExitedEvent->Reset();
    return g_Platform.pThreads->CreateThread(LogWorker, pPort, false, &g_App.hWorkerThread) != 0;
}

uint32_t LogWorker(void* pArg) {
    PortSlot* pPort = static_cast<PortSlot*>(pArg);
    ArmIdentity identity;
    memset(&identity, 0, sizeof identity);
    Shortfall shortfall;
    shortfall.szFirst[0] = '\0';
    shortfall.nMore = 0;

    LogFile log;
    if (OpenLogFile(g_App.szLogPath, &log)) {
        if (pPort->load() != nullptr) {
            LocalTime now;
            g_Platform.pClock->GetLocalTime(&now);
            WriteStampForm(&log, kStampByLog, now);
            WriteEntryBody(pPort, &log, &identity, &shortfall);
        }
        CloseLogFile(&log);
    }
    ShowDialogProgress("");

    // A log that could not be written is never reported as done: the status says so and why,
    // and the path stays shown so the technician knows where the entry should have been.
    char szStatus[160];
    if (log.nError != 0) {
        snprintf(szStatus, sizeof szStatus, "Log Not Written: %s", LogFileError(&log));
    } else {
        snprintf(szStatus, sizeof szStatus, "%s", "Done");
    }
    SetDialogItemText(kIdStatusText, szStatus);
    SetDialogItemText(kIdButton, "Close");
    SetDialogItemText(kIdLogPathText, g_App.szLogPath);
    ShowDialogItem(kIdLogPathText);
    ShowDialogItem(kIdLogPathLabel);
    if (log.nError != 0) {
        char szDetail[kPathSize + 160];
        DescribeLogFailure(&log, g_App.szLogPath, szDetail, sizeof szDetail);
        ReportRunOutcome(kOutcomeLogNotWritten, szDetail);
    } else if (shortfall.szFirst[0] != '\0') {
        // The entry keeps the lines it has; the outcome says which request brought no usable
        // reply.
        char szDetail[160];
        if (shortfall.nMore > 0) {
            snprintf(szDetail, sizeof szDetail, "%s (and %d later)", shortfall.szFirst,
                     shortfall.nMore);
        } else {
            snprintf(szDetail, sizeof szDetail, "%s", shortfall.szFirst);
        }
        ReportRunOutcome(kOutcomeIncomplete, szDetail);
    } else {
        ReportRunOutcome(kOutcomeDone, "");
    }
    // The launcher stored this thread's handle before the thread ran, so the close below
    // always releases the handle of this very thread.
    ReleaseThreadSlot(&g_App.hWorkerThread);
    g_App.WorkerExitedEvent->Set();
    return 0;
}
