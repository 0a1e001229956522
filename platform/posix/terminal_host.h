// The host window of the controller on a terminal: the modal dialog is the main loop, waiting in
// poll() for the next timer tick, a worker's request, the user's input or a signal.
#ifndef ARMLINK_PLATFORM_POSIX_TERMINAL_HOST_H
#define ARMLINK_PLATFORM_POSIX_TERMINAL_HOST_H

#include <cstdint>

#include "platform/posix/dialog_queue.h"
#include "platform/posix/frontend.h"
#include "shell/controller.h"

// A dialog procedure's handling of the dialog's start, and of a command from the technician (a
// button id).
typedef void (*DialogInitProc)();
typedef void (*DialogCommandProc)(int nCommand);

class TerminalHost : public HostWindow {
  public:
    // pFront draws the dialog; pFallback takes over when pFront cannot open the terminal.
    // fdSignal and fdWake are the read ends of the signal pipe and of the workers' wake-up
    // pipe, whose write end is fdWakeWrite.
    TerminalHost(FrontEnd* pFront, FrontEnd* pFallback, int fdSignal, int fdWake, int fdWakeWrite);

    // The dialog's start goes to pfnInitProc (when not nullptr, else the status line shows
    // "Searching"), its commands (the buttons other than the one that closes it) to pfnProc.
    void SetDialogProcs(DialogInitProc pfnInitProc, DialogCommandProc pfnProc) {
        pfnInit = pfnInitProc;
        pfnCommand = pfnProc;
    }
    // The face that drew the dialog (pFront, or the fallback); it holds the run's outcome.
    FrontEnd* Front() const { return pFront; }

    void RunModalDialog(int32_t nRunMode) override;
    void DestroyHostWindow() override;
    void StartSearchTimer() override;
    void StopSearchTimer() override;
    void PostQuit(int nExitCode) override;
    void SettingsNotSaved(const char* szReason) override;

  private:
    void RunLoop();

    FrontEnd* pFront;
    FrontEnd* pFallback;
    int fdSignal;
    int fdWake;
    int fdWakeWrite;
    DialogInitProc pfnInit = nullptr;
    DialogCommandProc pfnCommand = nullptr;
    // Workers may still hold its address after the dialog ended (a worker that outlives the
    // shutdown wait), so it lives as long as the host, which lives to the process's end.
    QueuedDialogSurface surface;
    bool bTimerRunning = false;
    uint64_t nNextTickMs = 0;
};

#endif
