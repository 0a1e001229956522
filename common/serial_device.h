// The serial device seam: one COM device as the platform gives it, in the terms of the Windows
// communications interface (a DCB, COMMTIMEOUTS, purge flags, the poll of ClearCommError).
#ifndef ARMLINK_COMMON_SERIAL_DEVICE_H
#define ARMLINK_COMMON_SERIAL_DEVICE_H

#include <cstdint>

// Purge actions; the port is always purged with all four together.
constexpr uint32_t kPurgeTxAbort = 0x0001;
constexpr uint32_t kPurgeRxAbort = 0x0002;
constexpr uint32_t kPurgeTxClear = 0x0004;
constexpr uint32_t kPurgeRxClear = 0x0008;
constexpr uint32_t kPurgeAll = 0x000F;

// Line-error bits of the poll's error mask (the callers only test for non-zero).
constexpr uint32_t kCeRxOver = 0x0001;
constexpr uint32_t kCeOverrun = 0x0002;
constexpr uint32_t kCeRxParity = 0x0004;
constexpr uint32_t kCeFrame = 0x0008;
constexpr uint32_t kCeBreak = 0x0010;

// DCB constants.
constexpr uint8_t kNoParity = 0;
constexpr uint8_t kEvenParity = 2;
constexpr uint8_t kOneStopBit = 0;
constexpr uint8_t kDtrControlEnable = 1;
constexpr uint8_t kRtsControlEnable = 1;

// The line state, field for field as a DCB holds it; the flag bits stand one to a member.
struct CommState {
    uint32_t DCBlength;
    uint32_t BaudRate;
    uint8_t fBinary;
    uint8_t fParity;
    uint8_t fOutxCtsFlow;
    uint8_t fOutxDsrFlow;
    uint8_t fDtrControl;  // 2 bits
    uint8_t fDsrSensitivity;
    uint8_t fTXContinueOnXoff;
    uint8_t fOutX;
    uint8_t fInX;
    uint8_t fErrorChar;
    uint8_t fNull;
    uint8_t fRtsControl;  // 2 bits
    uint8_t fAbortOnError;
    uint32_t fDummy2;  // the remaining 17 bits of the flag word
    uint16_t wReserved;
    uint16_t XonLim;
    uint16_t XoffLim;
    uint8_t ByteSize;
    uint8_t Parity;
    uint8_t StopBits;
    char XonChar;
    char XoffChar;
    char ErrorChar;
    char EofChar;
    char EvtChar;
    uint16_t wReserved1;
};

struct CommTimeouts {
    uint32_t ReadIntervalTimeout;
    uint32_t ReadTotalTimeoutMultiplier;
    uint32_t ReadTotalTimeoutConstant;
    uint32_t WriteTotalTimeoutMultiplier;
    uint32_t WriteTotalTimeoutConstant;
};

// An open COM device, used synchronously by one thread at a time. Deleting it closes it.
// Every call that returns bool reports whether the platform call succeeded.
class SerialDevice {
public:
    virtual ~SerialDevice() {}
    virtual void SetupComm(uint32_t nInQueue, uint32_t nOutQueue) = 0;
    virtual bool SetCommTimeouts(const CommTimeouts& timeouts) = 0;
    virtual bool PurgeComm(uint32_t dwFlags) = 0;
    virtual bool GetCommState(CommState* pState) = 0;
    virtual bool SetCommState(const CommState& state) = 0;
    // The poll: the line-error mask accumulated since the previous poll (cleared by this call)
    // and the count of received bytes waiting. On failure the outputs are not to be read.
    virtual bool ClearCommError(uint32_t* pdwErrors, uint32_t* pcbInQue) = 0;
    // Reads up to nBytes; with all time-outs 0 it returns when nBytes have arrived, so callers
    // ask only for what is queued.
    virtual bool ReadFile(void* pBuffer, uint32_t nBytes, uint32_t* pnRead) = 0;
    virtual bool WriteFile(const void* pData, uint32_t nBytes, uint32_t* pnWritten) = 0;
    // Returns when the written bytes have left the output queue.
    virtual bool FlushFileBuffers() = 0;
    // Blocks for at most nMs milliseconds or until input arrives, whichever is first; waits
    // between polls use it so that no loop spins.
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
    // Opens "COM%u" for reading and writing, exclusively; nullptr when it cannot be opened, with
    // *pFailure saying why.
    virtual SerialDevice* Open(unsigned nPort, PortOpenFailure* pFailure) = 0;
};

#endif
