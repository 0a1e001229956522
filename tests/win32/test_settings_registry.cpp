// The registry settings backend against the real registry (Wine's, or Windows'), in a key of
// its own below SOFTWARE that the tests remove again; the settings store on top of it.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "common/app_state.h"
#include "common/settings_backend.h"
#include "platform/win32/win32_platform.h"
#include "settings/settings_store.h"

namespace {

const char kTestParent[] = "SOFTWARE\\ArmLink Tests";

class RegistryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        snprintf(szKeyPath, sizeof szKeyPath, "%s\\run %lu", kTestParent,
                 static_cast<unsigned long>(GetCurrentProcessId()));
        RemoveTestKey();
        pBackend = Win32Settings();
        savedPlatform = g_Platform;
        g_Platform.pSettings = pBackend;
    }

    void TearDown() override {
        g_Platform = savedPlatform;
        RemoveTestKey();
    }

    void RemoveTestKey() {
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, szKeyPath);
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, kTestParent);  // fails while other runs use it
    }

    // Stores a value directly, bypassing the backend. REG_BINARY keeps exactly the bytes given
    // (the registry terminates a REG_SZ itself), like a value left by another program; the
    // store does not look at the type.
    void PutRaw(const char* szName, const std::string& bytes) {
        HKEY hKey = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, szKeyPath, 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &hKey, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(
            RegSetValueExA(hKey, szName, 0, REG_BINARY, reinterpret_cast<const BYTE*>(bytes.data()),
                           static_cast<DWORD>(bytes.size())),
            ERROR_SUCCESS);
        RegCloseKey(hKey);
    }

    // The type and the exact stored bytes of a value, read directly.
    bool GetRaw(const char* szName, DWORD* pdwType, std::string* pBytes) {
        HKEY hKey = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, szKeyPath, 0, KEY_READ, &hKey) != ERROR_SUCCESS) {
            return false;
        }
        char buffer[1024];
        DWORD cbData = sizeof buffer;
        LONG nResult = RegQueryValueExA(hKey, szName, nullptr, pdwType,
                                        reinterpret_cast<BYTE*>(buffer), &cbData);
        RegCloseKey(hKey);
        if (nResult != ERROR_SUCCESS) {
            return false;
        }
        pBytes->assign(buffer, cbData);
        return true;
    }

    static bool ReadLine(SettingsStore* pStore, LineSettings* pLine) {
        return pStore->ReadCommParam(&pLine->nPort, &pLine->nBaud, &pLine->cParity,
                                     &pLine->nDataBits, &pLine->nStopBits);
    }

    // The system's own text for a result code, as the backend gives it for a failure.
    static std::string SystemText(DWORD dwCode) {
        char szText[128] = "";
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, dwCode,
                       0, szText, sizeof szText, nullptr);
        return szText;
    }

    char szKeyPath[128];
    SettingsBackend* pBackend = nullptr;
    Platform savedPlatform;
};

TEST_F(RegistryTest, KeyIsCreatedOnOpeningThenOpenedAgain) {
    char szWhyNot[128] = "";
    for (int nOpen = 0; nOpen < 2; ++nOpen) {
        SettingsKey* pKey = pBackend->OpenKey(szKeyPath, szWhyNot, sizeof szWhyNot);
        ASSERT_NE(pKey, nullptr) << szWhyNot;
        HKEY hKey = nullptr;
        EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, szKeyPath, 0, KEY_READ, &hKey), ERROR_SUCCESS)
            << "there with nothing written";
        RegCloseKey(hKey);
        delete pKey;
    }
}

