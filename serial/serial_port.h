// Port access: open and prepare COMn, program the line from Line, send a command, read a reply.
#ifndef ARMLINK_SERIAL_SERIAL_PORT_H
#define ARMLINK_SERIAL_SERIAL_PORT_H

#include <cstdint>

#include "common/serial_device.h"

// Size of the input and output queues.
constexpr uint32_t kQueueSize = 4096;
// DCBlength of the Windows DCB.
constexpr uint32_t kDcbLength = 28;

// Opens, sizes, purges and programs COMn from Line; none when any of that fails.
SerialDevice* OpenArmPort(uint32_t nPort);
// Programs the DCB fields that matter from Line; true when the port accepted them.
bool ApplyLineSettings(SerialDevice* port);
// Sets the read total time-out constant (the other four time-outs 0). None does nothing.
void SetReadTimeout(SerialDevice* port, uint32_t nTotalTimeoutMs);
// Writes the bare command text; returns the count written, 0 for none.
uint32_t SendCommand(SerialDevice* port, const char* szText);
// Waits for one reply and reads it up to its line end in two phases, each limited by
// nTimeoutMs; returns the count stored (never more than nMaxBytes), 0 for no reply. Writes no
// terminator.
uint32_t ReadReply(SerialDevice* port, char* pBuffer, uint32_t nMaxBytes, uint32_t nTimeoutMs);
// Purges with all four actions: ends pending reads and writes, empties both queues.
void PurgePort(SerialDevice* port);
// One poll. A failed poll counts as a line error: *pdwErrors is then non-zero, *pcbInQue 0,
// and the result false.
bool PollPort(SerialDevice* port, uint32_t* pdwErrors, uint32_t* pcbInQue);
// The pause between two polls: blocks for input for at most 1 ms, or sleeps 1 ms when input
// is already waiting, so that no wait loop burns a core.
void WaitBetweenPolls(SerialDevice* port, uint32_t cbInQue);
// Closes the port; none does nothing.
void CloseArmPort(SerialDevice* port);

#endif
