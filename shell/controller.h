// The host window controller: settings at creation, a search series at each activation, the
// 500 ms watch of the search, the mode worker, and the orderly shutdown.
#ifndef ARMLINK_SHELL_CONTROLLER_H
#define ARMLINK_SHELL_CONTROLLER_H

#include <cstdint>

// The host window as the controller drives it. The Windows host window procedure implements
// it with the window, its timer and DialogBoxParamA; the terminal front ends with their own
// event loops. All calls come on the user-interface thread.
class HostWindow {
  public:
    virtual ~HostWindow() {}
    // Runs the dialog of the run mode modally; returns when it has ended. During the call the
    // host delivers activations (ControllerActivateApp) and timer ticks (ControllerTimer).
    virtual void RunModalDialog(int32_t nRunMode) = 0;
    // Destroys the host window; its destroy handling (ControllerDestroy) runs before return.
    virtual void DestroyHostWindow() = 0;
    // SearchTimer: id 1, 500 ms, ticking only between start and stop.
    virtual void StartSearchTimer() = 0;
    virtual void StopSearchTimer() = 0;
    // Posts the quit request with the exit code (never read while creation runs).
    virtual void PostQuit(int nExitCode) = 0;
    // The line settings could not be saved at shutdown (the dialog has already ended); szReason
    // is the settings store's text for the failure.
    virtual void SettingsNotSaved(const char* szReason) = 0;
};

constexpr uint32_t kSearchTimerId = 1;
constexpr uint32_t kSearchTimerMs = 500;
constexpr uint32_t kShutdownWaitMs = 5000;

// Creation: reads Line, creates the four events, runs the dialog, destroys the host window.
// Returns 0.
int ControllerCreate(HostWindow* pHost);
// Activation (bActive true) re-reads Line and starts a search series unless connected;
// deactivation does nothing.
void ControllerActivateApp(bool bActive);
// The first state of every dialog, and of each search: the status line "Searching".
void StatusInitDialog();
// A tick of SearchTimer; ignored while no search series runs.
void ControllerTimer();
// Shutdown: saves Line when a port is open, stops and waits for the worker, closes the port,
// the timer and the events, posts the quit request.
void ControllerDestroy();

#endif
