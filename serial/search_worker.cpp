// The search worker: tries the ports in rotation, each with up to 13 line settings, until the
// arm echoes exactly the settings in use.
#include "serial/search_worker.h"

#include <cstdio>
#include <cstring>

#include "common/app_state.h"
#include "protocol/arm_protocol.h"
#include "serial/serial_port.h"

const uint32_t kBaudTable[6] = {4800, 9600, 19200, 38400, 57600, 115200};

namespace {

constexpr uint32_t kAllPorts = 0x0F;
constexpr int kPortTurns = 4;
constexpr uint32_t kSendsPerPort = 13;
constexpr uint32_t kEchoCompleteBytes = 14;
constexpr uint32_t kEchoBufferSize = 32;
// How soon a wait for the echo notices a stop request.
constexpr uint32_t kStopCheckMs = 10;

bool StopRequested() {
    return g_App.StopEvent != nullptr && g_App.StopEvent->IsSet();
}

// COMn becomes COMn+1, and COM4 becomes COM1.
void AdvancePort(LineSettings* pLine) {
    pLine->nPort = (pLine->nPort + 1) % 5;
    if (pLine->nPort == 0) {
        pLine->nPort = 1;
    }
}

void ShowTry(const LineSettings& line) {
    if (g_App.hDialog.load() == nullptr) {
        return;
    }
    char szText[64];
    FormatTryText(szText, sizeof szText, line.nPort, line.nBaud, line.cParity, line.nDataBits,
                  line.nStopBits);
    SetDialogItemText(kIdStatusText, szText);
}

uint32_t PortBit(uint32_t nPort) {
    return 1u << (nPort - 1);
}

// Programs the essentials of the line once more after ApplyLineSettings: the rate, even parity
// for the letter 'e' and none for any other, the data bits (and one stop bit, always).
void ReapplyEssentials(SerialDevice* port) {
    LineSettings line = CopyLine();
    port->SetLine(static_cast<uint32_t>(line.nBaud), line.cParity == 'e' ? 'e' : 'n',
                  static_cast<uint8_t>(line.nDataBits & 0xFF));
}

bool IsTableBaud(int32_t nBaud) {
    for (uint32_t nRate : kBaudTable) {
        if (static_cast<int64_t>(nRate) == nBaud) {
            return true;
        }
    }
    return false;
}

// What one "_I" exchange ended with.
enum TryOutcome { kTryMismatch, kTryFound, kTryGiveUp };

TryOutcome TryEcho(const LineSettings& line, uint32_t* pnPortSends) {
    SerialDevice* port = g_App.hPort.load();
    // With fast replies the wait ends with the echo, so what an arm sends after it (or what a
    // mismatched line brings) is purged before the next "_I".
    bool bFast = g_App.bFastReplies != 0;
    if (bFast) {
        PurgePort(port);
    }
    SendCommand(port, kArmCommands[kCmdEcho].szText);
    ++*pnPortSends;
    uint32_t t0 = g_Platform.pClock->TickCount();

    // Both limits are safe: a run only ever tries table rates or a stored rate made safe.
    uint32_t nBaud = static_cast<uint32_t>(line.nBaud);
    uint32_t nFirstLimit = 2000000u / nBaud;
    uint32_t nReplyLimit = 10300000u / nBaud;
    char szReply[kEchoBufferSize + 1];
    memset(szReply, 0, sizeof szReply);
    uint32_t nTaken = 0;  // bytes of the echo read while waiting (fast replies only)
    // When StopEvent ends the wait before its first poll, nothing was seen: no bytes, no error.
    bool bLineError = false;
    uint32_t cbInQue = 0;
    // With fast replies the wait looks as a read that knows its command does: first when the
    // shortest echo could have come after the arm's turnaround, then each time the rest of it
    // could have come. A stop request ends such a wait at once.
    bool bGather = bFast;
    uint32_t nTurnMs = ReplyGatherMs();
    for (;;) {
        if (StopRequested()) {
            break;
        }
        PollPort(port, &bLineError, &cbInQue);
        if (bFast && cbInQue != 0 && !bLineError && nTaken < kEchoBufferSize) {
            // The echo is read as it comes, each piece as the wait's end would read it.
            uint32_t nMax = cbInQue < kEchoBufferSize - nTaken ? cbInQue : kEchoBufferSize - nTaken;
            uint32_t nRead = ReadReply(port, szReply + nTaken, nMax, 0);
            if (nRead == 0) {
                return kTryGiveUp;
            }
            nTaken += nRead;
            cbInQue = 0;
            if (IsReplyComplete(kCmdEcho, szReply, nTaken)) {
                break;
            }
            bGather = true;
        }
        uint32_t nElapsed = g_Platform.pClock->TickCount() - t0;
        uint32_t nReceived = nTaken + cbInQue;
        if ((nElapsed > nFirstLimit && nReceived == 0) || nElapsed > nReplyLimit ||
            nReceived >= kEchoCompleteBytes || bLineError) {
            break;
        }
        // Until the reply begins the wait ends past the first limit, then past the reply limit;
        // a wait on the port wakes at least every kStopCheckMs to look at the stop request, so
        // that closing the dialog during a search is not held up by a silent port.
        uint32_t nLimit = (nReceived == 0 ? nFirstLimit : nReplyLimit) + 1;
        uint32_t nStep =
            bGather ? nTurnMs + NextLookMs(kCmdEcho, szReply, nTaken, kEchoBufferSize - nTaken, 1)
                    : kStopCheckMs;
        uint32_t nNow = g_Platform.pClock->TickCount() - t0;
        uint32_t nUntil = nNow + nStep < nLimit ? nNow + nStep : nLimit;
        if (!bGather) {
            WaitForInputUntil(port, t0, nUntil);
        } else if (nUntil > nNow && g_App.StopEvent != nullptr) {
            g_App.StopEvent->Wait(nUntil - nNow);
        } else if (nUntil > nNow) {
            g_Platform.pClock->Sleep(nUntil - nNow);
        }
        bGather = false;
        nTurnMs = 0;  // the arm turns round once, before the echo's first byte
    }
    if (bLineError) {
        return kTryGiveUp;
    }

    if (cbInQue != 0 && nTaken < kEchoBufferSize) {
        uint32_t nMax = cbInQue < kEchoBufferSize - nTaken ? cbInQue : kEchoBufferSize - nTaken;
        if (ReadReply(port, szReply + nTaken, nMax, 0) == 0) {
            return kTryGiveUp;
        }
    }
    EchoReply echo;
    memset(&echo, 0, sizeof echo);
    int nParsed = ParseEchoReply(szReply, sizeof szReply, &echo);
    if (nParsed == kEchoValues && echo.nBaud == line.nBaud && echo.cParity == line.cParity &&
        echo.nDataBits == line.nDataBits && echo.nStopBits == line.nStopBits) {
        PurgePort(port);
        g_App.ConnectedEvent->Set();
        return kTryFound;
    }
    return kTryMismatch;
}

// One turn on an opened port: up to 13 tries. Returns true when the arm was found. The worker
// changes its own copy of the settings and publishes each whole change in Line.
bool PortTurn(LineSettings* pLine) {
    uint32_t nPortSends = 0;
    uint32_t nRateIndex = 0;
    for (;;) {
        if (StopRequested()) {
            return false;
        }
        TryOutcome outcome = TryEcho(*pLine, &nPortSends);
        if (outcome == kTryFound) {
            return true;
        }
        if (outcome == kTryGiveUp || StopRequested()) {
            return false;
        }
        if (nRateIndex == 6) {
            pLine->nDataBits = pLine->nDataBits == 8 ? 7 : 8;
            pLine->cParity = pLine->cParity == 'n' ? 'e' : 'n';
            nRateIndex = 0;
        }
        pLine->nBaud = static_cast<int32_t>(kBaudTable[nRateIndex]);
        // The port always sends one stop bit, and an arm echoes that: a stored 2 would make
        // every try of the table a mismatch and hide the arm for good.
        pLine->nStopBits = 1;
        ++nRateIndex;
        StoreLine(*pLine);
        ShowTry(*pLine);
        if (!ApplyLineSettings(g_App.hPort.load())) {
            return false;
        }
        ReapplyEssentials(g_App.hPort.load());
        if (StopRequested() || g_App.hPort.load() == nullptr || nPortSends >= kSendsPerPort) {
            return false;
        }
    }
}

void EndRun() {
    g_App.SearchDoneEvent->Set();
    ReleaseThreadSlot(&g_App.hSearchThread);
    g_App.WorkerExitedEvent->Set();
    // With fast replies the controller need not wait for its next tick to see the end.
    if (g_App.bFastReplies != 0 && g_Platform.pfnSearchEnded != nullptr) {
        g_Platform.pfnSearchEnded();
    }
}

}  // namespace

