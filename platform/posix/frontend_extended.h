// The terminal faces of ERROR_DISPLAY_DLG, the dialog of the extended error display.
#ifndef ARMLINK_PLATFORM_POSIX_FRONTEND_EXTENDED_H
#define ARMLINK_PLATFORM_POSIX_FRONTEND_EXTENDED_H

#include <cstdio>

#include "platform/posix/frontend.h"

// The most Checks one plain run presses.
constexpr int kMaxPlainChecks = 1000;

// Once the arm is found, presses Check nChecks times, printing every appended text to pOut as
// it is appended and "status: <text>" for the status line, then Save with szSavePath (when not
// nullptr), then closes; "INVALID FILE: <path>" goes to standard error. "No Arm Found" closes
// it too.
FrontEnd* CreateExtendedPlainFrontEnd(FILE* pOut, int nChecks, const char* szSavePath);

// Draws ERROR_DISPLAY_DLG with ncurses: c or Enter Check, s Save (the path on a prompt line, Esc
// cancels), Esc or q Close; the arrows, Page Up/Down, Home and End scroll the report.
FrontEnd* CreateExtendedCursesFrontEnd();

#endif
