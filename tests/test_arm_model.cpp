// Tests of the arm model's replies and of the scenario file parser.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "tools/armsim/arm_model.h"
#include "tools/armsim/scenario.h"

namespace {

const char kIdentityFormat[] =
    "%d %*s %*s %*s %*s %*s %f %*s %*s %279s %*s %*s %279s %d %f %f\r\n%f %f %f %f %f %f %f %f %f "
    "%f %f "
    "%f %d %f\r\n%f %f %f %f %f %f\r\n";

const char kDefaultIdentity[] =
    "0 STATUS 0 0 0 FIRMWARE 4.60 BUILD 0 ARM01 SERIAL 0 YES 1 0.0 0.0\r\n"
    "0.0 0.0 0.0 0.0 0.0 0.0 0.0 0.0 0.0 0.0 0.0 0.0 0 0.0\r\n"
    "0.0 0.0 0.0 0.0 0.0 0.0\r\n";

std::string Ask(ArmModel* pArm, const std::string& command, bool* pbNoise = nullptr) {
    const ArmScenario& s = pArm->scenario;
    return pArm->Receive(command, s.nBaud, s.nDataBits, s.cParity, pbNoise);
}

std::vector<std::string> Tokens(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> tokens;
    std::string token;
    while (in >> token) {
        tokens.push_back(token);
    }
    return tokens;
}

struct IdentityFields {
    int nCount;
    int nStatus;
    float fVersion;
    char szArm[280];
    char szCalibrated[280];
};

IdentityFields ParseIdentity(const std::string& reply) {
    IdentityFields f;
    memset(&f, 0, sizeof f);
    int nSkip = 0;
    float fSkip = 0;
    float g[19] = {0};
    // Line 1: %d %f %f after the named fields; line 2: 12 x %f, %d, %f; line 3: 6 x %f.
    f.nCount = sscanf(reply.c_str(), kIdentityFormat, &f.nStatus, &f.fVersion, f.szArm,
                      f.szCalibrated, &nSkip, &fSkip, &fSkip, &g[0], &g[1], &g[2], &g[3], &g[4],
                      &g[5], &g[6], &g[7], &g[8], &g[9], &g[10], &g[11], &nSkip, &fSkip, &g[12],
                      &g[13], &g[14], &g[15], &g[16], &g[17]);
    return f;
}

}  // namespace

TEST(ArmModel, HealthyArmAnswersEachCommandWithExactBytes) {
    struct Case {
        const char* szCommand;
        const char* szReply;
    };
    const Case cases[] = {
        {"_I", "9600 n 8 1\r\n"},
        {"_G", kDefaultIdentity},
        {"_Y1", "0 0 0 0 0 0 0\r\n"},
        {"_G STATS", "0 1F40 3 0 1 2 0 0 FA 0\r\n"},
        {"_P", "OK\r\n"},
        {"_X", ""},
        {"_I\r", ""},
    };
    for (const Case& c : cases) {
        ArmModel arm{ArmScenario()};
        bool bNoise = true;
        EXPECT_EQ(Ask(&arm, c.szCommand, &bNoise), c.szReply) << c.szCommand;
        EXPECT_FALSE(bNoise) << c.szCommand;
        ASSERT_EQ(arm.seen.size(), 1u);
        EXPECT_EQ(arm.seen[0].text, c.szCommand);
    }
}

TEST(ArmModel, EchoReportsTheArmsOwnLine) {
    ArmScenario s;
    s.nBaud = 19200;
    s.nDataBits = 7;
    s.cParity = 'e';
    s.nStopBits = 2;
    ArmModel arm(s);
    EXPECT_EQ(arm.Receive("_I", 19200, 7, 'e', nullptr), "19200 e 7 2\r\n");
    EXPECT_EQ(arm.seen[0].nBaud, 19200u);
    EXPECT_EQ(arm.seen[0].nDataBits, 7);
    EXPECT_EQ(arm.seen[0].cParity, 'e');
}