// The store writes each text with exactly its own length. The registry keeps a REG_SZ value
// with a terminator of its own (Wine always adds one, and a reader may get it counted), so what
// comes back is the text, followed by at most that one NUL, and nothing else.
TEST_F(RegistryTest, TextValuesComeBackAsWrittenAsRegSz) {
    char szWhyNot[128] = "untouched";
    SettingsKey* pKey = pBackend->OpenKey(szKeyPath, szWhyNot, sizeof szWhyNot);
    ASSERT_NE(pKey, nullptr);

    const std::string kTexts[] = {"1 9600 n 8 1", "2 19200 e 7 1", "C:\\Reports\\arm.txt", ""};
    for (const std::string& text : kTexts) {
        SCOPED_TRACE(text);
        ASSERT_TRUE(pKey->WriteValue("CommParam", text.data(), static_cast<uint32_t>(text.size()),
                                     szWhyNot, sizeof szWhyNot));
        DWORD dwType = 0;
        std::string stored;
        ASSERT_TRUE(GetRaw("CommParam", &dwType, &stored));
        EXPECT_EQ(dwType, static_cast<DWORD>(REG_SZ));

        char buffer[128];
        memset(buffer, 'x', sizeof buffer);
        uint32_t nLength = 0;
        ASSERT_TRUE(pKey->ReadValue("CommParam", buffer, sizeof buffer - 1, &nLength, szWhyNot,
                                    sizeof szWhyNot));
        ASSERT_GE(nLength, text.size());
        ASSERT_LE(nLength, text.size() + 1);
        EXPECT_EQ(std::string(buffer, text.size()), text);
        if (nLength > text.size()) {
            EXPECT_EQ(buffer[text.size()], '\0') << "only the system's own terminator follows";
        }
        EXPECT_EQ(buffer[nLength], 'x') << "nothing is stored beyond the count";
    }
    EXPECT_STREQ(szWhyNot, "untouched") << "no reason where nothing failed";
    delete pKey;
}

// A value missing or too long for the buffer fails with the system's text for its code, cut to
// the buffer and terminated.
TEST_F(RegistryTest, MissingAndOversizedValuesFailWithTheSystemsText) {
    char szWhyNot[128] = "";
    SettingsKey* pKey = pBackend->OpenKey(szKeyPath, szWhyNot, sizeof szWhyNot);
    ASSERT_NE(pKey, nullptr);

    char buffer[16];
    memset(buffer, 'x', sizeof buffer);
    uint32_t nLength = 0;
    EXPECT_FALSE(
        pKey->ReadValue("LastFile", buffer, sizeof buffer, &nLength, szWhyNot, sizeof szWhyNot));
    EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(sizeof buffer, 'x'));
    ASSERT_GT(strlen(szWhyNot), 8u) << "the system has a text for ERROR_FILE_NOT_FOUND";
    EXPECT_EQ(szWhyNot, SystemText(ERROR_FILE_NOT_FOUND));
    std::string full = szWhyNot;
    char szShort[9];
    memset(szShort, 'x', sizeof szShort);
    EXPECT_FALSE(
        pKey->ReadValue("LastFile", buffer, sizeof buffer, &nLength, szShort, sizeof szShort));
    EXPECT_EQ(std::string(szShort), full.substr(0, 8)) << "cut to the buffer, terminated";

    const std::string kLong = "3 115200 e 7 1";
    ASSERT_TRUE(pKey->WriteValue("CommParam", kLong.data(), static_cast<uint32_t>(kLong.size()),
                                 szWhyNot, sizeof szWhyNot));
    memset(buffer, 'x', sizeof buffer);
    EXPECT_FALSE(pKey->ReadValue("CommParam", buffer, 5, &nLength, szWhyNot, sizeof szWhyNot));
    EXPECT_EQ(szWhyNot, SystemText(ERROR_MORE_DATA));
    // No part of the value is left behind as if it were the whole, and nothing beyond the
    // size given is touched.
    EXPECT_EQ(std::string(buffer, 5), std::string(5, '\0'));
    EXPECT_EQ(std::string(buffer + 5, sizeof buffer - 5), std::string(sizeof buffer - 5, 'x'));
    delete pKey;
}

