// The dialog surface: the one way the core and the workers reach the user. Control texts, the
// extended display's report, the save prompt, progress and the run's outcome all go through it.
#ifndef ARMLINK_COMMON_DIALOG_SURFACE_H
#define ARMLINK_COMMON_DIALOG_SURFACE_H

#include <cstddef>
#include <cstdint>

// How the work of a run ended, as a value (never read back from a status text).
enum RunOutcome : int32_t {
    kOutcomeNone = 0,             // nothing final yet
    kOutcomeDone,                 // the entry was written; the statistics are polled
    kOutcomeNoArm,                // the search series gave up: "No Arm Found"
    kOutcomeLogNotWritten,        // the log file could not be opened, written or closed
    kOutcomeIncomplete,           // a request of the work brought no usable reply
    kOutcomeVersionNotSupported,  // the firmware is too old for the statistics
    kOutcomeReportNotSaved,       // the report's file could not be opened ("INVALID FILE")
    kOutcomeLogKept,      // the log could not take the entry read from the arm; the detail is
                          // the file of its own that holds it instead
    kOutcomeInterrupted,  // a stop request (Esc, Close, a signal) cut the work short
    kOutcomeContactLost,  // the statistics get no reply from the arm; the detail is the time
                          // of the last one ("HH:MM:SS"). kOutcomeDone follows when it is back,
                          // with the time it came back as the detail
};

// The numbers of the latest sample the statistics showed, as the worker computed them: a face
// that draws them as numbers (a plot of the rate, a line of its own) takes them here rather than
// reading them back from the texts of the value controls, which get their texts as well.
struct PollSample {
    double fPointRate;
    double fMinRate;
    double fMaxRate;
};

// Every call is delivered on the user-interface thread, in the order the calls were made. A call
// that answers returns when it has been handled, as a cross-thread window message does; a write
// that answers nothing may return before (the terminal's queue does), and is handled before the
// user-interface thread acts on anything the writer signals later. Control ids are those of the
// dialog templates.
class DialogSurface {
  public:
    virtual ~DialogSurface() {}
    // Replaces the whole text of a control (for a button, its caption).
    virtual void SetItemText(int nId, const char* szText) = 0;
    // Makes a hidden control visible.
    virtual void ShowItem(int nId) = 0;
    // Enables or disables a control.
    virtual void EnableItem(int nId, bool bEnable) = 0;

    // The extended display's report. One call appends one group of texts at the very end and
    // brings the end into view. A line of the report ends at CR LF or at a lone LF. False when
    // the display could not take every text whole (it is full): the report is then cut.
    virtual bool AppendReport(const char* const* pTexts, size_t nTexts) = 0;
    // The number of lines; the empty line after a final line end counts, so an empty report
    // has one line.
    virtual uint32_t ReportLineCount() = 0;
    // Copies at most nMax characters of line nLine, without its line end, into pBuffer and
    // terminates it there (pBuffer holds nMax + 1 bytes); returns the count copied.
    virtual uint32_t ReportLine(uint32_t nLine, char* pBuffer, uint32_t nMax) = 0;
    // Asks the technician for the file to save the report to. szPath holds the last saved
    // path on entry and the chosen one on return; false when the technician cancelled.
    virtual bool AskSaveFileName(char* szPath, uint32_t cchPath) = 0;
    // A message with one OK button, owned by the dialog; returns once it has been dismissed.
    virtual void ShowMessage(const char* szText, const char* szCaption) = 0;

    // Which exchange of a long piece of work is under way ("record 3 of 7"); "" when none.
    virtual void ShowProgress(const char* szText) = 0;
    // How the run's work ended; szDetail says why it failed ("" when there is nothing to add).
    virtual void ReportOutcome(RunOutcome outcome, const char* szDetail) = 0;
    // An entry read from the arm that neither the log nor a file of its own could take, as the
    // log would have held it (CR LF lines): shown, so that the technician can copy it by hand.
    virtual void ShowUnloggedEntry(const char* szEntry) = 0;
    // The report was saved whole to szPath.
    virtual void ReportSaved(const char* szPath) = 0;
    // A COM port that did not open: the device it maps to, and why.
    virtual void ReportPortFailure(unsigned nPort, const char* szDevice, const char* szReason) = 0;
    // The statistics worker has ended one poll of the arm's counters, with its logging pass,
    // whether or not the poll showed a sample; sample holds the latest sample's numbers.
    virtual void PollDone(const PollSample& sample) = 0;
};

#endif
