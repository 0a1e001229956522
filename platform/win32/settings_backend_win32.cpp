// The Win32 settings backend: the key below HKEY_LOCAL_MACHINE in the registry, REG_SZ values.
#include <windows.h>

#include <cstring>

#include "common/settings_backend.h"
#include "platform/win32/win32_platform.h"

namespace {

class Win32SettingsImpl : public SettingsBackend {
  public:
    // Created when absent, kept across restarts, opened for every access.
    int32_t CreateKey(const char* szPath, SettingsKey* phKey, uint32_t* pdwDisposition) override {
        HKEY hKey = nullptr;
        DWORD dwDisposition = 0;
        LONG nResult =
            RegCreateKeyExA(HKEY_LOCAL_MACHINE, szPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
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
    // again, so that no part of a value is ever taken for the whole of it.
    int32_t QueryValue(SettingsKey hKey, const char* szName, void* pData,
                       uint32_t* pcbData) override {
        DWORD dwType = REG_SZ;
        DWORD cbData = *pcbData;
        LONG nResult = RegQueryValueExA(static_cast<HKEY>(hKey), szName, nullptr, &dwType,
                                        static_cast<LPBYTE>(pData), &cbData);
        if (nResult == ERROR_SUCCESS) {
            *pcbData = cbData;
        } else if (nResult == ERROR_MORE_DATA && pData != nullptr) {
            memset(pData, 0, *pcbData);
        }
        return static_cast<int32_t>(nResult);
    }

    // Exactly cbData bytes: the text without its terminator.
    int32_t SetValue(SettingsKey hKey, const char* szName, const void* pData,
                     uint32_t cbData) override {
        return static_cast<int32_t>(RegSetValueExA(static_cast<HKEY>(hKey), szName, 0, REG_SZ,
                                                   static_cast<const BYTE*>(pData), cbData));
    }

    void CloseKey(SettingsKey hKey) override { RegCloseKey(static_cast<HKEY>(hKey)); }

    // The system's text, in the system's default language. Inserts are not expanded (no
    // arguments are given, and a message with an insert would otherwise fail to format). A
    // text longer than the buffer makes FormatMessageA fail rather than cut it, so it is then
    // formatted into a larger buffer and cut here.
    void FormatError(int32_t nCode, char* szText, uint32_t cchText) override {
        if (szText == nullptr || cchText == 0) {
            return;
        }
        szText[0] = '\0';
        const DWORD dwFlags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
        DWORD dwCode = static_cast<DWORD>(nCode);
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
