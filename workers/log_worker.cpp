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

// What the arm left unanswered during the entry: the first request it did not answer, and how
// many more it did not answer after that.
struct Silence {
    char szFirst[96];
    int nMore;
};

void NoteSilence(Silence* pSilence, const char* szRequest) {
    if (pSilence->szFirst[0] == '\0') {
        snprintf(pSilence->szFirst, sizeof pSilence->szFirst, "%s", szRequest);
    } else {
        ++pSilence->nMore;
    }
}

// The body of an entry behind its stamp: the identity (or the bare line end), then the error
// records and the counters, or the old-firmware line. Stops at the first write that fails.
void WriteEntryBody(PortSlot* pPort, LogFile* pLog, ArmIdentity* pIdentity, Silence* pSilence) {
    char szReply[kReplyBufferSize];

    ShowDialogProgress("identity");
    PurgePort(pPort->load());
    if (Exchange(pPort, kCmdIdentity, szReply) != 0) {
        ParseArmIdentity(szReply, sizeof szReply, pIdentity);
        WriteIdentityForm(pLog, *pIdentity);
    } else {
        WriteBareLineEnd(pLog);
        NoteSilence(pSilence, "the identity request");
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
        if (Exchange(pPort, kCmdErrorRecord, szReply) == 0) {
            char szWhat[80];
            snprintf(szWhat, sizeof szWhat, "the request for error %s", szRequest);
            NoteSilence(pSilence, szWhat);
            continue;
        }
        ErrorRecord record;
        memset(&record, 0, sizeof record);
        if (ParseErrorRecord(szReply, sizeof szReply, &record) == kErrorRecordValues &&
            !IsEmptyRecord(record)) {
            WriteErrorForm(pLog, record);
        }
    }
    if (pLog->nError != 0) {
        return;
    }

    ShowDialogProgress("counters");
    PurgePort(pPort->load());
    if (Exchange(pPort, kCmdStats, szReply) != 0) {
        StatsRecord stats;
        memset(&stats, 0, sizeof stats);
        if (ParseStatsRecord(szReply, sizeof szReply, &stats) == kStatsRecordValues) {
            WriteCountersForm(pLog, stats);
        }
    } else {
        NoteSilence(pSilence, "the counters request");
    }
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
    Silence silence;
    silence.szFirst[0] = '\0';
    silence.nMore = 0;

    LogFile log;
    if (OpenLogFile(g_App.szLogPath, &log)) {
        if (pPort->load() != nullptr) {
            LocalTime now;
            g_Platform.pClock->GetLocalTime(&now);
            WriteStampForm(&log, kStampByLog, now);
            WriteEntryBody(pPort, &log, &identity, &silence);
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
    } else if (silence.szFirst[0] != '\0') {
        // The entry keeps the lines it has; the outcome says which request went unanswered.
        char szDetail[128];
        if (silence.nMore > 0) {
            snprintf(szDetail, sizeof szDetail, "the arm did not answer %s (and %d later)",
                     silence.szFirst, silence.nMore);
        } else {
            snprintf(szDetail, sizeof szDetail, "the arm did not answer %s", silence.szFirst);
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
