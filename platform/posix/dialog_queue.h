// The dialog surface that the workers write through: each call is carried over to the main
// thread and returns once that thread has handled it, as a cross-thread SendMessage does.
#ifndef ARMLINK_PLATFORM_POSIX_DIALOG_QUEUE_H
#define ARMLINK_PLATFORM_POSIX_DIALOG_QUEUE_H

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "common/dialog_surface.h"

class QueuedDialogSurface : public DialogSurface {
  public:
    QueuedDialogSurface() : bOpen(false), pTarget(nullptr), fdWake(-1) {}

    // Opens the surface for pTarget, which is called on the calling (main) thread only. Each
    // request from another thread writes one byte to fdWake so that the main loop wakes up.
    void Open(DialogSurface* pNewTarget, int fdNewWake);
    // The dialog has ended: pending requests are dropped and their callers released, and every
    // later call returns at once, so no worker waits on a dialog that is gone.
    void Close();
    // Main thread: hands every waiting request to the target, in the order they came.
    void DeliverPending();

    // Each write is handed on as it is; the ones that answer wait for the answer.
    void SetItemText(int nId, const char* szText) override {
        Submit([=](DialogSurface* p) { p->SetItemText(nId, szText != nullptr ? szText : ""); });
    }
    void ShowItem(int nId) override {
        Submit([=](DialogSurface* p) { p->ShowItem(nId); });
    }
    void EnableItem(int nId, bool bEnable) override {
        Submit([=](DialogSurface* p) { p->EnableItem(nId, bEnable); });
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
        Submit([=](DialogSurface* p) { p->ShowProgress(szText); });
    }
    void ReportOutcome(RunOutcome outcome, const char* szDetail) override {
        Submit([=](DialogSurface* p) { p->ReportOutcome(outcome, szDetail); });
    }
    void ShowUnloggedEntry(const char* szEntry) override {
        Submit([=](DialogSurface* p) { p->ShowUnloggedEntry(szEntry); });
    }
    void ReportSaved(const char* szPath) override {
        Submit([=](DialogSurface* p) { p->ReportSaved(szPath); });
    }
    void ReportPortFailure(unsigned nPort, const char* szDevice, const char* szReason) override {
        Submit([=](DialogSurface* p) { p->ReportPortFailure(nPort, szDevice, szReason); });
    }
    void PollDone(const PollSample& sample) override {
        Submit([=](DialogSurface* p) { p->PollDone(sample); });
    }

  private:
    struct Request {
        std::function<void(DialogSurface*)> call;
        bool bDone;
    };
    // Runs call on the main thread with the target; false when the dialog is not open (the
    // call then did not run).
    bool Submit(const std::function<void(DialogSurface*)>& call);

    std::mutex mutex;
    std::condition_variable handled;
    std::deque<Request*> pending;
    bool bOpen;
    DialogSurface* pTarget;
    int fdWake;
    std::thread::id mainThread;
};

#endif
