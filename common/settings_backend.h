// The settings backend seam: one key of named text values, read and written one value at a time.
#ifndef ARMLINK_COMMON_SETTINGS_BACKEND_H
#define ARMLINK_COMMON_SETTINGS_BACKEND_H

#include <cstdint>

// Result codes every backend shares; a backend may give others of its own, each with a text.
constexpr int32_t kErrorSuccess = 0;
constexpr int32_t kErrorFileNotFound = 2;  // no such value
constexpr int32_t kErrorAccessDenied = 5;
constexpr int32_t kErrorInvalidHandle = 6;
constexpr int32_t kErrorMoreData = 234;  // the value does not fit the caller's buffer

// Dispositions reported when a key is opened.
constexpr uint32_t kRegCreatedNewKey = 1;
constexpr uint32_t kRegOpenedExistingKey = 2;

typedef void* SettingsKey;

class SettingsBackend {
  public:
    virtual ~SettingsBackend() {}
    // Opens the key at szKeyPath, creating it when absent. Returns a result code; on success
    // *phKey is the open key and *pdwDisposition says whether it was created or already there.
    virtual int32_t OpenKey(const char* szKeyPath, SettingsKey* phKey,
                            uint32_t* pdwDisposition) = 0;
    // Reads the text value szName into pText, a buffer of *pnSize bytes; on success *pnSize is
    // the count stored. The backend adds no terminator (a registry may count the one it keeps
    // with a value, and store it when it fits). A value that does not fit gives
    // kErrorMoreData, leaves none of its bytes in pText and sets *pnSize to the size it needs
    // (a null pText asks only that size); a missing value gives kErrorFileNotFound.
    virtual int32_t ReadValue(SettingsKey hKey, const char* szName, char* pText,
                              uint32_t* pnSize) = 0;
    // Writes the text value szName as exactly the nLength bytes at pText.
    virtual int32_t WriteValue(SettingsKey hKey, const char* szName, const char* pText,
                               uint32_t nLength) = 0;
    virtual void CloseKey(SettingsKey hKey) = 0;
    // The text of a result code, terminated, cut to cchText characters.
    virtual void ResultText(int32_t nResult, char* szText, uint32_t cchText) = 0;
};

#endif
