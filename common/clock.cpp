// The clock's portable half: the log's local time from the C library's broken-down time.
#include "common/clock.h"

void FillLocalTime(const std::tm* pLocal, LocalTime* pTime) {
    if (pLocal == nullptr) {
        *pTime = LocalTime{70, 1, 1, 0, 0, 0};
        return;
    }
    pTime->nYear = pLocal->tm_year;
    pTime->nMonth = pLocal->tm_mon + 1;
    pTime->nDay = pLocal->tm_mday;
    pTime->nHour = pLocal->tm_hour;
    pTime->nMinute = pLocal->tm_min;
    // A leap second (60) is shown as the last second of its minute.
    pTime->nSecond = pLocal->tm_sec > 59 ? 59 : pLocal->tm_sec;
}
