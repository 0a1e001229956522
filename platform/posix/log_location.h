// Where the POSIX program keeps "ErrorLog.zlg": beside the executable, as on Windows, when that
// directory may be written; otherwise in the user's state directory.
#ifndef ARMLINK_PLATFORM_POSIX_LOG_LOCATION_H
#define ARMLINK_PLATFORM_POSIX_LOG_LOCATION_H

#include <cstddef>

// Fills szLogPath with "<szExeDir>ErrorLog.zlg" when szExeDir (with its trailing slash) is a
// directory this user may write and not one of an installed program (under /usr, /bin, /sbin or
// /opt), else with ${XDG_STATE_HOME:-$HOME/.local/state}/armlink/ErrorLog.zlg. With bMake (a run
// that is about to write the log) the directory beside the executable is tried with a probe
// file and the state directory is made (0700) when missing; without it nothing is made and the
// directory's permission decides. When no path can be formed or made, the path beside the
// executable stands, and the open will say why it fails.
void ChooseLogPath(const char* szExeDir, char* szLogPath, size_t cchLogPath, bool bMake);
// The pfnStateDir of the table: ${XDG_STATE_HOME:-$HOME/.local/state}/armlink/ with its trailing
// slash, made (0700) when missing, where an entry the log could not take is kept.
bool PosixStateDir(char* szDir, size_t cchDir);

#endif
