// A host window for whole runs in virtual time: the controller's modal dialog is a scene of
// the test, and what the controller asks of the host is counted.
#ifndef ARMLINK_TESTS_SUPPORT_FAKE_HOST_H
#define ARMLINK_TESTS_SUPPORT_FAKE_HOST_H

#include <functional>
#include <string>
#include <vector>

#include "common/app_state.h"
#include "common/dialog_surface.h"
#include "shell/controller.h"

// The host window: runs the "dialog" as a scene of the test while the controller's dialog
// would be open, and counts what the controller asks of it.
class FakeHost : public HostWindow {
  public:
    explicit FakeHost(DialogSurface* pDialog) : pDialog(pDialog) {}
    void RunModalDialog(int32_t nMode) override {
        nDialogMode = nMode;
        g_App.hDialog.store(pDialog);
        pDialog->SetItemText(kIdStatusText, "Searching");
        if (scene) {
            scene();
        }
        g_App.hDialog.store(nullptr);
    }
    void DestroyHostWindow() override {
        bDestroyed = true;
        ControllerDestroy();
    }
    void StartSearchTimer() override { bTimer = true; }
    void StopSearchTimer() override { bTimer = false; }
    void PostQuit(int nExitCode) override { nQuit = nExitCode; }
    void SettingsNotSaved(const char* szReason) override { notSaved.push_back(szReason); }

    DialogSurface* pDialog;
    std::function<void()> scene;
    int32_t nDialogMode = -1;
    bool bTimer = false;
    bool bDestroyed = false;
    int nQuit = -1;
    std::vector<std::string> notSaved;
};

#endif
