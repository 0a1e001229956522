// The Win32 settings backend: the key below HKEY_LOCAL_MACHINE in the registry, REG_SZ values.
#include <windows.h>

#include <cstring>
#include <new>

#include "common/settings_backend.h"
#include "platform/win32/win32_platform.h"

namespace {

// The system's text for a registry result, in the system's default language. Inserts are not
// expanded (no arguments are given, and a message with an insert would otherwise fail to
// format). A text longer than the buffer makes FormatMessageA fail rather than cut it, so it is
// then formatted into a larger buffer and cut here.
void ResultText(LONG nResult, char* szText, uint32_t cchText) {
    if (szText == nullptr || cchText == 0) {
        return;
    }
    szText[0] = '\0';
    const DWORD dwFlags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    DWORD dwCode = static_cast<DWORD>(nResult);
    if (FormatMessageA(dwFlags, nullptr, dwCode, 0, szText, cchText, nullptr) != 0) {
        return;
    }
    char szLong[1024];
    DWORD nLength = FormatMessageA(dwFlags, nullptr, dwCode, 0, szLong, sizeof szLong, nullptr);
    if (nLength == 0) {
        szText[0] = '\0';
        return;
    }
    if (nLength >= cchText) {
        nLength = cchText - 1;
    }
    memcpy(szText, szLong, nLength);
    szText[nLength] = '\0';
}

// True for ERROR_SUCCESS; any other result gives its text.
bool Succeeded(LONG nResult, char* szWhyNot, uint32_t cchWhyNot) {
    if (nResult != ERROR_SUCCESS) {
        ResultText(nResult, szWhyNot, cchWhyNot);
    }
    return nResult == ERROR_SUCCESS;
}

class Win32SettingsKey : public SettingsKey {
  public:
    explicit Win32SettingsKey(HKEY hOpened) : hKey(hOpened) {}
    ~Win32SettingsKey() override { RegCloseKey(hKey); }

    // The type asked for is REG_SZ; the type the value has is not examined. When the value
    // does not fit, Windows leaves the buffer's contents undefined: the buffer is cleared
    // again, so that no part of a value is ever taken for the whole of it. The count is the
    // registry's: it may include a terminator that the registry keeps with a REG_SZ value.
    bool ReadValue(const char* szName, char* pText, uint32_t cbText, uint32_t* pnLength,
                   char* szWhyNot, uint32_t cchWhyNot) override {
        DWORD dwType = REG_SZ;
        DWORD cbData = cbText;
        LONG nResult = RegQueryValueExA(hKey, szName, nullptr, &dwType,
                                        reinterpret_cast<LPBYTE>(pText), &cbData);
        if (nResult == ERROR_SUCCESS) {
            *pnLength = cbData;
        } else if (nResult == ERROR_MORE_DATA) {
            memset(pText, 0, cbText);
        }
        return Succeeded(nResult, szWhyNot, cchWhyNot);
    }

    // Exactly nLength bytes: the text without its terminator.
    bool WriteValue(const char* szName, const char* pText, uint32_t nLength, char* szWhyNot,
                    uint32_t cchWhyNot) override {
        return Succeeded(
            RegSetValueExA(hKey, szName, 0, REG_SZ, reinterpret_cast<const BYTE*>(pText), nLength),
            szWhyNot, cchWhyNot);
    }

  private:
    HKEY hKey;
};

class Win32SettingsImpl : public SettingsBackend {
  public:
    // Created when absent, kept across restarts, opened with every access for each piece of
    // work; whether it was created is not used further.
    SettingsKey* OpenKey(const char* szKeyPath, char* szWhyNot, uint32_t cchWhyNot) override {
        HKEY hKey = nullptr;
        DWORD dwDisposition = 0;
        LONG nResult =
            RegCreateKeyExA(HKEY_LOCAL_MACHINE, szKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, &hKey, &dwDisposition);
        if (!Succeeded(nResult, szWhyNot, cchWhyNot)) {
            return nullptr;
        }
        SettingsKey* pKey = new (std::nothrow) Win32SettingsKey(hKey);
        if (pKey == nullptr) {
            RegCloseKey(hKey);
            ResultText(ERROR_NOT_ENOUGH_MEMORY, szWhyNot, cchWhyNot);
        }
        return pKey;
    }
};

}  // namespace

SettingsBackend* Win32Settings() {
    static Win32SettingsImpl settings;
    return &settings;
}
