// The settings backend seam: one key of named text values, each read or written whole, and the
// reason in the platform's own words when that cannot be done.
#ifndef ARMLINK_COMMON_SETTINGS_BACKEND_H
#define ARMLINK_COMMON_SETTINGS_BACKEND_H

#include <cstdint>

// A key open for one piece of work; deleting it closes it. Each operation gives true, or false
// with the reason in szWhyNot (a buffer of cchWhyNot characters: terminated, cut to fit), which
// is left untouched when the operation succeeds.
class SettingsKey {
  public:
    virtual ~SettingsKey() {}
    // Reads the value szName into pText, a buffer of cbText bytes; *pnLength is the count
    // stored. No terminator is added (a registry may count the one it keeps with a value, and
    // store it when it fits). A value that is missing, cannot be read or does not fit is not
    // read: none of its bytes are left in pText.
    virtual bool ReadValue(const char* szName, char* pText, uint32_t cbText, uint32_t* pnLength,
                           char* szWhyNot, uint32_t cchWhyNot) = 0;
    // Writes the value szName as exactly the nLength bytes at pText.
    virtual bool WriteValue(const char* szName, const char* pText, uint32_t nLength, char* szWhyNot,
                            uint32_t cchWhyNot) = 0;
};

class SettingsBackend {
  public:
    virtual ~SettingsBackend() {}
    // Opens the key at szKeyPath, creating it where the platform keeps keys apart from their
    // values; nullptr, with the reason in szWhyNot, when it cannot be opened.
    virtual SettingsKey* OpenKey(const char* szKeyPath, char* szWhyNot, uint32_t cchWhyNot) = 0;
};

#endif