TEST(ArmModel, IdentityHasTheTokensAtTheirPlaces) {
    ArmScenario s;
    s.nStatus = 0x20C;
    s.version = "4.59";
    s.arm = "B7-2231";
    s.calibrated = "NO";
    ArmModel arm(s);
    std::string reply = Ask(&arm, "_G");
    std::vector<std::string> tokens = Tokens(reply);
    ASSERT_EQ(tokens.size(), 36u);
    EXPECT_EQ(tokens[0], "524");
    EXPECT_EQ(tokens[6], "4.59");
    EXPECT_EQ(tokens[9], "B7-2231");
    EXPECT_EQ(tokens[12], "NO");
    // Three lines, each ending in CR LF, and the whole reading parses.
    size_t nLines = 0;
    for (size_t i = reply.find("\r\n"); i != std::string::npos; i = reply.find("\r\n", i + 2)) {
        ++nLines;
    }
    EXPECT_EQ(nLines, 3u);
    EXPECT_EQ(reply.substr(reply.size() - 2), "\r\n");
    IdentityFields f = ParseIdentity(reply);
    EXPECT_EQ(f.nCount, 27);  // every conversion of the three lines
    EXPECT_EQ(f.nStatus, 0x20C);
    EXPECT_EQ(f.fVersion, 4.59f);
    EXPECT_STREQ(f.szArm, "B7-2231");
    EXPECT_STREQ(f.szCalibrated, "NO");
}

TEST(ArmModel, IdentityStaysWithinItsReadLimit) {
    ArmScenario s;
    s.nStatus = -2147483647 - 1;
    s.version = std::string(40, 'v');
    s.arm = std::string(60, 'A');  // longer than a token may be: cut to 40
    s.calibrated = std::string(40, 'C');
    ArmModel arm(s);
    std::string reply = Ask(&arm, "_G");
    EXPECT_LE(reply.size(), 270u);
    std::vector<std::string> tokens = Tokens(reply);
    ASSERT_EQ(tokens.size(), 36u);
    EXPECT_EQ(tokens[9], std::string(40, 'A'));
}

TEST(ArmModel, IdentityReplyGoesOutVerbatim) {
    ArmScenario s;
    s.identityReply = "0 a b c d e 4.60 x y ARM01 p q YES\r\n";
    ArmModel arm(s);
    EXPECT_EQ(Ask(&arm, "_G"), s.identityReply);
}

TEST(ArmModel, ErrorRecordsArePoppedInOrderThenZeros) {
    ArmScenario s;
    s.errorRecords = {"104 2 0 1A 0 0 0", "20008 1 10 0 0 0 0"};
    ArmModel arm(s);
    EXPECT_EQ(Ask(&arm, "_Y1"), "104 2 0 1A 0 0 0\r\n");
    EXPECT_EQ(Ask(&arm, "_Y1"), "20008 1 10 0 0 0 0\r\n");
    EXPECT_EQ(Ask(&arm, "_Y1"), "0 0 0 0 0 0 0\r\n");
    EXPECT_EQ(Ask(&arm, "_Y1"), "0 0 0 0 0 0 0\r\n");
}

TEST(ArmModel, CountersRunOnByTheirStepAndWrap) {
    ArmScenario s;
    s.nStatsStatus = -4;
    uint32_t counters[9] = {0xFFFFFFFF, 0, 10, 0, 0, 0, 0x7FFFFFFF, 250, 0};
    int32_t steps[9] = {1, 2, -3, 0, 0, 0, 1, 0, -1};
    memcpy(s.counters, counters, sizeof counters);
    memcpy(s.counterStep, steps, sizeof steps);
    ArmModel arm(s);
    EXPECT_EQ(Ask(&arm, "_G STATS"), "-4 FFFFFFFF 0 A 0 0 0 7FFFFFFF FA 0\r\n");
    EXPECT_EQ(Ask(&arm, "_G STATS"), "-4 0 2 7 0 0 0 80000000 FA FFFFFFFF\r\n");
}

