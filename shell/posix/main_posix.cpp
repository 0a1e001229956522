// armlink, the POSIX program: start-up, the command line, and the host window of the controller
// as a terminal event loop on the main thread.
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <mutex>
#include <set>
#include <string>
#include <utility>

#include "shell/app_state.h"
#include "shell/controller.h"
#include "shell/platform.h"
#include "shell/posix/dialog_queue.h"
#include "shell/posix/frontend.h"
#include "shell/posix/posix_platform.h"
#include "shell/startup.h"
#include "workers/log_file.h"

namespace {

// Exit statuses.
constexpr int kExitDone = 0;       // the arm was found and the entry written
constexpr int kExitNotDone = 1;    // no arm found, or the dialog closed before "Done"
constexpr int kExitUsage = 2;      // bad usage, or a run mode this version does not have
constexpr int kExitLogFailed = 3;  // the arm was found but the log file could not be written

// While the plain mode waits for the worker's exit after its last write, the loop looks again
// this often; the wait lasts a few milliseconds at most.
constexpr int kWorkerExitPollMs = 2;

// Self-pipes: the signal handlers and the workers' requests wake the main loop through them.
int g_fdSignal[2] = {-1, -1};
int g_fdWake[2] = {-1, -1};

const char kSignalClose = 'c';
const char kSignalResize = 'w';

void OnCloseSignal(int) {
    int nSaved = errno;
    ssize_t n = write(g_fdSignal[1], &kSignalClose, 1);
    (void)n;
    errno = nSaved;
}

void OnResizeSignal(int) {
    int nSaved = errno;
    ssize_t n = write(g_fdSignal[1], &kSignalResize, 1);
    (void)n;
    errno = nSaved;
}

bool MakePipe(int fds[2]) {
    if (pipe(fds) != 0) {
        return false;
    }
    for (int i = 0; i < 2; ++i) {
        fcntl(fds[i], F_SETFL, fcntl(fds[i], F_GETFL) | O_NONBLOCK);
        fcntl(fds[i], F_SETFD, FD_CLOEXEC);
    }
    return true;
}

void InstallSignals() {
    struct sigaction action;
    memset(&action, 0, sizeof action);
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    action.sa_handler = OnCloseSignal;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A terminal that goes away ends the dialog the same orderly way.
    sigaction(SIGHUP, &action, nullptr);
    action.sa_handler = OnResizeSignal;
    sigaction(SIGWINCH, &action, nullptr);
    // A reader of the status lines that has gone must not cut the shutdown short.
    signal(SIGPIPE, SIG_IGN);
}

uint64_t NowMs() {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000u +
           static_cast<uint64_t>(now.tv_nsec) / 1000000u;
}

// Ports that do not open, named once per port and reason on standard error. The search worker
// calls this on its own thread; the lock keeps the lines whole.
std::mutex g_PortReportLock;
std::set<std::pair<unsigned, int>> g_PortReported;

const char* PortFailureReason(int nErrno) {
    switch (nErrno) {
        case ENOENT:
            return "no such device";
        case EACCES:
        case EPERM:
            return "permission denied (add your user to the dialout group)";
        case EBUSY:
            return "in use by another program";
        case ENOTTY:
            return "not a serial device";
        case ENODEV:
        case ENXIO:
            return "no such port";
        case ENAMETOOLONG:
            return "the device path it maps to is too long";
        default:
            return strerror(nErrno);
    }
}

void ReportPortFailure(unsigned nPort, const char* szPath, int nErrno) {
    std::lock_guard<std::mutex> lock(g_PortReportLock);
    if (!g_PortReported.insert(std::make_pair(nPort, nErrno)).second) {
        return;
    }
    if (szPath != nullptr && szPath[0] != '\0') {
        fprintf(stderr, "armlink: COM%u (%s): %s\n", nPort, szPath, PortFailureReason(nErrno));
    } else {
        fprintf(stderr, "armlink: COM%u: %s\n", nPort, PortFailureReason(nErrno));
    }
    fflush(stderr);
}

// What the dialog showed, for the exit status: the status line's texts as they came.
struct RunOutcome {
    bool bDone;      // the log worker reported "Done"
    bool bNotFound;  // the search series gave up
};

// The dialog's own procedure on this side: it notes the outcome and passes every write on to
// the front end. It runs on the main thread only.
class VolumeDialog : public DialogSurface {
  public:
    VolumeDialog(FrontEnd* pFront, RunOutcome* pOutcome) : pFront(pFront), pOutcome(pOutcome) {}

