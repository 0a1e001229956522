// The portable half of start-up: run mode from the command line, executable directory, log path.
#ifndef ARMLINK_SHELL_STARTUP_H
#define ARMLINK_SHELL_STARTUP_H

#include <cstddef>
#include <cstdint>

// The run mode that the command-line text selects (none, an empty or unknown text: 0).
int32_t SelectRunMode(const char* szCmdLine);

// Cuts a full executable path after its last separator into szExeDir (the separator stays);
// a name without one is left whole. cSeparator is '\\' on Windows, '/' elsewhere.
void CutExeDir(const char* szExePath, char cSeparator, char* szExeDir, size_t nSize);

// Formats "%sErrorLog.zlg" with szExeDir into szLogPath, bounded to nSize bytes. A directory
// too long for that gives the bare name "ErrorLog.zlg", as no directory does, and false.
bool FormatLogPath(const char* szExeDir, char* szLogPath, size_t nSize);

#endif
