// The settings store: the line settings and the last save path, as text values of one key.
#ifndef ARMLINK_SETTINGS_SETTINGS_STORE_H
#define ARMLINK_SETTINGS_SETTINGS_STORE_H

#include <cstdint>

#include "common/settings_backend.h"

// The key every user opens.
extern const char kSettingsKeyPath[];

// Opens the key for one piece of work; the destructor closes it. Every operation returns
// false at once, without effect and with szErrorText kept, when the key could not be opened.
class SettingsStore {
  public:
    explicit SettingsStore(const char* szKeyPath);  // OpenSettings
    virtual ~SettingsStore();                       // CloseSettings

    bool WriteCommParam(int32_t nPort, int32_t nBaud, char cParity, int32_t nDataBits,
                        int32_t nStopBits);
    // True when the value was read, whether or not the text parsed completely; a target the
    // text does not reach keeps its value.
    bool ReadCommParam(uint32_t* pPort, int32_t* pBaud, char* pParity, int32_t* pDataBits,
                       int32_t* pStopBits);
    bool WriteLastFile(const char* szPath);
    // pSize: the buffer's size on entry, the count stored on return.
    bool ReadLastFile(char* pBuffer, uint32_t* pSize);
    // FastReplies: true only when the value is stored and is "1" (reads then end as soon as
    // their reply is complete); anything else, or no value, keeps the described timing.
    bool ReadFastReplies();

    SettingsKey* hKey;      // the open key, or none when it could not be opened
    char szErrorText[128];  // why the key did not open, or why the last read or write failed

  private:
    SettingsStore(const SettingsStore&);
    SettingsStore& operator=(const SettingsStore&);
};

#endif