    void SetFrontEnd(FrontEnd* pNewFront) { pFront = pNewFront; }

    void SetItemText(int nId, const char* szText) override {
        if (nId == kIdStatusText) {
            if (strcmp(szText, "Done") == 0) {
                pOutcome->bDone = true;
            } else if (strcmp(szText, "No Arm Found") == 0) {
                pOutcome->bNotFound = true;
            } else if (strcmp(szText, "Searching") == 0) {
                // A new series (the user asked for it again) starts a fresh outcome.
                pOutcome->bNotFound = false;
            }
        }
        pFront->SetItemText(nId, szText);
    }
    void ShowItem(int nId) override { pFront->ShowItem(nId); }
    void EnableItem(int nId, bool bEnable) override { pFront->EnableItem(nId, bEnable); }

  private:
    FrontEnd* pFront;
    RunOutcome* pOutcome;
};

// The host window of the controller: the modal dialog is the main loop, waiting in poll() for
// the next timer tick, a worker's request, the user's input or a signal.
class TerminalHost : public HostWindow {
  public:
    TerminalHost(FrontEnd* pFront, FrontEnd* pFallback, RunOutcome* pOutcome)
        : pFront(pFront),
          pFallback(pFallback),
          dialog(pFront, pOutcome),
          bTimerRunning(false),
          nNextTickMs(0),
          nQuitCode(0) {}

    void RunModalDialog(int32_t nRunMode) override {
        // Only VOLUME_DLG is drawn by this version; main turns the other modes away first.
        if (nRunMode != kRunModeLog) {
            return;
        }
        char szReason[256] = "";
        if (!pFront->Open(szReason, sizeof szReason)) {
            fprintf(stderr, "armlink: %s; using the plain line mode\n", szReason);
            pFront = pFallback;
            dialog.SetFrontEnd(pFront);
            pFront->Open(szReason, sizeof szReason);
        }
        if (pFront->ReportsPortFailures()) {
            SetPortOpenFailureHook(ReportPortFailure);
        }

        // The dialog is open: workers may write into it from now on.
        surface.Open(&dialog, g_fdWake[1]);
        g_App.hDialog.store(&surface);
        SetDialogItemText(kIdStatusText, "Searching");
        // Start-up counts as the first activation.
        ControllerActivateApp(true);

        RunLoop();

        // Cleared before the dialog ends, so that no worker writes into a closing dialog; the
        // surface then answers every call at once.
        g_App.hDialog.store(nullptr);
        surface.Close();
        SetPortOpenFailureHook(nullptr);
        pFront->Close();
    }

    void DestroyHostWindow() override { ControllerDestroy(); }

    // SetTimer on a running timer starts its period anew.
    void StartSearchTimer() override {
        bTimerRunning = true;
        nNextTickMs = NowMs() + kSearchTimerMs;
    }

    void StopSearchTimer() override { bTimerRunning = false; }

    void PostQuit(int nExitCode) override { nQuitCode = nExitCode; }

