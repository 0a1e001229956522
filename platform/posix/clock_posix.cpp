// The POSIX clock: CLOCK_MONOTONIC milliseconds for the tick count, localtime_r, nanosleep.
#include <errno.h>
#include <time.h>

#include "common/platform.h"
#include "platform/posix/posix_platform.h"

uint64_t MonotonicMs() {
    struct timespec now;
    if (clock_gettime(CLOCK_MONOTONIC, &now) != 0) {
        return 0;
    }
    return static_cast<uint64_t>(now.tv_sec) * 1000u +
           static_cast<uint64_t>(now.tv_nsec) / 1000000u;
}

namespace {

class PosixClockImpl : public Clock {
  public:
    // Milliseconds of the monotonic clock cut to 32 bits: it wraps as the Windows tick count
    // does, and every deadline is an unsigned difference, so the wrap does no harm.
    uint32_t TickCount() override { return static_cast<uint32_t>(MonotonicMs()); }

    void GetLocalTime(LocalTime* pTime) override {
        time_t now = time(nullptr);
        struct tm local;
        FillLocalTime(localtime_r(&now, &local), pTime);
    }

    // Sleeps the whole time even when a signal interrupts the sleep.
    void Sleep(uint32_t nMs) override {
        struct timespec left;
        left.tv_sec = static_cast<time_t>(nMs / 1000u);
        left.tv_nsec = static_cast<long>(nMs % 1000u) * 1000000L;
        while (nanosleep(&left, &left) != 0 && errno == EINTR) {
        }
    }
};

}  // namespace

Clock* PosixClock() {
    static PosixClockImpl clock;
    return &clock;
}
