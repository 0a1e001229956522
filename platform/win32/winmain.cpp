// WinMain: the start of ArmLink.exe. It fills the start-up fields of AppState and the seam table,
// registers the host window class and creates the hidden host window, inside whose creation the
// whole run happens.
#include <windows.h>

#include "common/app_state.h"
#include "platform/win32/win32_platform.h"
#include "shell/startup.h"

namespace {

void UseWin32Platform() {
    g_Platform.pClock = Win32Clock();
    g_Platform.pThreads = Win32Threads();
    g_Platform.pBus = Win32SerialBus();
    g_Platform.pSettings = Win32Settings();
    g_Platform.pfnCutFile = Win32CutFile;
    g_Platform.pfnLogRoom = Win32LogRoom;
    g_Platform.pfnLockLog = Win32LockLog;
    g_Platform.pfnUnlockLog = Win32UnlockLog;
    g_Platform.pfnStateDir = Win32StateDir;
}

// The executable's directory with its trailing backslash. A path that the buffer cut short
// would name another directory, so it counts as no path.
void FindExeDir() {
    char szExePath[kPathSize];
    DWORD nLength = GetModuleFileNameA(nullptr, szExePath, kPathSize);
    if (nLength == 0 || nLength >= kPathSize) {
        g_App.szExeDir[0] = '\0';
        return;
    }
    szExePath[nLength] = '\0';
    CutExeDir(szExePath, '\\', g_App.szExeDir, kPathSize);
}

}  // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow) {
    ResetAppState();
    UseWin32Platform();

    FindExeDir();
    FormatLogPath(g_App.szExeDir, g_App.szLogPath, kPathSize);
    g_App.hInstance = hInstance;
    g_App.nRunMode = SelectRunMode(lpCmdLine);

    if (hPrevInstance == nullptr) {
        WNDCLASSA wc;
        wc.style = 0;
        wc.lpfnWndProc = HostWndProc;
        wc.cbClsExtra = 0;
        wc.cbWndExtra = 0;
        wc.hInstance = hInstance;
        wc.hIcon = LoadIconA(hInstance, "ARM");
        wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
        wc.lpszMenuName = "ExampleMenu";
        wc.lpszClassName = "example";
        if (RegisterClassA(&wc) == 0) {
            return 0;
        }
    }

    // The creation handler runs the dialog and destroys the window again, so no window comes
    // back and the message loop below is not entered.
    HWND hwnd = CreateWindowExA(0, "example", "Main Window", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr,
                                nullptr, hInstance, nullptr);
    if (hwnd == nullptr) {
        // The run's outcome as the exit status, as the POSIX program gives it, so that a batch
        // file (start /wait) can tell a run that did its work from one that did not.
        return RunExitStatus(Win32RunOutcome());
    }
    ShowWindow(hwnd, nCmdShow);
    UpdateWindow(hwnd);
    MSG msg;
    ZeroMemory(&msg, sizeof msg);
    // GetMessageA gives -1 on failure: that ends the loop too.
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}
