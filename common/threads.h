// The threads and events seam: worker threads, manual-reset events, waits, forced end.
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
    // Ends a thread forcibly where the platform can, and releases its handle.
    virtual void TerminateThread(ThreadHandle hThread) = 0;
};

#endif
