// The Win32 serial device: "COM%u" through CreateFileA, the line through a DCB field by field,
// the time-outs, the purge and the ClearCommError poll of the Windows communications interface.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <new>

#include "common/serial_device.h"
#include "platform/win32/win32_platform.h"

namespace {

constexpr DWORD kQueueSize = 4096;
constexpr DWORD kDcbLength = 28;

class Win32SerialDevice : public SerialDevice {
  public:
    explicit Win32SerialDevice(HANDLE hDevice) : hFile(hDevice) {}

    ~Win32SerialDevice() override { CloseHandle(hFile); }

    // Starts from the state read back from the port (a failed read leaves the DCB prepared
    // with its length only), so every field the line does not name is written back as read.
    bool SetLine(uint32_t nBaud, char cParity, uint8_t nDataBits) override {
        DCB dcb;
        memset(&dcb, 0, sizeof dcb);
        dcb.DCBlength = kDcbLength;
        ::GetCommState(hFile, &dcb);
        ProgramLineDcb(&dcb, nBaud, cParity, nDataBits);
        return ::SetCommState(hFile, &dcb) != FALSE;
    }

    void Purge() override {
        ::PurgeComm(hFile, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    }

    // A failed ClearCommError leaves its outputs unset: they are read only when it succeeded.
    bool Poll(bool* pbLineError, uint32_t* pnQueued) override {
        DWORD dwErrors = 0;
        COMSTAT stat;
        memset(&stat, 0, sizeof stat);
        if (bFailed || !::ClearCommError(hFile, &dwErrors, &stat)) {
            return false;
        }
        *pbLineError = dwErrors != 0;
        *pnQueued = stat.cbInQue;
        return true;
    }

    uint32_t Read(char* pBuffer, uint32_t nBytes) override {
        DWORD nRead = 0;
        if (!::ReadFile(hFile, pBuffer, nBytes, &nRead, nullptr)) {
            bFailed = true;
            return 0;
        }
        return nRead;
    }

    // FlushFileBuffers returns once the written bytes have left the output queue; it runs
    // whether or not the write succeeded.
    uint32_t WriteAndDrain(const char* pData, uint32_t nBytes) override {
        DWORD nWritten = 0;
        BOOL bOk = ::WriteFile(hFile, pData, nBytes, &nWritten, nullptr);
        bFailed = bFailed || !bOk;
        ::FlushFileBuffers(hFile);
        return bOk ? nWritten : 0;
    }

    // A synchronous port has no wait for input that ends early without an overlapped
    // WaitCommEvent: the wait sleeps at most 1 ms, and never longer than asked.
    void WaitForInput(uint32_t nMs) override {
        if (nMs > 0) {
            ::Sleep(1);
        }
    }

  private:
    HANDLE hFile;
    // A read or write failed: the port has no time-outs, so the device itself is gone (an
    // adapter pulled, a line hung up where ClearCommError still answers), and every later
    // poll says so.
    bool bFailed = false;
};

class Win32SerialBusImpl : public SerialBus {
  public:
    // Read and write, not shared with any other opener, synchronous; both queues sized. All
    // five time-outs 0: a read returns what is queued without waiting, a write has no time-out.
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
        ::SetupComm(hFile, kQueueSize, kQueueSize);
        COMMTIMEOUTS timeouts;
        memset(&timeouts, 0, sizeof timeouts);
        ::SetCommTimeouts(hFile, &timeouts);
        SerialDevice* pDevice = new (std::nothrow) Win32SerialDevice(hFile);
        if (pDevice == nullptr) {
            CloseHandle(hFile);
        }
        return pDevice;
    }
};

}  // namespace

void ProgramLineDcb(DCB* pDcb, uint32_t nBaud, char cParity, uint8_t nDataBits) {
    pDcb->DCBlength = kDcbLength;
    pDcb->BaudRate = nBaud;
    pDcb->fBinary = 1;
    pDcb->fParity = 1;  // parity checking on, also when no parity bit is used
    pDcb->fOutxCtsFlow = 0;
    pDcb->fOutxDsrFlow = 0;
    pDcb->fDtrControl = DTR_CONTROL_ENABLE;
    pDcb->fDsrSensitivity = 0;
    pDcb->fOutX = 0;
    pDcb->fInX = 0;
    pDcb->fRtsControl = RTS_CONTROL_ENABLE;
    pDcb->XonLim = 100;
    pDcb->XoffLim = 100;
    pDcb->ByteSize = nDataBits;
    pDcb->Parity = cParity == 'n' ? NOPARITY : EVENPARITY;
    pDcb->StopBits = ONESTOPBIT;
    pDcb->XonChar = 0x11;
    pDcb->XoffChar = 0x13;
}

SerialBus* Win32SerialBus() {
    static Win32SerialBusImpl bus;
    return &bus;
}
