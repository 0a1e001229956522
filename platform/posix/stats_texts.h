// What STATS_DLG shows, as the terminal faces keep it from the control writes, and its one-line
// forms for plain mode: the "sample:" and "errors:" lines.
#ifndef ARMLINK_PLATFORM_POSIX_STATS_TEXTS_H
#define ARMLINK_PLATFORM_POSIX_STATS_TEXTS_H

#include <string>

#include "common/app_state.h"

// The value controls 1032 to 1053, with what they show and what the poll under way wrote.
struct StatsTexts {
    std::string texts[IDC_MAX_POINTS - IDC_CAPTURES + 1];
    bool bSampleShown;  // a counter, change or rate was written since the last poll ended
    bool bErrorsShown;  // the error numbers were written (a logging pass ran)
};

// Every value as the template shows it at first ("0"), nothing written yet.
void ResetStatsTexts(StatsTexts* pTexts);
// Takes one control write; false when nId is not one of the value controls.
bool TakeStatsText(StatsTexts* pTexts, int nId, const char* szText);
// The text a value control shows.
const std::string& StatsText(const StatsTexts& texts, int nId);
// "sample: captures=<v> <d> ... rate=<r> min=<r> max=<r>" with each change as the dialog shows
// it, parentheses and sign included, and the rates without their leading blanks.
std::string SampleLine(const StatsTexts& texts);
// "errors: error=<n> ext=<n> logged=<count>".
std::string ErrorsLine(const StatsTexts& texts);

#endif
