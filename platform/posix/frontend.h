// The terminal faces of armlink's dialogs: the plain line printer and the ncurses drawing, each
// drawing one dialog model.
#ifndef ARMLINK_PLATFORM_POSIX_FRONTEND_H
#define ARMLINK_PLATFORM_POSIX_FRONTEND_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "common/dialog_surface.h"
#include "platform/posix/dialog_model.h"

// What the front end asks of the dialog loop after the user (or its own rule) closed it.
enum CloseRequest {
    kCloseNone,         // keep the dialog open
    kCloseNow,          // end the dialog now, as its button does
    kCloseAfterWorker,  // end it once the running worker has made its last write and ended
};

// One dialog drawn on the terminal. Every call comes on the main (user-interface) thread; the
// control writes arrive through DialogSurface, already moved to that thread, and go into the
// model, after which the face draws what changed.
class FrontEnd : public DialogSurface {
  public:
    // nRunMode picks the dialog; after nPolls polls (0: none) the statistics close as their
    // button would.
    explicit FrontEnd(int32_t nRunMode, uint32_t nPolls = 0) : nMode(nRunMode), nPollLimit(nPolls) {
        ResetDialogModel(&model, nMode);
    }
    // Shows the dialog with its controls as the template has them. False when the terminal
    // cannot show it; szReason then says why.
    virtual bool Open(char* szReason, size_t cchReason) = 0;
    // Takes the dialog off the terminal and gives the terminal back as it was.
    virtual void Close() = 0;
    // The descriptor the loop waits on for the user's input; -1 when there is none.
    virtual int InputFd() { return -1; }
    // Reads whatever input is waiting, without blocking.
    virtual void ReadInput() {}
    // The terminal changed its size.
    virtual void Resize() {}
    // Whether the face draws the progress texts at all.
    virtual bool DrawsProgress() const { return true; }
    // The dialog is about to wait: what the face drew goes out now.
    virtual void Settle() {}
    // True once for each activation the user asked for (focus regained, the r key).
    virtual bool TakeActivation() { return false; }
    // The pending close request, cleared by the call.
    virtual CloseRequest TakeCloseRequest() {
        CloseRequest request = closeRequest;
        closeRequest = kCloseNone;
        return request;
    }
    // The command the technician gave (a button id of the template), cleared by the call; 0
    // when none.
    virtual int TakeCommand() { return 0; }
    // A request to close came from outside (a signal): true when the face still has a command
    // to run before it closes (the plain Save of what was collected), false to close now.
    virtual bool TakeInterruption() { return false; }

    // What the dialog shows, with the run's outcome for the exit status.
    const DialogModel& Model() const { return model; }

    // Each write goes into the model; the face then draws what it changed.
    void SetItemText(int nId, const char* szText) override {
        Wrote(ModelSetText(&model, nId, szText), kPartText, nId);
    }
    void ShowItem(int nId) override { Wrote(ModelShow(&model, nId), kPartShown, nId); }
    void EnableItem(int nId, bool bEnable) override {
        Wrote(ModelEnable(&model, nId, bEnable), kPartEnabled, nId);
    }
    bool AppendReport(const char* const* pTexts, size_t nTexts) override {
        for (size_t i = 0; i < nTexts; ++i) {
            model.report.Append(pTexts[i]);
        }
        Changed(kPartReport, 0);
        return true;
    }
    uint32_t ReportLineCount() override { return model.report.LineCount(); }
    uint32_t ReportLine(uint32_t nLine, char* pBuffer, uint32_t nMax) override {
        return model.report.CopyLine(nLine, pBuffer, nMax);
    }
    bool AskSaveFileName(char*, uint32_t) override { return false; }
    void ShowMessage(const char*, const char*) override {}
    void ShowProgress(const char* szText) override {
        ModelShowProgress(&model, szText);
        Changed(kPartProgress, 0);
    }
    void ReportSaved(const char* szPath) override {
        ModelReportSaved(&model, szPath);
        Changed(kPartSaved, 0);
    }
    void ReportOutcome(RunOutcome outcome, const char* szDetail) final {
        ModelReportOutcome(&model, outcome, szDetail);
        Changed(kPartOutcome, 0);
    }
    void PollDone(const PollSample& sample) final {
        ModelPollDone(&model, sample);
        if (nPollLimit != 0 && model.nPollsDone >= nPollLimit) {
            closeRequest = kCloseNow;  // as the Close button
        }
        Changed(kPartPoll, 0);
    }
    // An entry that no file could take: kept in the model for the face to hand over whole.
    void ShowUnloggedEntry(const char* szEntry) final {
        model.unlogged = szEntry != nullptr ? szEntry : "";
        Changed(kPartUnlogged, 0);
    }

