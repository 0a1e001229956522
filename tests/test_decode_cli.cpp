// armlink-decode: seven words on the command line and the ERROR: lines of a log.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "protocol/error_decoder.h"
#include "tools/decode/decode_cli.h"

namespace {

struct CliRun {
    int nExit;
    std::string out;
    std::string err;
};

std::string ReadBack(FILE* pFile) {
    std::string text;
    rewind(pFile);
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pFile)) > 0) {
        text.append(buffer, n);
    }
    fclose(pFile);
    return text;
}

// Runs the tool on temporary files; input is what standard input holds.
CliRun RunTool(std::vector<std::string> args, const std::string& input = "") {
    args.insert(args.begin(), "armlink-decode");
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(&arg[0]);
    }
    argv.push_back(nullptr);
    FILE* pIn = tmpfile();
    FILE* pOut = tmpfile();
    FILE* pErr = tmpfile();
    EXPECT_TRUE(pIn != nullptr && pOut != nullptr && pErr != nullptr);
    fwrite(input.data(), 1, input.size(), pIn);
    rewind(pIn);
    CliRun run;
    run.nExit = RunDecodeCli(static_cast<int>(args.size()), argv.data(), pIn, pOut, pErr);
    fclose(pIn);
    run.out = ReadBack(pOut);
    run.err = ReadBack(pErr);
    return run;
}

std::string Report(const ErrorRecord& record) {
    char szReport[kReportBufferSize] = {};
    ErrorDecoder(record, szReport);
    return szReport;
}