bool MakeLineSafe(LineSettings* pLine) {
    bool bChanged = false;
    if (pLine->nPort < 1 || pLine->nPort > 4) {
        pLine->nPort = kInitialLine.nPort;
        bChanged = true;
    }
    if (!IsTableBaud(pLine->nBaud)) {
        pLine->nBaud = kInitialLine.nBaud;
        bChanged = true;
    }
    if (pLine->cParity != 'n' && pLine->cParity != 'e') {
        pLine->cParity = kInitialLine.cParity;
        bChanged = true;
    }
    if (pLine->nDataBits != 7 && pLine->nDataBits != 8) {
        pLine->nDataBits = kInitialLine.nDataBits;
        bChanged = true;
    }
    if (pLine->nStopBits != 1 && pLine->nStopBits != 2) {
        pLine->nStopBits = kInitialLine.nStopBits;
        bChanged = true;
    }
    return bChanged;
}

void FormatTryText(char* szText, unsigned nSize, uint32_t nPort, int32_t nBaud, char cParity,
                   int32_t nDataBits, int32_t nStopBits) {
    snprintf(szText, nSize, "COM%u: %ld %c %d %d", static_cast<unsigned>(nPort),
             static_cast<long>(nBaud), cParity, static_cast<int>(nDataBits),
             static_cast<int>(nStopBits));
}

