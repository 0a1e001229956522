// The dialog surface that the workers write through: each call is carried over to the main
// thread and returns once that thread has handled it, as a cross-thread SendMessage does.
#ifndef ARMLINK_SHELL_POSIX_DIALOG_QUEUE_H
#define ARMLINK_SHELL_POSIX_DIALOG_QUEUE_H

#include <errno.h>
#include <unistd.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "shell/dialog_surface.h"

class QueuedDialogSurface : public DialogSurface {
  public:
    QueuedDialogSurface() : bOpen(false), pTarget(nullptr), fdWake(-1) {}

    // Opens the surface for pTarget, which is called on the calling (main) thread only. Each
    // request from another thread writes one byte to fdWake so that the main loop wakes up.
    void Open(DialogSurface* pNewTarget, int fdNewWake) {
        std::lock_guard<std::mutex> lock(mutex);
        pTarget = pNewTarget;
        fdWake = fdNewWake;
        mainThread = std::this_thread::get_id();
        bOpen = true;
    }

    // The dialog has ended: pending requests are dropped and their callers released, and every
    // later call returns at once, so no worker waits on a dialog that is gone.
    void Close() {
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

    // Main thread: hands every waiting request to the target, in the order they came.
    void DeliverPending() {
        std::unique_lock<std::mutex> lock(mutex);
        while (bOpen && !pending.empty()) {
            Request* pRequest = pending.front();
            pending.pop_front();
            // The caller stays blocked until bDone, so its text lives on while it is handled.
            lock.unlock();
            Deliver(*pRequest);
            lock.lock();
            pRequest->bDone = true;
            handled.notify_all();
        }
    }

    void SetItemText(int nId, const char* szText) override {
        Request request = {kSetText, nId, szText, false, false};
        Submit(&request);
    }
    void ShowItem(int nId) override {
        Request request = {kShow, nId, nullptr, false, false};
        Submit(&request);
    }
    void EnableItem(int nId, bool bEnable) override {
        Request request = {kEnable, nId, nullptr, bEnable, false};
        Submit(&request);
    }

  private:
    enum Kind { kSetText, kShow, kEnable };
    struct Request {
        Kind kind;
        int nId;
        const char* szText;
        bool bEnable;
        bool bDone;
    };

    void Deliver(const Request& request) {
        switch (request.kind) {
            case kSetText:
                pTarget->SetItemText(request.nId, request.szText != nullptr ? request.szText : "");
                break;
            case kShow:
                pTarget->ShowItem(request.nId);
                break;
            case kEnable:
                pTarget->EnableItem(request.nId, request.bEnable);
                break;
        }
    }

    void Submit(Request* pRequest) {
        std::unique_lock<std::mutex> lock(mutex);
        if (!bOpen) {
            return;
        }
        if (std::this_thread::get_id() == mainThread) {
            // The controller writes on the main thread itself: handled at once, as a
            // SendMessage to a window of the own thread is.
            lock.unlock();
            Deliver(*pRequest);
            return;
        }
        pending.push_back(pRequest);
        char cWake = 'q';
        ssize_t nWritten;
        do {
            nWritten = write(fdWake, &cWake, 1);
        } while (nWritten < 0 && errno == EINTR);
        // A full pipe (EAGAIN) already holds a wake-up; the loop delivers everything pending.
        handled.wait(lock, [pRequest] { return pRequest->bDone; });
    }

    std::mutex mutex;
    std::condition_variable handled;
    std::deque<Request*> pending;
    bool bOpen;
    DialogSurface* pTarget;
    int fdWake;
    std::thread::id mainThread;
};

#endif