  protected:
    // The dialog as its template starts, and the face's own state with it.
    virtual void Reset() {
        ResetDialogModel(&model, nMode);
        closeRequest = kCloseNone;
    }
    // A write changed part of the model (of control nId, for the parts of a control).
    virtual void Changed(ModelPart part, int nId) = 0;
    // Keeps a port that would not open in the model; true the first time it is met.
    bool NotePortFailure(unsigned nPort, const char* szDevice, const char* szReason);

    DialogModel model;
    CloseRequest closeRequest = kCloseNone;

  private:
    void Wrote(bool bControl, ModelPart part, int nId) {
        if (bControl) {
            Changed(part, nId);
        }
    }

    int32_t nMode;
    uint32_t nPollLimit;
};

// The line that names a port that would not open, for standard error:
// "armlink: COM2 (/dev/ttyUSB0): in use by another program".
std::string PortFailureLine(unsigned nPort, const char* szDevice, const char* szReason);

// Whether the plain line mode prints one "progress: <text>" line per exchange (--verbose).
void SetPlainProgress(bool bOn);
// The errno of the first write of the plain line mode that failed; 0 when none did.
int PlainOutputError();

// The most Checks one plain run presses.
constexpr int kMaxPlainChecks = 1000;

// VOLUME_DLG in plain lines: "status: <text>" for each change of the status line and
// "log: <path>" for the log path ("kept: <path>", "not written: <path>: <reason>" by the
// field's label), to pOut; names ports that do not open on standard error;
// closes its dialog by itself once the run's work has an outcome.
FrontEnd* CreatePlainFrontEnd(FILE* pOut);
// STATS_DLG in plain lines: the status lines, one "sample: ..." line for each poll that showed a
// sample, one "errors: ..." line after each logging pass, "lost: no reply since HH:MM:SS" once
// when contact is lost and "back: HH:MM:SS" when it is back. It closes after nPolls polls (0:
// never), after "No Arm Found" and when the firmware is too old.
FrontEnd* CreateStatsPlainFrontEnd(FILE* pOut, uint32_t nPolls);
// ERROR_DISPLAY_DLG in plain lines: once the arm is found, presses Check nChecks times,
// printing every appended text to pOut as it is appended and "status: <text>" for the status
// line, then Save with szSavePath (when not nullptr), then closes; "INVALID FILE: <path>" goes
// to standard error. "No Arm Found" closes it too.
FrontEnd* CreateExtendedPlainFrontEnd(FILE* pOut, int nChecks, const char* szSavePath);

// Draws VOLUME_DLG, the log dialog, with ncurses; Esc, Enter and q close it, r and a focus-in
// report ask for a new activation.
FrontEnd* CreateLogCursesFace();
// Draws STATS_DLG with ncurses, with a plot of the point rate of the recent polls; closes after
// nPolls polls (0: never).
FrontEnd* CreateStatsCursesFace(uint32_t nPolls);
// Draws ERROR_DISPLAY_DLG with ncurses: c or Enter Check, s Save (the path on a prompt line, Esc
// cancels), Esc or q Close; the arrows, Page Up/Down, Home and End scroll the report.
FrontEnd* CreateExtendedCursesFace();

#endif
