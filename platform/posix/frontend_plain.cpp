// The plain line mode of armlink's three dialogs, for scripts and logs rather than eyes: one
// "status: <text>" line for each change of the status line, "log: <path>" for the log path (or
// "kept:" and "not written:"), the statistics' "sample:", "errors:", "lost:" and "back:" lines, the
// extended display's report as it is appended.
#include <cerrno>
#include <cstring>
#include <deque>
#include <string>

#include "common/app_state.h"
#include "platform/posix/frontend.h"
#include "protocol/hex_word.h"

namespace {

bool g_bPlainProgress = false;
int g_nOutputError = 0;

// The lines go out before the dialog waits, for the script that reads them (the lines that
// one pass of the loop draws, in one write); a failure is kept for the exit.
void Flush(FILE* pOut) {
    if (fflush(pOut) != 0 && g_nOutputError == 0) {
        g_nOutputError = errno != 0 ? errno : EIO;
    }
}

constexpr unsigned OutcomeBit(RunOutcome outcome) {
    return 1u << outcome;
}

// What the plain faces share: the status lines, the log path, the progress with --verbose, the
// ports that would not open named once each on standard error, and the dialog closed by itself
// once the work has an outcome that ends an unattended run (after the worker's last write).
class PlainFace : public FrontEnd {
  public:
    PlainFace(int32_t nRunMode, FILE* pOutput, unsigned nClosingOutcomes, uint32_t nPolls = 0)
        : FrontEnd(nRunMode, nPolls), pOut(pOutput), nClosing(nClosingOutcomes) {}

    bool Open(char*, size_t) override {
        Reset();
        return true;
    }

    void Close() override { Flush(pOut); }

    void Settle() override { Flush(pOut); }

    bool DrawsProgress() const override { return g_bPlainProgress; }

    // Named once per port and reason: a series of three searches meets the same ports again.
    void ReportPortFailure(unsigned nPort, const char* szDevice, const char* szReason) override {
        if (NotePortFailure(nPort, szDevice, szReason)) {
            Flush(pOut);  // the lines before it come first, in a log of both streams too
            fprintf(stderr, "%s\n", PortFailureLine(nPort, szDevice, szReason).c_str());
            fflush(stderr);
        }
    }

  protected:
    void Changed(ModelPart part, int nId) override {
        if (part == kPartText && nId == kIdStatusText &&
            ModelControl(model, kIdStatusText).bChanged) {
            // Set again unchanged, the line shows nothing new. A text that ends its own line (the
            // identity line does) is printed without an extra blank line.
            const std::string& status = ModelText(model, kIdStatusText);
            size_t nLength = status.size();
            while (nLength > 0 && (status[nLength - 1] == '\n' || status[nLength - 1] == '\r')) {
                --nLength;
            }
            fprintf(pOut, "status: %.*s\n", static_cast<int>(nLength), status.c_str());
        } else if (part == kPartSaved) {
            fprintf(pOut, "saved: %s\n", model.saved.c_str());
        } else if (part == kPartText && nId == kIdLogPathText) {
            fprintf(pOut, "%s\n", PathLine(model).c_str());
        } else if (part == kPartProgress && g_bPlainProgress && !model.progress.empty()) {
            // With --verbose, one line per exchange; the line that clears it is not printed.
            fprintf(pOut, "progress: %s\n", model.progress.c_str());
        } else if (part == kPartUnlogged) {
            Flush(pOut);
            PrintUnloggedEntry(model, stderr);
        } else if (part == kPartOutcome && (nClosing & OutcomeBit(model.reported)) != 0) {
            closeRequest = kCloseAfterWorker;
        }
    }

    FILE* pOut;

  private:
    unsigned nClosing;
};

// The statistics run until closed: only a search that gave up or a worker that ended by itself
// (the firmware too old) close the dialog. A poll's sample is printed at its end, then its pass.
class StatsPlainFace : public PlainFace {
  public:
    StatsPlainFace(FILE* pOutput, uint32_t nPolls)
        : PlainFace(kRunModeStats, pOutput,
                    OutcomeBit(kOutcomeNoArm) | OutcomeBit(kOutcomeVersionNotSupported), nPolls) {}

