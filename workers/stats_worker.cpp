// The statistics worker: the identity once, then every two seconds the counters with their
// change since the baseline and the point rate with its minimum and maximum; a logging pass
// ("Error Stat" entry, "_P") whenever the arm's status word reports an error; "No Reply Since"
// when the arm is lost, and the port opened again when its device went.
#include "workers/stats_worker.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "common/app_state.h"
#include "protocol/arm_protocol.h"
#include "serial/exchange.h"
#include "serial/serial_port.h"
#include "workers/log_file.h"

namespace {

// Where the counters are shown: the slot in record order, the current value, the change.
// nPointPeriod (slot 7) is shown only as the rate.
struct CounterControls {
    int nSlot;
    int nValueId;
    int nChangeId;
};
const CounterControls kCounterControls[] = {
    {0, IDC_CAPTURES, IDC_CHANGE_CAPTURES},
    {1, IDC_ASYNC_CAPTURES, IDC_CHANGE_ASYNC_CAPTURES},
    {2, IDC_CRC_ERRORS, IDC_CHANGE_CRC_ERRORS},
    {3, IDC_STALL_COUNT, IDC_CHANGE_STALL_COUNT},
    {4, IDC_RETRY_COUNT, IDC_CHANGE_RETRY_COUNT},
    {5, IDC_BOUNCES, IDC_CHANGE_BOUNCES},
    {6, IDC_SDA_SCL_ERRORS, IDC_CHANGE_SDA_SCL_ERRORS},
    {8, IDC_ADDRESS_ERRORS, IDC_CHANGE_ADDRESS_ERRORS},
};

// Contact is lost after this many polls in a row without a usable reply (at once when the
// device is gone).
constexpr int kSilentPollsLost = 2;

// "HH:MM:SS" and its terminator.
constexpr size_t kClockTextSize = 16;

// The worker's state for one run of its thread.
struct StatsState {
    ArmIdentity Identity;
    StatsRecord Sample;                 // the latest reply that parsed whole
    uint32_t Baseline[kStatsCounters];  // the reference of the change column
    double fPointRate;
    double fMinRate;
    double fMaxRate;
    uint32_t nErrorsLogged;            // "ERROR:" lines this run has written
    int nSilentPolls;                  // polls in a row without a usable reply
    bool bLost;                        // contact is lost: the status line says since when
    char szLastReply[kClockTextSize];  // when the arm last gave a usable reply
    // The last logging pass that did not reach the log, said again when contact is back.
    RunOutcome passFailure;
    char szPassFailure[kPathSize + 160];
};

// Where a logging pass's read-out writes: the entry, and the count of error lines.
struct LoggingPass {
    LogFile* pLog;
    StatsState* pState;
};

// The local time as "HH:MM:SS".
void ClockText(char* szText) {
    LocalTime now;
    g_Platform.pClock->GetLocalTime(&now);
    snprintf(szText, kClockTextSize, "%02d:%02d:%02d", now.nHour, now.nMinute, now.nSecond);
}

void InitState(StatsState* pState) {
    memset(pState, 0, sizeof *pState);
    pState->fMinRate = 100000000000.0;
    pState->fMaxRate = -100000000000.0;
    pState->passFailure = kOutcomeNone;
    ClockText(pState->szLastReply);
}

// The texts of the value controls, each format in one place.
constexpr size_t kValueSize = 48;

void ShowCounter(int nId, uint32_t dwCounter) {
    char szText[kValueSize];
    snprintf(szText, sizeof szText, "%" PRId32, static_cast<int32_t>(dwCounter));
    SetDialogItemText(nId, szText);
}

void ShowChange(int nId, uint32_t dwChange) {
    char szText[kValueSize];
    snprintf(szText, sizeof szText, "(%+" PRId32 ")", static_cast<int32_t>(dwChange));
    SetDialogItemText(nId, szText);
}

void ShowRate(int nId, double fRate) {
    char szText[kValueSize];
    snprintf(szText, sizeof szText, "%6.2lf", fRate);
    SetDialogItemText(nId, szText);
}

void ShowErrorNumber(int nId, int nNumber) {
    char szText[kValueSize];
    snprintf(szText, sizeof szText, "%d", nNumber);
    SetDialogItemText(nId, szText);
}

void ShowErrorsLogged(uint32_t nErrorsLogged) {
    char szText[kValueSize];
    snprintf(szText, sizeof szText, "%u", static_cast<unsigned>(nErrorsLogged));
    SetDialogItemText(IDC_ERRORS_LOGGED, szText);
}

void ShowIdentity(const StatsState& state) {
    char szText[kIdentityTextSize];
    FormatIdentityText(state.Identity, false, szText, sizeof szText);
    SetDialogItemText(kIdStatusText, szText);
}

// The identity, without a purge before it; shown in the status line when a reply came.
void ReadIdentity(StatsState* pState) {
    ArmExchange exchange;
    if (!ExchangeIdentity(kReaderStats, kNoPurge, &pState->Identity, &exchange)) {
        return;
    }
    ClockText(pState->szLastReply);
    ShowIdentity(*pState);
}

// One request of the pass's read-out: a non-empty record becomes an error line and is counted.
// A failed write ends the requests.
bool LogRecord(void* pContext, const ErrorRequest& request) {
    LoggingPass* pPass = static_cast<LoggingPass*>(pContext);
    if (request.bValid && !IsEmptyRecord(request.Record)) {
        WriteErrorForm(pPass->pLog, request.Record);
        ++pPass->pState->nErrorsLogged;
    }
    return pPass->pLog->nError == 0;
}

// A pass that did not reach the log, kept to be said again after a loss of contact.
void ReportPassFailure(StatsState* pState, const LogFile* pLog) {
    pState->passFailure =
        LogFailureOutcome(pLog, pState->szPassFailure, sizeof pState->szPassFailure);
    ReportRunOutcome(pState->passFailure, pState->szPassFailure);
}

// The logging pass: the error numbers of the chosen status word, then one "Error Stat" entry
// with the pending records and this sample's counters, the logged count, and "_P".
void RunLoggingPass(StatsState* pState) {
    LogFile log;
    bool bOpened = OpenLogFile(g_App.szLogPath, &log);

    // The identity's status brings about at most one pass.
    int32_t nWord = pState->Sample.nStatus;
    if (nWord == 0 && pState->Identity.nStatus != 0) {
        nWord = pState->Identity.nStatus;
    }
    pState->Identity.nStatus = 0;
    ShowErrorNumber(IDC_LAST_ERROR, StatusErrorNumber(nWord));
    ShowErrorNumber(IDC_LAST_EXTENDED, StatusExtendedNumber(nWord));
    // A log that cannot take the entry gets nothing read for it: the records stay on the arm.
    if (!bOpened) {
        ReportPassFailure(pState, &log);
        return;
    }

    LocalTime now;
    g_Platform.pClock->GetLocalTime(&now);
    WriteStampForm(&log, kStampByStats, now);
    WriteIdentityForm(&log, pState->Identity);

    // A write that fails ends the entry there; the read-out is still closed with "_P".
    if (log.nError == 0) {
        LoggingPass pass = {&log, pState};
        ReadErrorRecords(kReaderStats, LogRecord, &pass);
    }
    WriteCountersForm(&log, pState->Sample);
    ShowErrorsLogged(pState->nErrorsLogged);

    // "_P" closes the read-out; its reply is not looked at.
    ShowDialogProgress("closing the read-out");
    ArmExchange exchange;
    Exchange(kReaderStats, kCmdCloseReadOut, kNoPurge, &exchange);
    PurgePort(g_App.hPort.load());
    ShowDialogProgress("");
    // A pass that could not reach the log file keeps its entry; polling goes on.
    if (!CloseLogFile(&log)) {
        KeepUnloggedEntry(&log);
        ReportPassFailure(pState, &log);
    }
}

// Shows a sample that parsed whole, in the order the dialog is filled, then runs the error test.
void ShowSample(StatsState* pState) {
    uint32_t dwCounters[kStatsCounters];
    StatsCounters(pState->Sample, dwCounters);
    // The baseline is taken again for as long as its captures slot stays 0.
    if (pState->Baseline[0] == 0) {
        memcpy(pState->Baseline, dwCounters, sizeof dwCounters);
    }
    for (const CounterControls& c : kCounterControls) {
        ShowCounter(c.nValueId, dwCounters[c.nSlot]);
    }

    pState->fPointRate = PointRate(pState->Sample.nPointPeriod);
    ShowRate(IDC_POINTS_PER_SECOND, pState->fPointRate);
    if (pState->fMinRate >= pState->fPointRate) {
        pState->fMinRate = pState->fPointRate;
    }
    ShowRate(IDC_MIN_POINTS, pState->fMinRate);
    if (pState->fMaxRate <= pState->fPointRate) {
        pState->fMaxRate = pState->fPointRate;
    }
    ShowRate(IDC_MAX_POINTS, pState->fMaxRate);

    // The change is the wrapping 32-bit difference, shown signed.
    for (const CounterControls& c : kCounterControls) {
        ShowChange(c.nChangeId, dwCounters[c.nSlot] - pState->Baseline[c.nSlot]);
    }

    if (StatusErrorPending(pState->Sample.nStatus) ||
        StatusErrorPending(pState->Identity.nStatus)) {
        RunLoggingPass(pState);
    }
}

// A poll without a usable reply. A device that is gone (hung up, unplugged, its node removed)
// is closed at once, to be opened again at the next poll; contact is lost then, or after
// kSilentPollsLost silent polls of a device that is there.
void NoteSilentPoll(StatsState* pState) {
    bool bLineError = false;
    uint32_t nQueued = 0;
    bool bGone = !PollPort(g_App.hPort.load(), &bLineError, &nQueued);
    if (bGone) {
        CloseArmPort(g_App.hPort.exchange(nullptr));
    }
    ++pState->nSilentPolls;
    if (pState->bLost || (!bGone && pState->nSilentPolls < kSilentPollsLost)) {
        return;
    }
    pState->bLost = true;
    char szStatus[48];
    snprintf(szStatus, sizeof szStatus, "No Reply Since %s", pState->szLastReply);
    SetDialogItemText(kIdStatusText, szStatus);
    ReportRunOutcome(kOutcomeContactLost, pState->szLastReply);
}

// One poll: purge, "_G STATS"; a reply that does not parse whole shows nothing. A port closed
// because its device went is opened again first: the same COMn, with the line in force.
void Poll(StatsState* pState) {
    if (g_App.hPort.load() == nullptr) {
        g_App.hPort.store(OpenArmPort(CopyLine().nPort));
    }
    ArmExchange exchange;
    StatsRecord sample;
    if (!ExchangeStats(kReaderStats, kPurgeFirst, &sample, &exchange)) {
        NoteSilentPoll(pState);
        return;
    }
    pState->nSilentPolls = 0;
    ClockText(pState->szLastReply);
    // Back: the identity line again; the baseline, MIN, MAX and the logged count go on.
    if (pState->bLost) {
        pState->bLost = false;
        ShowIdentity(*pState);
        ReportRunOutcome(kOutcomeDone, pState->szLastReply);
        if (pState->passFailure != kOutcomeNone) {
            ReportRunOutcome(pState->passFailure, pState->szPassFailure);
        }
    }
    pState->Sample = sample;
    ShowSample(pState);
}

// The wait after a poll. With fast replies the polls start every kStatsPollWaitMs, whatever
// their exchanges took (a poll that took longer is followed at once); otherwise the wait is
// kStatsPollWaitMs after the poll's own exchanges.
uint32_t PollWait(uint32_t nPollStart) {
    if (g_App.bFastReplies == 0) {
        return kStatsPollWaitMs;
    }
    uint32_t nTook = g_Platform.pClock->TickCount() - nPollStart;
    return nTook < kStatsPollWaitMs ? kStatsPollWaitMs - nTook : 0;
}

}  // namespace

