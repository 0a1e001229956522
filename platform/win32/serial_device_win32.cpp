// The Win32 serial device: "COM%u" opened with CreateFileA, the DCB, the time-outs, the purge
// and the ClearCommError poll of the Windows communications interface.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <new>

#include "common/serial_device.h"
#include "platform/win32/win32_platform.h"

namespace {

class Win32SerialDevice : public SerialDevice {
  public:
    explicit Win32SerialDevice(HANDLE hDevice) : hFile(hDevice) {}

    ~Win32SerialDevice() override { CloseHandle(hFile); }

    void SetupComm(uint32_t nInQueue, uint32_t nOutQueue) override {
        ::SetupComm(hFile, nInQueue, nOutQueue);
    }

    bool SetCommTimeouts(const CommTimeouts& timeouts) override {
        COMMTIMEOUTS commTimeouts;
        commTimeouts.ReadIntervalTimeout = timeouts.ReadIntervalTimeout;
        commTimeouts.ReadTotalTimeoutMultiplier = timeouts.ReadTotalTimeoutMultiplier;
        commTimeouts.ReadTotalTimeoutConstant = timeouts.ReadTotalTimeoutConstant;
        commTimeouts.WriteTotalTimeoutMultiplier = timeouts.WriteTotalTimeoutMultiplier;
        commTimeouts.WriteTotalTimeoutConstant = timeouts.WriteTotalTimeoutConstant;
        return ::SetCommTimeouts(hFile, &commTimeouts) != FALSE;
    }

    bool PurgeComm(uint32_t dwFlags) override { return ::PurgeComm(hFile, dwFlags) != FALSE; }

    // The DCB starts as the caller prepared it, so a failed read leaves the prepared values.
    bool GetCommState(CommState* pState) override {
        if (pState == nullptr) {
            return false;
        }
        DCB dcb;
        CommStateToDcb(*pState, &dcb);
        if (!::GetCommState(hFile, &dcb)) {
            return false;
        }
        DcbToCommState(dcb, pState);
        return true;
    }

    bool SetCommState(const CommState& state) override {
        DCB dcb;
        CommStateToDcb(state, &dcb);
        return ::SetCommState(hFile, &dcb) != FALSE;
    }

    // A failed call leaves its outputs unset, so they are passed on only when it succeeded.
    bool ClearCommError(uint32_t* pdwErrors, uint32_t* pcbInQue) override {
        DWORD dwErrors = 0;
        COMSTAT stat;
        memset(&stat, 0, sizeof stat);
        if (!::ClearCommError(hFile, &dwErrors, &stat)) {
            return false;
        }
        if (pdwErrors != nullptr) {
            *pdwErrors = dwErrors;
        }
        if (pcbInQue != nullptr) {
            *pcbInQue = stat.cbInQue;
        }
        return true;
    }

    bool ReadFile(void* pBuffer, uint32_t nBytes, uint32_t* pnRead) override {
        DWORD nRead = 0;
        BOOL bOk = ::ReadFile(hFile, pBuffer, nBytes, &nRead, nullptr);
        if (pnRead != nullptr) {
            *pnRead = nRead;
        }
        return bOk != FALSE;
    }

    bool WriteFile(const void* pData, uint32_t nBytes, uint32_t* pnWritten) override {
        DWORD nWritten = 0;
        BOOL bOk = ::WriteFile(hFile, pData, nBytes, &nWritten, nullptr);
        if (pnWritten != nullptr) {
            *pnWritten = nWritten;
        }
        return bOk != FALSE;
    }

    bool FlushFileBuffers() override { return ::FlushFileBuffers(hFile) != FALSE; }

    // A synchronous port has no wait for input that ends early without an overlapped
    // WaitCommEvent; a pause of 1 ms between polls keeps the waits from spinning.
    void WaitForInput(uint32_t nMs) override {
        if (nMs > 0) {
            ::Sleep(1);
        }
    }

  private:
    HANDLE hFile;
};

class Win32SerialBusImpl : public SerialBus {
  public:
    // Read and write, not shared with any other opener, synchronous.
    SerialDevice* Open(unsigned nPort, PortOpenFailure* pFailure) override {
        char szName[32];
        snprintf(szName, sizeof szName, "COM%u", nPort);
        HANDLE hFile = CreateFileA(szName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
        if (hFile == INVALID_HANDLE_VALUE || hFile == nullptr) {
            // The system's own words for the failure; the dialog shows only what the program
            // always showed, the reason goes to whoever asks for it.
            DWORD dwError = GetLastError();
            snprintf(pFailure->szDevice, sizeof pFailure->szDevice, "%s", szName);
            if (FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                               dwError, 0, pFailure->szReason, sizeof pFailure->szReason,
                               nullptr) == 0) {
                snprintf(pFailure->szReason, sizeof pFailure->szReason, "error %lu",
                         static_cast<unsigned long>(dwError));
            }
            return nullptr;
        }
        SerialDevice* pDevice = new (std::nothrow) Win32SerialDevice(hFile);
        if (pDevice == nullptr) {
            CloseHandle(hFile);
        }
        return pDevice;
    }
};

}  // namespace

