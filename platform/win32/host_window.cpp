// HostWndProc: the hidden host window of class "example", which hands its four messages to the
// portable controller and gives the controller its window, timer and modal dialog.
#include <windows.h>

#include "common/app_state.h"
#include "platform/win32/win32_platform.h"
#include "shell/controller.h"

namespace {

class Win32HostWindow : public HostWindow {
  public:
    Win32HostWindow() : hwnd(nullptr) {}

    // The dialog of the run mode, owned by the host window, with a creation parameter of 0.
    void RunModalDialog(int32_t nRunMode) override {
        HINSTANCE hInstance = static_cast<HINSTANCE>(g_App.hInstance);
        switch (nRunMode) {
            case kRunModeLog:
                DialogBoxParamA(hInstance, "VOLUME_DLG", hwnd, StatusDlgProc, 0);
                break;
            case kRunModeStats:
                DialogBoxParamA(hInstance, "STATS_DLG", hwnd, StatusDlgProc, 0);
                break;
            case kRunModeExtended:
                DialogBoxParamA(hInstance, "ERROR_DISPLAY_DLG", hwnd, ExtendedDlgProc, 0);
                break;
            default:
                break;
        }
    }

    void DestroyHostWindow() override { DestroyWindow(hwnd); }

    // No callback routine: each period posts a timer message to the host window, which the
    // dialog's message loop delivers.
    void StartSearchTimer() override { SetTimer(hwnd, kSearchTimerId, kSearchTimerMs, nullptr); }

    void StopSearchTimer() override { KillTimer(hwnd, kSearchTimerId); }

    void PostQuit(int nExitCode) override { PostQuitMessage(nExitCode); }

    // The Windows program keeps a failed save of the settings to itself, as it always has.
    void SettingsNotSaved(const char*) override {}

    HWND hwnd;
};

Win32HostWindow g_Host;

// From the search worker's thread: a tick posted now, which the dialog's message loop delivers
// to HostWndProc as it delivers the timer's own.
void PostTickNow() {
    PostMessageA(g_Host.hwnd, WM_TIMER, kSearchTimerId, 0);
}

}  // namespace

LRESULT CALLBACK HostWndProc(HWND hwnd, UINT nMessage, WPARAM wParam, LPARAM lParam) {
    switch (nMessage) {
        case WM_CREATE:
            // The whole run happens here: the dialog, the search and the shutdown.
            g_Host.hwnd = hwnd;
            g_Platform.pfnSearchEnded = PostTickNow;
            ControllerCreate(&g_Host);
            return 0;
        case WM_ACTIVATEAPP:
            ControllerActivateApp(wParam == 1);
            return 0;
        case WM_TIMER:
            ControllerTimer();
            return 0;
        case WM_DESTROY:
            ControllerDestroy();
            return 0;
        default:
            return DefWindowProcA(hwnd, nMessage, wParam, lParam);
    }
}
