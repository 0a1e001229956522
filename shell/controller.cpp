// The host window controller: creation, activation, the 500 ms watch of the search series, and
// the orderly shutdown, the same on every platform.
#include "shell/controller.h"

#include <cstdio>
#include <cstring>

#include "common/app_state.h"
#include "protocol/arm_protocol.h"
#include "serial/exchange.h"
#include "serial/search_worker.h"
#include "serial/serial_port.h"
#include "settings/settings_store.h"
#include "workers/log_worker.h"
#include "workers/stats_worker.h"

namespace {

constexpr int32_t kRestartsPerSeries = 2;

HostWindow* g_pHost = nullptr;
// Whether any worker has been launched: without one there is nothing to wait for at shutdown.
bool g_bWorkerLaunched = false;

bool EventsExist() {
    return g_App.SearchDoneEvent != nullptr && g_App.ConnectedEvent != nullptr &&
           g_App.StopEvent != nullptr && g_App.WorkerExitedEvent != nullptr;
}

// Reads Line from the store. A stored value the search cannot use (a settings file edited by
// hand, or garbage) gives the initial value for that field instead.
void ReadLine(SettingsStore* pStore) {
    LineSettings line = CopyLine();
    pStore->ReadCommParam(&line.nPort, &line.nBaud, &line.cParity, &line.nDataBits,
                          &line.nStopBits);
    MakeLineSafe(&line);
    StoreLine(line);
}

// Each search of a series starts with the status line "Searching".
void StartSearch() {
    StatusInitDialog();
    if (StartSearchWorker() != 0) {
        g_bWorkerLaunched = true;
    }
}

// Run mode 4 reads the identity on this thread and enables the buttons of the display.
void ShowExtendedIdentity() {
    ArmIdentity identity;
    memset(&identity, 0, sizeof identity);
    ArmExchange exchange;
    if (ExchangeIdentity(kReaderExtended, kNoPurge, &identity, &exchange)) {
        if (PassesVersionGate(identity.fVersion)) {
            char szText[kIdentityTextSize];
            FormatIdentityText(identity, true, szText, sizeof szText);
            SetDialogItemText(kIdStatusText, szText);
        } else {
            SetDialogItemText(kIdStatusText,
                              "VERSION OF FIRMWARE DOES NOT SUPPORT EXTENDED ERROR REPORTING");
        }
    }
    EnableDialogItem(kIdButton, true);
    EnableDialogItem(kIdSaveButton, true);
}

void CloseEvent(Event** ppEvent) {
    delete *ppEvent;
    *ppEvent = nullptr;
}

}  // namespace

int ControllerCreate(HostWindow* pHost) {
    g_pHost = pHost;
    g_bWorkerLaunched = false;
    SettingsStore store(kSettingsKeyPath);
    ReadLine(&store);
    // The stored choice holds for every run; on Linux --fast makes it for one run.
    if (store.ReadFastReplies()) {
        g_App.bFastReplies = 1;
    }
    g_App.nSearchAttempts = 0;

    ThreadApi* pThreads = g_Platform.pThreads;
    g_App.SearchDoneEvent = pThreads->CreateEvent();
    g_App.ConnectedEvent = pThreads->CreateEvent();
    g_App.StopEvent = pThreads->CreateEvent();
    g_App.WorkerExitedEvent = pThreads->CreateEvent();

    // Without its events the controller cannot watch a search: the dialog is not run and the
    // program shuts down at once.
    int32_t nMode = g_App.nRunMode;
    if (EventsExist() &&
        (nMode == kRunModeLog || nMode == kRunModeStats || nMode == kRunModeExtended)) {
        pHost->RunModalDialog(nMode);
    }
    pHost->DestroyHostWindow();
    return 0;
}

void ControllerActivateApp(bool bActive) {
    if (!bActive || !EventsExist()) {
        return;
    }
    // One search worker at a time: while a series runs, an activation neither starts another
    // nor changes Line under the running search.
    if (g_App.bSearching == 1) {
        return;
    }
    SettingsStore store(kSettingsKeyPath);
    ReadLine(&store);
    if (g_App.ConnectedEvent->IsSet()) {
        return;
    }
    g_App.ConnectedEvent->Reset();
    g_App.SearchDoneEvent->Reset();
    g_App.nSearchAttempts = 0;
    g_App.bSearching = 1;
    g_pHost->StartSearchTimer();
    // A new series: whatever the last one ended with no longer stands.
    ReportRunOutcome(kOutcomeNone, "");
    StartSearch();
}

