// The POSIX serial device: COMn opened on the terminal device it maps to, exclusively, in raw
// mode, with the DCB fields carried over to termios.
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>
#if defined(__linux__)
#include <linux/serial.h>
#endif

#include <atomic>
#include <new>

#include "common/serial_device.h"
#include "platform/posix/posix_platform.h"

namespace {

constexpr uint32_t kDcbLength = 28;
constexpr size_t kPortPathSize = 512;

// What a technician is told about a port that did not open.
const char* PortFailureReason(int nErrno) {
    switch (nErrno) {
        case ENOENT:
            return "no such device";
        case EACCES:
        case EPERM:
            return "permission denied (add your user to the dialout group)";
        case EBUSY:
            return "in use by another program";
        case ENOTTY:
            return "not a serial device";
        case ENODEV:
        case ENXIO:
            return "no such port";
        case ENAMETOOLONG:
            return "the device path it maps to is too long";
        default:
            return strerror(nErrno);
    }
}

void ReportOpenFailure(PortOpenFailure* pFailure, const char* szPath, int nErrno) {
    snprintf(pFailure->szDevice, sizeof pFailure->szDevice, "%s", szPath);
    snprintf(pFailure->szReason, sizeof pFailure->szReason, "%s", PortFailureReason(nErrno));
}

// The baud rates termios can program. Windows takes any number; a rate missing here (14400,
// 56000, 128000, 256000) makes SetCommState fail.
struct BaudSpeed {
    uint32_t nBaud;
    speed_t speed;
};

const BaudSpeed kBaudSpeeds[] = {
    {50, B50},           {75, B75},         {110, B110},   {134, B134},     {150, B150},
    {200, B200},         {300, B300},       {600, B600},   {1200, B1200},   {1800, B1800},
    {2400, B2400},       {4800, B4800},     {9600, B9600}, {19200, B19200}, {38400, B38400},
    {57600, B57600},     {115200, B115200},
#ifdef B230400
    {230400, B230400},
#endif
#ifdef B460800
    {460800, B460800},
#endif
#ifdef B500000
    {500000, B500000},
#endif
#ifdef B576000
    {576000, B576000},
#endif
#ifdef B921600
    {921600, B921600},
#endif
#ifdef B1000000
    {1000000, B1000000},
#endif
#ifdef B1152000
    {1152000, B1152000},
#endif
#ifdef B1500000
    {1500000, B1500000},
#endif
#ifdef B2000000
    {2000000, B2000000},
#endif
#ifdef B2500000
    {2500000, B2500000},
#endif
#ifdef B3000000
    {3000000, B3000000},
#endif
#ifdef B3500000
    {3500000, B3500000},
#endif
#ifdef B4000000
    {4000000, B4000000},
#endif
};

bool BaudToSpeed(uint32_t nBaud, speed_t* pSpeed) {
    for (const BaudSpeed& entry : kBaudSpeeds) {
        if (entry.nBaud == nBaud) {
            *pSpeed = entry.speed;
            return true;
        }
    }
    return false;
}

uint32_t SpeedToBaud(speed_t speed) {
    for (const BaudSpeed& entry : kBaudSpeeds) {
        if (entry.speed == speed) {
            return entry.nBaud;
        }
    }
    return 0;
}

// Raw mode: no echo, no line editing, no translation of CR or LF, no signals; the receiver on
// and the modem status lines ignored. Reads return what is queued at once (VMIN 0, VTIME 0).
void MakeRawLine(struct termios* pTio) {
    cfmakeraw(pTio);
    pTio->c_cflag |= CLOCAL | CREAD;
    pTio->c_cc[VMIN] = 0;
    pTio->c_cc[VTIME] = 0;
}

// Raises (bOn) or lowers one modem control line. A pty has none: the ioctl fails and that is
// ignored, as the line has nothing to signal to.
void SetModemLine(int fd, int nLine, bool bOn) {
    int nBits = nLine;
    (void)ioctl(fd, bOn ? TIOCMBIS : TIOCMBIC, &nBits);
}

// The line-error counters of the UART driver. Ptys and many USB adapters have none.
struct LineErrorCounts {
    int nFrame;
    int nOverrun;
    int nParity;
    int nBreak;
    int nBufOverrun;
};

bool ReadLineErrorCounts(int fd, LineErrorCounts* pCounts) {
#if defined(__linux__) && defined(TIOCGICOUNT)
    struct serial_icounter_struct icount;
    memset(&icount, 0, sizeof(icount));
    if (ioctl(fd, TIOCGICOUNT, &icount) != 0) {
        return false;
    }
    pCounts->nFrame = icount.frame;
    pCounts->nOverrun = icount.overrun;
    pCounts->nParity = icount.parity;
    pCounts->nBreak = icount.brk;
    pCounts->nBufOverrun = icount.buf_overrun;
    return true;
#else
    (void)fd;
    (void)pCounts;
    return false;
#endif
}

class PosixSerialDevice : public SerialDevice {
  public:
    explicit PosixSerialDevice(int fdDevice) : fd(fdDevice), bStateKept(false) {
        memset(&kept, 0, sizeof(kept));
        memset(&timeouts, 0, sizeof(timeouts));
        // Errors counted before the port was ours are not this run's.
        bHaveCounts = ReadLineErrorCounts(fd, &lastCounts);
    }

