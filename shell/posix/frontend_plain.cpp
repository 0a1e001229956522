// The plain line mode of armlink: one "status: <text>" line for each change of the status line
// and "log: <path>" for the log path, for scripts and logs rather than eyes.
#include <cstring>
#include <string>

#include "shell/app_state.h"
#include "shell/posix/frontend.h"

namespace {

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
    int InputFd() override { return -1; }
    void ReadInput() override {}
    void Resize() override {}
    bool TakeActivation() override { return false; }

    CloseRequest TakeCloseRequest() override {
        CloseRequest request = closeRequest;
        closeRequest = kCloseNone;
        return request;
    }

    bool ReportsPortFailures() override { return true; }

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

        // Nobody is there to press the button: the dialog closes itself once the work is done
        // (after the log worker's last write) or the search has given up.
        if (status == "Done" || status == "No Arm Found") {
            closeRequest = kCloseAfterWorker;
        }
    }

    FILE* pOut;
    std::string status;
    CloseRequest closeRequest;
};

}  // namespace

FrontEnd* CreatePlainFrontEnd(FILE* pOut) {
    return new PlainFrontEnd(pOut);
}
