// The plain line mode of the extended error display: once the arm is found it presses Check a
// given number of times, prints every text appended to the report exactly as it is appended,
// saves the report to a given file, and closes as the Close button would.
#include <cstring>
#include <deque>
#include <string>

#include "common/app_state.h"
#include "platform/posix/frontend_extended.h"
#include "shell/report_text.h"

namespace {

class ExtendedPlainFrontEnd : public FrontEnd {
  public:
    ExtendedPlainFrontEnd(FILE* pOutput, int nChecks, const char* szSavePath)
        : pStatusLines(CreatePlainFrontEnd(pOutput)),
          pOut(pOutput),
          nCheckCount(nChecks),
          bSave(szSavePath != nullptr),
          savePath(szSavePath != nullptr ? szSavePath : "") {
        Reset();
    }

    bool Open(char* szReason, size_t cchReason) override {
        Reset();
        return pStatusLines->Open(szReason, cchReason);
    }

    void Close() override { pStatusLines->Close(); }

    // "status: <text>" for each change of the status line, as in the other run modes.
    void SetItemText(int nId, const char* szText) override {
        pStatusLines->SetItemText(nId, szText);
    }

    void ShowItem(int) override {}

    // The Check button enabled means the arm was found: the technician's presses are queued
    // then, Check after Check, then Save.
    void EnableItem(int nId, bool bEnable) override {
        if (nId != kIdButton || !bEnable || bStarted) {
            return;
        }
        bStarted = true;
        for (int n = 0; n < nCheckCount; ++n) {
            commands.push_back(kIdButton);
        }
        if (bSave) {
            commands.push_back(kIdSaveButton);
        }
    }

    // The bytes as they are appended: "\r\n" and the decoder's lone "\n" unchanged.
    bool AppendReport(const char* const* pTexts, size_t nTexts) override {
        for (size_t i = 0; i < nTexts; ++i) {
            fputs(pTexts[i], pOut);
            report.Append(pTexts[i]);
        }
        fflush(pOut);
        return true;
    }

    uint32_t ReportLineCount() override { return report.LineCount(); }

    uint32_t ReportLine(uint32_t nLine, char* pBuffer, uint32_t nMax) override {
        return report.CopyLine(nLine, pBuffer, nMax);
    }

    // The file given on the command line is the technician's choice.
    bool AskSaveFileName(char* szPath, uint32_t cchPath) override {
        if (savePath.empty() || savePath.size() >= cchPath) {
            return false;
        }
        memcpy(szPath, savePath.c_str(), savePath.size() + 1);
        return true;
    }

    // "INVALID FILE: <path>" on standard error; the reason follows with the exit status.
    void ShowMessage(const char* szText, const char* szCaption) override {
        fflush(pOut);
        fprintf(stderr, "%s: %s\n", szCaption, szText);
        fflush(stderr);
    }

    void ShowProgress(const char* szText) override { pStatusLines->ShowProgress(szText); }

    void ReportPortFailure(unsigned nPort, const char* szDevice, const char* szReason) override {
        pStatusLines->ReportPortFailure(nPort, szDevice, szReason);
    }

    int InputFd() override { return -1; }
    void ReadInput() override {}
    void Resize() override {}
    bool TakeActivation() override { return false; }

    int TakeCommand() override {
        if (commands.empty()) {
            return 0;
        }
        int nId = commands.front();
        commands.pop_front();
        return nId;
    }

    // Once every press is done the dialog closes as its Close button does.
    CloseRequest TakeCloseRequest() override {
        CloseRequest request = closeRequest;
        closeRequest = kCloseNone;
        if (request == kCloseNone && bStarted && commands.empty()) {
            request = kCloseNow;
        }
        return request;
    }

  protected:
    // Nobody is there to start a search again: "No Arm Found" ends the run, after the search
    // worker's last write.
    void OnOutcome(RunOutcome outcome, const std::string&) override {
        if (outcome == kOutcomeNoArm) {
            closeRequest = kCloseAfterWorker;
        }
    }

  private:
    void Reset() {
        report = ReportText();
        commands.clear();
        bStarted = false;
        closeRequest = kCloseNone;
    }

    FrontEnd* pStatusLines;
    FILE* pOut;
    int nCheckCount;
    bool bSave;
    std::string savePath;
    ReportText report;
    std::deque<int> commands;
    bool bStarted;
    CloseRequest closeRequest;
};

}  // namespace

FrontEnd* CreateExtendedPlainFrontEnd(FILE* pOut, int nChecks, const char* szSavePath) {
    return new ExtendedPlainFrontEnd(pOut, nChecks, szSavePath);
}
