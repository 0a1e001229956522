// The terminal faces of STATS_DLG, the dialog of the live statistics ("/stats").
#ifndef ARMLINK_PLATFORM_POSIX_FRONTEND_STATS_H
#define ARMLINK_PLATFORM_POSIX_FRONTEND_STATS_H

#include <cstdint>
#include <cstdio>

#include "platform/posix/frontend.h"

// Prints "status: <text>" for each change of the status line, one "sample: ..." line for each
// poll that showed a sample and one "errors: ..." line after each logging pass, to pOut. It
// closes its dialog as the button would after nPolls polls (0: never), and by itself once the
// search gave up or the firmware turned out too old.
FrontEnd* CreateStatsPlainFrontEnd(FILE* pOut, uint32_t nPolls);

// Draws STATS_DLG on the terminal with ncurses, with a plot of the point rate over the recent
// polls below the table; Esc, Enter and q close it, r and a focus-in report ask for a new
// activation. It closes as the button would after nPolls polls (0: never).
FrontEnd* CreateStatsCursesFrontEnd(uint32_t nPolls);

#endif
