// The default port map: what a technician's machine offers as serial ports, in a stable order.
#include "platform/posix/port_scan.h"

#include <dirent.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <utmpx.h>

#include <algorithm>
#include <fstream>
#include <sstream>

namespace {

// The names in a directory that start with szPrefix, sorted by the number that follows it
// (ttyUSB2 before ttyUSB10); names without a number after the prefix sort by name.
std::vector<std::string> NumberedNames(const std::string& directory, const char* szPrefix) {
    std::vector<std::pair<long, std::string>> found;
    DIR* pDir = opendir(directory.c_str());
    if (pDir == nullptr) {
        return {};
    }
    size_t nPrefix = strlen(szPrefix);
    while (struct dirent* pEntry = readdir(pDir)) {
        const char* szName = pEntry->d_name;
        if (strncmp(szName, szPrefix, nPrefix) != 0) {
            continue;
        }
        char* pEnd = nullptr;
        long nNumber = strtol(szName + nPrefix, &pEnd, 10);
        if (pEnd == szName + nPrefix || *pEnd != '\0') {
            continue;  // ttyS0 is a port; "ttySfoo" is not one of them
        }
        found.emplace_back(nNumber, szName);
    }
    closedir(pDir);
    std::sort(found.begin(), found.end());
    std::vector<std::string> names;
    for (const auto& entry : found) {
        names.push_back(entry.second);
    }
    return names;
}

std::vector<std::string> SortedNames(const std::string& directory) {
    std::vector<std::string> names;
    DIR* pDir = opendir(directory.c_str());
    if (pDir == nullptr) {
        return names;
    }
    while (struct dirent* pEntry = readdir(pDir)) {
        if (pEntry->d_name[0] != '.') {
            names.push_back(pEntry->d_name);
        }
    }
    closedir(pDir);
    std::sort(names.begin(), names.end());
    return names;
}

std::string ReadFirstLine(const std::string& path) {
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    return line;
}

// The device a by-id link stands for, as the machine names it ("/dev/ttyUSB0"); "" when the
// link leads nowhere or out of the tree.
std::string ResolveLink(const std::string& root, const std::string& link) {
    char szResolved[PATH_MAX];
    if (realpath(link.c_str(), szResolved) == nullptr) {
        return "";
    }
    std::string resolved = szResolved;
    if (root.empty()) {
        return resolved;
    }
    char szRoot[PATH_MAX];
    if (realpath(root.c_str(), szRoot) == nullptr) {
        return "";
    }
    std::string top = szRoot;
    if (resolved.compare(0, top.size(), top) != 0 || resolved.size() <= top.size()) {
        return "";
    }
    return resolved.substr(top.size());
}

// "ttyS0" from "/dev/ttyS0".
std::string LineOf(const std::string& device) {
    return device.compare(0, 5, "/dev/") == 0 ? device.substr(5) : device;
}

}  // namespace

PortScanSources MachinePortSources() {
    PortScanSources sources;
    setutxent();
    while (struct utmpx* pEntry = getutxent()) {
        if (pEntry->ut_type == USER_PROCESS || pEntry->ut_type == LOGIN_PROCESS) {
            sources.loginLines.emplace_back(pEntry->ut_line,
                                            strnlen(pEntry->ut_line, sizeof pEntry->ut_line));
        }
    }
    endutxent();
    return sources;
}

PortScan ScanDefaultPorts(const PortScanSources& sources) {
    const std::string& root = sources.root;
    std::vector<std::string> candidates;

    // USB adapters: their by-id names stay the same from one plug-in to the next.
    for (const std::string& name : SortedNames(root + "/dev/serial/by-id")) {
        std::string device = ResolveLink(root, root + "/dev/serial/by-id/" + name);
        if (!device.empty() &&
            std::find(candidates.begin(), candidates.end(), device) == candidates.end()) {
            candidates.push_back(device);
        }
    }
    if (candidates.empty()) {
        for (const char* szPrefix : {"ttyUSB", "ttyACM"}) {
            for (const std::string& name : NumberedNames(root + "/dev", szPrefix)) {
                candidates.push_back("/dev/" + name);
            }
        }
    }

    PortScan scan;
    // Built-in ports: the kernel makes ttyS nodes for UARTs that are not there; their type is 0.
    for (const std::string& name : NumberedNames(root + "/dev", "ttyS")) {
        std::string type = ReadFirstLine(root + "/sys/class/tty/" + name + "/type");
        if (type.empty() || atoi(type.c_str()) == 0) {
            continue;
        }
        candidates.push_back("/dev/" + name);
    }

    // The console and the terminals a login runs on are never written to unless named.
    std::istringstream consoles(ReadFirstLine(root + "/sys/class/tty/console/active"));
    std::vector<std::string> consoleLines;
    for (std::string line; consoles >> line;) {
        consoleLines.push_back(line);
    }
    for (const std::string& device : candidates) {
        std::string line = LineOf(device);
        if (std::find(consoleLines.begin(), consoleLines.end(), line) != consoleLines.end()) {
            scan.skipped.push_back(device + ": the system console");
        } else if (std::find(sources.loginLines.begin(), sources.loginLines.end(), line) !=
                   sources.loginLines.end()) {
            scan.skipped.push_back(device + ": a login runs on it");
        } else {
            scan.devices.push_back(device);
        }
    }
    return scan;
}
