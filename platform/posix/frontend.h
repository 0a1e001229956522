// The terminal faces of armlink's dialogs: the plain line printer and the ncurses drawing.
#ifndef ARMLINK_PLATFORM_POSIX_FRONTEND_H
#define ARMLINK_PLATFORM_POSIX_FRONTEND_H

#include <cstddef>
#include <cstdio>
#include <string>

#include "common/dialog_surface.h"

// What the front end asks of the dialog loop after the user (or its own rule) closed it.
enum CloseRequest {
    kCloseNone,         // keep the dialog open
    kCloseNow,          // end the dialog now, as its button does
    kCloseAfterWorker,  // end it once the running worker has made its last write and ended
};

// One dialog drawn on the terminal. Every call comes on the main (user-interface) thread; the
// control writes arrive through DialogSurface, already moved to that thread.
class FrontEnd : public DialogSurface {
  public:
    // Shows the dialog with its controls as the template has them. False when the terminal
    // cannot show it; szReason then says why.
    virtual bool Open(char* szReason, size_t cchReason) = 0;
    // Takes the dialog off the terminal and gives the terminal back as it was.
    virtual void Close() = 0;
    // The descriptor the loop waits on for the user's input; -1 when there is none.
    virtual int InputFd() = 0;
    // Reads whatever input is waiting, without blocking.
    virtual void ReadInput() = 0;
    // The terminal changed its size.
    virtual void Resize() = 0;
    // True once for each activation the user asked for (focus regained, the r key).
    virtual bool TakeActivation() = 0;
    // The pending close request, cleared by the call.
    virtual CloseRequest TakeCloseRequest() = 0;
    // The command the technician gave (a button id of the template), cleared by the call; 0
    // when none.
    virtual int TakeCommand() { return 0; }

    // The outcome, kept for the exit status; OnOutcome lets the face react to it.
    void ReportOutcome(RunOutcome outcome, const char* szDetail) final {
        lastOutcome = outcome;
        lastDetail = szDetail != nullptr ? szDetail : "";
        OnOutcome(outcome, lastDetail);
    }
    RunOutcome Outcome() const { return lastOutcome; }
    const std::string& OutcomeDetail() const { return lastDetail; }

    // What the dialogs without a report are never asked: they have no report control.
    bool AppendReport(const char* const*, size_t) override { return false; }
    uint32_t ReportLineCount() override { return 1; }
    uint32_t ReportLine(uint32_t, char* pBuffer, uint32_t) override {
        pBuffer[0] = '\0';
        return 0;
    }
    bool AskSaveFileName(char*, uint32_t) override { return false; }
    void ShowMessage(const char*, const char*) override {}
    // An entry that no file could take goes to standard error, line by line, to be copied.
    void ShowUnloggedEntry(const char* szEntry) override {
        fputs("armlink: the log entry could not be kept in any file; here it is:\n", stderr);
        for (const char* p = szEntry; *p != '\0'; ++p) {
            if (*p != '\r') {
                fputc(*p, stderr);
            }
        }
    }
    // Only the statistics faces mark where a poll ends.
    void PollDone() override {}

  protected:
    virtual void OnOutcome(RunOutcome, const std::string&) {}

  private:
    RunOutcome lastOutcome = kOutcomeNone;
    std::string lastDetail;
};

// The line that names a port that would not open, for standard error:
// "armlink: COM2 (/dev/ttyUSB0): in use by another program".
std::string PortFailureLine(unsigned nPort, const char* szDevice, const char* szReason);

// Whether the plain line mode prints one "progress: <text>" line per exchange (--verbose).
void SetPlainProgress(bool bOn);

// Prints "status: <text>" for each change of the status line and "log: <path>" for the log
// path, to pOut; names ports that do not open on standard error; closes its dialog by itself
// once the run's work has an outcome.
FrontEnd* CreatePlainFrontEnd(FILE* pOut);

// Draws VOLUME_DLG on the terminal with ncurses; Esc, Enter and q close it, r and a focus-in
// report ask for a new activation.
FrontEnd* CreateCursesFrontEnd();

#endif
