// The dialog surface that the workers write through: each call is carried over to the main
// thread. A call that answers (the report's lines, the save prompt, a message) returns once that
// thread has handled it, as a cross-thread SendMessage does; a write that answers nothing is
// queued with copies of its texts and returns at once, as a PostMessage does. All are handled in
// the order they came, and the main loop hands on what is queued before it acts on anything a
// worker signals, so a worker's writes are on the screen before its end is.
#ifndef ARMLINK_PLATFORM_POSIX_DIALOG_QUEUE_H
#define ARMLINK_PLATFORM_POSIX_DIALOG_QUEUE_H

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "common/dialog_surface.h"

class QueuedDialogSurface : public DialogSurface {
  public:
    QueuedDialogSurface() : bOpen(false), pTarget(nullptr), fdWake(-1) {}

    // Opens the surface for pTarget, which is called on the calling (main) thread only. A
    // request from another thread writes one byte to fdWake so that the main loop wakes up,
    // unless a byte is on its way already; the loop then hands on everything queued. Progress
    // that the face does not draw (bDrawsProgress false) wakes nobody: it is handed on, in its
    // place, with the next write that does.
    void Open(DialogSurface* pNewTarget, int fdNewWake, bool bDrawsProgress);
    // The dialog has ended: pending requests are dropped and their callers released, and every
    // later call returns at once, so no worker waits on a dialog that is gone.
    void Close();
    // Main thread: hands every waiting request to the target, in the order they came.
    void DeliverPending();

    // Each write is handed on as it is; the ones that answer wait for the answer.
    void SetItemText(int nId, const char* szText) override {
        std::string text = szText != nullptr ? szText : "";
        Post([=](DialogSurface* p) { p->SetItemText(nId, text.c_str()); });
    }
    void ShowItem(int nId) override {
        Post([=](DialogSurface* p) { p->ShowItem(nId); });
    }
    void EnableItem(int nId, bool bEnable) override {
        Post([=](DialogSurface* p) { p->EnableItem(nId, bEnable); });
    }
    bool AppendReport(const char* const* pTexts, size_t nTexts) override {
        bool bWhole = false;
        Submit([&](DialogSurface* p) { bWhole = p->AppendReport(pTexts, nTexts); });
        return bWhole;
    }
    uint32_t ReportLineCount() override {
        uint32_t nCount = 0;
        Submit([&](DialogSurface* p) { nCount = p->ReportLineCount(); });
        return nCount;
    }
    uint32_t ReportLine(uint32_t nLine, char* pBuffer, uint32_t nMax) override {
        uint32_t nCopied = 0;
        pBuffer[0] = '\0';
        Submit([&](DialogSurface* p) { nCopied = p->ReportLine(nLine, pBuffer, nMax); });
        return nCopied;
    }
    bool AskSaveFileName(char* szPath, uint32_t cchPath) override {
        bool bChosen = false;
        Submit([&](DialogSurface* p) { bChosen = p->AskSaveFileName(szPath, cchPath); });
        return bChosen;
    }
    void ShowMessage(const char* szText, const char* szCaption) override {
        Submit([=](DialogSurface* p) { p->ShowMessage(szText, szCaption); });
    }
    void ShowProgress(const char* szText) override {
        std::string text = szText != nullptr ? szText : "";
        Post([=](DialogSurface* p) { p->ShowProgress(text.c_str()); }, true);
    }
    void ReportOutcome(RunOutcome outcome, const char* szDetail) override {
        std::string detail = szDetail != nullptr ? szDetail : "";
        Post([=](DialogSurface* p) { p->ReportOutcome(outcome, detail.c_str()); });
    }
    void ShowUnloggedEntry(const char* szEntry) override {
        std::string entry = szEntry != nullptr ? szEntry : "";
        Post([=](DialogSurface* p) { p->ShowUnloggedEntry(entry.c_str()); });
    }
    void ReportSaved(const char* szPath) override {
        std::string path = szPath != nullptr ? szPath : "";
        Post([=](DialogSurface* p) { p->ReportSaved(path.c_str()); });
    }
    void ReportPortFailure(unsigned nPort, const char* szDevice, const char* szReason) override {
        std::string device = szDevice != nullptr ? szDevice : "";
        std::string reason = szReason != nullptr ? szReason : "";
        Post(
            [=](DialogSurface* p) { p->ReportPortFailure(nPort, device.c_str(), reason.c_str()); });
    }
    void PollDone(const PollSample& sample) override {
        Post([=](DialogSurface* p) { p->PollDone(sample); });
    }

  private:
    // A call waiting for the main thread. pbDone is the waiting caller's flag; nullptr for a
    // write whose caller went on.
    struct Request {
        std::function<void(DialogSurface*)> call;
        bool* pbDone;
    };
    // Runs call on the main thread with the target; false when the dialog is not open (the
    // call then did not run).
    bool Submit(const std::function<void(DialogSurface*)>& call);
    // Queues call for the main thread and returns at once (on the main thread it runs at once).
    // bProgress: the call shows progress, which wakes the loop only when the face draws it.
    void Post(std::function<void(DialogSurface*)>&& call, bool bProgress = false);
    // Queues the request (the mutex held); bWake: the loop is woken unless a wake-up it has not
    // handled yet is on its way.
    void Queue(Request&& request, bool bWake);

    std::mutex mutex;
    std::condition_variable handled;
    std::deque<Request> pending;
    bool bOpen;
    DialogSurface* pTarget;
    int fdWake;
    bool bWoken = false;  // a byte is in fdWake that the loop has not handled yet
    bool bWakeForProgress = true;
    std::thread::id mainThread;
};

#endif
