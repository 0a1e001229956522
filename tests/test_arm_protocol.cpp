// The arm's command table, the reply parsers and the record rules.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "protocol/arm_protocol.h"

namespace {

TEST(ProtocolCommands, TextsLengthsLimitsAndDeadlines) {
    struct Row {
        ArmCommandId nId;
        const char* szText;
        uint32_t nSentBytes, nLimit, nDeadline, nStatsDeadline;
    };
    const Row kRows[] = {
        {kCmdEcho, "_I", 2, 32, 0, 0},
        {kCmdIdentity, "_G", 2, 270, 2000, 1000},
        {kCmdErrorRecord, "_Y1", 3, 64, 2000, 2000},
        {kCmdStats, "_G STATS", 8, 89, 1000, 1000},
        {kCmdCloseReadOut, "_P", 2, 74, 2000, 1000},
    };
    for (const Row& row : kRows) {
        const ArmCommand& command = kArmCommands[row.nId];
        SCOPED_TRACE(row.szText);
        EXPECT_STREQ(command.szText, row.szText);
        EXPECT_EQ(command.nSentBytes, row.nSentBytes);
        EXPECT_EQ(strlen(command.szText), command.nSentBytes);
        EXPECT_EQ(command.nReplyLimit, row.nLimit);
        EXPECT_EQ(command.nDeadlineMs, row.nDeadline);
        EXPECT_EQ(command.nStatsDeadlineMs, row.nStatsDeadline);
        // Every reply fits the zeroed reply buffer with its terminator.
        EXPECT_LT(command.nReplyLimit, kReplyBufferSize);
    }
}

ArmIdentity ParseIdentity(const std::string& reply, int* pCount = nullptr) {
    ArmIdentity identity = {};
    int nCount = ParseArmIdentity(reply.c_str(), reply.size() + 1, &identity);
    if (pCount != nullptr) {
        *pCount = nCount;
    }
    return identity;
}

TEST(ProtocolIdentity, OneLineReplyGivesVersionArmAndCalibration) {
    int nCount = 0;
    ArmIdentity identity = ParseIdentity("0 a b c d e 4.60 x y ARM01 p q YES", &nCount);
    EXPECT_EQ(nCount, 4);
    EXPECT_EQ(identity.nStatus, 0);
    EXPECT_EQ(identity.fVersion, 4.6f);
    EXPECT_STREQ(identity.szArm, "ARM01");
    EXPECT_STREQ(identity.szCalibrated, "YES");
    EXPECT_TRUE(PassesVersionGate(identity.fVersion));
}

TEST(ProtocolIdentity, FullThreeLineReplyParsesEveryNumber) {
    std::string reply = "524 s1 s2 s3 s4 s5 4.75 s8 s9 ARM-7 s11 s12 2024-01-09 1 2.5 3.5\r\n";
    for (int i = 0; i < 12; ++i) {
        reply += "1.0 ";
    }
    reply += "7 8.5\r\n1 2 3 4 5 6\r\n";
    int nCount = 0;
    ArmIdentity identity = ParseIdentity(reply, &nCount);
    EXPECT_EQ(nCount, 27);
    EXPECT_EQ(identity.nStatus, 524);
    EXPECT_EQ(identity.fVersion, 4.75f);
    EXPECT_STREQ(identity.szArm, "ARM-7");
    EXPECT_STREQ(identity.szCalibrated, "2024-01-09");
}

TEST(ProtocolIdentity, VersionGate) {
    struct Row {
        const char* szReply;
        bool bPasses;
    };
    const Row kRows[] = {
        {"0 a b c d e 4.6 x y ARM01 p q YES", true},
        {"0 a b c d e 4.60 x y ARM01 p q YES", true},
        {"0 a b c d e 5.1 x y ARM01 p q YES", true},
        {"0 a b c d e 4.59 x y ARM01 p q YES", false},
        {"0 a b c d e 4.5999 x y ARM01 p q YES", false},
        {"0 a b c d e", false},                         // fewer than seven tokens
        {"0 a b c d e vers x y ARM01 p q YES", false},  // not a number
        {"", false},
    };
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.szReply);
        EXPECT_EQ(PassesVersionGate(ParseIdentity(row.szReply).fVersion), row.bPasses);
    }
    EXPECT_FALSE(PassesVersionGate(std::nanf("")));
    EXPECT_FALSE(PassesVersionGate(0.0f));
}

