// The settings backend seam: a key of named text values, in the terms of the registry.
#ifndef ARMLINK_COMMON_SETTINGS_BACKEND_H
#define ARMLINK_COMMON_SETTINGS_BACKEND_H

#include <cstdint>

// Result codes, as the registry gives them.
constexpr int32_t kErrorSuccess = 0;
constexpr int32_t kErrorFileNotFound = 2;
constexpr int32_t kErrorAccessDenied = 5;
constexpr int32_t kErrorInvalidHandle = 6;
constexpr int32_t kErrorMoreData = 234;

// Dispositions reported when a key is opened.
constexpr uint32_t kRegCreatedNewKey = 1;
constexpr uint32_t kRegOpenedExistingKey = 2;

typedef void* SettingsKey;

class SettingsBackend {
public:
    virtual ~SettingsBackend() {}
    // Opens the key below HKEY_LOCAL_MACHINE, creating it when absent. Returns a result code;
    // on success *phKey is the open key and *pdwDisposition says whether it was created.
    virtual int32_t CreateKey(const char* szPath, SettingsKey* phKey,
                              uint32_t* pdwDisposition) = 0;
    // Reads a text value into pData. *pcbData holds the buffer's size on entry and the count
    // stored on return. A value that does not fit returns kErrorMoreData and stores nothing; a
    // missing one kErrorFileNotFound. The stored bytes carry no terminator of their own.
    virtual int32_t QueryValue(SettingsKey hKey, const char* szName, void* pData,
                               uint32_t* pcbData) = 0;
    // Writes a text value of exactly cbData bytes.
    virtual int32_t SetValue(SettingsKey hKey, const char* szName, const void* pData,
                             uint32_t cbData) = 0;
    virtual void CloseKey(SettingsKey hKey) = 0;
    // The system's message text for a result code, terminated, cut to cchText characters.
    virtual void FormatError(int32_t nCode, char* szText, uint32_t cchText) = 0;
};

#endif
