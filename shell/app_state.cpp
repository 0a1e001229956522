// The one AppState of the process and the seam table.
#include "shell/app_state.h"

AppState g_App;
Platform g_Platform;

void ResetAppState() {
    g_App.hInstance = nullptr;
    g_App.szExeDir[0] = '\0';
    g_App.szLogPath[0] = '\0';
    g_App.nRunMode = kRunModeLog;
    g_App.Line = kInitialLine;
    g_App.SavedLine = kInitialLine;
    g_App.hPort = nullptr;
    g_App.hDialog.store(nullptr);
    g_App.bSearching = 0;
    g_App.nSearchAttempts = 0;
    g_App.hSearchThread = nullptr;
    g_App.dwSearchThreadId = 0;
    g_App.hWorkerThread = nullptr;
    g_App.SearchDoneEvent = nullptr;
    g_App.ConnectedEvent = nullptr;
    g_App.StopEvent = nullptr;
    g_App.WorkerExitedEvent = nullptr;
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