int StartSearchWorker() {
    g_App.StopEvent->Reset();
    g_App.WorkerExitedEvent->Reset();
    g_App.SearchDoneEvent->Reset();
    g_App.ConnectedEvent->Reset();
    return g_Platform.pThreads->CreateThread(SearchWorker, nullptr, true, &g_App.hSearchThread);
}

uint32_t SearchWorker(void*) {
    CloseArmPort(g_App.hPort.exchange(nullptr));
    // A stored port or rate the search cannot use (a port outside COM1-COM4, a rate of 0 that
    // would make the wait limits a division by zero) starts from the initial settings instead.
    LineSettings line = CopyLine();
    if (MakeLineSafe(&line)) {
        StoreLine(line);
    }

    uint32_t dwTriedPorts = 0;
    int nPortTurns = 0;
    bool bFound = false;
    while (!bFound) {
        if (StopRequested() || dwTriedPorts == kAllPorts) {
            break;
        }
        dwTriedPorts |= PortBit(line.nPort);
        ShowTry(line);
        g_App.hPort.store(OpenArmPort(line.nPort));
        for (int nStep = 0; g_App.hPort.load() == nullptr && nStep < 4; ++nStep) {
            if (StopRequested()) {
                break;
            }
            AdvancePort(&line);
            StoreLine(line);
            if (dwTriedPorts & PortBit(line.nPort)) {
                continue;
            }
            dwTriedPorts |= PortBit(line.nPort);
            ShowTry(line);
            g_App.hPort.store(OpenArmPort(line.nPort));
        }
        if (g_App.hPort.load() == nullptr) {
            break;
        }
        if (PortTurn(&line)) {
            bFound = true;
            break;
        }
        // Give the port up.
        CloseArmPort(g_App.hPort.exchange(nullptr));
        AdvancePort(&line);
        StoreLine(line);
        ++nPortTurns;
        if (nPortTurns >= kPortTurns) {
            break;
        }
    }
    EndRun();
    return bFound ? 1 : 0;
}
