// The process-wide state of ArmLink: one AppState, the line settings and the run modes.
#ifndef ARMLINK_SHELL_APP_STATE_H
#define ARMLINK_SHELL_APP_STATE_H

#include <atomic>
#include <cstdint>

#include "serial/serial_device.h"
#include "shell/dialog_surface.h"
#include "shell/platform.h"

// Run modes chosen by the command line; no other value is ever stored.
enum RunMode : int32_t {
    kRunModeLog = 0,       // default: append one entry to the log file
    kRunModeStats = 2,     // "/stats": poll and show the counters
    kRunModeExtended = 4,  // "/extended": decode the error records on request
};

// The line settings at which the arm is tried or answered. nStopBits is reported and compared,
// never programmed: the port always uses one stop bit.
struct LineSettings {
    uint32_t nPort;      // COM port number, 1-4
    int32_t nBaud;       // baud rate
    char cParity;        // 'n' or 'e'
    int32_t nDataBits;   // 8 or 7
    int32_t nStopBits;   // as the arm reports it
};

// The initial settings: COM1, 9600 baud, no parity, 8 data bits, 1 stop bit.
constexpr LineSettings kInitialLine = {1, 9600, 'n', 8, 1};

// Sizes of the start-up texts.
constexpr unsigned kPathSize = 768;

// The control ids shared by the dialog templates and the code.
enum ControlId : int {
    kIdButton = 1,          // the dialog's push button; "&Check" in the extended display
    kIdCancel = 2,          // the cancel command (Escape, close box); "&Close" in the extended display
    kIdStatusText = 1028,   // the status line of every dialog
    kIdLogPathText = 1030,  // VOLUME_DLG: the log file's path, hidden until the entry is written
    kIdLogPathLabel = 1031, // VOLUME_DLG: "Log Saved In:", hidden until the entry is written
    kIdSaveButton = 1054,   // the extended display's "&Save"
};

struct AppState {
    // Start-up fields: set once before the host window exists, read only afterwards.
    void* hInstance;
    char szExeDir[kPathSize];
    char szLogPath[kPathSize];
    int32_t nRunMode;

    LineSettings Line;       // the current settings
    LineSettings SavedLine;  // the controller's copy, taken at each tick while searching

    // The open port. The search worker owns it until it sets ConnectedEvent; then the
    // controller, the mode worker or the extended display uses it; shutdown closes it last.
    SerialPort hPort;
    // The open dialog, or none. Set and cleared by the dialog procedures on the UI thread,
    // tested by every writer before each control write.
    std::atomic<DialogSurface*> hDialog;

    int32_t bSearching;
    int32_t nSearchAttempts;
    ThreadHandle hSearchThread;
    uint32_t dwSearchThreadId;
    ThreadHandle hWorkerThread;

    Event* SearchDoneEvent;
    Event* ConnectedEvent;
    Event* StopEvent;
    Event* WorkerExitedEvent;
};

// The one instance of the process.
extern AppState g_App;

// Writes into the open dialog; each tests hDialog first and does nothing when no dialog is open.
void SetDialogItemText(int nId, const char* szText);
void ShowDialogItem(int nId);
void EnableDialogItem(int nId, bool bEnable);

// Puts g_App back to its state at process start (every handle none, Line initial).
void ResetAppState();

#endif
