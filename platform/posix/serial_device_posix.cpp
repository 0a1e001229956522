// The POSIX serial device: COMn opened exclusively on the terminal device it maps to, in raw
// mode, its line programmed through termios and put back as it was found when it closes; or,
// when COMn maps to an address, the network port of network_port_posix.cpp.
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <stdio.h>
#include <string.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#if defined(__linux__)
#include <linux/serial.h>
#endif

#include <new>

#include "common/serial_device.h"
#include "platform/posix/network_port.h"
#include "platform/posix/port_check.h"
#include "platform/posix/posix_platform.h"

namespace {

// The device's own input queue: the poll moves what the kernel holds into it.
constexpr uint32_t kQueueSize = 4096;
constexpr size_t kPortPathSize = 512;

void ReportOpenFailure(PortOpenFailure* pFailure, const char* szPath, int nErrno) {
    snprintf(pFailure->szDevice, sizeof pFailure->szDevice, "%s", szPath);
    DescribePortFailure(szPath, nErrno, pFailure->szReason, sizeof pFailure->szReason);
}

// The rates of the search's table; a stored setting is made safe to one of them.
struct BaudSpeed {
    uint32_t nBaud;
    speed_t speed;
};
const BaudSpeed kBaudSpeeds[] = {{4800, B4800},   {9600, B9600},   {19200, B19200},
                                 {38400, B38400}, {57600, B57600}, {115200, B115200}};

// Raw mode: no echo, no line editing, no translation of CR or LF, no signals, no flow control;
// the receiver on and the modem status lines ignored. The descriptor does not block, so a read
// returns what is queued at once; with VMIN 1 an empty queue fails with EAGAIN, and a read that
// returns 0 means the line hung up.
void MakeRawLine(struct termios* pTio) {
    cfmakeraw(pTio);
    pTio->c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    pTio->c_cflag = (pTio->c_cflag & ~static_cast<tcflag_t>(CRTSCTS)) | CLOCAL | CREAD;
    pTio->c_cc[VMIN] = 1;
    pTio->c_cc[VTIME] = 0;
}

// The sum of the UART driver's line-error counters; ptys and many USB adapters have none.
bool ReadErrorCount(int fd, uint64_t* pnCount) {
#if defined(__linux__) && defined(TIOCGICOUNT)
    struct serial_icounter_struct icount;
    memset(&icount, 0, sizeof icount);
    if (ioctl(fd, TIOCGICOUNT, &icount) != 0) {
        return false;
    }
    *pnCount = 0ull + static_cast<unsigned>(icount.frame) + static_cast<unsigned>(icount.overrun) +
               static_cast<unsigned>(icount.parity) + static_cast<unsigned>(icount.brk) +
               static_cast<unsigned>(icount.buf_overrun);
    return true;
#else
    (void)fd;
    (void)pnCount;
    return false;
#endif
}

constexpr short kGoneEvents = POLLHUP | POLLERR | POLLNVAL;

// poll() on one descriptor for at most nMs (negative: no limit), a signal's interruption
// retried with the time that is left. Returns what it reported, POLLERR when it failed.
short PollFor(int fd, short nEvents, int64_t nMs) {
    uint64_t nEnd = MonotonicMs() + static_cast<uint64_t>(nMs);
    for (;;) {
        uint64_t nNow = MonotonicMs();
        uint64_t nLeft = nEnd > nNow ? nEnd - nNow : 0;
        struct pollfd pfd = {fd, nEvents, 0};
        int nReady =
            poll(&pfd, 1, nMs < 0 ? -1 : static_cast<int>(nLeft < INT_MAX ? nLeft : INT_MAX));
        if (nReady >= 0 || errno != EINTR) {
            return nReady < 0 ? POLLERR : pfd.revents;
        }
    }
}

// Root passes TIOCEXCL: another holder's exclusive mode is asked, where the system tells it.
bool HeldExclusively(int fd) {
    int nExclusive = 0;
#ifdef TIOCGEXCL
    (void)ioctl(fd, TIOCGEXCL, &nExclusive);
#endif
    return nExclusive != 0;
}

// True when the device hung up (a pty's other side closed, an adapter unplugged) or fails.
bool Gone(int fd) {
    return (PollFor(fd, 0, 0) & kGoneEvents) != 0;
}

class PosixSerialDevice : public SerialDevice {
  public:
    PosixSerialDevice(int fdDevice, const struct termios& found)
        : fd(fdDevice), saved(found), nQueued(0), nLastErrors(0) {
        // Raw at once: nothing the arm sends is echoed or edited before the line is programmed.
        struct termios raw = found;
        MakeRawLine(&raw);
        (void)tcsetattr(fd, TCSANOW, &raw);
        (void)ioctl(fd, TIOCEXCL);
        // Errors counted before the port was ours are not this run's.
        bHaveCounts = ReadErrorCount(fd, &nLastErrors);
    }

