// The settings store over a registry in memory: the text forms, partial and oversized values,
// and a key that cannot be opened.
#include <cstring>
#include <string>
#include <utility>

#include "serial/search_worker.h"
#include "settings/settings_store.h"
#include "support/core_fixture.h"

namespace {

class SettingsStoreTest : public CoreTest {
  protected:
    bool Read(LineSettings* pLine) {
        SettingsStore store(kSettingsKeyPath);
        return store.ReadCommParam(&pLine->nPort, &pLine->nBaud, &pLine->cParity, &pLine->nDataBits,
                                   &pLine->nStopBits);
    }
    std::string Stored(const char* szName) const {
        return settings.Value(kSettingsKeyPath, szName);
    }
    static void ExpectLine(const LineSettings& line, const LineSettings& expected,
                           const char* szStored) {
        EXPECT_EQ(line.nPort, expected.nPort) << szStored;
        EXPECT_EQ(line.nBaud, expected.nBaud) << szStored;
        EXPECT_EQ(line.cParity, expected.cParity) << szStored;
        EXPECT_EQ(line.nDataBits, expected.nDataBits) << szStored;
        EXPECT_EQ(line.nStopBits, expected.nStopBits) << szStored;
    }
};

TEST_F(SettingsStoreTest, CommParamRoundTripWithoutTerminator) {
    {
        SettingsStore store(kSettingsKeyPath);
        EXPECT_EQ(settings.keys.count(kSettingsKeyPath), 1u) << "the key made on construction";
        EXPECT_TRUE(store.WriteCommParam(1, 9600, 'n', 8, 1));
    }
    EXPECT_EQ(Stored("CommParam"), std::string("1 9600 n 8 1", 12));
    EXPECT_EQ(settings.nOpenKeys, 0) << "the destructor closes the key";
    LineSettings line = {4, 115200, 'e', 7, 2};
    EXPECT_TRUE(Read(&line));
    ExpectLine(line, {1, 9600, 'n', 8, 1}, "1 9600 n 8 1");

    SettingsStore store(kSettingsKeyPath);
    EXPECT_TRUE(store.WriteCommParam(2, 19200, 'e', 7, 1));
    EXPECT_EQ(Stored("CommParam"), "2 19200 e 7 1");
}

TEST_F(SettingsStoreTest, PartialTextUpdatesTheFieldsItReaches) {
    struct Case {
        const char* szStored;
        LineSettings expected;
    } cases[] = {
        {"3", {3, 4800, 'e', 7, 2}},
        {"2 19200", {2, 19200, 'e', 7, 2}},
        {"1 9600 n", {1, 9600, 'n', 7, 2}},
        {"x 9600", {9, 4800, 'e', 7, 2}},
    };
    for (const Case& c : cases) {
        settings.Put(kSettingsKeyPath, "CommParam", c.szStored);
        LineSettings line = {9, 4800, 'e', 7, 2};
        EXPECT_TRUE(Read(&line)) << c.szStored;
        ExpectLine(line, c.expected, c.szStored);
    }
}

// A stored number that does not fit its 32-bit field is unusable, like 0, and never its lower
// 32 bits: the safe line then starts that field from its initial value.
TEST_F(SettingsStoreTest, NumbersBeyond32BitsAreUnusable) {
    struct Case {
        const char* szStored;
        LineSettings read;  // as the store leaves it
        LineSettings safe;  // once made safe for the search
    } cases[] = {
        {"2 4294986496 e 7 1", {2, 0, 'e', 7, 1}, {2, 9600, 'e', 7, 1}},  // 2^32 + 19200
        {"4294967298 19200 e 7 1", {0, 19200, 'e', 7, 1}, {1, 19200, 'e', 7, 1}},
        {"-1 19200 e 7 1", {0, 19200, 'e', 7, 1}, {1, 19200, 'e', 7, 1}},
        {"2 19200 e 4294967303 1", {2, 19200, 'e', 0, 1}, {2, 19200, 'e', 8, 1}},
        {"2 19200 e 7 -4294967295", {2, 19200, 'e', 7, 0}, {2, 19200, 'e', 7, 1}},
        {"3 99999999999999999999999 n", {3, 0, 'n', 7, 2}, {3, 9600, 'n', 7, 2}},
        {"4 -2147483648 n 8", {4, INT32_MIN, 'n', 8, 2}, {4, 9600, 'n', 8, 2}},
    };
    for (const Case& c : cases) {
        settings.Put(kSettingsKeyPath, "CommParam", c.szStored);
        LineSettings line = {4, 4800, 'e', 7, 2};
        EXPECT_TRUE(Read(&line)) << c.szStored;
        ExpectLine(line, c.read, c.szStored);
        MakeLineSafe(&line);
        ExpectLine(line, c.safe, c.szStored);
    }
}

TEST_F(SettingsStoreTest, MissingAndOversizedValuesLeaveTheTargets) {
    LineSettings line = kInitialLine;
    {
        SettingsStore store(kSettingsKeyPath);
        EXPECT_FALSE(store.ReadCommParam(&line.nPort, &line.nBaud, &line.cParity, &line.nDataBits,
                                         &line.nStopBits));
        EXPECT_STREQ(store.szErrorText, "no value CommParam") << "the backend's reason";
    }
    settings.Put(kSettingsKeyPath, "CommParam", "2 19200 e 7 1" + std::string(300, ' '));
    EXPECT_FALSE(Read(&line));
    EXPECT_EQ(line.nPort, 1u);
    EXPECT_EQ(line.nBaud, 9600);
}

TEST_F(SettingsStoreTest, ValueOfExactly128BytesIsParsedWithinItsBytes) {
    std::string stored = "4 57600 e 7 1";
    stored += std::string(128 - stored.size(), '9');
    settings.Put(kSettingsKeyPath, "CommParam", stored);
    LineSettings line = kInitialLine;
    EXPECT_TRUE(Read(&line));
    EXPECT_EQ(line.nPort, 4u);
    EXPECT_EQ(line.nBaud, 57600);
    EXPECT_EQ(line.nDataBits, 7);
}

TEST_F(SettingsStoreTest, KeyThatCannotBeOpenedFailsEveryOperation) {
    settings.openFailure = "Access is denied.";
    SettingsStore store(kSettingsKeyPath);
    EXPECT_EQ(store.hKey, nullptr);
    EXPECT_STREQ(store.szErrorText, "Access is denied.");
    LineSettings line = kInitialLine;
    EXPECT_FALSE(store.WriteCommParam(2, 19200, 'e', 7, 1));
    EXPECT_FALSE(store.ReadCommParam(&line.nPort, &line.nBaud, &line.cParity, &line.nDataBits,
                                     &line.nStopBits));
    EXPECT_FALSE(store.WriteLastFile("/tmp/report.txt"));
    char szPath[768] = {0};
    uint32_t nSize = sizeof szPath;
    EXPECT_FALSE(store.ReadLastFile(szPath, &nSize));
    EXPECT_EQ(line.nPort, 1u);
    EXPECT_EQ(line.nBaud, 9600);
    EXPECT_STREQ(store.szErrorText, "Access is denied.") << "unchanged by the refused operations";
    EXPECT_TRUE(settings.keys.empty());
}

TEST_F(SettingsStoreTest, FastRepliesForOneAloneWithOrWithoutItsTerminator) {
    const std::pair<std::string, bool> kCases[] = {
        {"1", true}, {std::string("1\0", 2), true}, {"0", false}, {"11", false}, {"", false}};
    for (const auto& c : kCases) {
        settings.Put(kSettingsKeyPath, "FastReplies", c.first);
        EXPECT_EQ(SettingsStore(kSettingsKeyPath).ReadFastReplies(), c.second) << c.first.size();
    }
}

TEST_F(SettingsStoreTest, LastFileIsStoredBareAndReadTerminated) {
    {
        SettingsStore store(kSettingsKeyPath);
        EXPECT_TRUE(store.WriteLastFile(""));
    }
    EXPECT_TRUE(settings.Has(kSettingsKeyPath, "LastFile"));
    EXPECT_EQ(Stored("LastFile"), "");
    {
        SettingsStore store(kSettingsKeyPath);
        EXPECT_TRUE(store.WriteLastFile("/home/tech/report.txt"));
    }
    EXPECT_EQ(Stored("LastFile"), "/home/tech/report.txt");

    char szPath[32];
    memset(szPath, 'x', sizeof szPath);
    uint32_t nSize = sizeof szPath;
    SettingsStore store(kSettingsKeyPath);
    EXPECT_TRUE(store.ReadLastFile(szPath, &nSize));
    EXPECT_EQ(nSize, 21u);
    EXPECT_STREQ(szPath, "/home/tech/report.txt");

    // A value that fills the whole buffer leaves no room for the terminator: refused.
    settings.Put(kSettingsKeyPath, "LastFile", std::string(32, 'p'));
    nSize = sizeof szPath;
    EXPECT_FALSE(store.ReadLastFile(szPath, &nSize));
    EXPECT_STREQ(store.szErrorText, "LastFile does not fit");
}

}  // namespace
