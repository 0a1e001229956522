// The serial device seam: one COM port in the arm's terms, as the port-access routines use it.
#ifndef ARMLINK_COMMON_SERIAL_DEVICE_H
#define ARMLINK_COMMON_SERIAL_DEVICE_H

#include <cstdint>

// An open COM device, used synchronously by one thread at a time. Deleting it closes it.
class SerialDevice {
  public:
    virtual ~SerialDevice() {}
    // Programs the line: nBaud, no parity for the letter 'n' and even parity for any other,
    // nDataBits; always one stop bit, no flow control, DTR and RTS raised and held. True when
    // the device took it.
    virtual bool SetLine(uint32_t nBaud, char cParity, uint8_t nDataBits) = 0;
    // Ends any pending read and write and empties both queues.
    virtual void Purge() = 0;
    // The poll: *pbLineError tells whether the line saw an error (framing, parity, overrun,
    // break) since the previous poll, *pnQueued how many received bytes wait to be read. False
    // when the device itself is gone (unplugged, hung up); the outputs are then not set.
    virtual bool Poll(bool* pbLineError, uint32_t* pnQueued) = 0;
    // Reads up to nBytes of the received bytes into pBuffer and returns the count stored. It
    // takes what is queued and never waits for more: the core only asks for what a poll counted.
    virtual uint32_t Read(char* pBuffer, uint32_t nBytes) = 0;
    // Writes the bytes and returns once they have left the output queue. Returns the count
    // written, 0 when the write failed.
    virtual uint32_t WriteAndDrain(const char* pData, uint32_t nBytes) = 0;
    // Blocks until input arrives that the last poll did not count, or for nMs milliseconds,
    // whichever is first, and never longer than nMs; returns at once for 0. The waits of the
    // core pass the time left to their deadline, so that no loop spins between its polls.
    // POSIX sleeps in poll() until new bytes come (or the line hangs up); Win32 sleeps 1 ms,
    // so its caller polls again within one tick of the system timer after input arrives; the
    // simulated device moves its clock to the next arrival.
    virtual void WaitForInput(uint32_t nMs) = 0;
};

// Why a COM port did not open, for the technician: the device it maps to and the reason.
struct PortOpenFailure {
    char szDevice[512];
    char szReason[256];
};

// The COM ports of the machine.
class SerialBus {
  public:
    virtual ~SerialBus() {}
    // Opens "COM%u" for reading and writing, exclusively, with input and output queues of
    // 4096 bytes where the platform has queues to size and reads that never wait; nullptr when
    // it cannot be opened, with *pFailure saying why.
    virtual SerialDevice* Open(unsigned nPort, PortOpenFailure* pFailure) = 0;
};

#endif
