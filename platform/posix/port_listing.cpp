// The port listing: the map in force and the state of each device.
#include "platform/posix/port_listing.h"

#include <limits.h>

#include "platform/posix/network_port.h"
#include "platform/posix/port_check.h"
#include "platform/posix/port_scan.h"
#include "platform/posix/posix_platform.h"

namespace {

const char* SourceText(unsigned nPort, PortSource source, char* szText, size_t cchText) {
    switch (source) {
        case kPortFromOption:
            return "from --port";
        case kPortFromEnvironment:
            snprintf(szText, cchText, "from ARMLINK_COM%u", nPort);
            return szText;
        case kPortFromSettings:
            return "from the settings file";
        case kPortFromDefault:
            return "default map";
        case kPortNone:
        default:
            return "nothing mapped";
    }
}

}  // namespace

void PrintPortListing(FILE* pOut, bool bCheckDevices, const char* szIndent) {
    for (unsigned nPort = 1; nPort <= 4; ++nPort) {
        char szPath[PATH_MAX];
        PortSource source = ResolvePortSource(nPort, szPath, sizeof szPath);
        char szSource[32];
        const char* szFrom = SourceText(nPort, source, szSource, sizeof szSource);
        if (source == kPortNone) {
            fprintf(pOut, "%sCOM%u  -  (%s)\n", szIndent, nPort, szFrom);
            continue;
        }
        if (!bCheckDevices) {
            fprintf(pOut, "%sCOM%u  %s  (%s)\n", szIndent, nPort, szPath, szFrom);
            continue;
        }
        char szState[192];
        NetworkAddress address;
        char szWhy[96];
        NetworkKind kind = ParseNetworkAddress(szPath, &address, szWhy, sizeof szWhy);
        if (kind == kNotNetwork) {
            CheckPortDevice(szPath, szState, sizeof szState);
        } else if (kind == kNetworkBad) {
            snprintf(szState, sizeof szState, "not a usable address: %s", szWhy);
        } else {
            CheckNetworkPort(address, szState, sizeof szState);
        }
        fprintf(pOut, "%sCOM%u  %s  (%s)  %s\n", szIndent, nPort, szPath, szFrom, szState);
    }
    PortScan scan = ScanDefaultPorts(MachinePortSources());
    if (!scan.skipped.empty()) {
        fprintf(pOut, "%sLeft out of the default map (used only when named):\n", szIndent);
        for (const std::string& skipped : scan.skipped) {
            fprintf(pOut, "%s  %s\n", szIndent, skipped.c_str());
        }
    }
}