    ~PosixSerialDevice() override {
        (void)ioctl(fd, TIOCNXCL);
        (void)flock(fd, LOCK_UN);
        (void)close(fd);
    }

    // The kernel sizes the tty queues itself.
    void SetupComm(uint32_t, uint32_t) override {}

    bool SetCommTimeouts(const CommTimeouts& newTimeouts) override {
        timeouts = newTimeouts;
        return true;
    }

    bool PurgeComm(uint32_t dwFlags) override {
        bool bInput = (dwFlags & kPurgeRxClear) != 0;
        bool bOutput = (dwFlags & kPurgeTxClear) != 0;
        if (!bInput && !bOutput) {
            return true;  // only the abort actions: nothing is pending in a synchronous port
        }
        int nQueue = bInput && bOutput ? TCIOFLUSH : (bInput ? TCIFLUSH : TCOFLUSH);
        return tcflush(fd, nQueue) == 0;
    }

    // Once a state has been set, it is returned as set, every field the line has no use for
    // included; before that, the device's own speed and framing.
    bool GetCommState(CommState* pState) override {
        if (pState == nullptr) {
            return false;
        }
        if (bStateKept) {
            *pState = kept;
            return true;
        }
        struct termios tio;
        if (tcgetattr(fd, &tio) != 0) {
            return false;
        }
        memset(pState, 0, sizeof(*pState));
        pState->DCBlength = kDcbLength;
        pState->BaudRate = SpeedToBaud(cfgetospeed(&tio));
        pState->fBinary = 1;
        pState->fParity = (tio.c_iflag & INPCK) != 0 ? 1 : 0;
#ifdef CRTSCTS
        pState->fOutxCtsFlow = (tio.c_cflag & CRTSCTS) != 0 ? 1 : 0;
#endif
        pState->fOutX = (tio.c_iflag & IXON) != 0 ? 1 : 0;
        pState->fInX = (tio.c_iflag & IXOFF) != 0 ? 1 : 0;
        int nModem = 0;
        if (ioctl(fd, TIOCMGET, &nModem) == 0) {
            pState->fDtrControl = (nModem & TIOCM_DTR) != 0 ? kDtrControlEnable : 0;
            pState->fRtsControl = (nModem & TIOCM_RTS) != 0 ? kRtsControlEnable : 0;
        }
        switch (tio.c_cflag & CSIZE) {
            case CS5:
                pState->ByteSize = 5;
                break;
            case CS6:
                pState->ByteSize = 6;
                break;
            case CS7:
                pState->ByteSize = 7;
                break;
            default:
                pState->ByteSize = 8;
                break;
        }
        if ((tio.c_cflag & PARENB) != 0) {
            pState->Parity = (tio.c_cflag & PARODD) != 0 ? 1 : kEvenParity;
        } else {
            pState->Parity = kNoParity;
        }
        pState->StopBits = (tio.c_cflag & CSTOPB) != 0 ? 2 : kOneStopBit;
        pState->XonChar = static_cast<char>(tio.c_cc[VSTART]);
        pState->XoffChar = static_cast<char>(tio.c_cc[VSTOP]);
        return true;
    }

