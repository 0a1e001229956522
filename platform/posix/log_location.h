// Where the POSIX program keeps "ErrorLog.zlg": beside the executable, as on Windows, when that
// directory may be written; otherwise in the user's state directory.
#ifndef ARMLINK_PLATFORM_POSIX_LOG_LOCATION_H
#define ARMLINK_PLATFORM_POSIX_LOG_LOCATION_H

#include <cstddef>

// Fills szLogPath with "<szExeDir>ErrorLog.zlg" when szExeDir (with its trailing slash) is a
// directory this user may write, else with ${XDG_STATE_HOME:-$HOME/.local/state}/armlink/
// ErrorLog.zlg, making that directory (0700) when it is missing. When neither can be formed or
// made, the path beside the executable stands, and the open will say why it fails.
void ChooseLogPath(const char* szExeDir, char* szLogPath, size_t cchLogPath);
// The pfnStateDir of the table: ${XDG_STATE_HOME:-$HOME/.local/state}/armlink/ with its trailing
// slash, made (0700) when missing, where an entry the log could not take is kept.
bool PosixStateDir(char* szDir, size_t cchDir);

#endif
