// The simulated arm in process: a serial device on a SimLine whose replies arrive at the line's
// pace in the time of a clock, and the bus of COM1 to COM4.
#include "tools/armsim/sim_device.h"

#include <cstdio>

#include <algorithm>
#include <cstring>

namespace {

constexpr uint64_t kNsPerMs = 1000000;

// A character on the line is 10 bits: start, 8 (or 7 and parity) and stop.
uint64_t CharacterNs(uint32_t nBaud) {
    if (nBaud == 0) {
        nBaud = 1;
    }
    return 10ull * 1000000000ull / nBaud;
}

char ParityLetter(uint8_t nParity) {
    switch (nParity) {
        case kNoParity:
            return 'n';
        case 1:
            return 'o';
        case kEvenParity:
            return 'e';
        case 3:
            return 'm';
        default:
            return 's';
    }
}

// What a COM port reports before anyone has programmed it: 9600 baud, 8 data bits, no
// parity, one stop bit, DTR and RTS on, no flow control.
CommState DefaultState() {
    CommState state;
    memset(&state, 0, sizeof state);
    state.DCBlength = 28;
    state.BaudRate = 9600;
    state.fBinary = 1;
    state.fDtrControl = kDtrControlEnable;
    state.fRtsControl = kRtsControlEnable;
    state.XonLim = 2048;
    state.XoffLim = 512;
    state.ByteSize = 8;
    state.Parity = kNoParity;
    state.StopBits = kOneStopBit;
    state.XonChar = 0x11;
    state.XoffChar = 0x13;
    return state;
}

}  // namespace

SimDevice::SimDevice(SimLine* pLine, Clock* pClock)
    : state(DefaultState()),
      timeouts(),
      pLine(pLine),
      pClock(pClock),
      nLastTick(pClock->TickCount()),
      nUnwrappedMs(nLastTick),
      nLineFreeNs(0) {
    pLine->bOpen = true;
    pLine->nOpens++;
    pLine->pDevice = this;
}

SimDevice::~SimDevice() {
    pLine->bOpen = false;
    pLine->nCloses++;
    if (pLine->pDevice == this) {
        pLine->pDevice = nullptr;
    }
    if (ppOpenedSlot != nullptr && *ppOpenedSlot == this) {
        *ppOpenedSlot = nullptr;
    }
}

uint64_t SimDevice::NowNs() {
    uint32_t nTick = pClock->TickCount();
    nUnwrappedMs += static_cast<uint32_t>(nTick - nLastTick);
    nLastTick = nTick;
    return nUnwrappedMs * kNsPerMs;
}

uint64_t SimDevice::TickToNs(uint32_t nTick) {
    NowNs();
    // A tick is taken as the nearest one to now, ahead or behind, across the wrap.
    int64_t nMs = static_cast<int64_t>(nUnwrappedMs) + static_cast<int32_t>(nTick - nLastTick);
    return nMs < 0 ? 0 : static_cast<uint64_t>(nMs) * kNsPerMs;
}

void SimDevice::QueueAt(uint64_t nAtNs, char c) {
    // Kept in order of arrival; bytes of the same time stay in the order they were queued.
    auto it = std::upper_bound(incoming.begin(), incoming.end(), nAtNs,
                               [](uint64_t nAt, const Byte& b) { return nAt < b.nAtNs; });
    incoming.insert(it, Byte{nAtNs, c});
}

size_t SimDevice::Arrived(uint64_t nNowNs) const {
    size_t n = 0;
    while (n < incoming.size() && incoming[n].nAtNs <= nNowNs) {
        ++n;
    }
    return n;
}

bool SimDevice::DeadLine() const {
    return pLine->pArm != nullptr && pLine->pArm->HungUp() && incoming.empty();
}

uint32_t SimDevice::LastArrivalTick() {
    uint64_t nNow = NowNs();
    if (incoming.empty() || incoming.back().nAtNs <= nNow) {
        return nLastTick;
    }
    uint64_t nAheadMs = (incoming.back().nAtNs - nNow + kNsPerMs - 1) / kNsPerMs;
    return nLastTick + static_cast<uint32_t>(nAheadMs);
}

void SimDevice::QueueInput(uint32_t nAtTick, const std::string& bytes) {
    uint64_t nAt = TickToNs(nAtTick);
    for (char c : bytes) {
        QueueAt(nAt, c);
    }
}

void SimDevice::InjectError(uint32_t nAtTick, uint32_t dwMask) {
    errors.push_back(LineError{TickToNs(nAtTick), dwMask, false});
}

void SimDevice::SetupComm(uint32_t, uint32_t) {}

bool SimDevice::SetCommTimeouts(const CommTimeouts& newTimeouts) {
    timeouts = newTimeouts;
    pLine->timeouts.push_back(newTimeouts);
    return true;
}

bool SimDevice::PurgeComm(uint32_t dwFlags) {
    pLine->purges.push_back(dwFlags);
    if ((dwFlags & kPurgeRxClear) != 0) {
        // The input queue is emptied, and what the arm is still sending is dropped with it,
        // together with the line errors those bytes would raise.
        uint64_t nNow = NowNs();
        incoming.clear();
        nLineFreeNs = 0;
        errors.erase(
            std::remove_if(errors.begin(), errors.end(),
                           [nNow](const LineError& e) { return e.bFromInput && e.nAtNs > nNow; }),
            errors.end());
    }
    return true;
}

bool SimDevice::GetCommState(CommState* pState) {
    if (pState == nullptr) {
        return false;
    }
    *pState = state;
    return true;
}

