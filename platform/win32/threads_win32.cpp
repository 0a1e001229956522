// Win32 threads and events: CreateThread for the workers, unnamed manual-reset events.
#include <windows.h>

#include <new>

// windows.h names CreateEventA CreateEvent; the seam's own CreateEvent is meant here.
#undef CreateEvent

#include "common/platform.h"
#include "platform/win32/win32_platform.h"

namespace {

class Win32Event : public Event {
  public:
    explicit Win32Event(HANDLE hEvent) : hEvent(hEvent) {}
    ~Win32Event() override { CloseHandle(hEvent); }

    void Set() override { SetEvent(hEvent); }
    void Reset() override { ResetEvent(hEvent); }
    bool IsSet() override { return WaitForSingleObject(hEvent, 0) == WAIT_OBJECT_0; }
    bool Wait(uint32_t nMs) override { return WaitForSingleObject(hEvent, nMs) == WAIT_OBJECT_0; }

  private:
    HANDLE hEvent;
};

// The routine and its argument, handed to the new thread, which frees them.
struct ThreadStart {
    ThreadProc pfnProc;
    void* pArg;
};

DWORD WINAPI RunThread(LPVOID pParam) {
    ThreadStart* pStart = static_cast<ThreadStart*>(pParam);
    ThreadProc pfnProc = pStart->pfnProc;
    void* pArg = pStart->pArg;
    delete pStart;
    return pfnProc(pArg);
}

class Win32ThreadsImpl : public ThreadApi {
  public:
    // Default security, manual reset, initially not set, no name.
    Event* CreateEvent() override {
        HANDLE hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        if (hEvent == nullptr) {
            return nullptr;
        }
        Event* pEvent = new (std::nothrow) Win32Event(hEvent);
        if (pEvent == nullptr) {
            CloseHandle(hEvent);
        }
        return pEvent;
    }

    // The thread is created suspended and resumed only once its handle is in the
    // slot, so a worker that ends at once still finds its own handle there to close.
    int CreateThread(ThreadProc pfnProc, void* pArg, bool bAboveNormal,
                     std::atomic<ThreadHandle>* pSlot) override {
        if (pfnProc == nullptr || pSlot == nullptr) {
            return 0;
        }
        ThreadStart* pStart = new (std::nothrow) ThreadStart;
        if (pStart == nullptr) {
            return 0;
        }
        pStart->pfnProc = pfnProc;
        pStart->pArg = pArg;
        DWORD dwId = 0;
        HANDLE hThread = ::CreateThread(nullptr, 0, RunThread, pStart, CREATE_SUSPENDED, &dwId);
        if (hThread == nullptr) {
            delete pStart;
            return 0;
        }
        pSlot->store(hThread);
        if (bAboveNormal) {
            SetThreadPriority(hThread, THREAD_PRIORITY_ABOVE_NORMAL);
        }
        ResumeThread(hThread);
        return 1;
    }

    void CloseThread(ThreadHandle hThread) override {
        if (hThread != nullptr) {
            CloseHandle(static_cast<HANDLE>(hThread));
        }
    }

    // Ended where it stands, as the shutdown of the Windows program has always done.
    void AbandonThread(ThreadHandle hThread) override {
        if (hThread != nullptr) {
            ::TerminateThread(static_cast<HANDLE>(hThread), 0);
            CloseHandle(static_cast<HANDLE>(hThread));
        }
    }
};

}  // namespace

ThreadApi* Win32Threads() {
    static Win32ThreadsImpl threads;
    return &threads;
}
