// The log worker: one entry to the log file (stamp, identity, error records, counters), then
// "Done" and the log path in the dialog.
#include "workers/log_worker.h"

#include <cstring>

#include "protocol/arm_protocol.h"
#include "serial/serial_port.h"
#include "common/app_state.h"
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

// The rest of an entry, after its stamp: the identity (a bare line end when "_G" gets no
// reply); then the old-firmware line when the version gate fails, else one line for each
// non-empty record of the seven "_Y1" requests and the counters of "_G STATS".
void WriteEntryBody(PortSlot* pPort, LogFile* pLog, ArmIdentity* pIdentity) {
    char szReply[kReplyBufferSize];

    PurgePort(pPort->load());
    if (Exchange(pPort, kCmdIdentity, szReply) != 0) {
        ParseArmIdentity(szReply, sizeof szReply, pIdentity);
        WriteIdentityForm(pLog, *pIdentity);
    } else {
        WriteBareLineEnd(pLog);
    }
    if (!PassesVersionGate(pIdentity->fVersion)) {
        WriteOldFirmwareForm(pLog);
        return;
    }

    for (int nRequest = 0; nRequest < kRecordRequests; ++nRequest) {
        if (g_App.StopEvent->IsSet()) {
            break;
        }
        PurgePort(pPort->load());
        if (Exchange(pPort, kCmdErrorRecord, szReply) == 0) {
            continue;
        }
        ErrorRecord record;
        memset(&record, 0, sizeof record);
        if (ParseErrorRecord(szReply, sizeof szReply, &record) == kErrorRecordValues &&
            !IsEmptyRecord(record)) {
            WriteErrorForm(pLog, record);
        }
    }

    PurgePort(pPort->load());
    if (Exchange(pPort, kCmdStats, szReply) != 0) {
        StatsRecord stats;
        memset(&stats, 0, sizeof stats);
        if (ParseStatsRecord(szReply, sizeof szReply, &stats) == kStatsRecordValues) {
            WriteCountersForm(pLog, stats);
        }
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

    LogFile log;
    bool bOpened = OpenLogFile(g_App.szLogPath, &log);
    if (bOpened) {
        if (pPort->load() != nullptr) {
            LocalTime now;
            g_Platform.pClock->GetLocalTime(&now);
            WriteStampForm(&log, kStampByLog, now);
            WriteEntryBody(pPort, &log, &identity);
        }
        CloseLogFile(&log);
    }

    SetDialogItemText(kIdStatusText, "Done");
    SetDialogItemText(kIdButton, "Close");
    SetDialogItemText(kIdLogPathText, g_App.szLogPath);
    ShowDialogItem(kIdLogPathText);
    ShowDialogItem(kIdLogPathLabel);
    if (bOpened) {
        ReportRunOutcome(kOutcomeDone, "");
    } else {
        ReportRunOutcome(kOutcomeLogNotWritten, LastLogFileError());
    }
    // The launcher stored this thread's handle before the thread ran, so the close below
    // always releases the handle of this very thread.
    ReleaseThreadSlot(&g_App.hWorkerThread);
    g_App.WorkerExitedEvent->Set();
    return 0;
}