// A log written by ArmLink, in a temporary file that is removed at the end of the test.
class LogFile {
  public:
    explicit LogFile(const std::string& text) {
        // Named after the running test, so tests run side by side use files of their own.
        snprintf(m_szPath, sizeof m_szPath, "armlink_decode_%.80s.zlg",
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        FILE* pFile = fopen(m_szPath, "wb");
        EXPECT_NE(pFile, nullptr);
        if (pFile != nullptr) {
            fwrite(text.data(), 1, text.size(), pFile);
            fclose(pFile);
        }
    }
    ~LogFile() { remove(m_szPath); }
    const char* Path() const { return m_szPath; }

  private:
    char m_szPath[128];
};

const ErrorRecord kExample = {0x0009001A, 0x00000005, 0x040DA991, 0x04030102, 5, 0, 0};

TEST(DecodeCliWords, ReportIsTheDecodersBytes) {
    CliRun run = RunTool({"9001A", "5", "40DA991", "4030102", "5", "0", "0"});
    EXPECT_EQ(run.nExit, 0);
    EXPECT_EQ(run.out, Report(kExample));
    EXPECT_EQ(run.out.size(), 461u);
    EXPECT_EQ(run.err, "");
}

TEST(DecodeCliWords, PrefixAndCaseDoNotMatter) {
    CliRun run = RunTool({"0x0009001a", "0X5", "0x040da991", "04030102", "0x5", "0", "0X0"});
    EXPECT_EQ(run.nExit, 0);
    EXPECT_EQ(run.out, Report(kExample));
}

TEST(DecodeCliWords, ThirtyTwoBitsWithLeadingZerosAreAccepted) {
    CliRun run = RunTool({"FFFFFFFF", "0x0000000005", "0", "0", "0", "0", "0"});
    EXPECT_EQ(run.nExit, 0);
    EXPECT_EQ(run.out, Report({0xFFFFFFFF, 5, 0, 0, 0, 0, 0}));
}

TEST(DecodeCliWords, WrongArgumentsExitTwoWithAMessage) {
    struct Row {
        std::vector<std::string> args;
        const char* szMessagePart;
    };
    const Row kRows[] = {
        {{}, "seven"},
        {{"1A", "5", "0"}, "seven"},
        {{"1A", "5", "0", "0", "0", "0"}, "seven"},
        {{"1A", "5", "0", "0", "0", "0", "0", "0"}, "seven"},
        {{"1A", "5", "12G4", "0", "0", "0", "0"}, "W2 \"12G4\" is not a hexadecimal number"},
        {{"1A", "5", "0", "0", "0", "0", "0x"}, "W6 \"0x\" is not a hexadecimal number"},
        {{"1A", "-5", "0", "0", "0", "0", "0"}, "W1 \"-5\" is not a hexadecimal number"},
        {{"1A", "5", "0", "123456789", "0", "0", "0"}, "W3 \"123456789\" is wider than 32 bits"},
        {{"1A", "5", "0", "0", "0", "0x100000000", "0"}, "W5 \"0x100000000\" is wider than 32"},
        {{"--bogus"}, "unknown option --bogus"},
        {{"-x", "log.zlg"}, "unknown option -x"},
    };
    for (const Row& row : kRows) {
        CliRun run = RunTool(row.args);
        SCOPED_TRACE(run.err);
        EXPECT_EQ(run.nExit, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find(row.szMessagePart), std::string::npos);
        // One line, ended once.
        EXPECT_EQ(run.err.find('\n'), run.err.size() - 1);
    }
}

TEST(DecodeCliHelp, BothFormsOnStandardOutput) {
    for (const char* szHelp : {"--help", "-h"}) {
        CliRun run = RunTool({szHelp});
        EXPECT_EQ(run.nExit, 0);
        EXPECT_NE(run.out.find("armlink-decode W0 W1 W2 W3 W4 W5 W6"), std::string::npos);
        EXPECT_NE(run.out.find("armlink-decode FILE"), std::string::npos);
        EXPECT_EQ(run.err, "");
    }
}

TEST(DecodeCliHelp, VersionOnStandardOutput) {
    CliRun run = RunTool({"--version"});
    EXPECT_EQ(run.nExit, 0);
    EXPECT_EQ(run.out, std::string("armlink-decode ") + ARMLINK_VERSION + "\n");
}

const char kStamp1[] =
    "STAMP: BY: Error Log, DATE: 12-07-126, TIME: 09:05:33, ARM: ARM01, CALIBRATED: YES, "
    "VERSION: 4.60\r\n";
const char kStamp2[] = "STAMP: BY: Error Stat, DATE: 12-08-126, TIME: 10:00:01\r\n";
const ErrorRecord kRecord1 = {0x00000104, 2, 0, 0x1A, 0, 0, 0};
const ErrorRecord kRecord2 = {0x00020008, 1, 0x10, 0, 0, 0, 0};
const ErrorRecord kRecord3 = {0x0009001A, 3, 0x040DA991, 0x04030102, 5, 0, 0};

TEST(DecodeCliLog, EntriesNumberedOnTheirOwnMalformedLineNamed) {
    std::string log = std::string(kStamp1) +
                      "ERROR: 00000104 00000002 00000000 0000001A 00000000 00000000 00000000\r\n"
                      "ERROR: 00020008 00000001 00000010 00000000 00000000 00000000 00000000\r\n"
                      "STATS: 00001F40 00000003 00000000 00000001 00000002 00000000 00000000 "
                      "000000FA 00000000\r\n" +
                      kStamp2 +
                      "ERROR: 0009001a 00000003 040DA991 04030102 00000005 00000000 00000000\r\n"
                      "ERROR: 0009001A 00000003 040DA991 04030102 00000005 00000000 00000000\r\n"
                      "STATS: 00001F40 00000003 00000000 00000001 00000002 00000000 00000000 "
                      "000000FA 00000000\r\n"
                      "STAMP: BY: Error Log, DATE: 12-09-126, TIME: 11:11:11\r\n"
                      "VERSION OF FIRMWARE DOES NOT SUPPORT EXTENDED ERROR REPORTING:\r\n";
    LogFile file(log);
    CliRun run = RunTool({file.Path()});
    EXPECT_EQ(run.nExit, 1);
    EXPECT_EQ(run.out, std::string(kStamp1) + "----------<1>----------\r\n" + Report(kRecord1) +
                           "----------<2>----------\r\n" + Report(kRecord2) + kStamp2 +
                           "----------<1>----------\r\n" + Report(kRecord3) +
                           "STAMP: BY: Error Log, DATE: 12-09-126, TIME: 11:11:11\r\n");
    EXPECT_NE(run.err.find("line 6: malformed ERROR: line"), std::string::npos);
    EXPECT_NE(run.err.find(file.Path()), std::string::npos);
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1);
}

TEST(DecodeCliLog, LineFeedEndingsAndStandardInput) {
    std::string log =
        "STAMP: BY: Error Log, DATE: 01-02-99, TIME: 00:00:00, ARM: \x1b]2;x\x07\xff\n"
        "ERROR: 00000104 00000002 00000000 0000001A 00000000 00000000 00000000\n"
        "ERROR: 00020008 00000001 00000010 00000000 00000000 00000000 00000000";  // no line end
    CliRun run = RunTool({"-"}, log);
    EXPECT_EQ(run.nExit, 0);
    EXPECT_EQ(run.out,
              "STAMP: BY: Error Log, DATE: 01-02-99, TIME: 00:00:00, ARM: \\x1B]2;x\\x07\\xFF\n"
              "----------<1>----------\r\n" +
                  Report(kRecord1) + "----------<2>----------\r\n" + Report(kRecord2));
    EXPECT_EQ(run.err, "");
}

