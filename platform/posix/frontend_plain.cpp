// The plain line mode of armlink: one "status: <text>" line for each change of the status line
// and "log: <path>" for the log path, for scripts and logs rather than eyes.
#include <cstring>
#include <set>
#include <string>
#include <utility>

#include "common/app_state.h"
#include "platform/posix/frontend.h"

namespace {

bool g_bPlainProgress = false;

class PlainFrontEnd : public FrontEnd {
  public:
    explicit PlainFrontEnd(FILE* pOutput) : pOut(pOutput), closeRequest(kCloseNone) {}

    // The template's status line holds one blank before the dialog sets "Searching".
    bool Open(char*, size_t) override {
        status = " ";
        closeRequest = kCloseNone;
        return true;
    }

    void Close() override { fflush(pOut); }

    void SetItemText(int nId, const char* szText) override {
        if (nId == kIdStatusText) {
            ShowStatus(szText);
        } else if (nId == kIdLogPathText) {
            fprintf(pOut, "log: %s\n", szText);
            fflush(pOut);
        }
        // The button's caption has no line of its own.
    }

    void ShowItem(int) override {}
    void EnableItem(int, bool) override {}
    // With --verbose, one line per exchange; the line that clears the progress is not printed.
    void ShowProgress(const char* szText) override {
        if (g_bPlainProgress && szText[0] != '\0') {
            fprintf(pOut, "progress: %s\n", szText);
            fflush(pOut);
        }
    }

    // Named once per port and reason: a series of three searches meets the same ports again.
    void ReportPortFailure(unsigned nPort, const char* szDevice, const char* szReason) override {
        if (!reported.insert(std::make_pair(nPort, std::string(szReason))).second) {
            return;
        }
        fprintf(stderr, "%s\n", PortFailureLine(nPort, szDevice, szReason).c_str());
        fflush(stderr);
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
    // Nobody is there to press the button: the dialog closes itself once the work has an
    // outcome (after the worker's last write).
    void OnOutcome(RunOutcome outcome, const std::string&) override {
        if (outcome != kOutcomeNone) {
            closeRequest = kCloseAfterWorker;
        }
    }

  private:
    void ShowStatus(const char* szText) {
        if (status == szText) {
            return;  // set again unchanged: the line shows nothing new
        }
        status = szText;
        // A text that ends its own line (the identity line does) is printed without an extra
        // blank line.
        size_t nLength = status.size();
        while (nLength > 0 && (status[nLength - 1] == '\n' || status[nLength - 1] == '\r')) {
            --nLength;
        }
        fprintf(pOut, "status: %.*s\n", static_cast<int>(nLength), status.c_str());
        fflush(pOut);
    }

    FILE* pOut;
    std::string status;
    CloseRequest closeRequest;
    std::set<std::pair<unsigned, std::string>> reported;
};

}  // namespace

std::string PortFailureLine(unsigned nPort, const char* szDevice, const char* szReason) {
    char szLine[512];
    if (szDevice[0] != '\0') {
        snprintf(szLine, sizeof szLine, "armlink: COM%u (%s): %s", nPort, szDevice, szReason);
    } else {
        snprintf(szLine, sizeof szLine, "armlink: COM%u: %s", nPort, szReason);
    }
    return szLine;
}

void SetPlainProgress(bool bOn) {
    g_bPlainProgress = bOn;
}

FrontEnd* CreatePlainFrontEnd(FILE* pOut) {
    return new PlainFrontEnd(pOut);
}
