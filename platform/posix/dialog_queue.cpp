// The queued dialog surface: workers' calls wait until the main loop has handed them on.
#include "platform/posix/dialog_queue.h"

#include <errno.h>
#include <unistd.h>

void QueuedDialogSurface::Open(DialogSurface* pNewTarget, int fdNewWake) {
    std::lock_guard<std::mutex> lock(mutex);
    pTarget = pNewTarget;
    fdWake = fdNewWake;
    mainThread = std::this_thread::get_id();
    bOpen = true;
}

void QueuedDialogSurface::Close() {
    {
        std::lock_guard<std::mutex> lock(mutex);
        bOpen = false;
        for (Request* pRequest : pending) {
            pRequest->bDone = true;
        }
        pending.clear();
    }
    handled.notify_all();
}

void QueuedDialogSurface::DeliverPending() {
    std::unique_lock<std::mutex> lock(mutex);
    while (bOpen && !pending.empty()) {
        Request* pRequest = pending.front();
        pending.pop_front();
        // The caller stays blocked until bDone, so everything the call refers to lives on
        // while it is handled.
        lock.unlock();
        pRequest->call(pTarget);
        lock.lock();
        pRequest->bDone = true;
        handled.notify_all();
    }
}

bool QueuedDialogSurface::Submit(const std::function<void(DialogSurface*)>& call) {
    std::unique_lock<std::mutex> lock(mutex);
    if (!bOpen) {
        return false;
    }
    if (std::this_thread::get_id() == mainThread) {
        // The controller and the extended display write on the main thread itself: handled
        // at once, as a SendMessage to a window of the own thread is.
        DialogSurface* pNow = pTarget;
        lock.unlock();
        call(pNow);
        return true;
    }
    Request request = {call, false};
    pending.push_back(&request);
    char cWake = 'q';
    ssize_t nWritten;
    do {
        nWritten = write(fdWake, &cWake, 1);
    } while (nWritten < 0 && errno == EINTR);
    // A full pipe (EAGAIN) already holds a wake-up; the loop delivers everything pending.
    handled.wait(lock, [&request] { return request.bDone; });
    return true;
}
