// The port listing of `armlink --ports` and of --help: each COM number with its device, where
// the mapping came from, and whether the device can be used now.
#ifndef ARMLINK_PLATFORM_POSIX_PORT_LISTING_H
#define ARMLINK_PLATFORM_POSIX_PORT_LISTING_H

#include <cstdio>

// One line per COM number, then the devices the default map leaves out and why. With
// bCheckDevices each device is looked at (without taking it or changing its line). Every line
// starts with szIndent.
void PrintPortListing(FILE* pOut, bool bCheckDevices, const char* szIndent);

#endif
