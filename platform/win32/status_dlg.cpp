// StatusDlgProc: the procedure of the two dialogs that the workers fill, VOLUME_DLG and
// STATS_DLG. It publishes the open dialog in hDialog and takes it back before the dialog ends.
#include <windows.h>

#include "common/app_state.h"
#include "platform/win32/win32_platform.h"
#include "shell/controller.h"

namespace {

// The surface lives as long as the process: a worker that read hDialog just before it was
// cleared still writes through a valid object (to a window that no longer takes the message).
Win32DialogSurface g_StatusSurface;

}  // namespace

INT_PTR CALLBACK StatusDlgProc(HWND hDlg, UINT nMessage, WPARAM wParam, LPARAM lParam) {
    (void)lParam;
    switch (nMessage) {
        case WM_INITDIALOG: {
            HICON hIcon = LoadIconA(static_cast<HINSTANCE>(g_App.hInstance), "ARM");
            SetClassLongPtrA(hDlg, GCLP_HICON, reinterpret_cast<LONG_PTR>(hIcon));
            g_StatusSurface.hDlg = hDlg;
            g_App.hDialog.store(&g_StatusSurface);
            StatusInitDialog();
            // FALSE: the dialog manager does not set the keyboard focus itself.
            return FALSE;
        }
        case WM_COMMAND: {
            int nId = LOWORD(wParam);
            // 1 is the dialog's button; 2 the cancel command of Escape and the close box.
            if (nId == kIdButton || nId == kIdCancel) {
                g_App.hDialog.store(nullptr);
                EndDialog(hDlg, 0);
                return TRUE;
            }
            return FALSE;
        }
        case WM_DESTROY:
            g_App.hDialog.store(nullptr);
            return FALSE;
        default:
            return FALSE;
    }
}