bool SimDevice::SetCommState(const CommState& newState) {
    // A port refuses a state it cannot run: no rate, or a character size outside 5 to 8.
    if (pLine->bRejectState || newState.BaudRate == 0 || newState.ByteSize < 5 ||
        newState.ByteSize > 8) {
        return false;
    }
    state = newState;
    pLine->states.push_back(newState);
    return true;
}

bool SimDevice::ClearCommError(uint32_t* pdwErrors, uint32_t* pcbInQue) {
    if (pLine->bFailPoll || DeadLine()) {
        return false;
    }
    uint64_t nNow = NowNs();
    uint32_t dwMask = 0;
    for (size_t i = 0; i < errors.size();) {
        if (errors[i].nAtNs <= nNow) {
            dwMask |= errors[i].dwMask;
            errors.erase(errors.begin() + static_cast<std::ptrdiff_t>(i));
        } else {
            ++i;
        }
    }
    if (pdwErrors != nullptr) {
        *pdwErrors = dwMask;
    }
    if (pcbInQue != nullptr) {
        *pcbInQue = static_cast<uint32_t>(Arrived(nNow));
    }
    return true;
}

bool SimDevice::ReadFile(void* pBuffer, uint32_t nBytes, uint32_t* pnRead) {
    if (pnRead != nullptr) {
        *pnRead = 0;
    }
    if (DeadLine()) {
        return false;
    }
    size_t n = std::min<size_t>(nBytes, Arrived(NowNs()));
    if (n != 0 && pBuffer == nullptr) {
        return false;
    }
    char* pOut = static_cast<char*>(pBuffer);
    for (size_t i = 0; i < n; ++i) {
        pOut[i] = incoming.front().c;
        incoming.pop_front();
    }
    if (pnRead != nullptr) {
        *pnRead = static_cast<uint32_t>(n);
    }
    return true;
}

bool SimDevice::WriteFile(const void* pData, uint32_t nBytes, uint32_t* pnWritten) {
    if (pnWritten != nullptr) {
        *pnWritten = 0;
    }
    if (nBytes != 0 && pData == nullptr) {
        return false;
    }
    uint64_t nNow = NowNs();
    std::string text(static_cast<const char*>(pData), nBytes);
    if (nBytes != 0) {
        SimCommand command;
        command.text = text;
        command.nBaud = state.BaudRate;
        command.nByteSize = state.ByteSize;
        command.nParity = state.Parity;
        command.nTick = nLastTick;
        pLine->commands.push_back(command);
    }
    ArmModel* pArm = pLine->pArm;
    if (nBytes != 0 && pArm != nullptr && !pArm->HungUp()) {
        bool bNoise = false;
        std::string reply = pArm->Receive(text, state.BaudRate, state.ByteSize,
                                          ParityLetter(state.Parity), &bNoise);
        if (!reply.empty()) {
            // The first byte comes the arm's latency and one character after the command, the
            // others one character (and the arm's gap) apart; a reply never overtakes the one
            // still arriving.
            uint64_t nCharNs = CharacterNs(state.BaudRate);
            uint64_t nGapNs = static_cast<uint64_t>(pArm->scenario.nByteGapMs) * kNsPerMs;
            uint64_t nStart = nNow + static_cast<uint64_t>(pArm->scenario.nLatencyMs) * kNsPerMs;
            if (nStart < nLineFreeNs) {
                nStart = nLineFreeNs;
            }
            uint64_t nAt = nStart;
            for (size_t i = 0; i < reply.size(); ++i) {
                nAt += nCharNs + (i == 0 ? 0 : nGapNs);
                QueueAt(nAt, reply[i]);
                if (i == 0 && bNoise) {
                    errors.push_back(LineError{nAt, kCeFrame, true});
                }
            }
            nLineFreeNs = nAt;
        }
    }
    if (pnWritten != nullptr) {
        *pnWritten = nBytes;
    }
    return true;
}

bool SimDevice::FlushFileBuffers() {
    return true;
}

void SimDevice::WaitForInput(uint32_t nMs) {
    if (nMs == 0) {
        return;
    }
    // Sleep up to nMs, but wake at the tick when the next byte (or line error) has come.
    uint64_t nNow = NowNs();
    uint64_t nNext = 0;
    bool bNext = false;
    size_t nArrived = Arrived(nNow);
    if (nArrived < incoming.size()) {
        nNext = incoming[nArrived].nAtNs;
        bNext = true;
    }
    for (const LineError& e : errors) {
        if (e.nAtNs > nNow && (!bNext || e.nAtNs < nNext)) {
            nNext = e.nAtNs;
            bNext = true;
        }
    }
    uint32_t nStep = nMs;
    if (bNext) {
        uint64_t nAheadMs = (nNext - nNow + kNsPerMs - 1) / kNsPerMs;
        if (nAheadMs < nStep) {
            nStep = nAheadMs < 1 ? 1 : static_cast<uint32_t>(nAheadMs);
        }
    }
    pClock->Sleep(nStep);
}

SerialDevice* SimBus::Open(unsigned nPort, PortOpenFailure* pFailure) {
    openOrder.push_back(nPort);
    snprintf(pFailure->szDevice, sizeof pFailure->szDevice, "COM%u", nPort);
    if (nPort < 1 || nPort > 4 || !lines[nPort].bPresent) {
        snprintf(pFailure->szReason, sizeof pFailure->szReason, "%s", "no such device");
        return nullptr;
    }
    SimLine* pLine = &lines[nPort];
    if (pLine->bBusy || pLine->bOpen) {
        snprintf(pFailure->szReason, sizeof pFailure->szReason, "%s", "in use by another program");
        return nullptr;
    }
    SimDevice* pDevice = new SimDevice(pLine, pClock);
    pDevice->ppOpenedSlot = &pLastDevice;
    pLastDevice = pDevice;
    return pDevice;
}
