// The Win32 seam implementations and the pieces of the Windows program that its tests reach:
// the DCB mapping, the host window procedure, the status dialog procedure.
#ifndef ARMLINK_SHELL_WIN32_WIN32_PLATFORM_H
#define ARMLINK_SHELL_WIN32_WIN32_PLATFORM_H

#include <windows.h>

#include "serial/serial_device.h"
#include "shell/dialog_surface.h"

class Clock;
class ThreadApi;
class SettingsBackend;
class SerialBus;

// The seam implementations; each is one object for the whole process.
Clock* Win32Clock();               // GetTickCount, localtime, Sleep
ThreadApi* Win32Threads();         // CreateThread, CreateEventA, WaitForSingleObject
SettingsBackend* Win32Settings();  // the registry below HKEY_LOCAL_MACHINE
SerialBus* Win32SerialBus();       // CreateFileA on "COM%u" and the comm calls

// The line state carried member for member between the seam's record and the DCB.
void CommStateToDcb(const CommState& state, DCB* pDcb);
void DcbToCommState(const DCB& dcb, CommState* pState);

// The open dialog as the core writes into it: control writes are window messages to hDlg,
// sent across threads and handled by the dialog's own thread.
class Win32DialogSurface : public DialogSurface {
  public:
    Win32DialogSurface() : hDlg(nullptr) {}
    void SetItemText(int nId, const char* szText) override;
    void ShowItem(int nId) override;
    void EnableItem(int nId, bool bEnable) override;

    HWND hDlg;
};

// The procedure of VOLUME_DLG and STATS_DLG.
INT_PTR CALLBACK StatusDlgProc(HWND hDlg, UINT nMessage, WPARAM wParam, LPARAM lParam);
// The procedure of the hidden host window (class "example").
LRESULT CALLBACK HostWndProc(HWND hwnd, UINT nMessage, WPARAM wParam, LPARAM lParam);

#endif
