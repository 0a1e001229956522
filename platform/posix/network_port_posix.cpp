// A COM port on a network serial server, reached through gensio: its telnet client with RFC 2217
// carries the line settings and purges to the server's serial port; raw TCP carries bytes only.
#include <ctype.h>
#include <gensio/gensio.h>
#include <gensio/gensio_os_funcs_public.h>
#include <gensio/sergensio.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <new>

#include "common/serial_device.h"
#include "platform/posix/network_port.h"
#include "platform/posix/posix_platform.h"

namespace {

constexpr uint32_t kQueueSize = 4096;
constexpr uint32_t kConnectMs = 3000;
constexpr uint32_t kProbeMs = 2000;
// How long the server may take to confirm line settings, and to see a close through.
constexpr uint32_t kAnswerMs = 1000;
constexpr unsigned kLineErrors = SERGENSIO_LINESTATE_OVERRUN_ERR | SERGENSIO_LINESTATE_PARITY_ERR |
                                 SERGENSIO_LINESTATE_FRAMING_ERR | SERGENSIO_LINESTATE_BREAK;

bool Fail(char* szWhy, size_t cchWhy, const char* szText) {
    snprintf(szWhy, cchWhy, "%s", szText);
    return false;
}

// HOST:PORT after the scheme; the host is copied without brackets.
bool ParseHostPort(const char* szRest, NetworkAddress* pAddress, char* szWhy, size_t cchWhy) {
    const char* szHost = szRest;
    const char* szHostEnd = nullptr;
    const char* szColon = nullptr;
    if (szRest[0] == '[') {
        szHost = szRest + 1;
        szHostEnd = strchr(szHost, ']');
        if (szHostEnd == nullptr || szHostEnd[1] != ':') {
            return Fail(szWhy, cchWhy,
                        szHostEnd == nullptr ? "no closing ] after the IPv6 address"
                                             : "no :PORT after the host");
        }
        if (strspn(szHost, "0123456789abcdefABCDEF:.") != static_cast<size_t>(szHostEnd - szHost) ||
            memchr(szHost, ':', static_cast<size_t>(szHostEnd - szHost)) == nullptr) {
            return Fail(szWhy, cchWhy, "not an IPv6 address between [ and ]");
        }
        szColon = szHostEnd + 1;
    } else {
        szColon = strchr(szRest, ':');
        if (szColon != nullptr && strchr(szColon + 1, ':') != nullptr) {
            return Fail(szWhy, cchWhy, "an IPv6 address goes between brackets, as [::1]");
        }
        szHostEnd = szColon != nullptr ? szColon : szRest + strlen(szRest);
        size_t nName = strspn(szHost,
                              "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                              "0123456789-._");
        if (nName != static_cast<size_t>(szHostEnd - szHost)) {
            return Fail(szWhy, cchWhy, "not a host name or address");
        }
    }
    size_t nHost = static_cast<size_t>(szHostEnd - szHost);
    if (nHost == 0 || nHost >= sizeof pAddress->szHost) {
        return Fail(szWhy, cchWhy, nHost == 0 ? "no host" : "the host name is too long");
    }
    if (szColon == nullptr || szColon[1] == '\0') {
        return Fail(szWhy, cchWhy, "no :PORT after the host");
    }
    size_t nDigits = strspn(szColon + 1, "0123456789");
    unsigned long nPort = strtoul(szColon + 1, nullptr, 10);
    if (nDigits == 0 || szColon[1 + nDigits] != '\0' || nDigits > 5 || nPort < 1 || nPort > 65535) {
        return Fail(szWhy, cchWhy, "the port must be a number from 1 to 65535");
    }
    memcpy(pAddress->szHost, szHost, nHost);
    pAddress->szHost[nHost] = '\0';
    pAddress->nPort = static_cast<unsigned>(nPort);
    return true;
}

// The one set of operating-system handlers of the process, made at the first use. No wake
// signal: a device is used by one thread at a time and every wait runs in the thread that
// waits, so no thread has to wake another, and ArmLink's own signal handling stays as it is.
gensio_os_funcs* OsHandlers() {
    static gensio_os_funcs* s_pOs = [] {
        gensio_os_funcs* pOs = nullptr;
        return gensio_default_os_hnd(0, &pOs) == 0 ? pOs : nullptr;
    }();
    return s_pOs;
}

// Runs the handlers' events (arrivals, answers, timers) until bDone says so or nMs pass,
// sleeping in the selector meanwhile. With nMs 0, only what is ready now is handled.
template <typename Done>
bool ServiceUntil(gensio_os_funcs* pOs, uint32_t nMs, Done bDone) {
    uint64_t nEnd = MonotonicMs() + nMs;
    for (int nPasses = 0; !bDone(); ++nPasses) {
        uint64_t nNow = MonotonicMs();
        uint64_t nLeft = nEnd > nNow ? nEnd - nNow : 0;
        if (nLeft == 0 && nPasses > 64) {
            return false;
        }
        gensio_time left = {static_cast<int64_t>(nLeft / 1000),
                            static_cast<int32_t>(nLeft % 1000 * 1000000)};
        if (gensio_os_funcs_service(pOs, &left) == GE_TIMEDOUT && nLeft == 0) {
            return bDone();
        }
    }
    return true;
}

const char* ConnectFailureText(int nError) {
    switch (nError) {
        case GE_CONNREFUSE:
            return "refused";
        case GE_TIMEDOUT:
            return "no answer within 3 s";
        case GE_REMCLOSE:
            return "closed by the server";
        case GE_NOTFOUND:
            return "name not resolved";
        default:
            return gensio_err_to_str(nError);
    }
}

// The gensio of an address: the telnet client speaking RFC 2217 over TCP, or TCP alone (the
// look of --ports uses TCP alone for both, so that nothing is sent).
bool MakeGensio(const NetworkAddress& address, bool bTelnet, gensio_event pfnEvent, void* pData,
                gensio** ppIo, int* pnError) {
    char szSpec[320];
    snprintf(szSpec, sizeof szSpec, "%s%s,%s,%u", bTelnet ? "telnet(rfc2217),tcp" : "tcp",
             strchr(address.szHost, ':') != nullptr ? ",ipv6" : "", address.szHost, address.nPort);
    gensio_os_funcs* pOs = OsHandlers();
    *pnError = pOs == nullptr ? GE_NOMEM : str_to_gensio(szSpec, pOs, pfnEvent, pData, ppIo);
    // The name is looked up as the gensio is made: a failure here is the name's.
    if (*pnError != 0 && *pnError != GE_NOMEM) {
        *pnError = GE_NOTFOUND;
    }
    return *pnError == 0;
}

// One connection to the server. Every callback runs inside ServiceUntil, in the thread that
// uses the device, so the fields need no lock.
class NetworkSerialDevice : public SerialDevice {
  public:
    ~NetworkSerialDevice() override {
        if (pIo == nullptr) {
            return;
        }
        gensio_set_read_callback_enable(pIo, false);
        if (gensio_close(pIo, OnClosed, this) == 0) {
            (void)ServiceUntil(pOs, kAnswerMs, [this] { return bClosed; });
        }
        gensio_free(pIo);
    }

    // Connects within nMs; *pnError is gensio's reason when it does not. A probe connects with
    // TCP alone, so that nothing is sent.
    bool Connect(const NetworkAddress& address, uint32_t nMs, bool bProbe, int* pnError) {
        bool bTelnet = address.kind == kNetworkRfc2217 && !bProbe;
        pOs = OsHandlers();
        if (!MakeGensio(address, bTelnet, OnEvent, this, &pIo, pnError)) {
            pIo = nullptr;
            return false;
        }
        nOpenResult = GE_INPROGRESS;
        *pnError = gensio_open(pIo, OnOpened, this);
        if (*pnError == 0 &&
            !ServiceUntil(pOs, nMs, [this] { return nOpenResult != GE_INPROGRESS; })) {
            *pnError = GE_TIMEDOUT;
        } else if (*pnError == 0) {
            *pnError = nOpenResult;
        }
        if (*pnError != 0) {
            return false;
        }
        pSerial = bTelnet ? gensio_to_sergensio(pIo) : nullptr;
        if (pSerial != nullptr) {
            // The server reports line errors as RFC 2217 line states, where it can.
            (void)sergensio_linestate(pSerial, kLineErrors);
        }
        gensio_set_read_callback_enable(pIo, true);
        return true;
    }

    // Through RFC 2217 the server programs its port and answers with what it took; the rate is
    // what shows it took the settings (a pty behind the server keeps 8 bits without parity).
    // DTR and RTS are not asked for: the server raises them as it opens its port and holds
    // them, and a request for them that a port without modem lines never answers (ser2net in
    // front of a pty) holds up the answers to every later setting. Raw TCP leaves the line to
    // the server: taken as it stands.
    bool SetLine(uint32_t nBaud, char cParity, uint8_t nDataBits) override {
        if (pSerial == nullptr) {
            return !bDead;
        }
        nAnswers = 0;
        nAnswerBaud = 0;
        unsigned nAsked = 0;
        nAsked += sergensio_baud(pSerial, nBaud, OnBaud, this) == 0;
        nAsked += sergensio_datasize(pSerial, nDataBits, OnAnswer, this) == 0;
        nAsked += sergensio_parity(pSerial,
                                   cParity == 'n' ? SERGENSIO_PARITY_NONE : SERGENSIO_PARITY_EVEN,
                                   OnAnswer, this) == 0;
        nAsked += sergensio_stopbits(pSerial, 1, OnAnswer, this) == 0;
        nAsked += sergensio_flowcontrol(pSerial, SERGENSIO_FLOWCONTROL_NONE, OnAnswer, this) == 0;
        (void)ServiceUntil(pOs, kAnswerMs, [this, nAsked] { return nAnswers >= nAsked || bDead; });
        return !bDead && nAnswerBaud == nBaud;
    }

    // The server empties its port's queues; what has reached this side is dropped here.
    void Purge() override {
        if (pSerial != nullptr) {
            (void)sergensio_flush(pSerial, SERGENSIO_FLUSH_RCV_XMIT_BUFFERS);
        }
        ServiceNow();
        nQueued = 0;
        gensio_set_read_callback_enable(pIo, !bDead);
    }

    // A dropped connection is a device gone, once its last bytes have been read.
    bool Poll(bool* pbLineError, uint32_t* pnQueued) override {
        ServiceNow();
        if (bDead && nQueued == 0) {
            return false;
        }
        *pbLineError = bLineError;
        bLineError = false;
        *pnQueued = nQueued;
        return true;
    }

    uint32_t Read(char* pBuffer, uint32_t nBytes) override {
        ServiceNow();
        uint32_t n = nQueued < nBytes ? nQueued : nBytes;
        memcpy(pBuffer, queue, n);
        memmove(queue, queue + n, nQueued - n);
        nQueued -= n;
        gensio_set_read_callback_enable(pIo, !bDead);
        return n;
    }

    // The bytes are handed to the connection and pushed out before the call returns.
    uint32_t WriteAndDrain(const char* pData, uint32_t nBytes) override {
        uint32_t nDone = 0;
        while (!bDead && nDone < nBytes) {
            gensiods nPut = 0;
            if (gensio_write(pIo, &nPut, pData + nDone, nBytes - nDone, nullptr) != 0) {
                bDead = true;
                break;
            }
            nDone += static_cast<uint32_t>(nPut);
            if (nDone < nBytes) {
                bWritable = false;
                gensio_set_write_callback_enable(pIo, true);
                if (!ServiceUntil(pOs, kAnswerMs, [this] { return bWritable || bDead; })) {
                    break;
                }
            }
        }
        ServiceNow();
        return !bDead && nDone == nBytes ? nDone : 0;
    }

    // Sleeps in the selector until bytes arrive or nMs pass. A dropped connection brings
    // nothing more: with its last bytes queued the wait sleeps its time.
    void WaitForInput(uint32_t nMs) override {
        if (bDead) {
            if (nQueued != 0) {
                (void)poll(nullptr, 0, static_cast<int>(nMs));
            }
            return;
        }
        bNewInput = false;
        (void)ServiceUntil(pOs, nMs, [this] { return bNewInput || bDead; });
    }

  private:
    void ServiceNow() {
        (void)ServiceUntil(pOs, 0, [] { return false; });
    }

    static int OnEvent(gensio*, void* pData, int nEvent, int nError, unsigned char* pBuffer,
                       gensiods* pnLength, const char* const*) {
        NetworkSerialDevice* pThis = static_cast<NetworkSerialDevice*>(pData);
        switch (nEvent) {
            case GENSIO_EVENT_READ:
                return pThis->Arrived(nError, pBuffer, pnLength);
            case GENSIO_EVENT_WRITE_READY:
                pThis->bWritable = true;
                gensio_set_write_callback_enable(pThis->pIo, false);
                return 0;
            case GENSIO_EVENT_SER_LINESTATE:
                pThis->LineState(pBuffer, pnLength);
                return 0;
            default:
                return GE_NOTSUP;
        }
    }

    // A notice of the line's state: only its error bits count.
    void LineState(const unsigned char* pBuffer, const gensiods* pnLength) {
        unsigned nState = 0;
        if (pBuffer != nullptr && pnLength != nullptr && *pnLength >= sizeof nState) {
            memcpy(&nState, pBuffer, sizeof nState);
        }
        bLineError = bLineError || (nState & kLineErrors) != 0;
    }

    // Takes what fits in the queue; a full queue stops the reads until Read makes room.
    int Arrived(int nError, const unsigned char* pBuffer, gensiods* pnLength) {
        if (nError != 0) {
            bDead = true;
            gensio_set_read_callback_enable(pIo, false);
            return 0;
        }
        gensiods nTake = *pnLength < kQueueSize - nQueued ? *pnLength : kQueueSize - nQueued;
        memcpy(queue + nQueued, pBuffer, nTake);
        nQueued += static_cast<uint32_t>(nTake);
        *pnLength = nTake;
        bNewInput = bNewInput || nTake != 0;
        if (nQueued == kQueueSize) {
            gensio_set_read_callback_enable(pIo, false);
        }
        return 0;
    }

    static void OnOpened(gensio*, int nError, void* pData) {
        static_cast<NetworkSerialDevice*>(pData)->nOpenResult = nError;
    }
    static void OnClosed(gensio*, void* pData) {
        static_cast<NetworkSerialDevice*>(pData)->bClosed = true;
    }
    static void OnBaud(sergensio*, int nError, unsigned nValue, void* pData) {
        NetworkSerialDevice* pThis = static_cast<NetworkSerialDevice*>(pData);
        pThis->nAnswerBaud = nError == 0 ? nValue : 0;
        ++pThis->nAnswers;
    }
    static void OnAnswer(sergensio*, int, unsigned, void* pData) {
        ++static_cast<NetworkSerialDevice*>(pData)->nAnswers;
    }

    gensio_os_funcs* pOs = nullptr;
    gensio* pIo = nullptr;
    sergensio* pSerial = nullptr;
    int nOpenResult = 0;
    bool bClosed = false;
    bool bDead = false;  // the server closed the connection, or it broke
    bool bLineError = false;
    bool bNewInput = false;
    bool bWritable = false;
    unsigned nAnswers = 0;
    unsigned nAnswerBaud = 0;
    uint32_t nQueued = 0;
    char queue[kQueueSize];
};

}  // namespace

NetworkKind ParseNetworkAddress(const char* szText, NetworkAddress* pAddress, char* szWhy,
                                size_t cchWhy) {
    size_t nScheme = 0;
    while (isalnum(static_cast<unsigned char>(szText[nScheme])) || szText[nScheme] == '+' ||
           szText[nScheme] == '-' || szText[nScheme] == '.') {
        ++nScheme;
    }
    if (nScheme == 0 || strncmp(szText + nScheme, "://", 3) != 0) {
        return pAddress->kind = kNotNetwork;
    }
    pAddress->kind = kNetworkBad;
    if (nScheme == 7 && strncasecmp(szText, "rfc2217", 7) == 0) {
        pAddress->kind = kNetworkRfc2217;
    } else if (nScheme == 3 && strncasecmp(szText, "tcp", 3) == 0) {
        pAddress->kind = kNetworkRawTcp;
    } else {
        Fail(szWhy, cchWhy, "unknown kind of address (rfc2217:// or tcp://)");
        return kNetworkBad;
    }
    if (!ParseHostPort(szText + nScheme + 3, pAddress, szWhy, cchWhy)) {
        pAddress->kind = kNetworkBad;
    }
    return pAddress->kind;
}

SerialDevice* OpenNetworkPort(const NetworkAddress& address, const char* szText,
                              PortOpenFailure* pFailure) {
    NetworkSerialDevice* pDevice = new (std::nothrow) NetworkSerialDevice();
    int nError = GE_NOMEM;
    if (pDevice != nullptr && pDevice->Connect(address, kConnectMs, false, &nError)) {
        return pDevice;
    }
    delete pDevice;
    snprintf(pFailure->szDevice, sizeof pFailure->szDevice, "%s", szText);
    snprintf(pFailure->szReason, sizeof pFailure->szReason, "%s", ConnectFailureText(nError));
    return nullptr;
}

bool CheckNetworkPort(const NetworkAddress& address, char* szText, size_t cchText) {
    const char* szKind = address.kind == kNetworkRfc2217 ? "RFC 2217" : "raw TCP";
    NetworkSerialDevice probe;
    int nError = 0;
    bool bAccepts = probe.Connect(address, kProbeMs, true, &nError);
    snprintf(szText, cchText, "%s, %s", szKind,
             bAccepts
                 ? "accepts connections"
                 : (nError == GE_TIMEDOUT ? "no answer within 2 s" : ConnectFailureText(nError)));
    return bAccepts;
}
