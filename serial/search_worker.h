// The search for the arm across COM1 to COM4, six baud rates and both framings.
#ifndef ARMLINK_SERIAL_SEARCH_WORKER_H
#define ARMLINK_SERIAL_SEARCH_WORKER_H

#include <cstdint>

#include "common/app_state.h"

extern const uint32_t kBaudTable[6];

// Resets the four events and starts SearchWorker on its own thread at raised priority; 1 when
// the thread was created, 0 otherwise.
int StartSearchWorker();
// The thread procedure (its argument is not used): 1 when the arm was found (port left open in
// hPort), else 0.
uint32_t SearchWorker(void*);

// Replaces each field of a line setting that the search cannot use (a port outside 1-4, a rate
// not in kBaudTable, a parity other than 'n' or 'e', data bits other than 7 or 8, stop bits
// other than 1 or 2) with the initial value. True when something was replaced.
bool MakeLineSafe(LineSettings* pLine);

// The status text of a try, "COM%u: %ld %c %d %d", into a buffer of nSize bytes.
void FormatTryText(char* szText, unsigned nSize, uint32_t nPort, int32_t nBaud, char cParity,
                   int32_t nDataBits, int32_t nStopBits);

#endif
