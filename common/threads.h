// The threads and events seam: worker threads, manual-reset events, waits, and giving up a
// worker that overran the shutdown wait.
#ifndef ARMLINK_COMMON_THREADS_H
#define ARMLINK_COMMON_THREADS_H

#include <atomic>
#include <cstdint>

// An unnamed manual-reset event, initially not set. Deleting it closes it.
class Event {
  public:
    virtual ~Event() {}
    virtual void Set() = 0;
    virtual void Reset() = 0;
    // A wait of 0 ms: true when the event is set.
    virtual bool IsSet() = 0;
    // Waits up to nMs milliseconds; true when the event was set, false on time-out.
    virtual bool Wait(uint32_t nMs) = 0;
};

typedef void* ThreadHandle;
typedef uint32_t (*ThreadProc)(void* pArg);

class ThreadApi {
  public:
    virtual ~ThreadApi() {}
    // Creates an event; nullptr when that fails.
    virtual Event* CreateEvent() = 0;
    // Starts a thread running pfnProc(pArg). Its handle is stored in *pSlot before the thread
    // runs its first step, so a thread that ends at once still finds its own handle there.
    // Returns 1 when the thread was created, 0 otherwise (the slot is then left as it was).
    virtual int CreateThread(ThreadProc pfnProc, void* pArg, bool bAboveNormal,
                             std::atomic<ThreadHandle>* pSlot) = 0;
    // Releases a thread handle; the thread itself runs on.
    virtual void CloseThread(ThreadHandle hThread) = 0;
    // Gives up a worker that overran the shutdown wait and releases its handle. The caller may
    // no longer count on where the thread stands: it may have ended, or it may run on until the
    // process ends, so what it may still use (the port, the events) is left open. Win32 ends it
    // at once (TerminateThread, exit code 0); POSIX has no safe forced end and leaves it to the
    // end of the process, which follows the shutdown.
    virtual void AbandonThread(ThreadHandle hThread) = 0;
};

#endif
