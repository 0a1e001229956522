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

namespace {

// Reads what the last poll counted, at most the room the buffer has left of nMaxBytes; returns
// the count stored (never more than asked, whatever the device says).
uint32_t ReadQueued(SerialDevice* port, char* pBuffer, uint32_t nTotal, uint32_t nMaxBytes,
                    uint32_t cbInQue) {
    uint32_t n = cbInQue < nMaxBytes - nTotal ? cbInQue : nMaxBytes - nTotal;
    if (n == 0) {
        return 0;
    }
    uint32_t nRead = port->Read(pBuffer + nTotal, n);
    return nRead > n ? n : nRead;
}

}  // namespace

uint32_t ReplyGatherMs() {
    int32_t nBaud = CopyLine().nBaud;
    uint32_t nMs = nBaud > 0 ? 80000u / static_cast<uint32_t>(nBaud) : 1u;
    return nMs != 0 ? nMs : 1u;
}

uint32_t NextLookMs(ArmCommandId nCommand, const char* pBuffer, uint32_t nTotal, uint32_t nRoom,
                    uint32_t nAtLeastMs) {
    uint32_t nBytes = ReplyBytesToCome(nCommand, pBuffer, nTotal);
    nBytes = nBytes < nRoom ? nBytes : nRoom;
    int32_t nBaud = CopyLine().nBaud;
    uint64_t nMs = nBaud > 0 ? (10000ull * nBytes + static_cast<uint32_t>(nBaud) - 1) /
                                   static_cast<uint32_t>(nBaud)
                             : 0;
    nMs = nMs < 60000 ? nMs : 60000;
    return nMs > nAtLeastMs ? static_cast<uint32_t>(nMs) : nAtLeastMs;
}

uint32_t ReadReply(SerialDevice* port, char* pBuffer, uint32_t nMaxBytes, uint32_t nTimeoutMs,
                   ArmCommandId nCompleteFor) {
    if (port == nullptr) {
        return 0;
    }
    uint32_t nTotal = 0;
    bool bLineError = false;
    uint32_t cbInQue = 0;

    // Phase 1: wait for the reply to queue up. It ends early only once nMaxBytes are queued,
    // or, for a read that knows its command, once what it has taken so far is a whole reply.
    uint32_t nStart = Now();
    // The first look comes when the shortest whole reply could have come after the arm's
    // turnaround, which takes about one gather time: a short reply is then whole at once.
    if (nCompleteFor != kNoReplyTest && nTimeoutMs > 1) {
        uint32_t nFirst = ReplyGatherMs() + NextLookMs(nCompleteFor, pBuffer, 0, nMaxBytes, 0);
        g_Platform.pClock->Sleep(nFirst < nTimeoutMs ? nFirst : nTimeoutMs - 1);
    }
    while (Now() - nStart < nTimeoutMs) {
        if (!PollPort(port, &bLineError, &cbInQue)) {
            // The device itself is gone (unplugged, hung up): no reply can come any more.
            return 0;
        }
        if (nCompleteFor != kNoReplyTest && cbInQue != 0) {
            uint32_t nRead = ReadQueued(port, pBuffer, nTotal, nMaxBytes, cbInQue);
            nTotal += nRead;
            cbInQue -= nRead;
            if (IsReplyComplete(nCompleteFor, pBuffer, nTotal)) {
                // This is the poll that ends phase 1: its error mask is examined as always.
                PollPort(port, &bLineError, &cbInQue);
                return bLineError ? 0 : nTotal;
            }
            uint32_t nElapsed = Now() - nStart;
            uint32_t nLeft = nElapsed < nTimeoutMs ? nTimeoutMs - nElapsed : 0;
            if (nRead != 0 && nLeft > 1 && nTotal + cbInQue < nMaxBytes) {
                uint32_t nNext =
                    NextLookMs(nCompleteFor, pBuffer, nTotal, nMaxBytes - nTotal - cbInQue, 1);
                g_Platform.pClock->Sleep(nNext < nLeft ? nNext : nLeft - 1);
                continue;
            }
        }
        if (nTotal + cbInQue >= nMaxBytes) {
            break;
        }
        WaitForInputUntil(port, nStart, nTimeoutMs);
    }
    PollPort(port, &bLineError, &cbInQue);
    if (bLineError) {
        return 0;
    }
    if (nTotal == 0 && (cbInQue < nMaxBytes ? cbInQue : nMaxBytes) == 0) {
        return 0;
    }

    // Phase 2: read up to the line end, on a clock of its own. A whole reply ends with a line
    // feed, so the line-end test also ends a reply that becomes whole here.
    uint32_t nStart2 = Now();
    PollPort(port, &bLineError, &cbInQue);
    if (bLineError) {
        return 0;
    }
    for (;;) {
        uint32_t nRead = ReadQueued(port, pBuffer, nTotal, nMaxBytes, cbInQue);
        nTotal += nRead;
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

void DrainInput(SerialDevice* port, uint32_t nQuietMs, uint32_t nLimitMs) {
    if (port == nullptr) {
        return;
    }
    uint32_t nStart = Now();
    uint32_t nQuietSince = nStart;
    for (;;) {
        bool bLineError = false;
        uint32_t cbInQue = 0;
        if (!PollPort(port, &bLineError, &cbInQue)) {
            return;
        }
        char szDropped[256];
        uint32_t nRead = ReadQueued(port, szDropped, 0, sizeof szDropped, cbInQue);
        if (nRead != 0) {
            nQuietSince = Now();
        }
        uint32_t nQuietFor = Now() - nQuietSince;
        uint32_t nElapsed = Now() - nStart;
        if (nQuietFor >= nQuietMs || nElapsed >= nLimitMs) {
            return;
        }
        if (nRead == 0) {
            // Wake for new bytes, at the end of the quiet time, or at the limit.
            uint32_t nQuietEnd = nElapsed + (nQuietMs - nQuietFor);
            WaitForInputUntil(port, nStart, nQuietEnd < nLimitMs ? nQuietEnd : nLimitMs);
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
