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

void QueuedDialogSurface::SetItemText(int nId, const char* szText) {
    Submit([=](DialogSurface* p) { p->SetItemText(nId, szText != nullptr ? szText : ""); });
}

void QueuedDialogSurface::ShowItem(int nId) {
    Submit([=](DialogSurface* p) { p->ShowItem(nId); });
}

void QueuedDialogSurface::EnableItem(int nId, bool bEnable) {
    Submit([=](DialogSurface* p) { p->EnableItem(nId, bEnable); });
}

bool QueuedDialogSurface::AppendReport(const char* const* pTexts, size_t nTexts) {
    bool bWhole = false;
    Submit([&](DialogSurface* p) { bWhole = p->AppendReport(pTexts, nTexts); });
    return bWhole;
}

uint32_t QueuedDialogSurface::ReportLineCount() {
    uint32_t nCount = 0;
    Submit([&](DialogSurface* p) { nCount = p->ReportLineCount(); });
    return nCount;
}

uint32_t QueuedDialogSurface::ReportLine(uint32_t nLine, char* pBuffer, uint32_t nMax) {
    uint32_t nCopied = 0;
    pBuffer[0] = '\0';
    Submit([&](DialogSurface* p) { nCopied = p->ReportLine(nLine, pBuffer, nMax); });
    return nCopied;
}

bool QueuedDialogSurface::AskSaveFileName(char* szPath, uint32_t cchPath) {
    bool bChosen = false;
    Submit([&](DialogSurface* p) { bChosen = p->AskSaveFileName(szPath, cchPath); });
    return bChosen;
}

void QueuedDialogSurface::ShowMessage(const char* szText, const char* szCaption) {
    Submit([=](DialogSurface* p) { p->ShowMessage(szText, szCaption); });
}

void QueuedDialogSurface::ShowProgress(const char* szText) {
    Submit([=](DialogSurface* p) { p->ShowProgress(szText); });
}

void QueuedDialogSurface::ReportOutcome(RunOutcome outcome, const char* szDetail) {
    Submit([=](DialogSurface* p) { p->ReportOutcome(outcome, szDetail); });
}

void QueuedDialogSurface::ShowUnloggedEntry(const char* szEntry) {
    Submit([=](DialogSurface* p) { p->ShowUnloggedEntry(szEntry); });
}

void QueuedDialogSurface::ReportPortFailure(unsigned nPort, const char* szDevice,
                                            const char* szReason) {
    Submit([=](DialogSurface* p) { p->ReportPortFailure(nPort, szDevice, szReason); });
}

void QueuedDialogSurface::PollDone() {
    Submit([](DialogSurface* p) { p->PollDone(); });
}
