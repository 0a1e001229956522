// COM ports on a network serial server: the address a port may map to instead of a device path,
// the device that talks to the server through gensio, and the look `--ports` takes at a server.
#ifndef ARMLINK_PLATFORM_POSIX_NETWORK_PORT_H
#define ARMLINK_PLATFORM_POSIX_NETWORK_PORT_H

#include <cstddef>

class SerialDevice;
struct PortOpenFailure;

enum NetworkKind {
    kNotNetwork,      // no "scheme://" in front: a device path
    kNetworkRfc2217,  // rfc2217://HOST:PORT, the line set through the server (RFC 2217)
    kNetworkRawTcp,   // tcp://HOST:PORT, raw bytes; the server keeps its own line settings
    kNetworkBad,      // a "scheme://" text that is not one of the two
};

struct NetworkAddress {
    NetworkKind kind;
    char szHost[256];  // a name, an IPv4 address, or an IPv6 address without its brackets
    unsigned nPort;    // 1 to 65535
};

// Reads szText as a port address. HOST is a name, an IPv4 address or a bracketed IPv6 address
// ([::1]); PORT 1 to 65535. For kNetworkBad, szWhy says in a few words what is wrong.
NetworkKind ParseNetworkAddress(const char* szText, NetworkAddress* pAddress, char* szWhy,
                                size_t cchWhy);

// Connects to the server within 3 s; nullptr with *pFailure (szDevice the address szText, the
// reason in words: "name not resolved", "refused", ...) when it does not.
SerialDevice* OpenNetworkPort(const NetworkAddress& address, const char* szText,
                              PortOpenFailure* pFailure);

// The kind of server and whether it accepts a connection now: a connect with a 2 s limit,
// closed at once, nothing sent. True when it accepts.
bool CheckNetworkPort(const NetworkAddress& address, char* szText, size_t cchText);

#endif