TEST(DecodeCliLog, MalformedErrorLines) {
    const char* const kLines[] = {
        "ERROR: 00000104 00000002 00000000 0000001a 00000000 00000000 00000000",  // lower case
        "ERROR: 0000104 00000002 00000000 0000001A 00000000 00000000 00000000",   // 7 digits
        "ERROR: 00000104  00000002 00000000 0000001A 00000000 00000000 0000000",  // two blanks
        "ERROR: 00000104 00000002 00000000 0000001A 00000000 00000000",           // six words
        "ERROR: 00000104 00000002 00000000 0000001A 00000000 00000000 00000000 00000000",
        "ERROR: 00000104 00000002 00000000 0000001A 00000000 00000000 00000000 ",  // trailing
        "ERROR: 00000104\t00000002 00000000 0000001A 00000000 00000000 00000000",  // tab
        "ERROR:00000104 00000002 00000000 0000001A 00000000 00000000 00000000 ",
        "ERROR: 0x000104 00000002 00000000 0000001A 00000000 00000000 00000000",
        "ERROR: 00000104 00000002 00000000 0000001A 00000000 00000000 0000000G",
        "ERROR:",
    };
    for (const char* szLine : kLines) {
        SCOPED_TRACE(szLine);
        ErrorRecord record;
        EXPECT_FALSE(ParseLogErrorLine(szLine, strlen(szLine), &record));
        CliRun run = RunTool({"-"}, std::string("STAMP: x\r\n") + szLine + "\r\n");
        EXPECT_EQ(run.nExit, 1);
        EXPECT_EQ(run.out, "STAMP: x\r\n");
        EXPECT_NE(run.err.find("standard input, line 2: malformed ERROR: line"), std::string::npos);
    }
    const char kGood[] = "ERROR: 0009001A 00000005 040DA991 04030102 00000005 00000000 FFFFFFFF";
    ErrorRecord record = {};
    ASSERT_TRUE(ParseLogErrorLine(kGood, strlen(kGood), &record));
    EXPECT_EQ(record.dwWord0, 0x0009001Au);
    EXPECT_EQ(record.dwWord2, 0x040DA991u);
    EXPECT_EQ(record.dwWord6, 0xFFFFFFFFu);
}

TEST(DecodeCliLog, VeryLongLineIsMalformedAndTheRestIsDecoded) {
    std::string log = "STAMP: x\r\nERROR: " + std::string(3 * kMaxLogLine, 'A') + "\r\n" +
                      "ERROR: 00000104 00000002 00000000 0000001A 00000000 00000000 00000000\r\n" +
                      std::string(kMaxLogLine + 1, 'S') + "\n" +
                      "ERROR: 00020008 00000001 00000010 00000000 00000000 00000000 00000000\r\n";
    CliRun run = RunTool({"-"}, log);
    EXPECT_EQ(run.nExit, 1);
    EXPECT_EQ(run.out, "STAMP: x\r\n----------<1>----------\r\n" + Report(kRecord1) +
                           "----------<2>----------\r\n" + Report(kRecord2));
    EXPECT_NE(run.err.find("line 2: line longer than"), std::string::npos);
    EXPECT_NE(run.err.find("line 4: line longer than"), std::string::npos);

    // A line of exactly the longest length is no error.
    std::string maxLine = "STAMP: " + std::string(kMaxLogLine - 7, 'y') + "\r\n";
    run = RunTool({"-"}, maxLine);
    EXPECT_EQ(run.nExit, 0);
    EXPECT_EQ(run.out, maxLine);
}

TEST(DecodeCliLog, MissingFileExitsOne) {
    CliRun run = RunTool({"no_such_dir_for_armlink/ErrorLog.zlg"});
    EXPECT_EQ(run.nExit, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("cannot open no_such_dir_for_armlink/ErrorLog.zlg"), std::string::npos);
}

TEST(DecodeCliLog, FileWithoutEntriesIsNamedAndExitsOne) {
    const std::string kFiles[] = {
        std::string("\x7F\x45LF\x02\x01\x01\0\0\0\xFF\xFE", 12) + std::string(300, '\0'),
        "Dear technician,\nplease calibrate the arm.\n",
        "STATS: 00001F40 00000003 00000000 00000001 00000002 00000000 00000000 000000FA "
        "00000000\r\n",
    };
    for (const std::string& text : kFiles) {
        LogFile file(text);
        CliRun run = RunTool({file.Path()});
        EXPECT_EQ(run.nExit, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err,
                  std::string("armlink-decode: no ArmLink entries found in ") + file.Path() + "\n");
    }
}

TEST(DecodeCliLog, EmptyLogPrintsNothing) {
    CliRun run = RunTool({"-"}, "");
    EXPECT_EQ(run.nExit, 0);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "");
}

}  // namespace