TEST_F(RegistryTest, StoreRoundTripsLineAndLastFile) {
    {
        SettingsStore store(szKeyPath);
        ASSERT_NE(store.hKey, nullptr);
        EXPECT_TRUE(store.WriteCommParam(2, 19200, 'e', 7, 1));
        EXPECT_TRUE(store.WriteLastFile("C:\\Reports\\arm.txt"));
    }
    DWORD dwType = 0;
    std::string stored;
    ASSERT_TRUE(GetRaw("CommParam", &dwType, &stored));
    EXPECT_STREQ(stored.c_str(), "2 19200 e 7 1");

    SettingsStore store(szKeyPath);
    LineSettings line = kInitialLine;
    ASSERT_TRUE(ReadLine(&store, &line));
    EXPECT_EQ(line.nPort, 2u);
    EXPECT_EQ(line.nBaud, 19200);
    EXPECT_EQ(line.cParity, 'e');
    EXPECT_EQ(line.nDataBits, 7);
    EXPECT_EQ(line.nStopBits, 1);

    char szPath[768];
    memset(szPath, 0, sizeof szPath);
    uint32_t nSize = sizeof szPath;
    ASSERT_TRUE(store.ReadLastFile(szPath, &nSize));
    EXPECT_STREQ(szPath, "C:\\Reports\\arm.txt");
}

// Values written by hand or by another program carry no terminator and may fill the buffer:
// they are read with room for one, never past the buffer.
TEST_F(RegistryTest, StoreReadsFullLengthValuesWithinItsBuffers) {
    std::string commParam = "4 38400 e 7 1";
    commParam.resize(128, ' ');
    PutRaw("CommParam", commParam);
    std::string lastFile(15, 'p');
    PutRaw("LastFile", lastFile);

    SettingsStore store(szKeyPath);
    LineSettings line = kInitialLine;
    ASSERT_TRUE(ReadLine(&store, &line));
    EXPECT_EQ(line.nPort, 4u);
    EXPECT_EQ(line.nBaud, 38400);

    char szPath[16];
    memset(szPath, 'x', sizeof szPath);
    uint32_t nSize = sizeof szPath;
    ASSERT_TRUE(store.ReadLastFile(szPath, &nSize));
    EXPECT_EQ(nSize, 15u);
    EXPECT_EQ(std::string(szPath), lastFile);

    // One byte more no longer fits beside the terminator: the read fails, the targets stay.
    commParam.push_back(' ');
    PutRaw("CommParam", commParam);
    PutRaw("LastFile", std::string(16, 'p'));
    LineSettings before = line;
    EXPECT_FALSE(ReadLine(&store, &line));
    EXPECT_EQ(memcmp(&line, &before, sizeof line), 0);
    EXPECT_EQ(store.szErrorText, SystemText(ERROR_MORE_DATA));
    store.szErrorText[0] = '\0';
    nSize = sizeof szPath;
    EXPECT_FALSE(store.ReadLastFile(szPath, &nSize));
    EXPECT_EQ(store.szErrorText, SystemText(ERROR_MORE_DATA));
    EXPECT_NE(store.szErrorText[0], '\0');
}

// A key the registry refuses (here: a path with a leading backslash) leaves the store without a
// key: every operation fails at once, changes nothing and keeps the code of the failed open.
TEST_F(RegistryTest, StoreWithoutKeyFailsEveryOperationWithoutEffect) {
    char szBadPath[160];
    snprintf(szBadPath, sizeof szBadPath, "\\%s", szKeyPath);
    SettingsStore store(szBadPath);
    EXPECT_EQ(store.hKey, nullptr);
    const std::string kBadPathname = SystemText(ERROR_BAD_PATHNAME);
    EXPECT_NE(kBadPathname, "");
    EXPECT_EQ(store.szErrorText, kBadPathname) << "the system's text for ERROR_BAD_PATHNAME";

    LineSettings line = {3, 38400, 'e', 7, 1};
    EXPECT_FALSE(ReadLine(&store, &line));
    EXPECT_EQ(line.nPort, 3u);
    EXPECT_EQ(line.nBaud, 38400);
    EXPECT_FALSE(store.WriteCommParam(2, 19200, 'n', 8, 1));
    EXPECT_FALSE(store.WriteLastFile("C:\\x.txt"));
    char szPath[32] = "unchanged";
    uint32_t nSize = sizeof szPath;
    EXPECT_FALSE(store.ReadLastFile(szPath, &nSize));
    EXPECT_STREQ(szPath, "unchanged");
    EXPECT_EQ(store.szErrorText, kBadPathname) << "the failed open's text stays";
    DWORD dwType = 0;
    std::string stored;
    EXPECT_FALSE(GetRaw("CommParam", &dwType, &stored)) << "nothing reached the registry";
}

}  // namespace
