// Port access on the device seam: open and program COMn, send a command, read a reply line.
#include "serial/serial_port.h"

#include <cstdio>
#include <cstring>

#include "common/app_state.h"

namespace {

uint32_t Now() {
    return g_Platform.pClock->TickCount();
}

}  // namespace

void WaitBetweenPolls(SerialDevice* port, uint32_t cbInQue) {
    // With input already waiting, a wait for input would return at once: sleep the 1 ms
    // instead, so that no wait ever spins.
    if (cbInQue != 0 || port == nullptr) {
        g_Platform.pClock->Sleep(1);
    } else {
        port->WaitForInput(1);
    }
}

bool PollPort(SerialDevice* port, uint32_t* pdwErrors, uint32_t* pcbInQue) {
    uint32_t dwErrors = 0;
    uint32_t cbInQue = 0;
    if (port == nullptr || !port->ClearCommError(&dwErrors, &cbInQue)) {
        // A poll that fails tells nothing about the line: it counts as a line error, and the
        // outputs of the failed call are never looked at.
        *pdwErrors = kCeFrame;
        *pcbInQue = 0;
        return false;
    }
    *pdwErrors = dwErrors;
    *pcbInQue = cbInQue;
    return true;
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
    pDevice->SetupComm(kQueueSize, kQueueSize);
    CommTimeouts timeouts = {0, 0, 0, 0, 0};
    pDevice->SetCommTimeouts(timeouts);
    pDevice->PurgeComm(kPurgeAll);
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
    CommState state;
    memset(&state, 0, sizeof state);
    state.DCBlength = kDcbLength;
    port->GetCommState(&state);

    LineSettings line = CopyLine();
    state.DCBlength = kDcbLength;
    state.BaudRate = static_cast<uint32_t>(line.nBaud);
    state.fBinary = 1;
    state.fParity = 1;
    state.fOutxCtsFlow = 0;
    state.fOutxDsrFlow = 0;
    state.fDtrControl = kDtrControlEnable;
    state.fDsrSensitivity = 0;
    state.fOutX = 0;
    state.fInX = 0;
    state.fRtsControl = kRtsControlEnable;
    state.XonLim = 100;
    state.XoffLim = 100;
    state.ByteSize = static_cast<uint8_t>(line.nDataBits & 0xFF);
    state.Parity = line.cParity == 'n' ? kNoParity : kEvenParity;
    state.StopBits = kOneStopBit;
    state.XonChar = 0x11;
    state.XoffChar = 0x13;
    return port->SetCommState(state);
}

void SetReadTimeout(SerialDevice* port, uint32_t nTotalTimeoutMs) {
    if (port == nullptr) {
        return;
    }
    CommTimeouts timeouts = {0, 0, nTotalTimeoutMs, 0, 0};
    port->SetCommTimeouts(timeouts);
}

uint32_t SendCommand(SerialDevice* port, const char* szText) {
    uint32_t nLength = static_cast<uint32_t>(strlen(szText));
    if (port == nullptr) {
        return 0;
    }
    uint32_t nWritten = 0;
    if (!port->WriteFile(szText, nLength, &nWritten)) {
        nWritten = 0;
    }
    port->FlushFileBuffers();
    return nWritten;
}

uint32_t ReadReply(SerialDevice* port, char* pBuffer, uint32_t nMaxBytes, uint32_t nTimeoutMs) {
    if (port == nullptr) {
        return 0;
    }
    uint32_t nTotal = 0;
    uint32_t dwErrors = 0;
    uint32_t cbInQue = 0;

    // Phase 1: wait for the reply to queue up. It ends early only once nMaxBytes are queued.
    uint32_t nStart = Now();
    while (Now() - nStart < nTimeoutMs) {
        if (!PollPort(port, &dwErrors, &cbInQue)) {
            // The device itself is gone (unplugged, hung up): no reply can come any more.
            return 0;
        }
        if (cbInQue >= nMaxBytes) {
            break;
        }
        WaitBetweenPolls(port, cbInQue);
    }
    PollPort(port, &dwErrors, &cbInQue);
    if (dwErrors != 0) {
        return 0;
    }
    if ((cbInQue < nMaxBytes ? cbInQue : nMaxBytes) == 0) {
        return 0;
    }

    // Phase 2: read up to the line end, on a clock of its own.
    uint32_t nStart2 = Now();
    PollPort(port, &dwErrors, &cbInQue);
    if (dwErrors != 0) {
        return 0;
    }
    for (;;) {
        uint32_t n = cbInQue < nMaxBytes ? cbInQue : nMaxBytes;
        uint32_t nRoom = nMaxBytes - nTotal;
        if (n > nRoom) {
            n = nRoom;
        }
        if (n != 0) {
            uint32_t nRead = 0;
            if (!port->ReadFile(pBuffer + nTotal, n, &nRead)) {
                nRead = 0;
            }
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
        if (n == 0) {
            // Nothing read at this pass (nothing queued, or the buffer is full).
            WaitBetweenPolls(port, cbInQue);
        }
        PollPort(port, &dwErrors, &cbInQue);
        if (dwErrors != 0) {
            return 0;
        }
    }
}

void PurgePort(SerialDevice* port) {
    if (port != nullptr) {
        port->PurgeComm(kPurgeAll);
    }
}

void CloseArmPort(SerialDevice* port) {
    delete port;
}
