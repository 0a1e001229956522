// The extended error display's work, the same behind the Windows dialog and the terminal: Check
// reads and decodes the arm's pending error records and its counters into the report, Save
// appends the report's lines to a file the technician picks.
#ifndef ARMLINK_SHELL_EXTENDED_DISPLAY_H
#define ARMLINK_SHELL_EXTENDED_DISPLAY_H

#include <cstdint>

// The dialog has just opened: nothing checked or saved yet, Check and Save disabled until the
// controller finds the arm, the status line "Searching".
void ExtendedInitDialog();

// A command of the dialog: 1 (Check) runs RunCheck, 1054 (Save) runs SaveReport; 2 (Close), on
// a request to close from outside (g_App.bCloseRequested), reports the run as interrupted; any
// other id does nothing. Runs on the user-interface thread, which it holds until the work is done.
void ExtendedCommand(int nId);

// One block appended to the report: the rule, the stamp, each non-empty error record with its
// header and decoded text (or "No Errors Detected"), the counters, then the read-out closed
// with "_P". A request to close ends it after the exchange under way (the block then stops
// there, the outcome is "Interrupted"). Returns the count of the exchanges the arm answered.
int RunCheck();

// Appends every line of the report but the last (empty) one to the file the technician
// chooses; a file that did not take them all is cut back to its length before. "LastFile"
// becomes the path only when the lines were written. True when they were.
bool SaveReport();

// Written after the report's lines, and shown in the status line, when the display could not
// take a whole text: the saved file then says that it is not the whole report.
extern const char kReportCutText[];

#endif
