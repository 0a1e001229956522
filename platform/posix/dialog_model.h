// The one dialog model under the terminal faces: what each control of the open dialog shows, the
// report, the exchange under way and the latest sample's numbers. The ncurses and plain faces
// only draw it, so a new state of a dialog is a new text here and nothing in the faces.
#ifndef ARMLINK_PLATFORM_POSIX_DIALOG_MODEL_H
#define ARMLINK_PLATFORM_POSIX_DIALOG_MODEL_H

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "common/dialog_surface.h"
#include "shell/report_text.h"

// What one control shows.
struct ControlState {
    std::string text;
    bool bShown;
    bool bEnabled;
    bool bChanged;  // the last write changed what it shows
};

// What a write into the model changed, as a face is told.
enum ModelPart {
    kPartText,      // a control's text (set again, perhaps unchanged)
    kPartShown,     // a control shown
    kPartEnabled,   // a control enabled or disabled
    kPartProgress,  // the exchange under way
    kPartReport,    // text appended to the report
    kPartOutcome,   // the run's outcome
    kPartPoll,      // a poll of the statistics ended
    kPartUnlogged,  // an entry that no file could take was handed over
    kPartSaved,     // the report was saved (to saved)
};

struct DialogModel {
    std::map<int, ControlState> controls;  // the controls of the dialog's template, by id
    std::string progress;                  // the exchange under way; "" when none
    std::string note;  // the line under the log dialog's status: progress, or what was left unread
    ReportText report;
    RunOutcome outcome;   // what the run has come to (NextOutcome of the outcomes reported)
    RunOutcome reported;  // the outcome reported last, as it came
    std::string detail;   // why the work failed, with the outcome
    std::string saved;    // the file the report was saved to last
    std::vector<std::string> portFailures;  // "COM2 (/dev/ttyUSB0): busy", each once
    PollSample sample;                      // the numbers of the latest sample shown
    bool bSampleShown;  // a counter, change or rate was written since the last poll ended
    bool bErrorsShown;  // the error numbers were written (a logging pass ran) since then
    bool bPollSample;   // the poll that ended last showed a sample
    bool bPollErrors;   // ... and ran a logging pass
    bool bAnySample;    // any poll of the dialog showed a sample
    bool bAnyPass;      // any poll ran a logging pass
    uint32_t nPollsDone;
    std::string unlogged;  // an entry no file could take, CR LF lines; "" when none
};

// Writes the entry no file could take to pOut under a heading, line by line without the CRs,
// so the technician can copy it.
void PrintUnloggedEntry(const DialogModel& model, FILE* pOut);

// The dialog of nRunMode as its template starts.
void ResetDialogModel(DialogModel* pModel, int32_t nRunMode);
// Each returns false when the template does not have the control, which is then left alone.
// A text is kept as a terminal may show it (ShownArmText): what the arm sent is never obeyed;
// the log's path, the technician's own, is kept as it is.
bool ModelSetText(DialogModel* pModel, int nId, const char* szText);
bool ModelShow(DialogModel* pModel, int nId);
bool ModelEnable(DialogModel* pModel, int nId, bool bEnable);
void ModelShowProgress(DialogModel* pModel, const char* szText);
void ModelReportOutcome(DialogModel* pModel, RunOutcome outcome, const char* szDetail);
// The report was saved to szPath: the note says "Saved to <path>".
void ModelReportSaved(DialogModel* pModel, const char* szPath);
// A port that did not open, kept once; "No Arm Found" lists them in the note.
void ModelPortFailure(DialogModel* pModel, const std::string& line);
// Ends a poll: what it showed moves to bPollSample and bPollErrors.
void ModelPollDone(DialogModel* pModel, const PollSample& sample);

// What control nId shows; a control the template does not have is empty, hidden and disabled.
const ControlState& ModelControl(const DialogModel& model, int nId);
inline const std::string& ModelText(const DialogModel& model, int nId) {
    return ModelControl(model, nId).text;
}

// "sample: captures=<v> <d> ... rate=<r> min=<r> max=<r>": each counter and change as the dialog
// shows it, the rates from the sample's numbers.
std::string SampleLine(const DialogModel& model);
// "errors: error=<n> ext=<n> logged=<count>".
std::string ErrorsLine(const DialogModel& model);
// The log path field under the name its label gives it: "log: <path>" where the entry is,
// "kept: <path>" for the file that kept it, "not written: <path>: <reason>".
std::string PathLine(const DialogModel& model);

#endif
