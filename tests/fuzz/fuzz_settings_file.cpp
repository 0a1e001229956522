// Fuzz target: the settings file. Any existing text (any bytes, any line ends) is given one new
// value; the value must then read back unchanged, and the values of other entries, in the same
// section and in another, must read as they did before.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/posix/ini_file.h"

namespace {

std::string TempPath() {
    static std::string path;
    if (path.empty()) {
        char szDir[] = "/tmp/armlink-fuzz-ini-XXXXXX";
        if (mkdtemp(szDir) == nullptr) {
            abort();
        }
        path = std::string(szDir) + "/settings.ini";
    }
    return path;
}

struct Lookup {
    const char* szSection;
    const char* szName;
};

// Entries the write must leave alone: a neighbour in the same section, others elsewhere.
const Lookup kOthers[] = {
    {"ArmLink", "LastFile"},
    {"ArmLink", "lastfile"},
    {"Ports", "COM1"},
    {"Other", "CommParam"},
};

}  // namespace

// Input: one byte for the value's length, the value, then the file's text.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    if (nSize == 0) {
        return 0;
    }
    size_t nValue = pData[0] % 48;
    if (nValue > nSize - 1) {
        nValue = nSize - 1;
    }
    std::string value;
    for (size_t i = 0; i < nValue; ++i) {
        char c = static_cast<char>(pData[1 + i]);
        // A value holds no line end and no NUL: the settings never store one.
        value += (c == '\r' || c == '\n' || c == '\0') ? '_' : c;
    }
    const std::string path = TempPath();
    FILE* pFile = fopen(path.c_str(), "wb");
    if (pFile == nullptr) {
        abort();
    }
    fwrite(pData + 1 + nValue, 1, nSize - 1 - nValue, pFile);
    if (fclose(pFile) != 0) {
        abort();
    }

    std::string before[sizeof kOthers / sizeof kOthers[0]];
    bool bBefore[sizeof kOthers / sizeof kOthers[0]];
    for (size_t i = 0; i < sizeof kOthers / sizeof kOthers[0]; ++i) {
        bBefore[i] = ReadIniValue(path, kOthers[i].szSection, kOthers[i].szName, false, &before[i],
                                  nullptr, 0);
    }
    char szWhyNot[256];
    if (WriteIniValue(path, "ArmLink", "CommParam", value, szWhyNot, sizeof szWhyNot)) {
        std::string readBack;
        if (!ReadIniValue(path, "ArmLink", "CommParam", true, &readBack, szWhyNot,
                          sizeof szWhyNot) ||
            readBack != value) {
            fprintf(stderr, "written \"%s\", read back \"%s\"\n", value.c_str(), readBack.c_str());
            abort();
        }
        for (size_t i = 0; i < sizeof kOthers / sizeof kOthers[0]; ++i) {
            std::string after;
            bool bAfter = ReadIniValue(path, kOthers[i].szSection, kOthers[i].szName, false, &after,
                                       nullptr, 0);
            if (bAfter != bBefore[i] || after != before[i]) {
                fprintf(stderr, "[%s] %s changed from \"%s\" to \"%s\"\n", kOthers[i].szSection,
                        kOthers[i].szName, before[i].c_str(), after.c_str());
                abort();
            }
        }
    }
    unlink(path.c_str());
    return 0;
}
