// The settings store over the settings backend: "CommParam" and "LastFile" of one key.
#include "settings/settings_store.h"

#include <cstdio>
#include <cstring>

#include "common/platform.h"

const char kSettingsKeyPath[] = "SOFTWARE\\ZOLM Technologies\\ZOLM Error Log";

namespace {

constexpr uint32_t kCommParamReadSize = 128;

SettingsBackend* Backend() {
    return g_Platform.pSettings;
}

}  // namespace

SettingsStore::SettingsStore(const char* szKeyPath)
    : hKey(nullptr), dwDisposition(0), nLastError(0) {
    szErrorText[0] = '\0';
    SettingsBackend* pBackend = Backend();
    if (pBackend == nullptr) {
        nLastError = kErrorInvalidHandle;
        return;
    }
    SettingsKey hOpened = nullptr;
    nLastError = pBackend->OpenKey(szKeyPath, &hOpened, &dwDisposition);
    if (nLastError != kErrorSuccess) {
        pBackend->ResultText(nLastError, szErrorText, sizeof szErrorText);
        return;
    }
    hKey = hOpened;
}

SettingsStore::~SettingsStore() {
    if (hKey != nullptr) {
        Backend()->CloseKey(hKey);
    }
}

bool SettingsStore::RecordResult(int32_t nResult) {
    nLastError = nResult;
    if (nLastError != kErrorSuccess) {
        Backend()->ResultText(nLastError, szErrorText, sizeof szErrorText);
    }
    return nLastError == kErrorSuccess;
}

bool SettingsStore::WriteCommParam(int32_t nPort, int32_t nBaud, char cParity, int32_t nDataBits,
                                   int32_t nStopBits) {
    if (hKey == nullptr) {
        return false;
    }
    char szText[64];
    int nLength = snprintf(szText, sizeof szText, "%d %ld %c %d %d", static_cast<int>(nPort),
                           static_cast<long>(nBaud), cParity, static_cast<int>(nDataBits),
                           static_cast<int>(nStopBits));
    if (nLength < 0 || nLength >= static_cast<int>(sizeof szText)) {
        return false;
    }
    return RecordResult(
        Backend()->WriteValue(hKey, "CommParam", szText, static_cast<uint32_t>(nLength)));
}

bool SettingsStore::ReadCommParam(uint32_t* pPort, int32_t* pBaud, char* pParity,
                                  int32_t* pDataBits, int32_t* pStopBits) {
    if (hKey == nullptr) {
        return false;
    }
    // A stored value of exactly 128 bytes arrives without a terminator: the buffer keeps one
    // byte more, always zero, so the parse never reads beyond what was read.
    char szBuffer[kCommParamReadSize + 1];
    memset(szBuffer, 0, sizeof szBuffer);
    uint32_t cbData = kCommParamReadSize;
    if (!RecordResult(Backend()->ReadValue(hKey, "CommParam", szBuffer, &cbData))) {
        return false;
    }
    // Parsed field by field, so that a text that stops early updates the fields it reaches,
    // in order, and leaves the others as they were.
    unsigned nPort = 0;
    long nBaud = 0;
    char cParity = 0;
    int nDataBits = 0;
    int nStopBits = 0;
    int nParsed =
        sscanf(szBuffer, "%u %ld %c %d %d", &nPort, &nBaud, &cParity, &nDataBits, &nStopBits);
    if (nParsed >= 1) {
        *pPort = nPort;
    }
    if (nParsed >= 2) {
        *pBaud = static_cast<int32_t>(nBaud);
    }
    if (nParsed >= 3) {
        *pParity = cParity;
    }
    if (nParsed >= 4) {
        *pDataBits = nDataBits;
    }
    if (nParsed >= 5) {
        *pStopBits = nStopBits;
    }
    return true;
}

bool SettingsStore::WriteLastFile(const char* szPath) {
    if (hKey == nullptr) {
        return false;
    }
    return RecordResult(
        Backend()->WriteValue(hKey, "LastFile", szPath, static_cast<uint32_t>(strlen(szPath))));
}

bool SettingsStore::ReadLastFile(char* pBuffer, uint32_t* pSize) {
    if (hKey == nullptr || *pSize == 0) {
        return false;
    }
    // The value is stored without a terminator: read it with room for one and add it, so the
    // path read is always terminated within the caller's buffer.
    uint32_t cbData = *pSize - 1;
    if (!RecordResult(Backend()->ReadValue(hKey, "LastFile", pBuffer, &cbData))) {
        return false;
    }
    pBuffer[cbData] = '\0';
    *pSize = cbData;
    return true;
}
