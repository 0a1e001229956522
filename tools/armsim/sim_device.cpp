// The simulated arm in process: a serial device on a SimLine whose replies arrive at the line's
// pace in the time of a clock, and the bus of COM1 to COM4.
#include "tools/armsim/sim_device.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr uint64_t kNsPerMs = 1000000;
constexpr uint64_t kNever = ~0ull;

// A character on the line is 10 bits: start, 8 (or 7 and parity) and stop.
uint64_t CharacterNs(uint32_t nBaud) {
    if (nBaud == 0) {
        nBaud = 1;
    }
    return 10ull * 1000000000ull / nBaud;
}

}  // namespace

SimDevice::SimDevice(SimLine* pLine, Clock* pClock)
    : programmed{9600, 'n', 8},
      pLine(pLine),
      pClock(pClock),
      nLastTick(pClock->TickCount()),
      nUnwrappedMs(nLastTick),
      nLineFreeNs(0),
      nVanishNs(kNever) {
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

void SimDevice::Vanish(uint32_t nAtTick) {
    nVanishNs = TickToNs(nAtTick);
}

bool SimDevice::Gone(uint64_t nNowNs) const {
    return pLine->bFailPoll || DeadLine() || nNowNs >= nVanishNs;
}

void SimDevice::InjectError(uint32_t nAtTick) {
    errors.push_back(LineError{TickToNs(nAtTick), false});
}

bool SimDevice::SetLine(uint32_t nBaud, char cParity, uint8_t nDataBits) {
    if (pLine->bRejectLine || nBaud == 0 || nDataBits < 5 || nDataBits > 8) {
        return false;
    }
    programmed = SimLineSetting{nBaud, cParity == 'n' ? 'n' : 'e', nDataBits};
    pLine->settings.push_back(programmed);
    return true;
}

void SimDevice::Purge() {
    pLine->nPurges++;
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

bool SimDevice::Poll(bool* pbLineError, uint32_t* pnQueued) {
    pLine->nPolls++;
    uint64_t nNow = NowNs();
    if (Gone(nNow)) {
        return false;
    }
    size_t nBefore = errors.size();
    errors.erase(std::remove_if(errors.begin(), errors.end(),
                                [nNow](const LineError& e) { return e.nAtNs <= nNow; }),
                 errors.end());
    *pbLineError = errors.size() != nBefore;
    *pnQueued = static_cast<uint32_t>(Arrived(nNow));
    return true;
}

uint32_t SimDevice::Read(char* pBuffer, uint32_t nBytes) {
    if (DeadLine()) {
        return 0;
    }
    size_t n = std::min<size_t>(nBytes, Arrived(NowNs()));
    for (size_t i = 0; i < n; ++i) {
        pBuffer[i] = incoming.front().c;
        incoming.pop_front();
    }
    return static_cast<uint32_t>(n);
}

uint32_t SimDevice::WriteAndDrain(const char* pData, uint32_t nBytes) {
    uint64_t nNow = NowNs();
    std::string text(pData, nBytes);
    if (nBytes != 0) {
        pLine->commands.push_back(SimCommand{text, programmed.nBaud, programmed.nDataBits,
                                             programmed.cParity, nLastTick});
    }
    ArmModel* pArm = pLine->pArm;
    if (nBytes != 0 && pArm != nullptr && !pArm->HungUp()) {
        bool bNoise = false;
        std::string reply = pArm->Receive(text, programmed.nBaud, programmed.nDataBits,
                                          programmed.cParity, &bNoise);
        if (!reply.empty()) {
            // The first byte comes the arm's latency and one character after the command, the
            // others one character (and the arm's gap) apart; a reply never overtakes the one
            // still arriving.
            uint64_t nCharNs = CharacterNs(programmed.nBaud);
            uint64_t nGapNs = static_cast<uint64_t>(pArm->ByteGapFor(text)) * kNsPerMs;
            uint64_t nStart = nNow + static_cast<uint64_t>(pArm->scenario.nLatencyMs) * kNsPerMs;
            if (nStart < nLineFreeNs) {
                nStart = nLineFreeNs;
            }
            uint64_t nAt = nStart;
            for (size_t i = 0; i < reply.size(); ++i) {
                nAt += nCharNs + (i == 0 ? 0 : nGapNs);
                QueueAt(nAt, reply[i]);
                if (i == 0 && bNoise) {
                    errors.push_back(LineError{nAt, true});
                }
            }
            nLineFreeNs = nAt;
        }
    }
    return nBytes;
}

void SimDevice::WaitForInput(uint32_t nMs) {
    // A device that is gone wakes every wait at once, as a hang-up does.
    uint64_t nNow = NowNs();
    if (nMs == 0 || Gone(nNow)) {
        return;
    }
    // Sleep up to nMs, but wake at the tick when the next byte (or line error) has come, or
    // when the device goes.
    uint64_t nNext = nVanishNs;
    bool bNext = nVanishNs != kNever;
    size_t nArrived = Arrived(nNow);
    if (nArrived < incoming.size() && (!bNext || incoming[nArrived].nAtNs < nNext)) {
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
