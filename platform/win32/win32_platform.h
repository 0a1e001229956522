// The Win32 seam implementations and the pieces of the Windows program that its tests reach:
// the line's DCB, the host window procedure, the status dialog procedure.
#ifndef ARMLINK_PLATFORM_WIN32_WIN32_PLATFORM_H
#define ARMLINK_PLATFORM_WIN32_WIN32_PLATFORM_H

#include <windows.h>

#include <cstdint>

#include "common/dialog_surface.h"
#include "resources/resource.h"

class Clock;
class ThreadApi;
class SettingsBackend;
class SerialBus;

// The seam implementations; each is one object for the whole process.
Clock* Win32Clock();               // GetTickCount, localtime, Sleep
ThreadApi* Win32Threads();         // CreateThread, CreateEventA, WaitForSingleObject
SettingsBackend* Win32Settings();  // the registry below HKEY_LOCAL_MACHINE
SerialBus* Win32SerialBus();       // CreateFileA on "COM%u" and the comm calls
bool Win32CutFile(const char* szPath, int64_t nSize);  // the pfnCutFile of the table: SetEndOfFile
// pfnLogRoom: GetDiskFreeSpaceExA; pfnLockLog and pfnUnlockLog: LockFileEx; pfnStateDir:
// %LOCALAPPDATA%\ArmLink\.
bool Win32LogRoom(const char* szPath, int64_t nSize, int64_t nBytes, int* pnError);
void* Win32LockLog(const char* szPath);
void Win32UnlockLog(void* hLock);
bool Win32StateDir(char* szDir, size_t cchDir);

// Sets the DCB fields that the line names (rate, parity from the letter, data bits, one stop
// bit, DTR and RTS on, no flow control, the XON/XOFF limits and characters) in a DCB read back
// from the port; every other field stays as read.
void ProgramLineDcb(DCB* pDcb, uint32_t nBaud, char cParity, uint8_t nDataBits);

// The open dialog as the core writes into it: control writes are window messages to hDlg,
// sent across threads and handled by the dialog's own thread.
class Win32DialogSurface : public DialogSurface {
  public:
    Win32DialogSurface() : hDlg(nullptr) {}
    void SetItemText(int nId, const char* szText) override;
    void ShowItem(int nId) override;
    void EnableItem(int nId, bool bEnable) override;
    bool AppendReport(const char* const* pTexts, size_t nTexts) override;
    uint32_t ReportLineCount() override;
    uint32_t ReportLine(uint32_t nLine, char* pBuffer, uint32_t nMax) override;
    bool AskSaveFileName(char* szPath, uint32_t cchPath) override;
    void ShowMessage(const char* szText, const char* szCaption) override;
    void ShowProgress(const char* szText) override;
    void ReportOutcome(RunOutcome outcome, const char* szDetail) override;
    void ShowUnloggedEntry(const char* szEntry) override;
    void ReportPortFailure(unsigned nPort, const char* szDevice, const char* szReason) override;
    // The dialog says nothing more after a save: the file holds the report.
    void ReportSaved(const char*) override {}
    void PollDone(const PollSample& sample) override;

    HWND hDlg;
    int nReportId = IDC_REPORT_TEXT;  // ReportText of ERROR_DISPLAY_DLG
    RunOutcome lastOutcome = kOutcomeNone;
};

// How the run's work ended, as the dialogs were told: WinMain's exit status comes from it.
RunOutcome Win32RunOutcome();

// The procedure of ERROR_DISPLAY_DLG.
INT_PTR CALLBACK ExtendedDlgProc(HWND hDlg, UINT nMessage, WPARAM wParam, LPARAM lParam);
// The procedure of VOLUME_DLG and STATS_DLG.
INT_PTR CALLBACK StatusDlgProc(HWND hDlg, UINT nMessage, WPARAM wParam, LPARAM lParam);
// The procedure of the hidden host window (class "example").
LRESULT CALLBACK HostWndProc(HWND hwnd, UINT nMessage, WPARAM wParam, LPARAM lParam);

#endif