bool StartStatsWorker() {
    g_App.StopEvent->Reset();
    g_App.WorkerExitedEvent->Reset();
    return g_Platform.pThreads->CreateThread(StatsWorker, nullptr, false, &g_App.hWorkerThread) !=
           0;
}

uint32_t StatsWorker(void*) {
    StatsState state;
    InitState(&state);

    SetDialogItemText(kIdButton, "Close");
    // From here on closing the dialog is the normal end of the run.
    ReportRunOutcome(kOutcomeDone, "");
    ReadIdentity(&state);
    // Without an identity there is no version to judge: the gate below then stands for the
    // unanswered request, not for old firmware (NextOutcome keeps this outcome).
    if (state.Identity.fVersion == 0.0f) {
        ReportRunOutcome(kOutcomeIncomplete, "the arm did not answer the identity request");
    }

    bool bStop = g_App.StopEvent->Wait(kStatsPollWaitMs);
    while (!bStop) {
        // The version does not change after the identity: this ends the worker at the first
        // poll or never.
        if (!PassesVersionGate(state.Identity.fVersion)) {
            SetDialogItemText(kIdStatusText, ">>VERSION NOT SUPPORTED<<");
            ReportRunOutcome(kOutcomeVersionNotSupported, "");
            break;
        }
        uint32_t nPollStart = g_Platform.pClock->TickCount();
        Poll(&state);
        ReportPollDone({state.fPointRate, state.fMinRate, state.fMaxRate});
        bStop = g_App.StopEvent->Wait(PollWait(nPollStart));
    }

    // The launcher stored this thread's handle before the thread ran, so the close below
    // always releases the handle of this very thread.
    ReleaseThreadSlot(&g_App.hWorkerThread);
    g_App.WorkerExitedEvent->Set();
    return 0;
}