TEST(ProtocolIdentity, ShortReplyLeavesLaterFieldsAsTheyWere) {
    ArmIdentity identity = {};
    identity.fVersion = 1.5f;
    strcpy(identity.szArm, "before");
    const char kReply[] = "12 a b";
    EXPECT_EQ(ParseArmIdentity(kReply, sizeof kReply, &identity), 1);
    EXPECT_EQ(identity.nStatus, 12);
    EXPECT_EQ(identity.fVersion, 1.5f);
    EXPECT_STREQ(identity.szArm, "before");
}

// The identity tokens may take up nearly the whole 270-byte reply; the buffers hold them whole,
// and a longer token (past any real reply) is cut at the buffer, never beyond it.
TEST(ProtocolIdentity, LongTokensAreHeldWholeAndBounded) {
    std::string szLongArm(240, 'A');
    std::string reply = "0 a b c d e 4.6 x y " + szLongArm + " p q C";
    ASSERT_LE(reply.size(), 270u);
    ArmIdentity identity = ParseIdentity(reply);
    EXPECT_EQ(std::string(identity.szArm), szLongArm);
    EXPECT_STREQ(identity.szCalibrated, "C");

    std::string szHuge(400, 'B');
    identity = ParseIdentity("0 a b c d e 4.6 x y " + szHuge + " p q C");
    EXPECT_EQ(strlen(identity.szArm), kTokenSize - 1);
    EXPECT_EQ(identity.fVersion, 4.6f);
}

TEST(ProtocolErrorRecord, CountsValidityAndEmptiness) {
    ErrorRecord record = {};
    const char kZeros[] = "0 0 0 0 0 0 0\r\n";
    EXPECT_EQ(ParseErrorRecord(kZeros, sizeof kZeros, &record), kErrorRecordValues);
    EXPECT_TRUE(IsEmptyRecord(record));

    record = {};
    const char kThree[] = "1A 2 3\r\n";
    EXPECT_EQ(ParseErrorRecord(kThree, sizeof kThree, &record), 3);

    const char kEmpty[] = "";
    EXPECT_EQ(ParseErrorRecord(kEmpty, sizeof kEmpty, &record), 0);
}

TEST(ProtocolErrorRecord, WordsAreThirtyTwoBitsAndWhiteSpaceIsFree) {
    ErrorRecord record = {};
    const char kReply[] = "FFFFFFFF 9001a\r\n5 40DA991\n\n 4030102\t5 80000000\r\n";
    ASSERT_EQ(ParseErrorRecord(kReply, sizeof kReply, &record), kErrorRecordValues);
    EXPECT_EQ(record.dwWord0, 0xFFFFFFFFu);
    EXPECT_EQ(record.dwWord1, 0x0009001Au);
    EXPECT_EQ(record.dwWord2, 0x5u);
    EXPECT_EQ(record.dwWord3, 0x040DA991u);
    EXPECT_EQ(record.dwWord4, 0x04030102u);
    EXPECT_EQ(record.dwWord5, 0x5u);
    EXPECT_EQ(record.dwWord6, 0x80000000u);
}

// A reply that is not terminated within its size is read only up to that size: the bytes that
// follow in memory must not change the record.
TEST(ProtocolErrorRecord, UnterminatedReplyIsNotReadPastItsSize) {
    char szMemory[32];
    memset(szMemory, '7', sizeof szMemory);
    memcpy(szMemory, "A B C D E F 1", 13);  // then "777...", no terminator anywhere
    ErrorRecord record = {};
    EXPECT_EQ(ParseErrorRecord(szMemory, 13, &record), kErrorRecordValues);
    EXPECT_EQ(record.dwWord6, 1u);

    record = {};
    EXPECT_EQ(ParseErrorRecord(szMemory, 5, &record), 3);  // "A B C"
    EXPECT_EQ(record.dwWord2, 0xCu);
}

TEST(ProtocolErrorRecord, EmptyMeansErrorAndExtendedCodesZero) {
    struct Row {
        uint32_t dwWord0;
        bool bEmpty;
    };
    const Row kRows[] = {
        {0x00000000u, true}, {0x00000001u, false}, {0x00010000u, false}, {0x00FF0000u, false},
        {0x0000FF00u, true}, {0xFF000000u, true},  {0xFF00FF00u, true},  {0x00000100u, true},
    };
    for (const Row& row : kRows) {
        ErrorRecord record = {row.dwWord0, 1, 2, 3, 4, 5, 6};
        EXPECT_EQ(IsEmptyRecord(record), row.bEmpty) << std::hex << row.dwWord0;
    }
}