    bool SetCommState(const CommState& state) override {
        speed_t speed;
        if (!BaudToSpeed(state.BaudRate, &speed)) {
            return false;
        }
        tcflag_t nSize;
        switch (state.ByteSize) {
            case 5:
                nSize = CS5;
                break;
            case 6:
                nSize = CS6;
                break;
            case 7:
                nSize = CS7;
                break;
            case 8:
                nSize = CS8;
                break;
            default:
                return false;
        }
        // Mark and space parity (3, 4), one and a half stop bits (1), DSR flow control and
        // DTR or RTS handshaking have no termios form: refused rather than approximated.
        if (state.Parity > 2 || (state.StopBits != kOneStopBit && state.StopBits != 2)) {
            return false;
        }
        if (state.fOutxDsrFlow != 0 || state.fDsrSensitivity != 0 || state.fDtrControl > 1 ||
            state.fRtsControl > 1) {
            return false;
        }
#ifndef CRTSCTS
        if (state.fOutxCtsFlow != 0) {
            return false;
        }
#endif
        struct termios tio;
        if (tcgetattr(fd, &tio) != 0) {
            return false;
        }
        MakeRawLine(&tio);
        tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB);
        tio.c_cflag |= nSize;
        if (state.Parity != kNoParity) {
            tio.c_cflag |= PARENB;
            if (state.Parity == 1) {
                tio.c_cflag |= PARODD;
            }
        }
        if (state.StopBits == 2) {
            tio.c_cflag |= CSTOPB;
        }
#ifdef CRTSCTS
        tio.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
        if (state.fOutxCtsFlow != 0) {
            tio.c_cflag |= CRTSCTS;
        }
#endif
        tio.c_iflag &= ~static_cast<tcflag_t>(INPCK | IGNPAR | PARMRK | IXON | IXOFF | IXANY);
        if (state.fParity != 0) {
            tio.c_iflag |= INPCK;
        }
        if (state.fOutX != 0) {
            tio.c_iflag |= IXON;
        }
        if (state.fInX != 0) {
            tio.c_iflag |= IXOFF;
        }
        tio.c_cc[VSTART] = static_cast<cc_t>(state.XonChar);
        tio.c_cc[VSTOP] = static_cast<cc_t>(state.XoffChar);
        if (cfsetispeed(&tio, speed) != 0 || cfsetospeed(&tio, speed) != 0) {
            return false;
        }
        if (tcsetattr(fd, TCSANOW, &tio) != 0) {
            return false;
        }
        // tcsetattr succeeds when any part was taken; a UART that cannot make the rate falls
        // back to another one, so the rate is read back.
        struct termios check;
        if (tcgetattr(fd, &check) != 0 || cfgetospeed(&check) != speed) {
            return false;
        }
        SetModemLine(fd, TIOCM_DTR, state.fDtrControl == kDtrControlEnable);
        SetModemLine(fd, TIOCM_RTS, state.fRtsControl == kRtsControlEnable);
        kept = state;
        bStateKept = true;
        return true;
    }

    // A peer that hung up (the pty's other side closed, the adapter unplugged) fails the poll,
    // as does a device that no longer answers FIONREAD.
    bool ClearCommError(uint32_t* pdwErrors, uint32_t* pcbInQue) override {
        if (HungUp()) {
            return false;
        }
        int nQueued = 0;
        if (ioctl(fd, FIONREAD, &nQueued) != 0) {
            return false;
        }
        uint32_t dwErrors = 0;
        LineErrorCounts counts;
        if (bHaveCounts && ReadLineErrorCounts(fd, &counts)) {
            if (counts.nFrame != lastCounts.nFrame) {
                dwErrors |= kCeFrame;
            }
            if (counts.nOverrun != lastCounts.nOverrun) {
                dwErrors |= kCeOverrun;
            }
            if (counts.nParity != lastCounts.nParity) {
                dwErrors |= kCeRxParity;
            }
            if (counts.nBreak != lastCounts.nBreak) {
                dwErrors |= kCeBreak;
            }
            if (counts.nBufOverrun != lastCounts.nBufOverrun) {
                dwErrors |= kCeRxOver;
            }
            lastCounts = counts;
        }
        if (pdwErrors != nullptr) {
            *pdwErrors = dwErrors;
        }
        if (pcbInQue != nullptr) {
            *pcbInQue = nQueued > 0 ? static_cast<uint32_t>(nQueued) : 0;
        }
        return true;
    }

