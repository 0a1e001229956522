// What a technician needs to know about the device of a COM port before a run: whether it is
// there, is a terminal, may be opened by this user, or is held by another program.
#ifndef ARMLINK_PLATFORM_POSIX_PORT_CHECK_H
#define ARMLINK_PLATFORM_POSIX_PORT_CHECK_H

#include <cstddef>

// Looks at szPath without taking it: the device is opened for reading only, not exclusively,
// and its line settings are not changed. Writes one line of text such as "terminal device,
// free" or "terminal device, no permission: join the group \"dialout\"" into szText. True when
// the port could be used now.
bool CheckPortDevice(const char* szPath, char* szText, size_t cchText);

// What a technician is told about a port whose device did not open with nErrno: "no such
// device", "in use by another program", or for a device this user may not open, the group to
// join as the device itself names it.
void DescribePortFailure(const char* szPath, int nErrno, char* szReason, size_t cchReason);

#endif
