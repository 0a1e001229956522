// The Win32 settings backend: the key below HKEY_LOCAL_MACHINE in the registry, REG_SZ values.
#include <windows.h>

#include <cstring>

#include "common/settings_backend.h"
#include "platform/win32/win32_platform.h"

namespace {

class Win32SettingsImpl : public SettingsBackend {
  public:
    // Created when absent, kept across restarts, opened for every access.
    int32_t OpenKey(const char* szKeyPath, SettingsKey* phKey, uint32_t* pdwDisposition) override {
        HKEY hKey = nullptr;
        DWORD dwDisposition = 0;
        LONG nResult =
            RegCreateKeyExA(HKEY_LOCAL_MACHINE, szKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, &hKey, &dwDisposition);
        if (nResult == ERROR_SUCCESS) {
            *phKey = hKey;
            if (pdwDisposition != nullptr) {
                *pdwDisposition = dwDisposition;
            }
        }
        return static_cast<int32_t>(nResult);
    }

    // The type asked for is REG_SZ; the type the value has is not examined. When the value
    // does not fit, Windows leaves the buffer's contents undefined: the buffer is cleared
    // again, so that no part of a value is ever taken for the whole of it. The count is the
    // registry's: it may include a terminator that the registry keeps with a REG_SZ value.
    int32_t ReadValue(SettingsKey hKey, const char* szName, char* pText,
                      uint32_t* pnSize) override {
        DWORD dwType = REG_SZ;
        DWORD cbData = *pnSize;
        LONG nResult = RegQueryValueExA(static_cast<HKEY>(hKey), szName, nullptr, &dwType,
                                        reinterpret_cast<LPBYTE>(pText), &cbData);
        if (nResult == ERROR_SUCCESS) {
            *pnSize = cbData;
        } else if (nResult == ERROR_MORE_DATA) {
            if (pText != nullptr) {
                memset(pText, 0, *pnSize);
            }
            *pnSize = cbData;
        }
        return static_cast<int32_t>(nResult);
    }

    // Exactly nLength bytes: the text without its terminator.
    int32_t WriteValue(SettingsKey hKey, const char* szName, const char* pText,
                       uint32_t nLength) override {
        return static_cast<int32_t>(RegSetValueExA(static_cast<HKEY>(hKey), szName, 0, REG_SZ,
                                                   reinterpret_cast<const BYTE*>(pText), nLength));
    }

    void CloseKey(SettingsKey hKey) override { RegCloseKey(static_cast<HKEY>(hKey)); }

    // The system's text, in the system's default language. Inserts are not expanded (no
    // arguments are given, and a message with an insert would otherwise fail to format). A
    // text longer than the buffer makes FormatMessageA fail rather than cut it, so it is then
    // formatted into a larger buffer and cut here.
    void ResultText(int32_t nResult, char* szText, uint32_t cchText) override {
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
};

}  // namespace

SettingsBackend* Win32Settings() {
    static Win32SettingsImpl settings;
    return &settings;
}