  protected:
    void Changed(ModelPart part, int nId) override {
        // Contact lost is said once, and its end once.
        if (part == kPartOutcome && model.outcome == kOutcomeContactLost && !bLost) {
            fprintf(pOut, "lost: no reply since %s\n", model.detail.c_str());
        } else if (part == kPartOutcome && model.outcome == kOutcomeDone && bLost) {
            fprintf(pOut, "back: %s\n", model.detail.c_str());
        }
        if (part == kPartOutcome) {
            bLost = model.outcome == kOutcomeContactLost;
        }
        if (part != kPartPoll) {
            PlainFace::Changed(part, nId);
            return;
        }
        if (model.bPollSample) {
            fprintf(pOut, "%s\n", SampleLine(model).c_str());
        }
        if (model.bPollErrors) {
            fprintf(pOut, "%s\n", ErrorsLine(model).c_str());
        }
    }

  private:
    bool bLost = false;
};

// Nobody is there to press the buttons: once the arm is found (Check enabled) the technician's
// presses are queued, Check after Check, then Save, and the dialog then closes as Close does.
class ExtendedPlainFace : public PlainFace {
  public:
    ExtendedPlainFace(FILE* pOutput, int nChecks, const char* szSavePath)
        : PlainFace(kRunModeExtended, pOutput, OutcomeBit(kOutcomeNoArm)),
          nCheckCount(nChecks),
          bSave(szSavePath != nullptr),
          savePath(szSavePath != nullptr ? szSavePath : "") {}

    // The texts as they are appended: "\r\n" and the decoder's lone "\n" unchanged, the arm's
    // other bytes shown, not obeyed.
    bool AppendReport(const char* const* pTexts, size_t nTexts) override {
        for (size_t i = 0; i < nTexts; ++i) {
            fputs(ShownArmText(pTexts[i]).c_str(), pOut);
        }
        Flush(pOut);
        return PlainFace::AppendReport(pTexts, nTexts);
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
        Flush(pOut);
        fprintf(stderr, "%s: %s\n", szCaption, szText);
        fflush(stderr);
    }

    int TakeCommand() override {
        if (commands.empty()) {
            return 0;
        }
        int nId = commands.front();
        commands.pop_front();
        return nId;
    }

    // What was collected is saved when a save was asked for; no further Check runs.
    bool TakeInterruption() override {
        bool bSaveQueued = !commands.empty() && commands.back() == kIdSaveButton;
        commands.clear();
        if (bSaveQueued) {
            commands.push_back(kIdSaveButton);
        }
        return bSaveQueued;
    }

    CloseRequest TakeCloseRequest() override {
        CloseRequest request = PlainFace::TakeCloseRequest();
        return request == kCloseNone && bStarted && commands.empty() ? kCloseNow : request;
    }

  protected:
    void Reset() override {
        PlainFace::Reset();
        commands.clear();
        bStarted = false;
    }

    void Changed(ModelPart part, int nId) override {
        if (part != kPartEnabled || nId != kIdButton || !ModelControl(model, kIdButton).bEnabled ||
            bStarted) {
            PlainFace::Changed(part, nId);
            return;
        }
        bStarted = true;
        commands.assign(static_cast<size_t>(nCheckCount), kIdButton);
        if (bSave) {
            commands.push_back(kIdSaveButton);
        }
    }

  private:
    int nCheckCount;
    bool bSave;
    std::string savePath;
    std::deque<int> commands;
    bool bStarted = false;
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

int PlainOutputError() {
    return g_nOutputError;
}

bool FrontEnd::NotePortFailure(unsigned nPort, const char* szDevice, const char* szReason) {
    std::string line = PortFailureLine(nPort, szDevice, szReason);
    const std::string prefix = "armlink: ";
    if (line.compare(0, prefix.size(), prefix) == 0) {
        line.erase(0, prefix.size());
    }
    size_t nBefore = model.portFailures.size();
    ModelPortFailure(&model, line);
    return model.portFailures.size() != nBefore;
}

FrontEnd* CreatePlainFrontEnd(FILE* pOut) {
    return new PlainFace(kRunModeLog, pOut, ~OutcomeBit(kOutcomeNone));
}

FrontEnd* CreateStatsPlainFrontEnd(FILE* pOut, uint32_t nPolls) {
    return new StatsPlainFace(pOut, nPolls);
}

FrontEnd* CreateExtendedPlainFrontEnd(FILE* pOut, int nChecks, const char* szSavePath) {
    return new ExtendedPlainFace(pOut, nChecks, szSavePath);
}