    // Takes what is queued, up to nBytes, and never waits for more.
    bool ReadFile(void* pBuffer, uint32_t nBytes, uint32_t* pnRead) override {
        if (pnRead != nullptr) {
            *pnRead = 0;
        }
        if (nBytes == 0) {
            return true;
        }
        ssize_t nGot;
        do {
            nGot = read(fd, pBuffer, nBytes);
        } while (nGot < 0 && errno == EINTR);
        if (nGot < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            return false;
        }
        if (nGot <= 0) {
            // Nothing queued, or a line whose peer has gone (a pty then reads as empty).
            return !HungUp();
        }
        if (pnRead != nullptr) {
            *pnRead = static_cast<uint32_t>(nGot);
        }
        return true;
    }

    // Writes every byte, waiting for room in the output queue when it is full. As on Windows,
    // the write time-outs, when set, bound the whole write; all 0 means no time-out.
    bool WriteFile(const void* pData, uint32_t nBytes, uint32_t* pnWritten) override {
        const unsigned char* pBytes = static_cast<const unsigned char*>(pData);
        uint32_t nDone = 0;
        bool bOk = true;
        bool bDeadline =
            timeouts.WriteTotalTimeoutMultiplier != 0 || timeouts.WriteTotalTimeoutConstant != 0;
        uint64_t nLimitMs = static_cast<uint64_t>(timeouts.WriteTotalTimeoutMultiplier) * nBytes +
                            timeouts.WriteTotalTimeoutConstant;
        uint64_t nStart = MonotonicMs();
        while (nDone < nBytes) {
            ssize_t nPut = write(fd, pBytes + nDone, nBytes - nDone);
            if (nPut > 0) {
                nDone += static_cast<uint32_t>(nPut);
                continue;
            }
            if (nPut < 0 && errno == EINTR) {
                continue;
            }
            if (nPut < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
                bOk = false;
                break;
            }
            int nWaitMs = -1;
            if (bDeadline) {
                uint64_t nElapsed = MonotonicMs() - nStart;
                if (nElapsed >= nLimitMs) {
                    break;  // timed out: the count tells how far it got
                }
                uint64_t nLeft = nLimitMs - nElapsed;
                nWaitMs = nLeft > INT_MAX ? INT_MAX : static_cast<int>(nLeft);
            }
            struct pollfd pfd;
            pfd.fd = fd;
            pfd.events = POLLOUT;
            pfd.revents = 0;
            int nReady = poll(&pfd, 1, nWaitMs);
            if (nReady < 0 && errno != EINTR) {
                bOk = false;
                break;
            }
            if (nReady > 0 && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
                bOk = false;
                break;
            }
        }
        if (pnWritten != nullptr) {
            *pnWritten = nDone;
        }
        return bOk;
    }

    bool FlushFileBuffers() override {
        int nResult;
        do {
            nResult = tcdrain(fd);
        } while (nResult != 0 && errno == EINTR);
        return nResult == 0;
    }

    // poll() reports input as soon as any byte is queued, so with bytes already waiting it
    // would return at once and the caller's wait would spin. Then the wait looks for the count
    // to grow, 1 ms at a time, as the Windows side sleeps 1 ms between polls.
    void WaitForInput(uint32_t nMs) override {
        int nQueued = 0;
        if (ioctl(fd, FIONREAD, &nQueued) != 0 || nQueued <= 0) {
            struct pollfd pfd;
            pfd.fd = fd;
            pfd.events = POLLIN;
            pfd.revents = 0;
            (void)poll(&pfd, 1, nMs > INT_MAX ? INT_MAX : static_cast<int>(nMs));
            return;  // EINTR ends the wait early; the caller polls and waits again
        }
        uint64_t nStart = MonotonicMs();
        for (;;) {
            uint64_t nElapsed = MonotonicMs() - nStart;
            if (nElapsed >= nMs) {
                return;
            }
            struct pollfd pfd;
            pfd.fd = fd;
            pfd.events = 0;  // only a hang-up or an error ends this step early
            pfd.revents = 0;
            if (poll(&pfd, 1, 1) > 0) {
                return;
            }
            int nNow = 0;
            if (ioctl(fd, FIONREAD, &nNow) != 0 || nNow != nQueued) {
                return;
            }
        }
    }

