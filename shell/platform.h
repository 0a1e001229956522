// The platform seams that the portable core reaches: clock, threads and events, and the table
// of seam implementations in use (the platform's own, or the test doubles).
#ifndef ARMLINK_SHELL_PLATFORM_H
#define ARMLINK_SHELL_PLATFORM_H

#include <cstdint>

class SerialBus;
class SettingsBackend;

// Local time as the log and the report stamp it.
struct LocalTime {
    int nYear;    // years since 1900: 126 for 2026
    int nMonth;   // 1-12
    int nDay;     // 1-31
    int nHour;    // 0-23
    int nMinute;  // 0-59
    int nSecond;  // 0-59
};

// Tick count and local time.
class Clock {
public:
    virtual ~Clock() {}
    // Milliseconds since an arbitrary start, unsigned 32-bit, wrapping.
    virtual uint32_t TickCount() = 0;
    virtual void GetLocalTime(LocalTime* pTime) = 0;
    // Blocks the calling thread for about nMs milliseconds (virtual clocks advance instead).
    virtual void Sleep(uint32_t nMs) = 0;
};

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
    // Starts a thread running pfnProc(pArg). Its handle is stored in *pSlot and its id in *pId
    // (when pId is not null) before the thread runs its first step, so a thread that ends at
    // once still finds its own handle there. Returns 1 when the thread was created, 0 otherwise
    // (the slot is then left as it was).
    virtual int CreateThread(ThreadProc pfnProc, void* pArg, bool bAboveNormal,
                             ThreadHandle* pSlot, uint32_t* pId) = 0;
    // Releases a thread handle; the thread itself runs on.
    virtual void CloseThread(ThreadHandle hThread) = 0;
    // Ends a thread forcibly where the platform can, and releases its handle.
    virtual void TerminateThread(ThreadHandle hThread) = 0;
};

// The seam implementations in use; the platform's main (or a test) fills it before start-up.
struct Platform {
    Clock* pClock;
    ThreadApi* pThreads;
    SerialBus* pBus;
    SettingsBackend* pSettings;
};

extern Platform g_Platform;

#endif
