// The simulated arm in process: a serial device and a bus of four ports in virtual time, with
// the arm model answering on the line, and faults to inject.
#ifndef ARMLINK_TOOLS_ARMSIM_SIM_DEVICE_H
#define ARMLINK_TOOLS_ARMSIM_SIM_DEVICE_H

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "common/platform.h"
#include "common/serial_device.h"
#include "tools/armsim/arm_model.h"

// One programming of the line as the device took it.
struct SimLineSetting {
    uint32_t nBaud;
    char cParity;  // 'n' none, 'e' even
    uint8_t nDataBits;
};

// One command as the device saw it, with the line settings the host had programmed.
struct SimCommand {
    std::string text;
    uint32_t nBaud;
    uint8_t nDataBits;
    char cParity;    // 'n' none, 'e' even
    uint32_t nTick;  // virtual time of the write
};

class SimDevice;

// What a port of the bus holds.
struct SimLine {
    ArmModel* pArm = nullptr;  // the arm on this line, or none (a silent device)
    bool bPresent = true;      // false: no device, the open fails
    bool bBusy = false;        // held by another program: the open fails
    bool bRejectLine = false;  // the port rejects every line setting
    bool bFailPoll = false;    // the poll fails (the device is gone)

    // Everything the line has seen, in order, across opens.
    std::vector<SimCommand> commands;
    std::vector<SimLineSetting> settings;  // every line programming the device took
    int nPurges = 0;
    int nPolls = 0;
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

    // A rate of 0 and data bits outside 5 to 8 are refused, as a UART would.
    bool SetLine(uint32_t nBaud, char cParity, uint8_t nDataBits) override;
    void Purge() override;
    bool Poll(bool* pbLineError, uint32_t* pnQueued) override;
    // Takes what has arrived by now; never waits.
    uint32_t Read(char* pBuffer, uint32_t nBytes) override;
    uint32_t WriteAndDrain(const char* pData, uint32_t nBytes) override;
    // Moves the clock to the next arrival (of a byte or a line error) or by nMs, whichever is
    // first; an arrival within the current millisecond still costs 1 ms.
    void WaitForInput(uint32_t nMs) override;

    // Direct injection, for tests of the reading rules: bytes that arrive at an absolute tick,
    // and a line error that the first poll at or after a tick reports.
    void QueueInput(uint32_t nAtTick, const std::string& bytes);
    void InjectError(uint32_t nAtTick);
    // The device goes (unplugged, hung up) at a tick: from then on every poll fails, and a
    // wait in progress wakes for it.
    void Vanish(uint32_t nAtTick);
    // Received bytes not yet read (arrived by now or later).
    size_t Pending() const { return incoming.size(); }
    // The ms tick at which the last byte queued so far arrives (the tick now when none is
    // queued).
    uint32_t LastArrivalTick();

    SimLineSetting programmed;  // the line now; 9600 8N1 before anyone programs it

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
        bool bFromInput;  // raised by received bytes: dropped with them by a purge
    };
    uint64_t NowNs();
    uint64_t TickToNs(uint32_t nTick);
    void QueueAt(uint64_t nAtNs, char c);
    size_t Arrived(uint64_t nNowNs) const;  // bytes of incoming whose time has come
    bool DeadLine() const;                  // the arm hung up and its last bytes are gone
    bool Gone(uint64_t nNowNs) const;       // the poll fails: dead line, vanished, bFailPoll
    SimLine* pLine;
    Clock* pClock;
    uint32_t nLastTick;
    uint64_t nUnwrappedMs;
    uint64_t nLineFreeNs;  // when the last reply byte queued so far has arrived
    uint64_t nVanishNs;    // when the device goes; never, unless Vanish() says
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
