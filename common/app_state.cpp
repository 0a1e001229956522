// The one AppState of the process, the seam table, and the writes into the open dialog.
#include "common/app_state.h"

#include <mutex>

AppState g_App;
Platform g_Platform;

namespace {

// Guards Line while a search worker may change it; held only for a copy of five fields.
std::mutex g_LineLock;

}  // namespace

LineSettings CopyLine() {
    std::lock_guard<std::mutex> lock(g_LineLock);
    return g_App.Line;
}

void StoreLine(const LineSettings& line) {
    std::lock_guard<std::mutex> lock(g_LineLock);
    g_App.Line = line;
}

void ResetAppState() {
    g_App.hInstance = nullptr;
    g_App.szExeDir[0] = '\0';
    g_App.szLogPath[0] = '\0';
    g_App.nRunMode = kRunModeLog;
    g_App.bFastReplies = 0;
    StoreLine(kInitialLine);
    g_App.SavedLine = kInitialLine;
    g_App.hPort.store(nullptr);
    g_App.hDialog.store(nullptr);
    g_App.nLastOutcome.store(kOutcomeNone);
    g_App.bSearching = 0;
    g_App.nSearchAttempts = 0;
    g_App.hSearchThread.store(nullptr);
    g_App.hWorkerThread.store(nullptr);
    g_App.SearchDoneEvent = nullptr;
    g_App.ConnectedEvent = nullptr;
    g_App.StopEvent = nullptr;
    g_App.WorkerExitedEvent = nullptr;
    g_App.bCloseRequested.store(0);
}

RunOutcome NextOutcome(RunOutcome current, RunOutcome reported) {
    if (current == kOutcomeIncomplete && reported == kOutcomeVersionNotSupported) {
        return current;
    }
    return reported;
}

int RunExitStatus(RunOutcome outcome) {
    switch (outcome) {
        case kOutcomeDone:
            return 0;
        case kOutcomeLogNotWritten:
        case kOutcomeLogKept:
            return 3;
        case kOutcomeReportNotSaved:
            return 4;
        case kOutcomeIncomplete:
        case kOutcomeContactLost:
            return 5;
        case kOutcomeVersionNotSupported:
            return 6;
        default:
            return 1;
    }
}

void SetDialogItemText(int nId, const char* szText) {
    DialogSurface* pDialog = g_App.hDialog.load();
    if (pDialog != nullptr) {
        pDialog->SetItemText(nId, szText);
    }
}

void ShowDialogItem(int nId) {
    DialogSurface* pDialog = g_App.hDialog.load();
    if (pDialog != nullptr) {
        pDialog->ShowItem(nId);
    }
}

void EnableDialogItem(int nId, bool bEnable) {
    DialogSurface* pDialog = g_App.hDialog.load();
    if (pDialog != nullptr) {
        pDialog->EnableItem(nId, bEnable);
    }
}

void ShowDialogProgress(const char* szText) {
    DialogSurface* pDialog = g_App.hDialog.load();
    if (pDialog != nullptr) {
        pDialog->ShowProgress(szText);
    }
}

void ReportRunOutcome(RunOutcome outcome, const char* szDetail) {
    g_App.nLastOutcome.store(outcome);
    DialogSurface* pDialog = g_App.hDialog.load();
    if (pDialog != nullptr) {
        pDialog->ReportOutcome(outcome, szDetail != nullptr ? szDetail : "");
    }
}

void ReportSaved(const char* szPath) {
    DialogSurface* pDialog = g_App.hDialog.load();
    if (pDialog != nullptr) {
        pDialog->ReportSaved(szPath);
    }
}

void ReportPortFailure(unsigned nPort, const char* szDevice, const char* szReason) {
    DialogSurface* pDialog = g_App.hDialog.load();
    if (pDialog != nullptr) {
        pDialog->ReportPortFailure(nPort, szDevice, szReason);
    }
}

void ReportPollDone(const PollSample& sample) {
    DialogSurface* pDialog = g_App.hDialog.load();
    if (pDialog != nullptr) {
        pDialog->PollDone(sample);
    }
}

void ReleaseThreadSlot(std::atomic<ThreadHandle>* pSlot) {
    ThreadHandle hThread = pSlot->exchange(nullptr);
    if (hThread != nullptr) {
        g_Platform.pThreads->CloseThread(hThread);
    }
}