TEST(ArmModel, WrongLineGetsSilenceOrNoise) {
    struct Case {
        uint32_t nBaud;
        int nDataBits;
        char cParity;
    };
    // The arm is at 19200 7E1; each host line differs in one part.
    const Case cases[] = {{9600, 7, 'e'}, {19200, 8, 'e'}, {19200, 7, 'n'}, {19200, 7, 'o'}};
    for (const Case& c : cases) {
        for (int nMode = 0; nMode < 3; ++nMode) {
            ArmScenario s;
            s.nBaud = 19200;
            s.nDataBits = 7;
            s.cParity = 'e';
            s.errorRecords = {"104 2 0 1A 0 0 0"};
            s.bGarbageOnMismatch = nMode >= 1;
            s.bFramingErrorOnMismatch = nMode == 2;
            ArmModel arm(s);
            bool bNoise = !s.bFramingErrorOnMismatch;
            std::string reply = arm.Receive("_Y1", c.nBaud, c.nDataBits, c.cParity, &bNoise);
            SCOPED_TRACE(testing::Message()
                         << c.nBaud << " " << c.nDataBits << c.cParity << " mode " << nMode);
            if (nMode == 0) {
                EXPECT_EQ(reply, "");
            } else {
                EXPECT_EQ(reply, ArmModelNoise());
                EXPECT_EQ(reply.find('\n'), std::string::npos);
            }
            EXPECT_EQ(bNoise, nMode == 2);
            // The misread request takes no record off the arm's store.
            EXPECT_EQ(arm.Receive("_Y1", 19200, 7, 'e', nullptr), "104 2 0 1A 0 0 0\r\n");
            ASSERT_EQ(arm.seen.size(), 2u);
            EXPECT_EQ(arm.seen[0].nBaud, c.nBaud);
            EXPECT_EQ(arm.seen[0].cParity, c.cParity);
        }
    }
}

TEST(ArmModel, UnansweredCommandsGetNoReplyAndChangeNothing) {
    ArmScenario s;
    s.unanswered = {"_G STATS", "_Y1"};
    s.errorRecords = {"104 2 0 1A 0 0 0"};
    s.counterStep[0] = 1;
    ArmModel arm(s);
    EXPECT_EQ(Ask(&arm, "_G STATS"), "");
    EXPECT_EQ(Ask(&arm, "_Y1"), "");
    EXPECT_EQ(Ask(&arm, "_G"), kDefaultIdentity);
    EXPECT_EQ(arm.scenario.counters[0], 0x1F40u);
    EXPECT_EQ(arm.scenario.errorRecords.size(), 1u);
    EXPECT_EQ(arm.seen.size(), 3u);
}

TEST(ArmModel, HangsUpAfterServingItsCommands) {
    ArmScenario s;
    s.nHangupAfter = 2;
    ArmModel arm(s);
    EXPECT_EQ(Ask(&arm, "_I"), "9600 n 8 1\r\n");
    EXPECT_FALSE(arm.HungUp());
    EXPECT_EQ(Ask(&arm, "_P"), "OK\r\n");
    EXPECT_TRUE(arm.HungUp());
    EXPECT_EQ(Ask(&arm, "_I"), "");
    EXPECT_EQ(arm.seen.size(), 2u);
}

// ---- scenario file ------------------------------------------------------------------------

TEST(ArmModelScenario, EveryKeyFillsItsField) {
    const char szText[] =
        "# an arm at 19200 7E1 with two errors pending\n"
        "baud 19200\n"
        "framing 7e1\n"
        "stopbits 2\n"
        "status 0x20C\n"
        "version 4.59\n"
        "arm B7-2231\n"
        "   calibrated   NO  \r\n"
        "error 104 2 0 1a 0 0 0\n"
        "error 0x20008 1 10 0 0 0 FFFFFFFF\n"
        "error_reply 1 2 3\n"
        "stats_status -4\n"
        "counters 1F40 3 0 1 2 0 0 FA 0\n"
        "counter_step 1 0 -1 0 0 0 0 2 0\n"
        "latency_ms 5\n"
        "byte_gap_ms 3\n"
        "\n"
        "unanswered _G STATS\n"
        "unanswered _P\n"
        "dribble _Y1\n"
        "garbage_on_mismatch yes\n"
        "framing_error_on_mismatch 1\n"
        "hangup_after 7\n";
    ArmScenario s;
    char szError[128] = "x";
    ASSERT_TRUE(ParseScenario(szText, &s, szError, sizeof szError)) << szError;
    EXPECT_STREQ(szError, "");
    EXPECT_EQ(s.nBaud, 19200u);
    EXPECT_EQ(s.nDataBits, 7);
    EXPECT_EQ(s.cParity, 'e');
    EXPECT_EQ(s.nStopBits, 2);
    EXPECT_EQ(s.nStatus, 0x20C);
    EXPECT_EQ(s.version, "4.59");
    EXPECT_EQ(s.arm, "B7-2231");
    EXPECT_EQ(s.calibrated, "NO");
    ASSERT_EQ(s.errorRecords.size(), 3u);
    EXPECT_EQ(s.errorRecords[0], "104 2 0 1A 0 0 0");
    EXPECT_EQ(s.errorRecords[1], "20008 1 10 0 0 0 FFFFFFFF");
    EXPECT_EQ(s.errorRecords[2], "1 2 3");
    EXPECT_EQ(s.nStatsStatus, -4);
    const uint32_t counters[9] = {0x1F40, 3, 0, 1, 2, 0, 0, 0xFA, 0};
    const int32_t steps[9] = {1, 0, -1, 0, 0, 0, 0, 2, 0};
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(s.counters[i], counters[i]) << i;
        EXPECT_EQ(s.counterStep[i], steps[i]) << i;
    }
    EXPECT_EQ(s.nLatencyMs, 5u);
    EXPECT_EQ(s.nByteGapMs, 3u);
    ASSERT_EQ(s.unanswered.size(), 2u);
    EXPECT_EQ(s.unanswered[0], "_G STATS");
    EXPECT_EQ(s.unanswered[1], "_P");
    EXPECT_EQ(s.dribbled, std::vector<std::string>({"_Y1"}));
    EXPECT_TRUE(s.bGarbageOnMismatch);
    EXPECT_TRUE(s.bFramingErrorOnMismatch);
    EXPECT_EQ(s.nHangupAfter, 7);

    // The parsed scenario drives the model: "_G STATS" stays unanswered by its blank-bearing
    // name, the echo is the 7E1 line.
    ArmModel arm(s);
    EXPECT_EQ(arm.Receive("_G STATS", 19200, 7, 'e', nullptr), "");
    EXPECT_EQ(arm.Receive("_I", 19200, 7, 'e', nullptr), "19200 e 7 2\r\n");
    EXPECT_EQ(arm.ByteGapFor("_Y1"), 3u);
    EXPECT_EQ(arm.ByteGapFor("_G"), 0u) << "only the dribbled command's replies dribble";
}