    // The line goes back to what it was before ArmLink opened it, unless the device has gone.
    ~PosixSerialDevice() override {
        if (!Gone(fd)) {
            (void)tcsetattr(fd, TCSANOW, &saved);
        }
        (void)ioctl(fd, TIOCNXCL);
        (void)flock(fd, LOCK_UN);
        (void)close(fd);
    }

    bool SetLine(uint32_t nBaud, char cParity, uint8_t nDataBits) override {
        const BaudSpeed* pRate = nullptr;
        for (const BaudSpeed& entry : kBaudSpeeds) {
            pRate = entry.nBaud == nBaud ? &entry : pRate;
        }
        struct termios tio;
        if (pRate == nullptr || (nDataBits != 7 && nDataBits != 8) || tcgetattr(fd, &tio) != 0) {
            return false;
        }
        MakeRawLine(&tio);
        tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB);
        tio.c_cflag |= (nDataBits == 7 ? CS7 : CS8) | (cParity != 'n' ? PARENB : 0);
        // Parity is checked whenever a parity bit is used; a bad one counts as a line error.
        tio.c_iflag = (tio.c_iflag & ~static_cast<tcflag_t>(IGNPAR | PARMRK)) | INPCK;
        // tcsetattr succeeds when any part was taken: the rate read back shows a fallback.
        struct termios check;
        if (cfsetispeed(&tio, pRate->speed) != 0 || cfsetospeed(&tio, pRate->speed) != 0 ||
            tcsetattr(fd, TCSANOW, &tio) != 0 || tcgetattr(fd, &check) != 0 ||
            cfgetospeed(&check) != pRate->speed) {
            return false;
        }
        // DTR and RTS raised and held. A pty has no modem lines: that failure means nothing.
        int nLines = TIOCM_DTR | TIOCM_RTS;
        (void)ioctl(fd, TIOCMBIS, &nLines);
        return true;
    }

    void Purge() override {
        (void)tcflush(fd, TCIOFLUSH);
        nQueued = 0;
    }

    bool Poll(bool* pbLineError, uint32_t* pnQueued) override {
        uint32_t nBefore = nQueued;
        bool bFilled = Fill();
        // Bytes that just came show the line alive, and so does an empty queue (EAGAIN): only a
        // read that found the end of the line asks the system whether it hung up (a hang-up
        // with bytes still on the way shows at the poll after them).
        if (!bFilled || (nQueued == nBefore && !bEmpty && Gone(fd))) {
            // What arrived before the line went dead is still the arm's reply: it is handed out,
            // and only a dead line with nothing left fails the poll.
            bDead = true;
            if (nQueued == 0) {
                return false;
            }
            *pbLineError = false;
            *pnQueued = nQueued;
            return true;
        }
        uint64_t nErrors = nLastErrors;
        if (bHaveCounts) {
            (void)ReadErrorCount(fd, &nErrors);  // a failed read leaves the count as it was
        }
        *pbLineError = nErrors != nLastErrors;
        nLastErrors = nErrors;
        *pnQueued = nQueued;
        return true;
    }

    // Takes what is queued, topped up with what the kernel has received since the last poll
    // when the queue holds less than asked; never waits.
    uint32_t Read(char* pBuffer, uint32_t nBytes) override {
        uint32_t nWanted = nBytes < kQueueSize ? nBytes : kQueueSize;
        if (nQueued < nWanted) {
            (void)Fill();
        }
        uint32_t n = nQueued < nWanted ? nQueued : nWanted;
        memcpy(pBuffer, queue, n);
        memmove(queue, queue + n, nQueued - n);
        nQueued -= n;
        return n;
    }

