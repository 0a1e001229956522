// Self-pipes and the signals that write into them.
#include "platform/posix/self_pipe.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <unistd.h>

#include "common/app_state.h"

namespace {

int g_fdSignalWrite = -1;

void WriteByte(char c) {
    int nSaved = errno;
    ssize_t n = write(g_fdSignalWrite, &c, 1);
    (void)n;  // a full pipe already holds a wake-up
    errno = nSaved;
}

// The flag is seen by work that holds the main loop (a Check), the byte by the loop itself.
void OnCloseSignal(int) {
    g_App.bCloseRequested.store(1);
    WriteByte(kSignalClose);
}

void OnResizeSignal(int) {
    WriteByte(kSignalResize);
}

}  // namespace

bool MakeSelfPipe(int fds[2]) {
    if (pipe(fds) != 0) {
        return false;
    }
    for (int i = 0; i < 2; ++i) {
        fcntl(fds[i], F_SETFL, fcntl(fds[i], F_GETFL) | O_NONBLOCK);
        fcntl(fds[i], F_SETFD, FD_CLOEXEC);
    }
    return true;
}

void RouteSignalsToPipe(int fdWrite) {
    g_fdSignalWrite = fdWrite;
    struct sigaction action;
    memset(&action, 0, sizeof action);
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    action.sa_handler = OnCloseSignal;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    action.sa_handler = OnResizeSignal;
    sigaction(SIGWINCH, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
    signal(SIGXFSZ, SIG_IGN);
}

void DrainSignalPipe(int fdRead, bool* pbClose, bool* pbResize) {
    char buffer[64];
    ssize_t n;
    while ((n = read(fdRead, buffer, sizeof buffer)) > 0) {
        for (ssize_t i = 0; i < n; ++i) {
            if (buffer[i] == kSignalClose) {
                *pbClose = true;
            } else if (buffer[i] == kSignalResize) {
                *pbResize = true;
            }
        }
    }
}

void DrainPipe(int fdRead) {
    char buffer[256];
    // A read that comes back short has emptied the pipe.
    ssize_t nRead;
    do {
        nRead = read(fdRead, buffer, sizeof buffer);
    } while (nRead == static_cast<ssize_t>(sizeof buffer) || (nRead < 0 && errno == EINTR));
}