// A watched arm: a sequence of status words, counters set at a poll and stepping on from there,
// a record that turns up after a poll, and verbatim replies that each count as a poll.
TEST(ArmModelScenario, PollingKeysShapeTheCountersReplies) {
    const char szText[] =
        "counters FFFFFFFE 10 5 0 0 0 0 FA 0\n"
        "counter_step 1 2 -1 0 0 0 0 0 0\n"
        "stats_status_seq 0 4 0x108\n"
        "stats_status 3\n"
        "counters_at 3 0 0 0 0 0 0 0 0 0\n"
        "error_after_poll 2 104 2 0 1A 0 0 0\n";
    ArmScenario s;
    char szError[128];
    ASSERT_TRUE(ParseScenario(szText, &s, szError, sizeof szError)) << szError;
    ArmModel arm(s);
    const char* const kExpected[][2] = {
        {"0 FFFFFFFE 10 5 0 0 0 0 FA 0\r\n", "0 0 0 0 0 0 0\r\n"},
        {"4 FFFFFFFF 12 4 0 0 0 0 FA 0\r\n", "104 2 0 1A 0 0 0\r\n"},
        {"264 0 0 0 0 0 0 0 0 0\r\n", "0 0 0 0 0 0 0\r\n"},
        {"3 1 2 FFFFFFFF 0 0 0 0 0 0\r\n", "0 0 0 0 0 0 0\r\n"},
    };
    for (const auto& expected : kExpected) {
        EXPECT_EQ(Ask(&arm, "_G STATS"), expected[0]);
        EXPECT_EQ(Ask(&arm, "_Y1"), expected[1]);
    }
    EXPECT_EQ(arm.nStatsAnswered, 4u);

    s = ArmScenario();
    ASSERT_TRUE(
        ParseScenario("stats_reply 0 1 2\\r\\n\nstats_reply zz\n", &s, szError, sizeof szError));
    ArmModel verbatim(s);
    EXPECT_EQ(Ask(&verbatim, "_G STATS"), "0 1 2\r\n");
    EXPECT_EQ(Ask(&verbatim, "_G STATS"), "zz");
    EXPECT_EQ(Ask(&verbatim, "_G STATS"), "0 1F40 3 0 1 2 0 0 FA 0\r\n");
    EXPECT_EQ(verbatim.nStatsAnswered, 3u);
}

