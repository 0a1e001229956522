// The settings store over the settings backend: "CommParam" and "LastFile" of one key.
#include "settings/settings_store.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/platform.h"

const char kSettingsKeyPath[] = "SOFTWARE\\ZOLM Technologies\\ZOLM Error Log";

namespace {

constexpr uint32_t kCommParamReadSize = 128;

SettingsBackend* Backend() {
    return g_Platform.pSettings;
}

// One number of the "CommParam" text as "%u", "%ld" or "%d" takes it (spaces, a sign, decimal
// digits), but read wide: a number outside [nMin, nMax] gives 0, a value the line cannot use,
// never its lower 32 bits (a baud of 2^32 + 19200 is not 19200). False when no number starts
// here; the text is terminated, so the parse stops at its end.
bool ParseNumber(const char** ppText, int64_t nMin, int64_t nMax, int64_t* pnValue) {
    char* pEnd = nullptr;
    errno = 0;
    long long nValue = strtoll(*ppText, &pEnd, 10);
    if (pEnd == *ppText) {
        return false;
    }
    *ppText = pEnd;
    *pnValue = (errno == ERANGE || nValue < nMin || nValue > nMax) ? 0 : nValue;
    return true;
}

}  // namespace

SettingsStore::SettingsStore(const char* szKeyPath) : hKey(nullptr) {
    szErrorText[0] = '\0';
    if (Backend() != nullptr) {
        hKey = Backend()->OpenKey(szKeyPath, szErrorText, sizeof szErrorText);
    }
}

SettingsStore::~SettingsStore() {
    delete hKey;
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
    return hKey->WriteValue("CommParam", szText, static_cast<uint32_t>(nLength), szErrorText,
                            sizeof szErrorText);
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
    uint32_t nLength = 0;
    if (!hKey->ReadValue("CommParam", szBuffer, kCommParamReadSize, &nLength, szErrorText,
                         sizeof szErrorText)) {
        return false;
    }
    // Parsed field by field as "%u %ld %c %d %d" reads it, so that a text that stops early
    // updates the fields it reaches, in order, and leaves the others as they were.
    const char* pText = szBuffer;
    int64_t nValue = 0;
    if (!ParseNumber(&pText, 0, UINT32_MAX, &nValue)) {
        return true;
    }
    *pPort = static_cast<uint32_t>(nValue);
    if (!ParseNumber(&pText, INT32_MIN, INT32_MAX, &nValue)) {
        return true;
    }
    *pBaud = static_cast<int32_t>(nValue);
    while (isspace(static_cast<unsigned char>(*pText))) {
        ++pText;
    }
    if (*pText == '\0') {
        return true;
    }
    *pParity = *pText++;
    if (!ParseNumber(&pText, INT32_MIN, INT32_MAX, &nValue)) {
        return true;
    }
    *pDataBits = static_cast<int32_t>(nValue);
    if (ParseNumber(&pText, INT32_MIN, INT32_MAX, &nValue)) {
        *pStopBits = static_cast<int32_t>(nValue);
    }
    return true;
}

bool SettingsStore::WriteLastFile(const char* szPath) {
    if (hKey == nullptr) {
        return false;
    }
    return hKey->WriteValue("LastFile", szPath, static_cast<uint32_t>(strlen(szPath)), szErrorText,
                            sizeof szErrorText);
}

bool SettingsStore::ReadLastFile(char* pBuffer, uint32_t* pSize) {
    if (hKey == nullptr || *pSize == 0) {
        return false;
    }
    // The value is stored without a terminator: read it with room for one and add it, so the
    // path read is always terminated within the caller's buffer.
    uint32_t nLength = 0;
    if (!hKey->ReadValue("LastFile", pBuffer, *pSize - 1, &nLength, szErrorText,
                         sizeof szErrorText)) {
        return false;
    }
    pBuffer[nLength] = '\0';
    *pSize = nLength;
    return true;
}

bool SettingsStore::ReadFastReplies() {
    if (hKey == nullptr) {
        return false;
    }
    char szValue[8];
    uint32_t nLength = 0;
    if (!hKey->ReadValue("FastReplies", szValue, sizeof szValue - 1, &nLength, szErrorText,
                         sizeof szErrorText)) {
        return false;
    }
    // "1" alone; regedit and reg.exe store a text with its terminator, and the count has it.
    return (nLength == 1 || (nLength == 2 && szValue[1] == '\0')) && szValue[0] == '1';
}
