// The POSIX settings backend: each key is a section of the INI settings file, its values are
// the section's entries; the [Ports] section maps the COM ports.
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

struct PosixSettingsKey {
    std::string path;     // the file, fixed when the key was opened
    std::string section;  // the key's full path, as its section header names it
};

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

class PosixSettingsImpl : public SettingsBackend {
  public:
    // The key is opened for writing as well as reading: a settings file that cannot be written
    // refuses it, as the registry refuses a key without write access.
    int32_t OpenKey(const char* szKeyPath, SettingsKey* phKey, uint32_t* pdwDisposition) override {
        std::string path;
        if (phKey == nullptr || !IsIniName(szKeyPath, true)) {
            return kErrorInvalidData;
        }
        if (!FormSettingsPath(&path)) {
            return kErrorPathNotFound;
        }
        std::string section = std::string(kRootKeyPrefix) + szKeyPath;
        bool bCreated = false;
        int32_t nResult = WriteIniValue(path, section, nullptr, std::string(), &bCreated);
        if (nResult != kErrorSuccess) {
            return nResult;
        }
        PosixSettingsKey* pKey = new (std::nothrow) PosixSettingsKey{path, section};
        if (pKey == nullptr) {
            return kErrorNotEnoughMemory;
        }
        *phKey = pKey;
        if (pdwDisposition != nullptr) {
            *pdwDisposition = bCreated ? kRegCreatedNewKey : kRegOpenedExistingKey;
        }
        return kErrorSuccess;
    }

    int32_t ReadValue(SettingsKey hKey, const char* szName, char* pText,
                      uint32_t* pnSize) override {
        PosixSettingsKey* pKey = static_cast<PosixSettingsKey*>(hKey);
        if (pKey == nullptr) {
            return kErrorInvalidHandle;
        }
        if (pnSize == nullptr) {
            return kErrorInvalidData;
        }
        if (!IsIniName(szName, false)) {
            return kErrorFileNotFound;
        }
        std::string value;
        int32_t nResult = ReadIniValue(pKey->path, pKey->section, szName, &value);
        if (nResult != kErrorSuccess) {
            return nResult;
        }
        uint32_t nSize = static_cast<uint32_t>(value.size());
        if (pText != nullptr && nSize > *pnSize) {
            nResult = kErrorMoreData;  // nothing stored
        } else if (pText != nullptr) {
            memcpy(pText, value.data(), nSize);
        }
        *pnSize = nSize;  // the count stored, or the size needed
        return nResult;
    }

    // A value with a line end cannot be held by an INI line and would split into a foreign
    // entry; one with a NUL would not read back the same. Both are refused, the file untouched.
    int32_t WriteValue(SettingsKey hKey, const char* szName, const char* pText,
                       uint32_t nLength) override {
        PosixSettingsKey* pKey = static_cast<PosixSettingsKey*>(hKey);
        if (pKey == nullptr) {
            return kErrorInvalidHandle;
        }
        if (!IsIniName(szName, false) || (pText == nullptr && nLength != 0)) {
            return kErrorInvalidData;
        }
        std::string value(pText != nullptr ? pText : "", nLength);
        if (value.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
            return kErrorInvalidData;
        }
        bool bCreated = false;
        return WriteIniValue(pKey->path, pKey->section, szName, value, &bCreated);
    }

    void CloseKey(SettingsKey hKey) override { delete static_cast<PosixSettingsKey*>(hKey); }

    void ResultText(int32_t nResult, char* szText, uint32_t cchText) override {
        struct ResultEntry {
            int32_t nResult;
            const char* szText;
        };
        static const ResultEntry kTexts[] = {
            {kErrorSuccess, "The operation completed successfully."},
            {kErrorFileNotFound, "The system cannot find the file specified."},
            {kErrorPathNotFound, "no settings file: neither XDG_CONFIG_HOME nor HOME is set"},
            {kErrorAccessDenied, "Access is denied."},
            {kErrorInvalidHandle, "The handle is invalid."},
            {kErrorNotEnoughMemory, "Not enough memory resources are available."},
            {kErrorInvalidData, "The data is invalid."},
            {kErrorMoreData, "More data is available."},
        };
        if (szText == nullptr || cchText == 0 || IniFaultText(nResult, szText, cchText)) {
            return;
        }
        for (const ResultEntry& entry : kTexts) {
            if (entry.nResult == nResult) {
                snprintf(szText, cchText, "%s", entry.szText);
                return;
            }
        }
        snprintf(szText, cchText, "Unknown error %d.", static_cast<int>(nResult));
    }
};

// Copies text into szPath when it fits with its terminator; else leaves szPath "".
bool CopyOut(const std::string& text, char* szPath, size_t cchPath) {
    bool bFits = text.size() < cchPath && text.find('\0') == std::string::npos;
    snprintf(szPath, cchPath, "%s", bFits ? text.c_str() : "");
    return bFits;
}

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
    if (szPath == nullptr || cchPath == 0) {
        return false;
    }
    return CopyOut(FormSettingsPath(&path) ? path : std::string(), szPath, cchPath) &&
           !path.empty();
}

bool ReadPortsEntry(unsigned nPort, char* szPath, size_t cchPath) {
    std::string path;
    std::string value;
    if (szPath == nullptr || cchPath == 0) {
        return false;
    }
    if (!FormSettingsPath(&path) ||
        ReadIniValue(path, "Ports", "COM" + std::to_string(nPort), &value) != kErrorSuccess) {
        value.clear();
    }
    size_t nStart = value.find_first_not_of(" \t");
    size_t nEnd = value.find_last_not_of(" \t");
    value = nStart == std::string::npos ? std::string() : value.substr(nStart, nEnd - nStart + 1);
    return CopyOut(value, szPath, cchPath) && !value.empty();
}