void CommStateToDcb(const CommState& state, DCB* pDcb) {
    memset(pDcb, 0, sizeof *pDcb);
    pDcb->DCBlength = state.DCBlength;
    pDcb->BaudRate = state.BaudRate;
    pDcb->fBinary = state.fBinary & 1u;
    pDcb->fParity = state.fParity & 1u;
    pDcb->fOutxCtsFlow = state.fOutxCtsFlow & 1u;
    pDcb->fOutxDsrFlow = state.fOutxDsrFlow & 1u;
    pDcb->fDtrControl = state.fDtrControl & 3u;
    pDcb->fDsrSensitivity = state.fDsrSensitivity & 1u;
    pDcb->fTXContinueOnXoff = state.fTXContinueOnXoff & 1u;
    pDcb->fOutX = state.fOutX & 1u;
    pDcb->fInX = state.fInX & 1u;
    pDcb->fErrorChar = state.fErrorChar & 1u;
    pDcb->fNull = state.fNull & 1u;
    pDcb->fRtsControl = state.fRtsControl & 3u;
    pDcb->fAbortOnError = state.fAbortOnError & 1u;
    pDcb->fDummy2 = state.fDummy2 & 0x1FFFFu;
    pDcb->wReserved = state.wReserved;
    pDcb->XonLim = state.XonLim;
    pDcb->XoffLim = state.XoffLim;
    pDcb->ByteSize = state.ByteSize;
    pDcb->Parity = state.Parity;
    pDcb->StopBits = state.StopBits;
    pDcb->XonChar = state.XonChar;
    pDcb->XoffChar = state.XoffChar;
    pDcb->ErrorChar = state.ErrorChar;
    pDcb->EofChar = state.EofChar;
    pDcb->EvtChar = state.EvtChar;
    pDcb->wReserved1 = state.wReserved1;
}

void DcbToCommState(const DCB& dcb, CommState* pState) {
    pState->DCBlength = dcb.DCBlength;
    pState->BaudRate = dcb.BaudRate;
    pState->fBinary = static_cast<uint8_t>(dcb.fBinary);
    pState->fParity = static_cast<uint8_t>(dcb.fParity);
    pState->fOutxCtsFlow = static_cast<uint8_t>(dcb.fOutxCtsFlow);
    pState->fOutxDsrFlow = static_cast<uint8_t>(dcb.fOutxDsrFlow);
    pState->fDtrControl = static_cast<uint8_t>(dcb.fDtrControl);
    pState->fDsrSensitivity = static_cast<uint8_t>(dcb.fDsrSensitivity);
    pState->fTXContinueOnXoff = static_cast<uint8_t>(dcb.fTXContinueOnXoff);
    pState->fOutX = static_cast<uint8_t>(dcb.fOutX);
    pState->fInX = static_cast<uint8_t>(dcb.fInX);
    pState->fErrorChar = static_cast<uint8_t>(dcb.fErrorChar);
    pState->fNull = static_cast<uint8_t>(dcb.fNull);
    pState->fRtsControl = static_cast<uint8_t>(dcb.fRtsControl);
    pState->fAbortOnError = static_cast<uint8_t>(dcb.fAbortOnError);
    pState->fDummy2 = dcb.fDummy2;
    pState->wReserved = dcb.wReserved;
    pState->XonLim = dcb.XonLim;
    pState->XoffLim = dcb.XoffLim;
    pState->ByteSize = dcb.ByteSize;
    pState->Parity = dcb.Parity;
    pState->StopBits = dcb.StopBits;
    pState->XonChar = dcb.XonChar;
    pState->XoffChar = dcb.XoffChar;
    pState->ErrorChar = dcb.ErrorChar;
    pState->EofChar = dcb.EofChar;
    pState->EvtChar = dcb.EvtChar;
    pState->wReserved1 = dcb.wReserved1;
}

SerialBus* Win32SerialBus() {
    static Win32SerialBusImpl bus;
    return &bus;
}
