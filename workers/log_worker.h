// The error-log retrieval worker of the default run mode: appends one entry to the log file.
#ifndef ARMLINK_WORKERS_LOG_WORKER_H
#define ARMLINK_WORKERS_LOG_WORKER_H

#include <cstdint>

#include "common/app_state.h"

// Resets StopEvent and WorkerExitedEvent and starts LogWorker at normal priority on the port in
// hPort; its handle goes to hWorkerThread. True when the thread was created.
bool StartLogWorker();
// The thread procedure (its argument is not used); returns 0.
uint32_t LogWorker(void*);

#endif
