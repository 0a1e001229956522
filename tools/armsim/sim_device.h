// The simulated arm in process: a serial device and a bus of four ports in virtual time, with
// the arm model answering on the line, and faults to inject.
#ifndef ARMLINK_TOOLS_ARMSIM_SIM_DEVICE_H
#define ARMLINK_TOOLS_ARMSIM_SIM_DEVICE_H

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "common/serial_device.h"
#include "common/platform.h"
#include "tools/armsim/arm_model.h"

// One command as the device saw it, with the line settings the host had programmed.
struct SimCommand {
    std::string text;
    uint32_t nBaud;
    uint8_t nByteSize;
    uint8_t nParity;  // DCB Parity: 0 none, 2 even
    uint32_t nTick;   // virtual time of the write
};

class SimDevice;

// What a port of the bus holds.
struct SimLine {
    ArmModel* pArm = nullptr;   // the arm on this line, or none (a silent device)
    bool bPresent = true;       // false: no device, the open fails
    bool bBusy = false;         // held by another program: the open fails
    bool bRejectState = false;  // SetCommState fails (the port rejects every setting)
    bool bFailPoll = false;     // ClearCommError fails

    // Everything the line has seen, in order, across opens.
    std::vector<SimCommand> commands;
    std::vector<CommState> states;  // every SetCommState
    std::vector<uint32_t> purges;   // every PurgeComm mask
    std::vector<CommTimeouts> timeouts;
    int nOpens = 0;
    int nCloses = 0;
    bool bOpen = false;
    SimDevice* pDevice = nullptr;  // the device open on this line now, or none
};

// A device on one SimLine, in the time of pClock. Bytes the arm sends arrive at the pace of
// the line (10 bits a character at the programmed baud) after the arm's latency.
class SimDevice : public SerialDevice {
  public:
    // Waits move the clock through pClock->Sleep (a virtual clock advances at once).
    SimDevice(SimLine* pLine, Clock* pClock);
    ~SimDevice() override;

    void SetupComm(uint32_t nInQueue, uint32_t nOutQueue) override;
    bool SetCommTimeouts(const CommTimeouts& timeouts) override;
    bool PurgeComm(uint32_t dwFlags) override;
    bool GetCommState(CommState* pState) override;
    bool SetCommState(const CommState& state) override;
    bool ClearCommError(uint32_t* pdwErrors, uint32_t* pcbInQue) override;
    bool ReadFile(void* pBuffer, uint32_t nBytes, uint32_t* pnRead) override;
    bool WriteFile(const void* pData, uint32_t nBytes, uint32_t* pnWritten) override;
    bool FlushFileBuffers() override;
    void WaitForInput(uint32_t nMs) override;

    // Direct injection, for tests of the reading rules: bytes that arrive at an absolute tick,
    // and a line-error mask that the first poll at or after a tick reports.
    void QueueInput(uint32_t nAtTick, const std::string& bytes);
    void InjectError(uint32_t nAtTick, uint32_t dwMask);
    // Received bytes not yet read (arrived by now or later).
    size_t Pending() const { return incoming.size(); }
    // The ms tick at which the last byte queued so far arrives (the tick now when none is
    // queued).
    uint32_t LastArrivalTick();

    CommState state;
    CommTimeouts timeouts;

    // Where the bus keeps its last opened device; cleared when this device closes.
    SimDevice** ppOpenedSlot = nullptr;

  private:
    // Times are nanoseconds on the clock's tick count unwrapped to 64 bits, so that several
    // characters at high rates can share one millisecond and the tick's wrap does no harm.
    struct Byte {
        uint64_t nAtNs;
        char c;
    };
    struct LineError {
        uint64_t nAtNs;
        uint32_t dwMask;
        bool bFromInput;  // raised by received bytes: dropped with them by a purge
    };
    uint64_t NowNs();
    uint64_t TickToNs(uint32_t nTick);
    void QueueAt(uint64_t nAtNs, char c);
    size_t Arrived(uint64_t nNowNs) const;  // bytes of incoming whose time has come
    bool DeadLine() const;                  // the arm hung up and its last bytes are gone
    SimLine* pLine;
    Clock* pClock;
    uint32_t nLastTick;
    uint64_t nUnwrappedMs;
    uint64_t nLineFreeNs;  // when the last reply byte queued so far has arrived
    std::deque<Byte> incoming;
    std::vector<LineError> errors;
};

// Four ports, COM1 to COM4, each with its SimLine. Opening a line that is present and not
// busy gives a SimDevice; the bus remembers the order of opens.
class SimBus : public SerialBus {
  public:
    explicit SimBus(Clock* pClock) : pClock(pClock) {}
    SerialDevice* Open(unsigned nPort, PortOpenFailure* pFailure) override;

    SimLine lines[5];                  // index 1-4; 0 unused
    std::vector<unsigned> openOrder;   // every attempted open, in order, successful or not
    SimDevice* pLastDevice = nullptr;  // the device opened last, nullptr once it is closed

  private:
    Clock* pClock;
};

#endif
