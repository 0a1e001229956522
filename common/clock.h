// The clock seam: the tick count that every deadline is measured on, local time, sleep.
#ifndef ARMLINK_COMMON_CLOCK_H
#define ARMLINK_COMMON_CLOCK_H

#include <cstdint>
#include <ctime>

// Local time as the log and the report stamp it.
struct LocalTime {
    int nYear;    // years since 1900: 126 for 2026
    int nMonth;   // 1-12
    int nDay;     // 1-31
    int nHour;    // 0-23
    int nMinute;  // 0-59
    int nSecond;  // 0-59
};

// Fills *pTime from the C library's local time; none (the time could not be converted) gives
// midnight of 1 January 1970.
void FillLocalTime(const std::tm* pLocal, LocalTime* pTime);

// Tick count and local time.
class Clock {
  public:
    virtual ~Clock() {}
    // Milliseconds since an arbitrary start, unsigned 32-bit, wrapping.
    virtual uint32_t TickCount() = 0;
    virtual void GetLocalTime(LocalTime* pTime) = 0;
    // Blocks the calling thread for about nMs milliseconds (virtual clocks advance instead).
    virtual void Sleep(uint32_t nMs) = 0;
};

#endif
