// The POSIX settings backend: each key is a section of the INI settings file, its values are
// the section's entries.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <mutex>
#include <new>
#include <string>

#include "common/settings_backend.h"
#include "platform/posix/ini_file.h"
#include "platform/posix/posix_platform.h"

namespace {

// The keys of the system all lie below this root; it names their sections.
constexpr char kRootKeyPrefix[] = "HKEY_LOCAL_MACHINE\\";

std::mutex g_PathMutex;
std::string g_OverridePath;

bool FormSettingsPath(std::string* pPath) {
    std::lock_guard<std::mutex> lock(g_PathMutex);
    const char* szConfig = getenv("XDG_CONFIG_HOME");
    const char* szHome = getenv("HOME");
    if (!g_OverridePath.empty()) {
        *pPath = g_OverridePath;
    } else if (szConfig != nullptr && szConfig[0] == '/') {  // a relative one is ignored
        *pPath = std::string(szConfig) + "/armlink/settings.ini";
    } else if (szHome != nullptr && szHome[0] != '\0') {
        *pPath = std::string(szHome) + "/.config/armlink/settings.ini";
    } else {
        return false;
    }
    return true;
}

// A key is its section of the file named when it was opened; nothing is read, locked or made
// until a value is read or written.
class PosixSettingsKey : public SettingsKey {
  public:
    PosixSettingsKey(const std::string& filePath, const std::string& keySection)
        : path(filePath), section(keySection) {}

    // A settings file that cannot be written is not used at all, as the registry refuses a key
    // without write access: a run starts only from values it could also save.
    bool ReadValue(const char* szName, char* pText, uint32_t cbText, uint32_t* pnLength,
                   char* szWhyNot, uint32_t cchWhyNot) override {
        std::string value;
        if (!ReadIniValue(path, section, szName, true, &value, szWhyNot, cchWhyNot)) {
            return false;
        }
        if (value.size() > cbText) {
            snprintf(szWhyNot, cchWhyNot, "%s in %s is longer than %u bytes", szName, path.c_str(),
                     static_cast<unsigned>(cbText));
            return false;
        }
        memcpy(pText, value.data(), value.size());
        *pnLength = static_cast<uint32_t>(value.size());
        return true;
    }

    bool WriteValue(const char* szName, const char* pText, uint32_t nLength, char* szWhyNot,
                    uint32_t cchWhyNot) override {
        return WriteIniValue(path, section, szName, std::string(pText, nLength), szWhyNot,
                             cchWhyNot);
    }

  private:
    std::string path;     // the file, fixed when the key was opened
    std::string section;  // the key's full path, as its section header names it
};

class PosixSettingsImpl : public SettingsBackend {
  public:
    SettingsKey* OpenKey(const char* szKeyPath, char* szWhyNot, uint32_t cchWhyNot) override {
        std::string path;
        SettingsKey* pKey = nullptr;
        if (!IsIniName(szKeyPath, true)) {
            snprintf(szWhyNot, cchWhyNot, "no section of the settings file can be named so");
        } else if (!FormSettingsPath(&path)) {
            snprintf(szWhyNot, cchWhyNot,
                     "no settings file: neither XDG_CONFIG_HOME nor HOME is set");
        } else if ((pKey = new (std::nothrow) PosixSettingsKey(
                        path, std::string(kRootKeyPrefix) + szKeyPath)) == nullptr) {
            snprintf(szWhyNot, cchWhyNot, "out of memory");
        }
        return pKey;
    }
};

}  // namespace

SettingsBackend* PosixSettings() {
    static PosixSettingsImpl settings;
    return &settings;
}

void SetSettingsFilePath(const char* szPath) {
    std::lock_guard<std::mutex> lock(g_PathMutex);
    g_OverridePath = szPath != nullptr ? szPath : "";
}

bool GetSettingsFilePath(char* szPath, size_t cchPath) {
    std::string path;
    bool bFits = FormSettingsPath(&path) && path.size() < cchPath;
    snprintf(szPath, cchPath, "%s", bFits ? path.c_str() : "");
    return bFits;
}
