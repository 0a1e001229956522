// POSIX threads and events: std::thread for the workers, each kept for the next worker once its
// routine has ended; manual-reset events on a mutex and a condition variable.
#include <errno.h>
#include <limits.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#if defined(__linux__)
#include <sys/syscall.h>
#endif

#include "common/platform.h"
#include "platform/posix/posix_platform.h"

namespace {

// A manual-reset event: once set it stays set for every waiter until it is reset.
class PosixEvent : public Event {
  public:
    PosixEvent() : bSet(false) {}

    void Set() override {
        // Notified under the lock: a waiter that sees the event set may close it at once, so
        // the setter must be done with the event before the lock is released.
        std::lock_guard<std::mutex> lock(mutex);
        bSet = true;
        changed.notify_all();
    }

    void Reset() override {
        std::lock_guard<std::mutex> lock(mutex);
        bSet = false;
    }

    bool IsSet() override {
        std::lock_guard<std::mutex> lock(mutex);
        return bSet;
    }

    // wait_for measures on the steady (monotonic) clock, so a change of the wall clock does
    // not stretch or cut the wait; the predicate absorbs spurious wake-ups.
    bool Wait(uint32_t nMs) override {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::milliseconds(nMs), [this] { return bSet; });
    }

  private:
    std::mutex mutex;
    std::condition_variable changed;
    bool bSet;
};

// What the new thread and its creator share: the start gate, the routine and its argument.
// The thread owns a reference of its own, so a handle closed early does not pull it away.
struct ThreadStart {
    std::mutex mutex;
    std::condition_variable opened;
    bool bGo = false;
    ThreadProc pfnProc = nullptr;
    void* pArg = nullptr;
    bool bAboveNormal = false;
};

// The handle: a token of its own, released by CloseThread. The thread behind it is detached
// from the start and outlives its routine.
struct PosixThread {};

// Asks for one step above normal priority for the calling thread and returns the nice value it
// had, to be given back; INT_MIN when it was not changed. Linux keeps a nice value per thread;
// an unprivileged user may not lower it, and then the thread runs at normal priority.
int RaiseOwnPriority() {
#if defined(__linux__)
    pid_t nTid = static_cast<pid_t>(syscall(SYS_gettid));
    errno = 0;
    int nNice = getpriority(PRIO_PROCESS, static_cast<id_t>(nTid));
    if (nNice == -1 && errno != 0) {
        return INT_MIN;
    }
    if (setpriority(PRIO_PROCESS, static_cast<id_t>(nTid), nNice - 1) == 0) {
        return nNice;
    }
#endif
    return INT_MIN;
}

// Gives the calling thread back the nice value it had before RaiseOwnPriority; raising a nice
// value needs no privilege.
void RestoreOwnPriority(int nNice) {
#if defined(__linux__)
    if (nNice != INT_MIN) {
        pid_t nTid = static_cast<pid_t>(syscall(SYS_gettid));
        (void)setpriority(PRIO_PROCESS, static_cast<id_t>(nTid), nNice);
    }
#else
    (void)nNice;
#endif
}

// Runs one routine once its gate opens, at the priority it asked for; returns the nice value to
// give back (INT_MIN: none).
int RunRoutine(std::shared_ptr<ThreadStart> pStart) {
    ThreadProc pfnProc;
    void* pArg;
    bool bAboveNormal;
    {
        std::unique_lock<std::mutex> lock(pStart->mutex);
        pStart->opened.wait(lock, [&pStart] { return pStart->bGo; });
        pfnProc = pStart->pfnProc;
        pArg = pStart->pArg;
        bAboveNormal = pStart->bAboveNormal;
    }
    pStart.reset();
    int nNice = bAboveNormal ? RaiseOwnPriority() : INT_MIN;
    (void)pfnProc(pArg);
    return nNice;
}

// Threads whose routine has ended wait here for the next one. The workers of a run follow one
// another (the log or statistics worker starts once the search worker has ended), so the next
// runs on the thread the last one ran on, and the process is spared making a thread and
// unmaking one, with the stack each faults in anew. A routine handed over while no thread
// waits gets a thread of its own, so every routine starts at once. Made once and never
// destroyed: threads still wait on it as the process ends.
struct ThreadPark {
    std::mutex mutex;
    std::condition_variable handed;
    std::deque<std::shared_ptr<ThreadStart>> starts;  // handed over, not yet taken
    size_t nWaiting = 0;                              // threads waiting for a routine
};

ThreadPark& Park() {
    static ThreadPark* pPark = new ThreadPark();
    return *pPark;
}

void RunThread(std::shared_ptr<ThreadStart> pStart) {
    ThreadPark& park = Park();
    for (;;) {
        int nNice = RunRoutine(std::move(pStart));
        // Counted as waiting the moment the routine has returned: the routine's last act may
        // have told the main thread to start the next worker.
        std::unique_lock<std::mutex> lock(park.mutex);
        ++park.nWaiting;
        if (nNice != INT_MIN) {
            lock.unlock();
            RestoreOwnPriority(nNice);  // before any next routine runs
            lock.lock();
        }
        park.handed.wait(lock, [&park] { return !park.starts.empty(); });
        --park.nWaiting;
        pStart = std::move(park.starts.front());
        park.starts.pop_front();
    }
}

// Hands the routine to a waiting thread, or starts a thread for it. Throws when neither can be
// done.
void StartRoutine(const std::shared_ptr<ThreadStart>& pStart) {
    ThreadPark& park = Park();
    {
        std::lock_guard<std::mutex> lock(park.mutex);
        if (park.nWaiting > park.starts.size()) {
            park.starts.push_back(pStart);
            park.handed.notify_one();
            return;
        }
    }
    std::thread(RunThread, pStart).detach();
}

class PosixThreadsImpl : public ThreadApi {
  public:
    Event* CreateEvent() override { return new (std::nothrow) PosixEvent(); }

    // The thread waits at its gate until its handle is in place, so a worker that ends
    // at once still finds its own handle in the slot and can clear it.
    int CreateThread(ThreadProc pfnProc, void* pArg, bool bAboveNormal,
                     std::atomic<ThreadHandle>* pSlot) override {
        if (pfnProc == nullptr || pSlot == nullptr) {
            return 0;
        }
        PosixThread* pThread = new (std::nothrow) PosixThread();
        if (pThread == nullptr) {
            return 0;
        }
        std::shared_ptr<ThreadStart> pStart;
        try {
            pStart = std::make_shared<ThreadStart>();
            pStart->pfnProc = pfnProc;
            pStart->pArg = pArg;
            pStart->bAboveNormal = bAboveNormal;
            StartRoutine(pStart);
        } catch (const std::exception&) {
            // No thread could take the routine (out of memory or of threads): the slot stays
            // as it was.
            delete pThread;
            return 0;
        }
        pSlot->store(pThread);
        {
            std::lock_guard<std::mutex> lock(pStart->mutex);
            pStart->bGo = true;
        }
        pStart->opened.notify_all();
        return 1;
    }

    // The thread runs on; this may be called from the thread itself.
    void CloseThread(ThreadHandle hThread) override { delete static_cast<PosixThread*>(hThread); }

    // pthread_cancel would leave the port, the log file and the thread's locks in whatever
    // state it stopped in: the thread is detached instead and ends with the process.
    void AbandonThread(ThreadHandle hThread) override { CloseThread(hThread); }
};

}  // namespace

ThreadApi* PosixThreads() {
    static PosixThreadsImpl threads;
    return &threads;
}
