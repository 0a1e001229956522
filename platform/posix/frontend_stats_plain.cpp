// The plain line mode of "/stats": the status lines as in every run mode, and one line per
// sample and per logging pass, for scripts and for logging a shift to a file.
#include <string>

#include "common/app_state.h"
#include "platform/posix/frontend_stats.h"
#include "platform/posix/stats_texts.h"

namespace {

class StatsPlainFrontEnd : public FrontEnd {
  public:
    StatsPlainFrontEnd(FILE* pOutput, uint32_t nPolls)
        : pOut(pOutput),
          pStatusLines(CreatePlainFrontEnd(pOutput)),
          nPollLimit(nPolls),
          nPollsDone(0),
          closeRequest(kCloseNone) {
        ResetStatsTexts(&texts);
    }

    bool Open(char* szReason, size_t cchReason) override {
        ResetStatsTexts(&texts);
        nPollsDone = 0;
        closeRequest = kCloseNone;
        return pStatusLines->Open(szReason, cchReason);
    }

    void Close() override { pStatusLines->Close(); }

    // The status line is printed as in the other run modes; the values wait for the poll's end.
    void SetItemText(int nId, const char* szText) override {
        if (!TakeStatsText(&texts, nId, szText)) {
            pStatusLines->SetItemText(nId, szText);
        }
    }

    void ShowItem(int) override {}
    void EnableItem(int, bool) override {}
    void ShowProgress(const char* szText) override { pStatusLines->ShowProgress(szText); }

    void ReportPortFailure(unsigned nPort, const char* szDevice, const char* szReason) override {
        pStatusLines->ReportPortFailure(nPort, szDevice, szReason);
    }

    // A poll has ended, its logging pass included: its sample first, then the pass.
    void PollDone() override {
        if (texts.bSampleShown) {
            fprintf(pOut, "%s\n", SampleLine(texts).c_str());
        }
        if (texts.bErrorsShown) {
            fprintf(pOut, "%s\n", ErrorsLine(texts).c_str());
        }
        fflush(pOut);
        texts.bSampleShown = false;
        texts.bErrorsShown = false;
        ++nPollsDone;
        if (nPollLimit != 0 && nPollsDone >= nPollLimit) {
            closeRequest = kCloseNow;  // as the Close button
        }
    }

    int InputFd() override { return -1; }
    void ReadInput() override {}
    void Resize() override {}
    bool TakeActivation() override { return false; }

    CloseRequest TakeCloseRequest() override {
        CloseRequest request = closeRequest;
        closeRequest = kCloseNone;
        return request;
    }

  protected:
    // The statistics run until closed: only a search that gave up or a worker that ended by
    // itself (the firmware too old) close the dialog, once the worker's last write is in.
    void OnOutcome(RunOutcome outcome, const std::string&) override {
        if (outcome == kOutcomeNoArm || outcome == kOutcomeVersionNotSupported) {
            closeRequest = kCloseAfterWorker;
        }
    }

  private:
    FILE* pOut;
    FrontEnd* pStatusLines;  // the status lines and port failures, as every plain run prints them
    uint32_t nPollLimit;
    uint32_t nPollsDone;
    CloseRequest closeRequest;
    StatsTexts texts;
};

}  // namespace

FrontEnd* CreateStatsPlainFrontEnd(FILE* pOut, uint32_t nPolls) {
    return new StatsPlainFrontEnd(pOut, nPolls);
}
