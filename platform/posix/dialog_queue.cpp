// The queued dialog surface: workers' calls go to the main loop in the order they come.
#include "platform/posix/dialog_queue.h"

#include <errno.h>
#include <unistd.h>

void QueuedDialogSurface::Open(DialogSurface* pNewTarget, int fdNewWake, bool bDrawsProgress) {
    std::lock_guard<std::mutex> lock(mutex);
    pTarget = pNewTarget;
    fdWake = fdNewWake;
    bWakeForProgress = bDrawsProgress;
    bWoken = false;
    mainThread = std::this_thread::get_id();
    bOpen = true;
}

void QueuedDialogSurface::Close() {
    {
        std::lock_guard<std::mutex> lock(mutex);
        bOpen = false;
        for (Request& request : pending) {
            if (request.pbDone != nullptr) {
                *request.pbDone = true;
            }
        }
        pending.clear();
    }
    handled.notify_all();
}

void QueuedDialogSurface::DeliverPending() {
    std::unique_lock<std::mutex> lock(mutex);
    bWoken = false;
    while (bOpen && !pending.empty()) {
        Request request = std::move(pending.front());
        pending.pop_front();
        // A waiting caller stays blocked until its flag is set, so everything its call refers
        // to lives on while it is handled; a posted call holds copies of its own.
        lock.unlock();
        request.call(pTarget);
        lock.lock();
        if (request.pbDone != nullptr) {
            *request.pbDone = true;
            handled.notify_all();
        }
    }
}

void QueuedDialogSurface::Queue(Request&& request, bool bWake) {
    pending.push_back(std::move(request));
    if (!bWake || bWoken) {
        return;  // progress that nobody draws, or a wake-up is on its way already
    }
    bWoken = true;
    char cWake = 'q';
    ssize_t nWritten;
    do {
        nWritten = write(fdWake, &cWake, 1);
    } while (nWritten < 0 && errno == EINTR);
    // A full pipe (EAGAIN) already holds a wake-up; the loop delivers everything pending.
}

bool QueuedDialogSurface::Submit(const std::function<void(DialogSurface*)>& call) {
    std::unique_lock<std::mutex> lock(mutex);
    if (!bOpen) {
        return false;
    }
    if (std::this_thread::get_id() == mainThread) {
        // The controller and the extended display write on the main thread itself: handled
        // at once, as a SendMessage to a window of the own thread is, after what the workers
        // queued before it.
        lock.unlock();
        DeliverPending();
        lock.lock();
        if (!bOpen) {
            return false;
        }
        DialogSurface* pNow = pTarget;
        lock.unlock();
        call(pNow);
        return true;
    }
    bool bDone = false;
    Queue({call, &bDone}, true);
    handled.wait(lock, [&bDone] { return bDone; });
    return true;
}

void QueuedDialogSurface::Post(std::function<void(DialogSurface*)>&& call, bool bProgress) {
    std::unique_lock<std::mutex> lock(mutex);
    if (!bOpen) {
        return;
    }
    if (std::this_thread::get_id() == mainThread) {
        lock.unlock();
        Submit(call);
        return;
    }
    Queue({std::move(call), nullptr}, !bProgress || bWakeForProgress);
}
