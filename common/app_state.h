// The process-wide state of ArmLink: one AppState, the line settings, the run modes, the control
// ids, and which thread owns each field when.
#ifndef ARMLINK_COMMON_APP_STATE_H
#define ARMLINK_COMMON_APP_STATE_H

#include <atomic>
#include <cstdint>

#include "common/dialog_surface.h"
#include "common/platform.h"
#include "common/serial_device.h"
#include "resources/resource.h"

// Run modes chosen by the command line; no other value is ever stored.
enum RunMode : int32_t {
    kRunModeLog = 0,       // default: append one entry to the log file
    kRunModeStats = 2,     // "/stats": poll and show the counters
    kRunModeExtended = 4,  // "/extended": decode the error records on request
};

// The line settings at which the arm is tried or answered. nStopBits is reported and compared,
// never programmed: the port always uses one stop bit.
struct LineSettings {
    uint32_t nPort;     // COM port number, 1-4
    int32_t nBaud;      // baud rate
    char cParity;       // 'n' or 'e'
    int32_t nDataBits;  // 8 or 7
    int32_t nStopBits;  // as the arm reports it
};

// The initial settings: COM1, 9600 baud, no parity, 8 data bits, 1 stop bit.
constexpr LineSettings kInitialLine = {1, 9600, 'n', 8, 1};

// Sizes of the start-up texts.
constexpr unsigned kPathSize = 768;

// The control ids shared with the dialog templates.
enum ControlId : int {
    kIdButton = IDC_BUTTON,                // the dialog's push button; "&Check" in the extended
    kIdCancel = IDC_CANCEL_BUTTON,         // the cancel command (Escape, close box); "&Close"
    kIdStatusText = IDC_STATUS_TEXT,       // the status line of every dialog
    kIdLogPathText = IDC_LOG_PATH_TEXT,    // VOLUME_DLG: the log file's path, hidden at first
    kIdLogPathLabel = IDC_LOG_PATH_LABEL,  // VOLUME_DLG: "Log Saved In:", hidden at first
    kIdReportText = IDC_REPORT_TEXT,       // ERROR_DISPLAY_DLG: the report
    kIdSaveButton = IDC_SAVE_BUTTON,       // ERROR_DISPLAY_DLG: "&Save"
};

// The state shared by the user-interface thread (UI), the search worker and the mode worker
// (log or statistics). No lock may reorder the events between them; what two threads
// may touch at the same moment is atomic, or copied through CopyLine/StoreLine.
//
// | field                 | who writes it, when                   | who reads it              |
// |-----------------------|---------------------------------------|---------------------------|
// | start-up fields       | main, before any thread               | everyone                  |
// | bFastReplies          | main (--fast), then the controller's  | every exchange, the       |
// |                       | creation (FastReplies), before any    | search, the stats worker  |
// |                       | worker runs; never again              |                           |
// | Line                  | search worker while it runs (through  | UI copies it at each tick |
// |                       | StoreLine); UI only while no search   | and at shutdown           |
// |                       | worker runs                           | (CopyLine)                |
// | SavedLine, bSearching,| UI only                               | UI only                   |
// | nSearchAttempts       |                                       |                           |
// | hPort                 | search worker until ConnectedEvent;   | the mode worker or the    |
// |                       | the statistics worker while it runs   | extended display; UI at   |
// |                       | (it closes a port whose device is     | shutdown                  |
// |                       | gone and opens it again); shutdown    |                           |
// |                       | closes it last, once the worker ended |                           |
// | nLastOutcome          | whoever reports an outcome            | main, after the shutdown  |
// | hDialog               | dialog procedures (UI)                | every writer, before each |
// |                       |                                       | control write             |
// | hSearchThread,        | the launcher stores it before the     | whoever takes it first    |
// | hWorkerThread         | thread runs; the worker takes it at   | (exchange) closes it:     |
// |                       | its end, shutdown takes it on a       | exactly one party         |
// |                       | time-out                              |                           |
// | the four events       | created and closed by UI; set/reset   | polled by everyone        |
// |                       | by their owners (the event table)     |                           |
struct AppState {
    // Start-up fields: set once before the host window exists, read only afterwards.
    void* hInstance;
    char szExeDir[kPathSize];
    char szLogPath[kPathSize];
    int32_t nRunMode;
    // The technician's choice: each read ends as soon as its reply is complete, and the
    // statistics poll every 2000 ms from start to start. Off keeps every deadline of the line.
    int32_t bFastReplies;

    LineSettings Line;       // the current settings
    LineSettings SavedLine;  // the controller's copy, taken at each tick while searching

    // The open port, or none.
    std::atomic<SerialDevice*> hPort;
    // The open dialog, or none.
    std::atomic<DialogSurface*> hDialog;
    // The last outcome reported, also when no dialog was open to take it: a stop request ends
    // the dialog before the worker says how its entry ended.
    std::atomic<int32_t> nLastOutcome;

    int32_t bSearching;
    int32_t nSearchAttempts;
    std::atomic<ThreadHandle> hSearchThread;
    std::atomic<ThreadHandle> hWorkerThread;

    Event* SearchDoneEvent;
    Event* ConnectedEvent;
    Event* StopEvent;
    Event* WorkerExitedEvent;
    // Set by a request to close from outside the dialog (a signal on POSIX), at any moment; the
    // extended display's Check ends after the exchange under way when it sees it.
    std::atomic<int32_t> bCloseRequested;
};

// The one instance of the process.
extern AppState g_App;

// Line as a whole, taken or replaced in one step, so that a copy made on one thread while the
// search worker changes the settings never holds half a change.
LineSettings CopyLine();
void StoreLine(const LineSettings& line);

// Writes into the open dialog; each tests hDialog first and does nothing when no dialog is open.
void SetDialogItemText(int nId, const char* szText);
void ShowDialogItem(int nId);
void EnableDialogItem(int nId, bool bEnable);
void ShowDialogProgress(const char* szText);
void ReportRunOutcome(RunOutcome outcome, const char* szDetail);
void ReportPortFailure(unsigned nPort, const char* szDevice, const char* szReason);
void ReportSaved(const char* szPath);
void ReportPollDone(const PollSample& sample);

// Releases the thread handle in *pSlot, if this caller is the first to take it.
void ReleaseThreadSlot(std::atomic<ThreadHandle>* pSlot);

// The outcome that stands when reported follows current: a firmware judged too old after the
// identity went unanswered stays the unanswered identity (no version came to judge).
RunOutcome NextOutcome(RunOutcome current, RunOutcome reported);
// The exit status of a run that ended with this outcome, the same for every program and face:
// 0 done, 1 no arm or closed before the work was done, 3 log, 4 report, 5 incomplete, 6 firmware.
int RunExitStatus(RunOutcome outcome);
// Puts g_App back to its state at process start (every handle none, Line initial).
void ResetAppState();

#endif
