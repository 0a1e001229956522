// Port access: open and prepare COMn, program the line from Line, send a command, read a reply.
#ifndef ARMLINK_SERIAL_SERIAL_PORT_H
#define ARMLINK_SERIAL_SERIAL_PORT_H

#include <cstdint>

#include "common/serial_device.h"
#include "protocol/arm_protocol.h"

// Opens COMn, clears its time-outs, purges it and programs the line from Line; none when the
// port does not open or does not take the line.
SerialDevice* OpenArmPort(uint32_t nPort);
// Programs the line from Line as it stands now; true when the port took it.
bool ApplyLineSettings(SerialDevice* port);
// Writes the bare command text and waits until it has left; returns the count written, 0 for
// none.
uint32_t SendCommand(SerialDevice* port, const char* szText);
// A read that knows no command: it waits out its limits.
constexpr ArmCommandId kNoReplyTest = kCmdCount;
// How long a reply is let gather: the time eight bytes take at the line's rate (10 bits a
// byte), at least 1 ms. A read that knows its command allows this long for the arm to turn
// round before the shortest whole reply could have come, and so does the search's echo wait.
uint32_t ReplyGatherMs();
// How long a read for nCommand waits before its next look at the nTotal bytes it has: until
// the fewest bytes that could make them a whole reply (ReplyBytesToCome) have had time to come
// at the line's rate, but not beyond the time in which the nRoom bytes the buffer has left can
// come; at least nAtLeastMs. A long reply is looked at a few times, a short one about when it
// ends.
uint32_t NextLookMs(ArmCommandId nCommand, const char* pBuffer, uint32_t nTotal, uint32_t nRoom,
                    uint32_t nAtLeastMs);
// Waits for one reply and reads it up to its line end in two phases, each limited by
// nTimeoutMs; returns the count stored (never more than nMaxBytes), 0 for no reply. Writes no
// terminator. Given a command, the first phase takes the bytes as they come, looking again
// when the fewest bytes that could make them whole (ReplyBytesToCome) have had time to come,
// and the read ends at the look that finds a whole reply; a reply that never becomes whole is
// read to the same limits, with the same results, as without.
uint32_t ReadReply(SerialDevice* port, char* pBuffer, uint32_t nMaxBytes, uint32_t nTimeoutMs,
                   ArmCommandId nCompleteFor = kNoReplyTest);
// Reads and drops what arrives until the line has been quiet for nQuietMs, for at most
// nLimitMs in all: the tail of a reply that was cut short never reaches the next command.
void DrainInput(SerialDevice* port, uint32_t nQuietMs, uint32_t nLimitMs);
// Ends pending reads and writes and empties both queues.
void PurgePort(SerialDevice* port);
// One poll. A failed poll (the device is gone) counts as a line error: *pbLineError is then
// true, *pcbInQue 0, and the result false.
bool PollPort(SerialDevice* port, bool* pbLineError, uint32_t* pcbInQue);
// Between two polls of a wait that ends nLimitMs after nStart: blocks until input arrives that
// the last poll did not count, or until the limit has passed. Never spins, never oversleeps.
void WaitForInputUntil(SerialDevice* port, uint32_t nStart, uint32_t nLimitMs);
// Closes the port; none does nothing.
void CloseArmPort(SerialDevice* port);

#endif