  private:
    void RunLoop() {
        bool bWaitForWorker = false;
        for (;;) {
            surface.DeliverPending();
            while (pFront->TakeActivation()) {
                ControllerActivateApp(true);
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
                return;
            }

            uint64_t nNow = NowMs();
            if (bTimerRunning && nNow >= nNextTickMs) {
                nNextTickMs += kSearchTimerMs;
                if (nNextTickMs <= nNow) {
                    nNextTickMs = nNow + kSearchTimerMs;  // ticks missed are not made up
                }
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
            fds[nFds++] = {g_fdSignal[0], POLLIN, 0};
            fds[nFds++] = {g_fdWake[0], POLLIN, 0};
            int fdInput = pFront->InputFd();
            if (fdInput >= 0) {
                fds[nFds++] = {fdInput, POLLIN, 0};
            }
            int nReady = poll(fds, static_cast<nfds_t>(nFds), nTimeoutMs);
            if (nReady < 0) {
                if (errno != EINTR) {
                    return;  // the loop cannot wait any more: end the dialog in order
                }
                continue;
            }
            if ((fds[0].revents & POLLIN) != 0 && TakeSignals()) {
                return;  // as the dialog's button: orderly shutdown
            }
            if ((fds[1].revents & POLLIN) != 0) {
                Drain(g_fdWake[0]);
            }
            if (nFds > 2 && (fds[2].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
                if ((fds[2].revents & POLLIN) != 0) {
                    pFront->ReadInput();
                } else {
                    // The terminal's input is gone (hung up): nothing can close the dialog
                    // any more, so it closes now.
                    return;
                }
            }
        }
    }

    // Reads the signal pipe empty; true when a close was asked for.
    bool TakeSignals() {
        bool bClose = false;
        char buffer[64];
        ssize_t n;
        while ((n = read(g_fdSignal[0], buffer, sizeof buffer)) > 0) {
            for (ssize_t i = 0; i < n; ++i) {
                if (buffer[i] == kSignalClose) {
                    bClose = true;
                } else if (buffer[i] == kSignalResize) {
                    pFront->Resize();
                }
            }
        }
        return bClose;
    }

    static void Drain(int fd) {
        char buffer[256];
        while (read(fd, buffer, sizeof buffer) > 0) {
        }
    }

    FrontEnd* pFront;
    FrontEnd* pFallback;
    VolumeDialog dialog;
    // Workers may still hold its address after the dialog ended (a worker that outlives the
    // shutdown wait), so it lives as long as the host, which lives to the process's end.
    QueuedDialogSurface surface;
    bool bTimerRunning;
    uint64_t nNextTickMs;
    int nQuitCode;
};

void PrintHelp(FILE* pOut) {
    char szSettings[PATH_MAX];
    if (!GetSettingsFilePath(szSettings, sizeof szSettings)) {
        snprintf(szSettings, sizeof szSettings, "%s",
                 "none (neither XDG_CONFIG_HOME nor HOME is set)");
    }
    fprintf(pOut,
            "Usage: armlink [--plain] [SWITCH]\n"
            "Finds the measuring arm on COM1 to COM4 and appends one entry (time stamp, the\n"
            "arm's identity, its pending error records and its counters) to the log file.\n"
            "\n"
            "Switches:\n"
            "  (none)      error-log retrieval: one entry appended to the log file\n"
            "  /stats      live statistics (exactly \"/stats\" or \"/STATS\"; not in this\n"
            "              version yet)\n"
            "  /extended   extended error display (any text beginning with \"/extended\" or\n"
            "              \"/EXTENDED\"; not in this version yet)\n"
            "  Any other text selects the error-log retrieval.\n"
            "\n"
            "Options:\n"
            "  --plain     print \"status: <text>\" lines and \"log: <path>\" instead of drawing\n"
            "              the dialog (also when standard output is not a terminal)\n"
            "  -h, --help  show this text\n"
            "  --          end of the options: what follows is the switch text\n"
            "\n"
            "In the dialog, Esc, Enter or q close it; r (or bringing the terminal back to the\n"
            "front) starts the search again after it gave up.\n"
            "\n"
            "Ports: COMn opens the device in the environment variable ARMLINK_COMn (ARMLINK_COM1\n"
            "to ARMLINK_COM4) when it is set, else the COMn entry of the [Ports] section of the\n"
            "settings file (for example COM2=/dev/ttyUSB0), else /dev/ttyS<n-1>. Now:\n");
    for (unsigned nPort = 1; nPort <= 4; ++nPort) {
        char szPath[PATH_MAX];
        if (!ResolvePortPath(nPort, szPath, sizeof szPath)) {
            snprintf(szPath, sizeof szPath, "%s", "(the mapped path is too long)");
        }
        fprintf(pOut, "  COM%u  %s\n", nPort, szPath);
    }
    fprintf(pOut,
            "\n"
            "Settings file: %s\n"
            "  (the line settings in CommParam, for example CommParam=2 19200 n 8 1)\n"
            "Log file: %s\n"
            "\n"
            "Exit status: 0 the entry was written; 1 no arm was found, or the dialog was closed\n"
            "before the entry was done; 2 bad usage; 3 the arm was found but the log file\n"
            "could not be written.\n",
            szSettings, g_App.szLogPath);
}

// The executable's full path: /proc/self/exe, else argv[0] when it names a path.
void FindExecutable(const char* szArgv0, char* szPath, size_t cchPath) {
    szPath[0] = '\0';
    ssize_t nLength = readlink("/proc/self/exe", szPath, cchPath - 1);
    if (nLength > 0 && static_cast<size_t>(nLength) < cchPath - 1) {
        szPath[nLength] = '\0';
        return;
    }
    szPath[0] = '\0';
    // A bare name found on the PATH says nothing about the directory: the log then lands in
    // the current directory, as with no path at all.
    if (szArgv0 != nullptr && strchr(szArgv0, '/') != nullptr) {
        char szResolved[PATH_MAX];
        const char* szUse = realpath(szArgv0, szResolved) != nullptr ? szResolved : szArgv0;
        if (strlen(szUse) < cchPath) {
            snprintf(szPath, cchPath, "%s", szUse);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    ResetAppState();
    g_Platform.pClock = PosixClock();
    g_Platform.pThreads = PosixThreads();
    g_Platform.pBus = PosixSerialBus();
    g_Platform.pSettings = PosixSettings();

    char szExePath[kPathSize];
    FindExecutable(argc > 0 ? argv[0] : nullptr, szExePath, sizeof szExePath);
    CutExeDir(szExePath, '/', g_App.szExeDir, sizeof g_App.szExeDir);
    FormatLogPath(g_App.szExeDir, g_App.szLogPath, sizeof g_App.szLogPath);

    // Our own options first; the other arguments, joined with single blanks, are the command
    // line as Windows would pass it to the program.
    bool bPlain = false;
    bool bHelp = false;
    bool bOptionsEnded = false;
    std::string cmdLine;
    bool bHaveCmdLine = false;
    for (int i = 1; i < argc; ++i) {
        const char* szArg = argv[i];
        if (!bOptionsEnded && szArg[0] == '-' && szArg[1] != '\0') {
            if (strcmp(szArg, "--plain") == 0) {
                bPlain = true;
            } else if (strcmp(szArg, "--help") == 0 || strcmp(szArg, "-h") == 0) {
                bHelp = true;
            } else if (strcmp(szArg, "--") == 0) {
                bOptionsEnded = true;
            } else {
                fprintf(stderr, "armlink: unknown option \"%s\" (armlink --help lists them)\n",
                        szArg);
                return kExitUsage;
            }
            continue;
        }
        if (bHaveCmdLine) {
            cmdLine += ' ';
        }
        cmdLine += szArg;
        bHaveCmdLine = true;
    }
    if (bHelp) {
        PrintHelp(stdout);
        return 0;
    }
    g_App.nRunMode = SelectRunMode(bHaveCmdLine ? cmdLine.c_str() : nullptr);
    if (g_App.nRunMode == kRunModeStats) {
        fprintf(stderr,
                "armlink: this version does not have the live statistics mode (/stats) yet\n");
        return kExitUsage;
    }
    if (g_App.nRunMode == kRunModeExtended) {
        fprintf(stderr,
                "armlink: this version does not have the extended error display "
                "(/extended) yet\n");
        return kExitUsage;
    }

    if (!MakePipe(g_fdSignal) || !MakePipe(g_fdWake)) {
        fprintf(stderr, "armlink: cannot create a pipe: %s\n", strerror(errno));
        return kExitNotDone;
    }
    InstallSignals();

    FrontEnd* pPlain = CreatePlainFrontEnd(stdout);
    FrontEnd* pFront = pPlain;
    if (!bPlain && isatty(fileno(stdout))) {
        pFront = CreateCursesFrontEnd();
    }
    RunOutcome outcome = {false, false};
    // The host outlives main's return: a worker that did not end within the shutdown wait may
    // still write through its surface, which then answers at once.
    TerminalHost* pHost = new TerminalHost(pFront, pPlain, &outcome);
    ControllerCreate(pHost);

    int nExit = kExitNotDone;
    const char* szLogError = LastLogFileError();
    if (outcome.bDone) {
        nExit = kExitDone;
        if (szLogError[0] != '\0') {
            fprintf(stderr, "armlink: the log entry was not written: %s\n", szLogError);
            nExit = kExitLogFailed;
        }
    }
    fflush(stdout);
    fflush(stderr);
    // The events are left open only when a worker did not end in time; it must not run on
    // into the process's own teardown.
    if (g_App.WorkerExitedEvent != nullptr) {
        _exit(nExit);
    }
    return nExit;
}
