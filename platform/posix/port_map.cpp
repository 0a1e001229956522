// The POSIX port map: the device path that COM1 to COM4 stand for on this machine.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "platform/posix/ini_file.h"
#include "platform/posix/port_scan.h"
#include "platform/posix/posix_platform.h"

namespace {

// --port COMn=PATH, set by main before any thread runs, read only afterwards.
std::string g_Overrides[5];

bool CopyPath(const char* szFound, char* szPath, size_t cchPath) {
    size_t nLength = strlen(szFound);
    if (nLength >= cchPath) {
        return false;
    }
    memcpy(szPath, szFound, nLength + 1);
    return true;
}

}  // namespace

// The entry is read as a hand editor wrote it: the spaces around the path are not part of it.
bool ReadPortsEntry(unsigned nPort, char* szPath, size_t cchPath) {
    char szFile[4096];
    std::string value;
    // Why there is no entry does not matter here: the map goes on to the next source.
    if (!GetSettingsFilePath(szFile, sizeof szFile) ||
        !ReadIniValue(szFile, "Ports", "COM" + std::to_string(nPort), false, &value, nullptr, 0)) {
        value.clear();
    }
    size_t nStart = value.find_first_not_of(" \t");
    size_t nEnd = value.find_last_not_of(" \t");
    value = nStart == std::string::npos ? std::string() : value.substr(nStart, nEnd - nStart + 1);
    bool bFits = !value.empty() && value.size() < cchPath && value.find('\0') == std::string::npos;
    snprintf(szPath, cchPath, "%s", bFits ? value.c_str() : "");
    return bFits;
}

bool SetPortOverride(unsigned nPort, const char* szPath) {
    if (nPort < 1 || nPort > 4 || szPath == nullptr || szPath[0] == '\0') {
        return false;
    }
    g_Overrides[nPort] = szPath;
    return true;
}

void ClearPortOverrides() {
    for (std::string& override : g_Overrides) {
        override.clear();
    }
}

PortSource ResolvePortSource(unsigned nPort, char* szPath, size_t cchPath) {
    if (szPath == nullptr || cchPath == 0) {
        return kPortNone;
    }
    szPath[0] = '\0';
    if (nPort < 1 || nPort > 4) {
        return kPortNone;
    }
    if (!g_Overrides[nPort].empty()) {
        return CopyPath(g_Overrides[nPort].c_str(), szPath, cchPath) ? kPortFromOption : kPortNone;
    }
    char szVariable[32];
    snprintf(szVariable, sizeof szVariable, "ARMLINK_COM%u", nPort);
    const char* szMapped = getenv(szVariable);
    if (szMapped != nullptr && szMapped[0] != '\0') {
        return CopyPath(szMapped, szPath, cchPath) ? kPortFromEnvironment : kPortNone;
    }
    if (ReadPortsEntry(nPort, szPath, cchPath)) {
        return kPortFromSettings;
    }
    // Nothing names the port: the machine's serial ports in a stable order, never the console
    // or a login terminal. The scan is made anew for each port, so an adapter plugged in
    // before the search starts again is found.
    PortScan scan = ScanDefaultPorts(MachinePortSources());
    if (nPort <= scan.devices.size() &&
        CopyPath(scan.devices[nPort - 1].c_str(), szPath, cchPath)) {
        return kPortFromDefault;
    }
    szPath[0] = '\0';
    return kPortNone;
}

bool ResolvePortPath(unsigned nPort, char* szPath, size_t cchPath) {
    return ResolvePortSource(nPort, szPath, cchPath) != kPortNone;
}
