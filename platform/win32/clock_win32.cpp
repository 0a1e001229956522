// The Win32 clock: GetTickCount for the tick count, localtime for the log's time stamp, Sleep.
#include <windows.h>

#include <ctime>

#include "common/platform.h"
#include "platform/win32/win32_platform.h"

namespace {

class Win32ClockImpl : public Clock {
  public:
    // Milliseconds since system start; it wraps after 49.7 days, and every deadline is an
    // unsigned difference, so the wrap does no harm.
    uint32_t TickCount() override { return GetTickCount(); }

    // The C runtime keeps the result of localtime per thread, so the log worker and the user
    // interface thread do not overwrite each other's.
    void GetLocalTime(LocalTime* pTime) override {
        time_t now = time(nullptr);
        FillLocalTime(localtime(&now), pTime);
    }

    void Sleep(uint32_t nMs) override { ::Sleep(nMs); }
};

}  // namespace

Clock* Win32Clock() {
    static Win32ClockImpl clock;
    return &clock;
}
