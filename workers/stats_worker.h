// The live statistics worker of "/stats": the arm's counters every two seconds, and a log entry
// whenever the arm reports an error.
#ifndef ARMLINK_WORKERS_STATS_WORKER_H
#define ARMLINK_WORKERS_STATS_WORKER_H

#include <cstdint>

#include "common/app_state.h"

// The wait between two polls, on StopEvent.
constexpr uint32_t kStatsPollWaitMs = 2000;

// Resets StopEvent and WorkerExitedEvent and starts StatsWorker at normal priority on the port in
// hPort; its handle goes to hWorkerThread. True when the thread was created.
bool StartStatsWorker();
// The thread procedure (its argument is not used); it runs until StopEvent is set or the
// firmware is too old, and returns 0.
uint32_t StatsWorker(void*);

#endif
