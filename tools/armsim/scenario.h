// The scenario file of the simulated arm: "key value" lines that fill an ArmScenario.
#ifndef ARMLINK_TOOLS_ARMSIM_SCENARIO_H
#define ARMLINK_TOOLS_ARMSIM_SCENARIO_H

#include <cstddef>

#include "tools/armsim/arm_model.h"

// Longest arm, calibration and version token a scenario may give (the built "_G" reply then
// stays within 270 bytes), and the longest verbatim identity or error reply.
constexpr size_t kScenarioMaxToken = 40;
constexpr size_t kScenarioMaxReply = 1024;

// Parses scenario text into *pScenario, over what it already holds (start from a default
// ArmScenario). Scalars given twice take the last value; "error", "error_reply", "unanswered",
// "dribble", "counters_at", "error_after_poll" and "stats_reply" add one entry per line. On the
// first bad line the parse stops and returns false, with "line N: <what is wrong>" in szError
// (terminated, cut to cchError); the scenario may then hold the lines before it.
bool ParseScenario(const char* szText, ArmScenario* pScenario, char* szError, size_t cchError);

// Reads and parses a scenario file; a message names the file: "<path>: line N: ...", or
// "<path>: cannot read the file".
bool LoadScenarioFile(const char* szPath, ArmScenario* pScenario, char* szError, size_t cchError);

#endif
