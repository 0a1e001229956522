// The POSIX port map: the device path that COM1 to COM4 stand for on this machine.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "platform/posix/posix_platform.h"

bool ResolvePortPath(unsigned nPort, char* szPath, size_t cchPath) {
    if (szPath == nullptr || cchPath == 0) {
        return false;
    }
    szPath[0] = '\0';
    if (nPort < 1 || nPort > 4) {
        return false;
    }
    char szVariable[32];
    snprintf(szVariable, sizeof szVariable, "ARMLINK_COM%u", nPort);
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
