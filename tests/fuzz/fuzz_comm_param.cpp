// Fuzz target: the "CommParam" text. Any stored text reads without fault; what a read takes
// from it is written back and reads again the same; and line settings written read back
// unchanged. A baud beyond 32 bits reads as 0, which no line uses, never as its low bits.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/platform.h"
#include "settings/settings_store.h"

namespace {

// The single value this target uses, in memory.
std::string g_Text;
bool g_bPresent = false;

class MemoryKey : public SettingsKey {
  public:
    bool ReadValue(const char*, char* pText, uint32_t cbText, uint32_t* pnLength, char*,
                   uint32_t) override {
        if (!g_bPresent || g_Text.size() > cbText) {
            return false;
        }
        memcpy(pText, g_Text.data(), g_Text.size());
        *pnLength = static_cast<uint32_t>(g_Text.size());
        return true;
    }
    bool WriteValue(const char*, const char* pText, uint32_t nLength, char*, uint32_t) override {
        g_Text.assign(pText, nLength);
        g_bPresent = true;
        return true;
    }
};

class MemorySettings : public SettingsBackend {
  public:
    SettingsKey* OpenKey(const char*, char*, uint32_t) override { return new MemoryKey; }
};

struct Line {
    uint32_t dwPort;
    int32_t nBaud;
    char cParity;
    int32_t nDataBits;
    int32_t nStopBits;
    bool operator==(const Line& other) const {
        return dwPort == other.dwPort && nBaud == other.nBaud && cParity == other.cParity &&
               nDataBits == other.nDataBits && nStopBits == other.nStopBits;
    }
};

Line Read(const Line& start) {
    Line line = start;
    SettingsStore store(kSettingsKeyPath);
    store.ReadCommParam(&line.dwPort, &line.nBaud, &line.cParity, &line.nDataBits, &line.nStopBits);
    return line;
}

void Write(const Line& line) {
    SettingsStore store(kSettingsKeyPath);
    if (!store.WriteCommParam(static_cast<int32_t>(line.dwPort), line.nBaud, line.cParity,
                              line.nDataBits, line.nStopBits)) {
        abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    static MemorySettings settings;
    g_Platform.pSettings = &settings;

    // The stored text as it may be found: read it twice from different starting values, so
    // that a field the text reaches is told from one it leaves alone.
    g_Text.assign(reinterpret_cast<const char*>(pData), nSize);
    g_bPresent = true;
    const Line kStartA = {1, 2, 'a', 3, 4};
    const Line kStartB = {5, 6, 'b', 7, 8};
    Line a = Read(kStartA);
    Line b = Read(kStartB);
    if (a == b && a.dwPort <= INT32_MAX && !isspace(static_cast<unsigned char>(a.cParity)) &&
        a.cParity != '\0') {
        // Every field was read: what was taken must survive a write and a read.
        Write(a);
        if (!(Read(kStartB) == a)) {
            abort();
        }
    }

    // Line settings as the search may store them, from the input's first bytes.
    if (nSize >= 13) {
        Line line;
        uint32_t dwWords[3];
        memcpy(dwWords, pData, sizeof dwWords);
        line.dwPort = dwWords[0] & 0x7FFFFFFF;
        line.nBaud = static_cast<int32_t>(dwWords[1]);
        line.cParity = static_cast<char>(pData[12]);
        line.nDataBits = static_cast<int32_t>(dwWords[2] >> 16);
        line.nStopBits = static_cast<int32_t>(dwWords[2] & 0xFFFF);
        if (!isspace(static_cast<unsigned char>(line.cParity)) && line.cParity != '\0') {
            Write(line);
            if (!(Read(kStartA) == line)) {
                abort();
            }
        }
    }
    return 0;
}
