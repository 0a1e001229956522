// The dialog surface on Win32: control writes into the open dialog as window messages, sent
// from any thread and handled on the dialog's own thread before the call returns.
#include <windows.h>

#include "shell/win32/win32_platform.h"

void Win32DialogSurface::SetItemText(int nId, const char* szText) {
    SendDlgItemMessageA(hDlg, nId, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(szText));
}

void Win32DialogSurface::ShowItem(int nId) {
    ShowWindow(GetDlgItem(hDlg, nId), SW_SHOW);
}

void Win32DialogSurface::EnableItem(int nId, bool bEnable) {
    EnableWindow(GetDlgItem(hDlg, nId), bEnable ? TRUE : FALSE);
}
