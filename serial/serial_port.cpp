// Port access on the device seam: open and program COMn, send a command, read a reply line.
#include "serial/serial_port.h"

#include <cstring>

#include "common/app_state.h"

namespace {

uint32_t Now() {
    return g_Platform.pClock->TickCount();
}

}  // namespace

bool PollPort(SerialDevice* port, bool* pbLineError, uint32_t* pcbInQue) {
    bool bLineError = false;
    uint32_t cbInQue = 0;
    if (port == nullptr || !port->Poll(&bLineError, &cbInQue)) {
        // A poll that fails tells nothing about the line: it counts as a line error, and the
        // outputs of the failed call are never looked at.
        *pbLineError = true;
        *pcbInQue = 0;
        return false;
    }
    *pbLineError = bLineError;
    *pcbInQue = cbInQue;
    return true;
}

void WaitForInputUntil(SerialDevice* port, uint32_t nStart, uint32_t nLimitMs) {
    uint32_t nElapsed = Now() - nStart;
    if (port != nullptr && nElapsed < nLimitMs) {
        port->WaitForInput(nLimitMs - nElapsed);
    }
}

SerialDevice* OpenArmPort(uint32_t nPort) {
    PortOpenFailure failure;
    failure.szDevice[0] = '\0';
    failure.szReason[0] = '\0';
    SerialDevice* pDevice = g_Platform.pBus->Open(nPort, &failure);
    if (pDevice == nullptr) {
        ReportPortFailure(nPort, failure.szDevice, failure.szReason);
        return nullptr;
    }
    pDevice->Purge();
    if (!ApplyLineSettings(pDevice)) {
        delete pDevice;
        return nullptr;
    }
    return pDevice;
}

bool ApplyLineSettings(SerialDevice* port) {
    if (port == nullptr) {
        return false;
    }
    // The stop bits are reported and compared, never programmed: the line always has one.
    LineSettings line = CopyLine();
    return port->SetLine(static_cast<uint32_t>(line.nBaud), line.cParity,
                         static_cast<uint8_t>(line.nDataBits & 0xFF));
}

uint32_t SendCommand(SerialDevice* port, const char* szText) {
    uint32_t nLength = static_cast<uint32_t>(strlen(szText));
    if (port == nullptr) {
        return 0;
    }
    return port->WriteAndDrain(szText, nLength);
}

uint32_t ReadReply(SerialDevice* port, char* pBuffer, uint32_t nMaxBytes, uint32_t nTimeoutMs) {
    if (port == nullptr) {
        return 0;
    }
    uint32_t nTotal = 0;
    bool bLineError = false;
    uint32_t cbInQue = 0;

    // Phase 1: wait for the reply to queue up. It ends early only once nMaxBytes are queued.
    uint32_t nStart = Now();
    while (Now() - nStart < nTimeoutMs) {
        if (!PollPort(port, &bLineError, &cbInQue)) {
            // The device itself is gone (unplugged, hung up): no reply can come any more.
            return 0;
        }
        if (cbInQue >= nMaxBytes) {
            break;
        }
        WaitForInputUntil(port, nStart, nTimeoutMs);
    }
    PollPort(port, &bLineError, &cbInQue);
    if (bLineError) {
        return 0;
    }
    if ((cbInQue < nMaxBytes ? cbInQue : nMaxBytes) == 0) {
        return 0;
    }

    // Phase 2: read up to the line end, on a clock of its own.
    uint32_t nStart2 = Now();
    PollPort(port, &bLineError, &cbInQue);
    if (bLineError) {
        return 0;
    }
    for (;;) {
        uint32_t n = cbInQue < nMaxBytes ? cbInQue : nMaxBytes;
        uint32_t nRoom = nMaxBytes - nTotal;
        if (n > nRoom) {
            n = nRoom;
        }
        uint32_t nRead = 0;
        if (n != 0) {
            nRead = port->Read(pBuffer + nTotal, n);
            if (nRead > n) {
                nRead = n;
            }
            nTotal += nRead;
        }
        if (Now() - nStart2 > nTimeoutMs) {
            return nTotal;
        }
        if (nTotal != 0 && pBuffer[nTotal - 1] == '\n') {
            return nTotal;
        }
        // A full buffer cannot take the line end any more: waiting on would change nothing.
        if (nTotal == nMaxBytes) {
            return nTotal;
        }
        if (nRead == 0) {
            // Phase 2 ends once more than nTimeoutMs have passed.
            WaitForInputUntil(port, nStart2, nTimeoutMs < UINT32_MAX ? nTimeoutMs + 1 : nTimeoutMs);
        }
        PollPort(port, &bLineError, &cbInQue);
        if (bLineError) {
            return 0;
        }
    }
}

void PurgePort(SerialDevice* port) {
    if (port != nullptr) {
        port->Purge();
    }
}

void CloseArmPort(SerialDevice* port) {
    delete port;
}
