// Self-pipes: signal handlers and other threads wake a poll() loop by writing one byte.
#ifndef ARMLINK_PLATFORM_POSIX_SELF_PIPE_H
#define ARMLINK_PLATFORM_POSIX_SELF_PIPE_H

// The bytes a signal writes into the signal pipe.
constexpr char kSignalClose = 'c';   // SIGINT, SIGTERM, SIGHUP: close in order
constexpr char kSignalResize = 'w';  // SIGWINCH: the terminal changed its size

// A pipe whose ends do not block and are not inherited by child programs.
bool MakeSelfPipe(int fds[2]);

// Routes SIGINT, SIGTERM and SIGHUP (as kSignalClose, and g_App.bCloseRequested set) and SIGWINCH
// (as kSignalResize) into fdWrite, and ignores SIGPIPE: a reader that has gone must not cut a
// shutdown short. SIGXFSZ is ignored too: a write beyond the file size limit then fails with EFBIG,
// and the log entry is taken back and named as not written instead of the program dying in the
// middle of it.
void RouteSignalsToPipe(int fdWrite);

// Reads the pipe empty; tells which of the two signal bytes came.
void DrainSignalPipe(int fdRead, bool* pbClose, bool* pbResize);

// Reads a pipe empty, whatever it held.
void DrainPipe(int fdRead);

#endif