    // Waits for room when the output queue is full: no time-out, but a hang-up ends the write.
    uint32_t WriteAndDrain(const char* pData, uint32_t nBytes) override {
        uint32_t nDone = 0;
        bool bOk = true;
        while (bOk && nDone < nBytes) {
            ssize_t nPut = write(fd, pData + nDone, nBytes - nDone);
            if (nPut > 0) {
                nDone += static_cast<uint32_t>(nPut);
            } else if (nPut == 0 || (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)) {
                bOk = false;
            } else if (errno != EINTR) {
                bOk = (PollFor(fd, POLLOUT, -1) & kGoneEvents) == 0;
            }
        }
        while (tcdrain(fd) != 0 && errno == EINTR) {
        }
        return bOk ? nDone : 0;
    }

    // The poll has moved every byte the kernel held into the device's queue, so poll() sleeps
    // until bytes come that were not there then. A dead line brings nothing more: with its
    // last bytes still queued the wait sleeps its time; with none the next poll fails anyway.
    void WaitForInput(uint32_t nMs) override {
        if (!bDead || nQueued != 0) {
            (void)PollFor(bDead ? -1 : fd, POLLIN, nMs);
        }
    }

  private:
    // Moves what the kernel has received into the device's queue; false when the read fails.
    // bEmpty tells whether the kernel said that it held nothing more.
    bool Fill() {
        bEmpty = false;
        while (nQueued < kQueueSize) {
            uint32_t nRoom = kQueueSize - nQueued;
            ssize_t nGot = read(fd, queue + nQueued, nRoom);
            if (nGot > 0) {
                nQueued += static_cast<uint32_t>(nGot);
                if (static_cast<uint32_t>(nGot) < nRoom) {
                    bEmpty = true;  // a short read took all the kernel held
                    return true;
                }
            } else if (nGot < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                bEmpty = true;
                return true;
            } else if (nGot == 0 || errno != EINTR) {
                return nGot == 0;  // 0: the end of the line, which the poll looks into
            }
        }
        return true;
    }

    int fd;
    struct termios saved;  // the line as it was found at open
    uint32_t nQueued;
    bool bDead = false;   // the line has hung up or the device has gone
    bool bEmpty = false;  // the last Fill left nothing in the kernel
    bool bHaveCounts;
    uint64_t nLastErrors;
    char queue[kQueueSize];
};

class PosixSerialBusImpl : public SerialBus {
  public:
    // The exclusive open: the flock, which binds root too, turns away a second ArmLink or any
    // program that locks the port the same way, TIOCEXCL other openers. Both are looked at
    // before any change to the line, so a refused open leaves the holder's line as it is.
    SerialDevice* Open(unsigned nPort, PortOpenFailure* pFailure) override {
        char szPath[kPortPathSize];
        if (!ResolvePortPath(nPort, szPath, sizeof szPath)) {
            ReportOpenFailure(pFailure, "", ENODEV);
            if (nPort >= 1 && nPort <= 4) {
                snprintf(pFailure->szReason, sizeof pFailure->szReason, "%s",
                         "no device is mapped to it (armlink --ports lists the map)");
            }
            return nullptr;
        }
        // An address instead of a path: the port is on a network serial server.
        NetworkAddress address;
        switch (
            ParseNetworkAddress(szPath, &address, pFailure->szReason, sizeof pFailure->szReason)) {
            case kNotNetwork:
                break;
            case kNetworkBad:
                snprintf(pFailure->szDevice, sizeof pFailure->szDevice, "%s", szPath);
                return nullptr;
            default:
                return OpenNetworkPort(address, szPath, pFailure);
        }
        int fd = open(szPath, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            ReportOpenFailure(pFailure, szPath, errno);
            return nullptr;
        }
        int nFailure = 0;
        struct termios found;
        if (!isatty(fd)) {
            nFailure = ENOTTY;
        } else if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            nFailure = (errno == EWOULDBLOCK || errno == EAGAIN) ? EBUSY : errno;
        } else if (HeldExclusively(fd)) {
            nFailure = EBUSY;
        } else if (tcgetattr(fd, &found) != 0) {
            nFailure = errno;
        }
        PosixSerialDevice* pDevice =
            nFailure == 0 ? new (std::nothrow) PosixSerialDevice(fd, found) : nullptr;
        if (pDevice == nullptr) {
            (void)close(fd);
            ReportOpenFailure(pFailure, szPath, nFailure != 0 ? nFailure : ENOMEM);
            return nullptr;
        }
        return pDevice;
    }
};

}  // namespace

SerialBus* PosixSerialBus() {
    static PosixSerialBusImpl bus;
    return &bus;
}
