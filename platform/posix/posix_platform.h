// The POSIX seam implementations and the set-up around them that the POSIX main needs: the port
// map, the settings file and the hook that reports why a port would not open.
#ifndef ARMLINK_PLATFORM_POSIX_POSIX_PLATFORM_H
#define ARMLINK_PLATFORM_POSIX_POSIX_PLATFORM_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

class Clock;
class ThreadApi;
class SettingsBackend;
class SerialBus;

// The seam implementations; each is one object for the whole process.
Clock* PosixClock();               // CLOCK_MONOTONIC ticks, localtime_r, nanosleep
ThreadApi* PosixThreads();         // std::thread, manual-reset events on a condition variable
SettingsBackend* PosixSettings();  // the INI settings file
SerialBus* PosixSerialBus();       // termios on the device that COMn maps to, or its server
bool PosixCutFile(const char* szPath, int64_t nSize);  // the pfnCutFile of the table: ftruncate
// pfnLogRoom: statvfs and RLIMIT_FSIZE; pfnLockLog and pfnUnlockLog: flock.
bool PosixLogRoom(const char* szPath, int64_t nSize, int64_t nBytes, int* pnError);
void* PosixLockLog(const char* szPath);
void PosixUnlockLog(void* hLock);
// The pfnOpenReport of the table: open(O_NONBLOCK), then fstat; a FIFO or a device is refused.
FILE* PosixOpenReport(const char* szPath, char* szWhy, size_t cchWhy);
// Whether the report could be saved to szPath: the file opens for appending, or it is missing
// and its folder exists and takes a new file. Nothing is made or written; szWhy says why not.
bool CheckReportFile(const char* szPath, char* szWhy, size_t cchWhy);

// Milliseconds of the monotonic clock, in 64 bits: every wait of the POSIX side measures on it.
uint64_t MonotonicMs();

// Where the device of a COM port comes from, in the order they are asked.
enum PortSource {
    kPortFromOption,       // --port COMn=PATH, for this run
    kPortFromEnvironment,  // ARMLINK_COMn
    kPortFromSettings,     // the COMn entry of the [Ports] section of the settings file
    kPortFromDefault,      // the n-th device of the default map (port_scan.h)
    kPortNone,             // nothing names a device for it
};

// Maps COMn (1-4) to szPath for this run, above everything else. False for another n or an
// empty path.
bool SetPortOverride(unsigned nPort, const char* szPath);
// Forgets every --port mapping.
void ClearPortOverrides();

// The device path of COMn (1-4) and where it came from: an override, else ARMLINK_COMn when set
// and not empty, else the [Ports] entry, else the n-th device of the default map. kPortNone
// (szPath "") for another n, when no device is there for it, or when the path does not fit.
PortSource ResolvePortSource(unsigned nPort, char* szPath, size_t cchPath);
// The same, true when a device path was found.
bool ResolvePortPath(unsigned nPort, char* szPath, size_t cchPath);

// The COMn entry of the [Ports] section of the settings file, spaces around it removed. False
// when the file, the section or the entry is missing, empty or does not fit cchPath.
bool ReadPortsEntry(unsigned nPort, char* szPath, size_t cchPath);

// Uses szPath as the settings file instead of the default; nullptr or "" restores the default
// ${XDG_CONFIG_HOME:-$HOME/.config}/armlink/settings.ini. Keys opened before keep their file.
void SetSettingsFilePath(const char* szPath);

// The settings file in use, as a key opened next would use it. False when no path can be
// formed (no override, no usable XDG_CONFIG_HOME and no HOME) or it does not fit cchPath.
bool GetSettingsFilePath(char* szPath, size_t cchPath);

#endif