TEST(ArmModelScenario, IdentityTakesEscapes) {
    ArmScenario s;
    char szError[128];
    ASSERT_TRUE(ParseScenario("identity 0 a b c d e 4.60 x y ARM01 p q YES\\r\\n1 2\\x41\\\\\n", &s,
                              szError, sizeof szError))
        << szError;
    EXPECT_EQ(s.identityReply, "0 a b c d e 4.60 x y ARM01 p q YES\r\n1 2A\\");
    s = ArmScenario();
    ASSERT_TRUE(ParseScenario("framing 8n1\nstatus -1\n", &s, szError, sizeof szError));
    EXPECT_EQ(s.nStatus, -1);
    ASSERT_TRUE(ParseScenario("status 0xFFFFFFFF\n", &s, szError, sizeof szError));
    EXPECT_EQ(s.nStatus, -1);
}

TEST(ArmModelScenario, BadLineFailsWithItsNumber) {
    struct Case {
        const char* szText;
        const char* szError;
    };
    const Case cases[] = {
        {"baud 9600\nspeed 19200\n", "line 2: unknown key \"speed\""},
        {"# x\n\nbaud fast\n", "line 3: baud takes a rate from 1 to 4000000"},
        {"baud 0\n", "line 1: baud takes a rate from 1 to 4000000"},
        {"framing 8e1\n", "line 1: framing is 8n1 or 7e1"},
        {"stopbits 3\n", "line 1: stopbits is 1 or 2"},
        {"error 104 2 0 1A 0 0\n", "line 1: error takes seven hexadecimal words"},
        {"error 104 2 0 1G 0 0 0\n", "line 1: error takes seven hexadecimal words"},
        {"error 104 2 0 100000000 0 0 0\n", "line 1: error takes seven hexadecimal words"},
        {"counters 1 2 3\n", "line 1: counters takes nine hexadecimal words"},
        {"counter_step 1 2 3 4 5 6 7 8 x\n", "line 1: counter_step takes nine signed numbers"},
        {"arm two words\n", "line 1: arm takes one token"},
        {"calibrated\n", "line 1: calibrated takes one token"},
        {"latency_ms -1\n", "line 1: latency_ms takes milliseconds from 0 to 60000"},
        {"garbage_on_mismatch maybe\n",
         "line 1: garbage_on_mismatch is 1 or 0 (yes/no, true/false, on/off)"},
        {"identity abc\\q\n", "line 1: identity: unknown escape \\q"},
        {"unanswered\n", "line 1: unanswered takes a command"},
        {"hangup_after 1 2\n", "line 1: hangup_after takes a count of commands (0: never)"},
        {"stats_status_seq 0 x\n",
         "line 1: stats_status_seq takes one or more 32-bit status words"},
        {"counters_at 0 1 2 3 4 5 6 7 8 9\n",
         "line 1: counters_at takes a poll number from 1 first"},
        {"counters_at 2 1 2 3\n", "line 1: counters_at: counters takes nine hexadecimal words"},
        {"error_after_poll 1 104\n",
         "line 1: error_after_poll: error takes seven hexadecimal words"},
    };
    for (const Case& c : cases) {
        ArmScenario s;
        char szError[128];
        EXPECT_FALSE(ParseScenario(c.szText, &s, szError, sizeof szError)) << c.szText;
        EXPECT_STREQ(szError, c.szError) << c.szText;
    }
}

TEST(ArmModelScenario, MessageIsCutToItsBuffer) {
    ArmScenario s;
    char szError[12];
    memset(szError, 'x', sizeof szError);
    EXPECT_FALSE(ParseScenario("speed 1\n", &s, szError, 8));
    EXPECT_STREQ(szError, "line 1:");
    EXPECT_EQ(szError[8], 'x');
}

TEST(ArmModelScenario, FileIsNamedInItsMessages) {
    const char szPath[] = "armsim_scenario_test.txt";  // in the directory the tests run in
    FILE* pFile = fopen(szPath, "wb");
    ASSERT_NE(pFile, nullptr);
    fputs("baud 38400\nlatency 3\n", pFile);
    fclose(pFile);
    ArmScenario s;
    char szError[256];
    EXPECT_FALSE(LoadScenarioFile(szPath, &s, szError, sizeof szError));
    EXPECT_EQ(std::string(szError), std::string(szPath) + ": line 2: unknown key \"latency\"");
    EXPECT_EQ(s.nBaud, 38400u);
    remove(szPath);
    EXPECT_FALSE(LoadScenarioFile(szPath, &s, szError, sizeof szError));
    EXPECT_EQ(std::string(szError), std::string(szPath) + ": cannot read the file");
}