void ControllerTimer() {
    if (g_App.bSearching != 1 || !EventsExist()) {
        return;
    }
    g_App.SavedLine = CopyLine();
    if (!g_App.SearchDoneEvent->IsSet()) {
        return;
    }
    // The search worker sets WorkerExitedEvent as its very last act, just after
    // SearchDoneEvent. A launcher resets that event, so the next worker is started only once
    // the last one has finished: the shutdown then always waits for the worker that runs.
    if (!g_App.WorkerExitedEvent->IsSet()) {
        return;
    }

    if (!g_App.ConnectedEvent->IsSet()) {
        ++g_App.nSearchAttempts;
        if (g_App.nSearchAttempts <= kRestartsPerSeries) {
            g_App.ConnectedEvent->Reset();
            g_App.SearchDoneEvent->Reset();
            StartSearch();
            return;
        }
        StoreLine(g_App.SavedLine);
        if (g_App.hDialog.load() == nullptr) {
            return;
        }
        SetDialogItemText(kIdStatusText, "No Arm Found");
        if (g_App.nRunMode == kRunModeExtended) {
            EnableDialogItem(kIdButton, false);
            EnableDialogItem(kIdSaveButton, false);
        }
        g_App.bSearching = 0;
        g_pHost->StopSearchTimer();
        ReportRunOutcome(kOutcomeNoArm, "");
        return;
    }

    if (g_App.hDialog.load() == nullptr) {
        return;
    }
    SetDialogItemText(kIdStatusText, "Connected");
    if (g_App.nRunMode == kRunModeExtended) {
        ShowExtendedIdentity();
    }
    g_App.bSearching = 0;
    g_pHost->StopSearchTimer();
    if (g_App.nRunMode == kRunModeLog) {
        SetDialogItemText(kIdStatusText, "Logging Errors");
        if (StartLogWorker()) {
            g_bWorkerLaunched = true;
        }
    } else if (g_App.nRunMode == kRunModeStats) {
        // The statistics worker runs until StopEvent; the shutdown waits for it.
        SetDialogItemText(kIdStatusText, "Current Statistics");
        if (StartStatsWorker()) {
            g_bWorkerLaunched = true;
        }
    }
}

void ControllerDestroy() {
    if (g_App.hPort.load() != nullptr) {
        SettingsStore store(kSettingsKeyPath);
        LineSettings line = CopyLine();
        if (!store.WriteCommParam(static_cast<int32_t>(line.nPort), line.nBaud, line.cParity,
                                  line.nDataBits, line.nStopBits) &&
            g_pHost != nullptr) {
            g_pHost->SettingsNotSaved(store.szErrorText);
        }
    }
    if (g_App.StopEvent != nullptr) {
        g_App.StopEvent->Set();
    }

    bool bWorkerEnded = true;
    if (g_bWorkerLaunched && g_App.WorkerExitedEvent != nullptr &&
        !g_App.WorkerExitedEvent->Wait(kShutdownWaitMs)) {
        // The search worker is given up. A log or statistics worker is not: it keeps its
        // handle and ends with the process. Whoever takes the search worker's handle first
        // releases it: the worker as it ends, or this.
        ThreadHandle hThread = g_App.hSearchThread.exchange(nullptr);
        if (hThread != nullptr) {
            g_Platform.pThreads->AbandonThread(hThread);
        }
        bWorkerEnded = false;
    }

    // A worker that did not end in time may still use the port and the events; they are then
    // left to the end of the process rather than closed under it.
    if (bWorkerEnded) {
        CloseArmPort(g_App.hPort.exchange(nullptr));
    }
    g_App.bSearching = 0;
    if (g_pHost != nullptr) {
        g_pHost->StopSearchTimer();
    }
    if (bWorkerEnded) {
        CloseEvent(&g_App.SearchDoneEvent);
        CloseEvent(&g_App.ConnectedEvent);
        CloseEvent(&g_App.StopEvent);
        CloseEvent(&g_App.WorkerExitedEvent);
    }
    if (g_pHost != nullptr) {
        g_pHost->PostQuit(0);
    }
}

void StatusInitDialog() {
    SetDialogItemText(kIdStatusText, "Searching");
}