  private:
    // True when the peer hung up or the device reports an error (or cannot be polled).
    bool HungUp() {
        struct pollfd pfd;
        pfd.fd = fd;
        pfd.events = 0;
        pfd.revents = 0;
        int nReady;
        do {
            nReady = poll(&pfd, 1, 0);
        } while (nReady < 0 && errno == EINTR);
        return nReady < 0 || (nReady > 0 && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0);
    }

    int fd;
    bool bStateKept;
    CommState kept;
    CommTimeouts timeouts;
    bool bHaveCounts;
    LineErrorCounts lastCounts;
};

class PosixSerialBusImpl : public SerialBus {
  public:
    // The exclusive open of Windows: TIOCEXCL turns away other openers (but not root), and the
    // flock, which binds root too, turns away a second ArmLink or any program that locks the
    // port the same way. The lock comes before any change to the line, so the holder's
    // settings stay untouched.
    SerialDevice* Open(unsigned nPort, PortOpenFailure* pFailure) override {
        char szPath[kPortPathSize];
        if (!ResolvePortPath(nPort, szPath, sizeof(szPath))) {
            ReportOpenFailure(pFailure, "", (nPort >= 1 && nPort <= 4) ? ENAMETOOLONG : ENODEV);
            return nullptr;
        }
        int fd = open(szPath, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            ReportOpenFailure(pFailure, szPath, errno);
            return nullptr;
        }
        int nFailure = 0;
        struct termios tio;
        if (!isatty(fd)) {
            nFailure = ENOTTY;
        } else if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            nFailure = (errno == EWOULDBLOCK || errno == EAGAIN) ? EBUSY : errno;
        } else if (tcgetattr(fd, &tio) != 0) {
            nFailure = errno;
        } else {
            (void)ioctl(fd, TIOCEXCL);
            MakeRawLine(&tio);
            if (tcsetattr(fd, TCSANOW, &tio) != 0) {
                nFailure = errno;
            }
        }
        PosixSerialDevice* pDevice = nullptr;
        if (nFailure == 0) {
            pDevice = new (std::nothrow) PosixSerialDevice(fd);
            if (pDevice == nullptr) {
                nFailure = ENOMEM;
            }
        }
        if (nFailure != 0) {
            (void)close(fd);
            ReportOpenFailure(pFailure, szPath, nFailure);
            return nullptr;
        }
        return pDevice;
    }
};

}  // namespace

bool ResolvePortPath(unsigned nPort, char* szPath, size_t cchPath) {
    if (szPath == nullptr || cchPath == 0) {
        return false;
    }
    szPath[0] = '\0';
    if (nPort < 1 || nPort > 4) {
        return false;
    }
    char szVariable[32];
    snprintf(szVariable, sizeof(szVariable), "ARMLINK_COM%u", nPort);
    const char* szMapped = getenv(szVariable);
    if (szMapped != nullptr && szMapped[0] != '\0') {
        size_t nLength = strlen(szMapped);
        if (nLength >= cchPath) {
            return false;
        }
        memcpy(szPath, szMapped, nLength + 1);
        return true;
    }
    if (ReadPortsEntry(nPort, szPath, cchPath)) {
        return true;
    }
    int nLength = snprintf(szPath, cchPath, "/dev/ttyS%u", nPort - 1);
    if (nLength < 0 || static_cast<size_t>(nLength) >= cchPath) {
        szPath[0] = '\0';
        return false;
    }
    return true;
}

SerialBus* PosixSerialBus() {
    static PosixSerialBusImpl bus;
    return &bus;
}
