// The table of seam implementations in use: the platform's own, or the test doubles.
#ifndef ARMLINK_COMMON_PLATFORM_H
#define ARMLINK_COMMON_PLATFORM_H

#include "common/clock.h"
#include "common/threads.h"

class SerialBus;
class SettingsBackend;

// The platform's main (or a test) fills it before start-up.
struct Platform {
    Clock* pClock;
    ThreadApi* pThreads;
    SerialBus* pBus;
    SettingsBackend* pSettings;
};

extern Platform g_Platform;

#endif