TEST(ProtocolStats, TenValuesInRecordOrder) {
    StatsRecord stats = {};
    const char kReply[] = "-1 1F40 3 0 1 2 0 FFFFFFFF FA 9\r\n";
    ASSERT_EQ(ParseStatsRecord(kReply, sizeof kReply, &stats), kStatsRecordValues);
    EXPECT_EQ(stats.nStatus, -1);
    EXPECT_EQ(stats.nCaptures, 0x1F40u);
    EXPECT_EQ(stats.nAsyncCaptures, 3u);
    EXPECT_EQ(stats.nCrcErrors, 0u);
    EXPECT_EQ(stats.nStallCount, 1u);
    EXPECT_EQ(stats.nRetryCount, 2u);
    EXPECT_EQ(stats.nBounces, 0u);
    EXPECT_EQ(stats.nLineErrors, 0xFFFFFFFFu);
    EXPECT_EQ(stats.nPointPeriod, 0xFAu);
    EXPECT_EQ(stats.nAddressErrors, 9u);

    const char kNine[] = "0 1 2 3 4 5 6 7 8";
    EXPECT_EQ(ParseStatsRecord(kNine, sizeof kNine, &stats), 9);
}

TEST(ProtocolEcho, FourValues) {
    EchoReply echo = {};
    const char kReply[] = "19200 e 7 1\r\n";
    ASSERT_EQ(ParseEchoReply(kReply, sizeof kReply, &echo), kEchoValues);
    EXPECT_EQ(echo.nBaud, 19200);
    EXPECT_EQ(echo.cParity, 'e');
    EXPECT_EQ(echo.nDataBits, 7);
    EXPECT_EQ(echo.nStopBits, 1);

    const char kShort[] = "115200 n";
    echo = {};
    EXPECT_EQ(ParseEchoReply(kShort, sizeof kShort, &echo), 2);
    EXPECT_EQ(echo.nBaud, 115200);
    EXPECT_EQ(echo.cParity, 'n');

    const char kNone[] = "";
    EXPECT_EQ(ParseEchoReply(kNone, sizeof kNone, &echo), 0);
}

// The fewest bytes that could still make a text a whole reply; each row's rest is a reply that
// takes exactly that many, so the count is never more than an arm may need.
TEST(ProtocolReplyBytesToCome, FewestBytesThatCouldMakeTheReplyWhole) {
    const struct {
        ArmCommandId nCommand;
        const char* szText;
        uint32_t nBytes;  // a rest as short: see the comment of each row
    } rows[] = {
        {kCmdErrorRecord, "", 15},                // "0 0 0 0 0 0 0\r\n"
        {kCmdErrorRecord, "104 2 0 1A 0", 6},     // " 0 0\r\n"
        {kCmdErrorRecord, "104 2 0 1A 0 ", 5},    // "0 0\r\n"
        {kCmdErrorRecord, "0 0 0 0 0 0 0\r", 1},  // "\n"
        {kCmdIdentity, "0 STATUS 0 0 0 FIRMWARE 4.60 BUILD 0 ARM01 SERIAL 0 YES 1 0.0 0.0\r\n", 41},
        {kCmdCloseReadOut, "OK\r\n", 0},
        {kCmdEcho, "9600 n 8 1\r\n", 0},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(ReplyBytesToCome(row.nCommand, row.szText, strlen(row.szText)), row.nBytes)
            << row.szText;
    }
}

TEST(ProtocolStatus, PendingErrorAndNumbers) {
    struct Row {
        int32_t nStatus;
        bool bPending;
        int nError, nExtended;
    };
    const Row kRows[] = {
        {3, false, 0, 0},    {4, true, 1, 0},      {0x20C, true, 3, 2},
        {0xFC, true, 31, 0}, {0x100, false, 0, 1}, {0x0000FF7C, true, 31, 255},
        {-1, true, 31, 255},
    };
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.nStatus);
        EXPECT_EQ(StatusErrorPending(row.nStatus), row.bPending);
        EXPECT_EQ(StatusErrorNumber(row.nStatus), row.nError);
        EXPECT_EQ(StatusExtendedNumber(row.nStatus), row.nExtended);
    }
}

TEST(ProtocolPointRate, RatesAsPrinted) {
    struct Row {
        uint32_t nPeriod;
        const char* szText;
    };
    const Row kRows[] = {
        {250, "400.00"}, {0, "  0.00"},           {1, "100000.00"},
        {300, "333.33"}, {0xFFFFFFFFu, "  0.00"},  // unsigned: a tiny positive rate, not a negative
                                                   // one
    };
    for (const Row& row : kRows) {
        char szText[32];
        snprintf(szText, sizeof szText, "%6.2lf", PointRate(row.nPeriod));
        EXPECT_STREQ(szText, row.szText) << row.nPeriod;
    }
    EXPECT_GT(PointRate(0xFFFFFFFFu), 0.0);
    EXPECT_EQ(PointRate(0), 0.0);
}

}  // namespace
