// The terminal host window: timer ticks, the workers' requests, keys and signals, all on the
// main thread, as the Windows dialog's message loop delivers them.
#include "platform/posix/terminal_host.h"

#include <errno.h>
#include <limits.h>
#include <poll.h>
#include <stdio.h>
#include <unistd.h>

#include <atomic>

#include "common/app_state.h"
#include "platform/posix/posix_platform.h"
#include "platform/posix/self_pipe.h"
#include "shell/controller.h"

namespace {

// While the dialog waits for the worker's exit after its last write, the loop looks again
// this often; the wait lasts a few milliseconds at most.
constexpr int kWorkerExitPollMs = 2;

// A tick asked for by the search worker as it ends (fast replies), and the pipe that wakes
// the loop for it; the pipe stays open for the whole process.
std::atomic<bool> g_bTickNow(false);
int g_fdTickWake = -1;

void TickNow() {
    g_bTickNow.store(true);
    char cWake = 0;
    ssize_t nWritten;
    do {
        nWritten = write(g_fdTickWake, &cWake, 1);
    } while (nWritten < 0 && errno == EINTR);
}

}  // namespace

TerminalHost::TerminalHost(FrontEnd* pFront, FrontEnd* pFallback, int fdSignal, int fdWake,
                           int fdWakeWrite)
    : pFront(pFront),
      pFallback(pFallback),
      fdSignal(fdSignal),
      fdWake(fdWake),
      fdWakeWrite(fdWakeWrite) {
    g_fdTickWake = fdWakeWrite;
    g_Platform.pfnSearchEnded = TickNow;
}

void TerminalHost::RunModalDialog(int32_t) {
    char szReason[256] = "";
    if (!pFront->Open(szReason, sizeof szReason)) {
        fprintf(stderr, "armlink: %s; using the plain line mode\n", szReason);
        pFront = pFallback;
        pFront->Open(szReason, sizeof szReason);
    }

    // The dialog is open: workers may write into it from now on.
    surface.Open(pFront, fdWakeWrite, pFront->DrawsProgress());
    g_App.hDialog.store(&surface);
    if (pfnInit != nullptr) {
        pfnInit();
    } else {
        StatusInitDialog();
    }
    // Start-up counts as the first activation.
    ControllerActivateApp(true);

    RunLoop();

    // Cleared before the dialog ends, so that no worker writes into a closing dialog; the
    // surface then answers every call at once.
    g_App.hDialog.store(nullptr);
    surface.Close();
    pFront->Close();
}

void TerminalHost::DestroyHostWindow() {
    ControllerDestroy();
}

// SetTimer on a running timer starts its period anew.
void TerminalHost::StartSearchTimer() {
    bTimerRunning = true;
    nNextTickMs = MonotonicMs() + kSearchTimerMs;
}

void TerminalHost::StopSearchTimer() {
    bTimerRunning = false;
}

// The exit status is the run's outcome, not the quit code, which is always 0.
void TerminalHost::PostQuit(int) {}

// The terminal is the technician's again by now: the failure goes to standard error, and the
// run's outcome stands.
void TerminalHost::SettingsNotSaved(const char* szReason) {
    fprintf(stderr, "armlink: the line settings were not saved: %s\n", szReason);
}

void TerminalHost::RunLoop() {
    bool bWaitForWorker = false;
    bool bInterrupted = false;
    for (;;) {
        surface.DeliverPending();
        while (pFront->TakeActivation()) {
            ControllerActivateApp(true);
        }
        // A signal during a dialog's own work (the extended display's Checks, which hold this
        // thread) is seen here as soon as that work returns: the dialog is told it closes, the
        // face may still run the save of what was collected, then the dialog ends.
        if (!bInterrupted && pfnCommand != nullptr && g_App.bCloseRequested.load() != 0) {
            bInterrupted = true;
            pfnCommand(kIdCancel);
            if (!pFront->TakeInterruption()) {
                return;
            }
        }
        int nCommand = pFront->TakeCommand();
        if (nCommand != 0 && pfnCommand != nullptr) {
            pfnCommand(nCommand);
            continue;
        }
        CloseRequest request = pFront->TakeCloseRequest();
        if (request == kCloseNow) {
            return;
        }
        if (request == kCloseAfterWorker) {
            bWaitForWorker = true;
        }
        // The worker's last write has been delivered when its exit is reported; only then
        // are the dialog's texts complete.
        if (bWaitForWorker &&
            (g_App.WorkerExitedEvent == nullptr || g_App.WorkerExitedEvent->IsSet())) {
            surface.DeliverPending();  // what it wrote before it ended
            return;
        }

        uint64_t nNow = MonotonicMs();
        bool bTickNow = g_bTickNow.exchange(false);
        if (bTimerRunning && (bTickNow || nNow >= nNextTickMs)) {
            if (nNow >= nNextTickMs) {
                nNextTickMs += kSearchTimerMs;
                if (nNextTickMs <= nNow) {
                    nNextTickMs = nNow + kSearchTimerMs;  // ticks missed are not made up
                }
            }
            // The search worker's writes come before what the tick makes of its end.
            surface.DeliverPending();
            ControllerTimer();
            continue;
        }

        int nTimeoutMs = -1;
        if (bTimerRunning) {
            uint64_t nLeft = nNextTickMs - nNow;
            nTimeoutMs = nLeft > INT_MAX ? INT_MAX : static_cast<int>(nLeft);
        }
        if (bWaitForWorker && (nTimeoutMs < 0 || nTimeoutMs > kWorkerExitPollMs)) {
            nTimeoutMs = kWorkerExitPollMs;
        }

        struct pollfd fds[3];
        int nFds = 0;
        fds[nFds++] = {fdSignal, POLLIN, 0};
        fds[nFds++] = {fdWake, POLLIN, 0};
        int fdInput = pFront->InputFd();
        if (fdInput >= 0) {
            fds[nFds++] = {fdInput, POLLIN, 0};
        }
        pFront->Settle();
        int nReady = poll(fds, static_cast<nfds_t>(nFds), nTimeoutMs);
        if (nReady < 0) {
            if (errno != EINTR) {
                return;  // the loop cannot wait any more: end the dialog in order
            }
            continue;
        }
        if ((fds[0].revents & POLLIN) != 0) {
            bool bClose = false;
            bool bResize = false;
            DrainSignalPipe(fdSignal, &bClose, &bResize);
            if (bResize) {
                pFront->Resize();
            }
            if (bClose && (pfnCommand == nullptr || bInterrupted)) {
                return;  // as the dialog's button: orderly shutdown
            }
            if (bClose) {
                g_App.bCloseRequested.store(1);
                continue;  // the dialog is told first, at the top of the loop
            }
        }
        if ((fds[1].revents & POLLIN) != 0) {
            DrainPipe(fdWake);
        }
        if (nFds > 2 && (fds[2].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            if ((fds[2].revents & POLLIN) != 0) {
                pFront->ReadInput();
            } else {
                // The terminal's input is gone (hung up): nothing can close the dialog any
                // more, so it closes now.
                return;
            }
        }
    }
}
