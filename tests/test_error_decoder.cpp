// ErrorDecoder: the exact bytes of every branch, its selectors, and the size of the report.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "protocol/error_decoder.h"

namespace {

// Decodes into a buffer full of garbage: the report must replace it from the first byte and
// end with its terminator.
std::string Decode(const ErrorRecord& record) {
    char szBuffer[kReportBufferSize];
    memset(szBuffer, 'X', sizeof szBuffer);
    ErrorDecoder(record, szBuffer);
    const void* pZero = memchr(szBuffer, '\0', sizeof szBuffer);
    EXPECT_NE(pZero, nullptr);
    return pZero != nullptr ? std::string(szBuffer) : std::string();
}

const char kExample1[] =
    "0x9001a 0x5 0x40da991 0x4030102 0x5 0x0 0x0\r\n"
    "\r\n"
    "\r\n"
    "'I2C Device Time-Out'\r\n"
    "\r\n"
    "Last Error:\r\n"
    "\r\n"
    "  Error:26\r\n"
    "  Extended:9\r\n"
    "\r\n"
    "----------\r\n"
    "\r\n"
    "I2C Extended Error:\r\n"
    "\r\n"
    "  Device:9(0x9)\r\n"
    "  Error:17(0x11)\r\n"
    "  nDmaCount:2\r\n"
    "  I2cCount:3\r\n"
    "  I2cStatus:0xd\r\n"
    "     CAP:1\r\n"
    "     SCL:1\r\n"
    "     SDA:0\r\n"
    "     ACK:1\r\n"
    "     DSP CAP:0\r\n"
    "     SCL OUT:0\r\n"
    "     SDA OUT:1\r\n"
    "  I2cState:0xc\r\n"
    "\r\n"
    "FillQue:4\r\n"
    "SendQue:3\r\n"
    "ReadQue:1\r\n"
    "Count:2\r\n"
    "\r\n"
    "bCapturing:1\r\n"
    "bPendingDMA:0\r\n"
    "Async. Trigger:1\r\n"
    "-----\r\n"
    "\r\n"
    "Location:5\r\n";

TEST(DecoderExamples, I2cDeviceTimeOutWithQueues) {
    std::string report = Decode({0x0009001A, 0x00000005, 0x040DA991, 0x04030102, 5, 0, 0});
    EXPECT_EQ(report, kExample1);
    EXPECT_EQ(report.size(), 461u);
}

// Location 3: the bus state of the last interrupt, from the snapshot of dwWord3, takes the
// place of the queues.
TEST(DecoderExamples, I2cDeviceTimeOutWithLastInterrupt) {
    std::string expected = kExample1;
    const std::string kQueues = "FillQue:4\r\nSendQue:3\r\nReadQue:1\r\nCount:2\r\n\r\n";
    expected.replace(expected.find(kQueues), kQueues.size(),
                     "In Last Interrupt:\r\n"
                     "  I2cCount:4\r\n"
                     "  I2cStatus:0x3\r\n"
                     "     CAP:0\r\n"
                     "     SCL:0\r\n"
                     "     SDA:1\r\n"
                     "     ACK:1\r\n"
                     "     DSP CAP:0\r\n"
                     "     SCL OUT:0\r\n"
                     "     SDA OUT:0\r\n"
                     "  I2cState:0x1\r\n"
                     "Device:2(0x2)\r\n"
                     "\r\n");
    expected.replace(expected.find("0x5 0x40da991"), 3, "0x3");
    expected.replace(expected.find("Location:5"), 10, "Location:3");
    EXPECT_EQ(Decode({0x0009001A, 0x00000003, 0x040DA991, 0x04030102, 5, 0, 0}), expected);
}

TEST(DecoderExamples, TemperatureDeviated) {
    EXPECT_EQ(Decode({0x00000017, 0x00000007, 0x00004C04, 0x00002004, 0x00007004, 0, 0}),
              "0x17 0x7 0x4c04 0x2004 0x7004 0x0 0x0\r\n"
              "\r\n"
              "\r\n"
              "Temperature Deviated \xF2"
              "5\xF8"
              "C in 5Min:\r\n"
              "\r\n"
              "  Error:23\r\n"
              "  Extended:0\r\n"
              "\r\n"
              "Temperature:25.500000\n"
              "Temperature MIN:20.000000\n"
              "Temperature MAX:30.000000\r\n"
              "\r\n"
              "Location:7\r\n");
}

struct BranchCase {
    const char* szName;
    ErrorRecord record;
    const char* szReport;
};

// The capture-line branches share their detail words: byte view of 0x07050B2C (DMA count 7,
// count 5, I2cStat 0x0B: CAP 1, SCL 0, SDA 1, ACK 1; status 0x2C), queues of 0x0A141E28,
// flags 0x6, CRC words 0x1234ABCD and 0x00100020, location 11.
#define CAPTURE_LINE_BODY(ext)                                                                   \
    "Last Error:\r\n\r\n  Error:26\r\n  Extended:" #ext                                          \
    "\r\n\r\n----------\r\n\r\nI2C Extended Error:\r\n\r\n  Device:" #ext "(0x" #ext             \
    ")\r\n  Status:44(0x2c)\r\n  nDmaCount:7\r\n  I2cCount:5\n  I2cStat:11\r\n     CAP:1\n     " \
    "SCL:0\n     SDA:1\n     ACK:1\n\r\n"                                                        \
    "FillQue:10\nSendQue:20\nReadQue:30\nCount:40\n\r\n"                                         \
    "bCapturing:1\nbPendingDMA:1\nAsync. Trigger:0\r\n-----\r\n\r\n"
#define CAPTURE_LINE_DUMP(w0) w0 " 0xb 0x7050b2c 0xa141e28 0x6 0x1234abcd 0x100020\r\n\r\n\r\n"
#define CRC_PIECE                                                                    \
    "Calculated Crc:4660\r\nReceived Crc:43981\r\nAttempted Address:16\r\nReceived " \
    "Address:32\r\n-----\r\n\r\n"

// The serial branches: dwWord2 0x11223344, dwWord3 0xFA201FFF (1000, 513, 4095), dwWord4
// 0x5A3C7FEE (its low byte is not read), location 16.
#define SERIAL_DUMP(w0) w0 " 0x10 0x11223344 0xfa201fff 0x5a3c7fee 0x0 0x0\r\n\r\n\r\n"

const BranchCase kBranchCases[] = {
    {"1 FineA/FineB out of range",
     {0x00120005, 0x00000109, 0xA7000000, 0x12345678, 0, 0, 0},
     "0x120005 0x109 0xa7000000 0x12345678 0x0 0x0 0x0\r\n\r\n\r\n"
     "'FineA and/or FineB out of range'\r\n\r\nLast Error:\r\n\r\n  Error:5\r\n  "
     "Extended:18\r\n\r\n----------\r\n\r\nI2C Extended Error:\r\n\r\n  Device:18(0x12)\r\n\r\n"
     "I2cStat returned:a(0xa)\r\nReference bit:7(0x7)\r\n\r\n------\nFineA: 4660\n"
     "FineB:22136\r\n\r\nLocation: 9\r\n"},
    {"2 reference bit latched",
     {0x0003001C, 0x00000004, 0x3C000000, 0xFFFFFFFF, 0x00020001, 0, 0},
     "0x3001c 0x4 0x3c000000 0xffffffff 0x20001 0x0 0x0\r\n\r\n\r\n"
     "'Reference bit latched while already referenced'\r\n\r\nLast Error:\r\n\r\n  Error:28\r\n"
     "  Extended:3\r\n\r\n----------\r\n\r\nI2C Extended Error:\r\n\r\n  Device:3(0x3)\r\n\r\n"
     "I2cStat:3(0x3)\r\nReference bit:c(0xc)\r\n\r\n------\r\ncoarse count:-1\r\nFine A: 1\r\n"
     "Fine B: 2\r\n\r\nLocation: 4\r\n"},
    {"2 reference bit latched, widest counts",
     {0x00000007, 0x000000FF, 0xFF000000, 0x80000000, 0x8001FFFF, 0, 0},
     "0x7 0xff 0xff000000 0x80000000 0x8001ffff 0x0 0x0\r\n\r\n\r\n"
     "'Reference bit latched while already referenced'\r\n\r\nLast Error:\r\n\r\n  Error:7\r\n"
     "  Extended:0\r\n\r\n----------\r\n\r\nI2C Extended Error:\r\n\r\n  Device:0(0x0)\r\n\r\n"
     "I2cStat:f(0xf)\r\nReference bit:f(0xf)\r\n\r\n------\r\ncoarse count:-2147483648\r\n"
     "Fine A: 65535\r\nFine B: 32769\r\n\r\nLocation: 255\r\n"},
    {"3 temperature, zero word and negative",
     {0x00010017, 0x00000008, 0x00000080, 0x00008004, 0x34120080, 0, 0},
     "0x10017 0x8 0x80 0x8004 0x34120080 0x0 0x0\r\n\r\n\r\nTemperature Deviated \xF2"
     "5\xF8"
     "C in 5Min:\r\n\r\n  Error:23\r\n  Extended:1\r\n\r\nTemperature:0.000000\n"
     "Temperature MIN:-31.999998\nTemperature MAX:0.000000\r\n\r\nLocation:8\r\n"},
    {"4 invalid file",
     {0x00010018, 0x00000022, 0xBEEF1234, 0, 0, 0, 0},
     "0x10018 0x22 0xbeef1234 0x0 0x0 0x0 0x0\r\n\r\n\r\n'Invalid file'\r\n\r\nLast Error:\r\n"
     "\r\n  Error:24\r\n  Extended:1\r\n\r\nDSP Check Sum:beef\nSent Check Sum:1234\r\n\r\n"
     "Location:34\r\n"},
    {"5 check sum error",
     {0x00020018, 0x00000022, 0x00BE0034, 0, 0, 0, 0},
     "0x20018 0x22 0xbe0034 0x0 0x0 0x0 0x0\r\n\r\n\r\n'Check sum error'\r\n\r\nLast Error:\r\n"
     "\r\n  Error:24\r\n  Extended:2\r\n\r\nDSP Check Sum:be\nSent Check Sum:34\r\n\r\n"
     "Location:34\r\n"},
    {"6 capture line failed to latch",
     {0x0001001A, 0x0000000B, 0x07050B2C, 0x0A141E28, 6, 0x1234ABCD, 0x00100020},
     CAPTURE_LINE_DUMP("0x1001a") "'Capture line failed to latch'\r\n\r\n" CAPTURE_LINE_BODY(
         1) "Location:11\r\n"},
    {"7 capture line failed to reset",
     {0x0002001A, 0x0000000B, 0x07050B2C, 0x0A141E28, 6, 0x1234ABCD, 0x00100020},
     CAPTURE_LINE_DUMP("0x2001a") "'Capture line failed to reset'\r\n\r\n" CAPTURE_LINE_BODY(
         2) "Location:11\r\n"},
    {"8 I2C queue overflow",
     {0x0003001A, 0x0000000B, 0x07050B2C, 0x0A141E28, 6, 0x1234ABCD, 0x00100020},
     CAPTURE_LINE_DUMP("0x3001a") "'I2C Que Overflow'\r\n\r\n" CAPTURE_LINE_BODY(
         3) "Location:11\r\n"},
    {"9 I2C CRC error",
     {0x0004001A, 0x0000000B, 0x07050B2C, 0x0A141E28, 6, 0x1234ABCD, 0x00100020},
     CAPTURE_LINE_DUMP("0x4001a") "'I2c CRC Error'\r\n\r\n" CAPTURE_LINE_BODY(4) CRC_PIECE
     "Location:11\r\n"},
    {"10 I2C address error",
     {0x0005001A, 0x0000000B, 0x07050B2C, 0x0A141E28, 6, 0x1234ABCD, 0x00100020},
     CAPTURE_LINE_DUMP("0x5001a") "'I2c Address Error'\r\n\r\n" CAPTURE_LINE_BODY(5) CRC_PIECE
     "Location:11\r\n"},
    {"11 line status error, last interrupt with both output flags apart",
     {0x0000001A, 0x00000103, 0xFE1FF7F2, 0x8B95AAA5, 0x00000002, 0, 0},
     "0x1a 0x103 0xfe1ff7f2 0x8b95aaa5 0x2 0x0 0x0\r\n\r\n\r\n"
     "'I2C SCL/SDA Line Status Error'\r\n\r\nLast Error:\r\n\r\n  Error:26\r\n  Extended:0\r\n"
     "\r\n----------\r\n\r\nI2C Extended Error:\r\n\r\n  Device:0(0x0)\r\n  Error:18(0x12)\r\n"
     "  nDmaCount:127\r\n  I2cCount:7\r\n  I2cStatus:0x1f\r\n     CAP:1\r\n     SCL:1\r\n     "
     "SDA:1\r\n     ACK:1\r\n     DSP CAP:1\r\n     SCL OUT:1\r\n     SDA OUT:0\r\n  "
     "I2cState:0x3f\r\n\r\n"
     "In Last Interrupt:\r\n  I2cCount:11\r\n  I2cStatus:0x15\r\n     CAP:0\r\n     SCL:1\r\n"
     "     SDA:0\r\n     ACK:1\r\n     DSP CAP:1\r\n     SCL OUT:1\r\n     SDA OUT:0\r\n  "
     "I2cState:0x2a\r\nDevice:165(0xa5)\r\n\r\n"
     "bCapturing:0\r\nbPendingDMA:1\r\nAsync. Trigger:0\r\n-----\r\n\r\nLocation:3\r\n"},
    {"11 byte count not zero, queues",
     {0x00FF001A, 0x00000004, 0x00000014, 0x01020304, 0x00000004, 0, 0},
     "0xff001a 0x4 0x14 0x1020304 0x4 0x0 0x0\r\n\r\n\r\n"
     "'I2C Byte Count Not ZERO at Completion Error'\r\n\r\nLast Error:\r\n\r\n  Error:26\r\n  "
     "Extended:255\r\n\r\n----------\r\n\r\nI2C Extended Error:\r\n\r\n  Device:255(0xff)\r\n  "
     "Error:20(0x14)\r\n  nDmaCount:0\r\n  I2cCount:0\r\n  I2cStatus:0x0\r\n     CAP:0\r\n     "
     "SCL:0\r\n     SDA:0\r\n     ACK:0\r\n     DSP CAP:0\r\n     SCL OUT:0\r\n     SDA OUT:0\r\n"
     "  I2cState:0x0\r\n\r\n"
     "FillQue:1\r\nSendQue:2\r\nReadQue:3\r\nCount:4\r\n\r\n"
     "bCapturing:1\r\nbPendingDMA:0\r\nAsync. Trigger:0\r\n-----\r\n\r\nLocation:4\r\n"},
    {"12 coarse count won't reset",
     {0x0000001A, 0x0000000D, 0x00000016, 0xFFFFFFFE, 0x00000005, 0x8B95AAA5, 0},
     "0x1a 0xd 0x16 0xfffffffe 0x5 0x8b95aaa5 0x0\r\n\r\n\r\n'Coarse count won't reset'\r\n"
     "\r\nLast Error:\r\n\r\n  Error:26\r\n  Extended:0\r\n\r\n----------\r\n\r\nI2C Extended "
     "Error:\r\n\r\n  Device:0(0x0)\r\n  Error:22(0x16)\r\n\r\nCoarse Count:-2\r\n\r\n"
     "bCapturing:1\r\nbPendingDMA:0\r\nAsync. Trigger:1\r\n-----\r\nI2cCount:11\r\n  "
     "I2cStatus:0x15\r\n     CAP:0\r\n     SCL:1\r\n     SDA:0\r\n     ACK:1\r\n     DSP CAP:1\r\n"
     "     SCL OUT:1\r\n     SDA OUT:0\r\n  I2cState:0x2a\r\nDevice:165(0xa5)\r\n\r\n"
     "Location:13\r\n"},
    {"13 error with I2C device",
     {0x0007001A, 0x0000000E, 0x07050B33, 0x0A141E28, 6, 0, 0},
     "0x7001a 0xe 0x7050b33 0xa141e28 0x6 0x0 0x0\r\n\r\n\r\n'Error with I2C device'\r\n\r\n"
     "Last Error:\r\n\r\n  Error:26\r\n  Extended:7\r\n\r\n----------\r\n\r\nI2C Extended "
     "Error:\r\n\r\n  Device:7(0x7)\r\n  Error:19(0x13)\r\n  nDmaCount:7\r\n  I2cCount:5\r\n  "
     "I2cStat:11\r\n     CAP:1\r\n     SCL:0\r\n     SDA:1\r\n     ACK:1\r\n\r\n"
     "FillQue:10\r\nSendQue:20\r\nReadQue:30\r\nCount:40\r\n\r\n"
     "bCapturing:1\r\nbPendingDMA:1\r\nAsync. Trigger:0\r\n-----\r\n\r\nLocation:14\r\n"},
    {"14 error opening port",
     {0x0000001D, 0x0000000F, 1, 2, 3, 4, 5},
     "0x1d 0xf 0x1 0x2 0x3 0x4 0x5\r\n\r\n\r\n'Error openning port'\r\n\r\nLast Error:\r\n\r\n"
     "  Error:29\r\n  Extended:0\r\n\r\nLocation:15\r\n"},
    {"15 nTxCount zero",
     {0x0001001D, 0x00000010, 0x11223344, 0xFA201FFF, 0x5A3C7FEE, 0, 0},
     SERIAL_DUMP(
         "0x1001d") "'nTxCount == 0, but pCurrent != pTail'\r\n\r\nLast Error:\r\n\r\n"
                    "  Error:29\r\n  Extended:1\r\n\r\nHead:17\nTail:34\nEnd:51\nTxCount:68\r\n\r\n"
                    "RxGlobalCount:1000\nGlobal Read Count:513\nRxCount:4095\r\n\r\n"
                    "IIR:0x05\nIER:0x0A\nLSR:0x3C\nLCR:0x7F\r\n\r\nLocation:16\r\n"},
    {"16 time-out while sending",
     {0x0003001D, 0x00000010, 0x11223344, 0xFA201FFF, 0x5A3C7FEE, 0, 0},
     SERIAL_DUMP("0x3001d") "'Time-out while trying to send'\r\n\r\nLast Error:\r\n\r\n"
                            "  Error:29\r\n  Extended:3\r\n\r\nFront left:17\r\nBack "
                            "left:34\r\nTrying to send:51\r\n"
                            "TxCount:68\r\n\r\nRxGlobalCount:1000\nGlobal Read "
                            "Count:513\nRxCount:4095\r\n\r\n"
                            "IIR:0x05\r\nIER:0x0A\r\nLSR:0x3C\r\nLCR:0x7F\r\n\r\nLocation:16\r\n"},
    {"17 communications error",
     {0x0004001D, 0x000000FF, 0, 0, 0, 0, 0},
     "0x4001d 0xff 0x0 0x0 0x0 0x0 0x0\r\n\r\n\r\n'Communications Error'\r\n\r\nLast Error:\r\n"
     "\r\n  Error:29\r\n  Extended:4\r\n\r\nLocation:255\r\n"},
    {"18 error opening port, code 60",
     {0x0009003C, 0x00000001, 0, 0, 0, 0, 0},
     "0x9003c 0x1 0x0 0x0 0x0 0x0 0x0\r\n\r\n\r\n'Error openning port'\r\n\r\nLast Error:\r\n"
     "\r\n  Error:60\r\n  Extended:9\r\n\r\nLocation:1\r\n"},
    {"19 generic, error code 0",
     {0x00050000, 0x12345605, 0, 0, 0, 0, 0},
     "0x50000 0x12345605 0x0 0x0 0x0 0x0 0x0\r\n\r\n\r\nLast Error:\r\n\r\n  Error:0\r\n  "
     "Extended:5\r\n\r\nLocation:5\r\n"},
};

TEST(DecoderBranches, ExactBytesOfEveryBranch) {
    for (const BranchCase& c : kBranchCases) {
        SCOPED_TRACE(c.szName);
        EXPECT_EQ(Decode(c.record), c.szReport);
    }
}

// The heading line of a report: the fourth line, after the dump and two empty lines.
std::string HeadingOf(const std::string& report) {
    size_t nStart = report.find("\r\n\r\n\r\n");
    if (nStart == std::string::npos) {
        return "(no dump)";
    }
    nStart += 6;
    size_t nEnd = report.find("\r\n", nStart);
    return report.substr(nStart, nEnd - nStart);
}

TEST(DecoderBranches, SelectionByErrorCodeExtendedCodeAndI2cError) {
    struct Row {
        uint32_t dwWord0;
        uint32_t dwWord2;
        const char* szHeading;
    };
    const char kFine[] = "'FineA and/or FineB out of range'";
    const char kReference[] = "'Reference bit latched while already referenced'";
    const char kGeneric[] = "Last Error:";
    const char kDevice[] = "'Error with I2C device'";
    const Row kRows[] = {
        {1, 0, kFine},
        {2, 0, kFine},
        {3, 0, kFine},
        {4, 0, kFine},
        {5, 0, kFine},
        {6, 0, kFine},
        {27, 0, kFine},
        {7, 0, kReference},
        {8, 0, kReference},
        {9, 0, kReference},
        {10, 0, kReference},
        {11, 0, kReference},
        {12, 0, kReference},
        {28, 0, kReference},
        {23, 0,
         "Temperature Deviated \xF2"
         "5\xF8"
         "C in 5Min:"},
        {0x00000018, 0, "'Check sum error'"},
        {0x00010018, 0, "'Invalid file'"},
        {0x00020018, 0, "'Check sum error'"},
        {0x00FF0018, 0, "'Check sum error'"},
        {0x0001001A, 17, "'Capture line failed to latch'"},
        {0x0002001A, 17, "'Capture line failed to reset'"},
        {0x0003001A, 17, "'I2C Que Overflow'"},
        {0x0004001A, 17, "'I2c CRC Error'"},
        {0x0005001A, 17, "'I2c Address Error'"},
        {0x0000001A, 17, "'I2C Device Time-Out'"},
        {0x0006001A, 18, "'I2C SCL/SDA Line Status Error'"},
        {0x00FF001A, 20, "'I2C Byte Count Not ZERO at Completion Error'"},
        {0x0000001A, 0xFFFFFFF1, "'I2C Device Time-Out'"},  // only bits 0-4 select
        {0x0000001A, 22, "'Coarse count won't reset'"},
        {0x0080001A, 22, "'Coarse count won't reset'"},
        {0x0000001A, 16, kDevice},
        {0x0000001A, 19, kDevice},
        {0x0000001A, 21, kDevice},
        {0x0000001A, 23, kDevice},
        {0x0000001A, 0, kDevice},
        {0x0000001A, 31, kDevice},
        {0x0000001D, 0, "'Error openning port'"},
        {0x0001001D, 0, "'nTxCount == 0, but pCurrent != pTail'"},
        {0x0002001D, 0, "'Time-out while trying to send'"},
        {0x0003001D, 0, "'Time-out while trying to send'"},
        {0x0004001D, 0, "'Communications Error'"},
        {0x00FF001D, 0, "'Communications Error'"},
        {0x0000003C, 0, "'Error openning port'"},
        {0x0007003C, 0, "'Error openning port'"},
        {0x00050000, 0, kGeneric},
        {13, 0, kGeneric},
        {22, 0, kGeneric},
        {25, 0, kGeneric},
        {30, 0, kGeneric},
        {59, 0, kGeneric},
        {61, 0, kGeneric},
        {255, 0, kGeneric},
        {0xFF00FF00u | 13u, 0, kGeneric},  // bits 8-15 and 24-31 select nothing
    };
    for (const Row& row : kRows) {
        SCOPED_TRACE(::testing::Message()
                     << std::hex << "dwWord0 0x" << row.dwWord0 << " dwWord2 0x" << row.dwWord2);
        EXPECT_EQ(HeadingOf(Decode({row.dwWord0, 0, row.dwWord2, 0, 0, 0, 0})), row.szHeading);
    }
}

TEST(DecoderBranches, OnlyTheLowByteOfTheLocationWordChoosesTheLastInterrupt) {
    std::string report = Decode({0x0009001A, 0x00000103, 0x040DA991, 0x04030102, 5, 0, 0});
    EXPECT_NE(report.find("\r\n\r\nIn Last Interrupt:\r\n"), std::string::npos);
    EXPECT_EQ(report.find("FillQue:"), std::string::npos);
    EXPECT_NE(report.find("Location:3\r\n"), std::string::npos);

    report = Decode({0x0009001A, 0x00000004, 0x040DA991, 0x04030102, 5, 0, 0});
    EXPECT_EQ(report.find("In Last Interrupt:"), std::string::npos);
    EXPECT_NE(report.find("FillQue:4\r\nSendQue:3\r\nReadQue:1\r\nCount:2\r\n\r\n"),
              std::string::npos);
}

// The output flags of the interrupt snapshot sit in bits 14 (SDA OUT) and 15 (SCL OUT), apart
// from the six bits of I2cState below them.
TEST(DecoderBranches, SnapshotOutputFlags) {
    struct Row {
        uint32_t dwSnapshot;
        const char* szFlags;
    };
    const Row kRows[] = {
        {0x00004000, "     SCL OUT:0\r\n     SDA OUT:1\r\n  I2cState:0x0\r\n"},
        {0x00008000, "     SCL OUT:1\r\n     SDA OUT:0\r\n  I2cState:0x0\r\n"},
        {0x00003F00, "     SCL OUT:0\r\n     SDA OUT:0\r\n  I2cState:0x3f\r\n"},
    };
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.szFlags);
        EXPECT_NE(Decode({0x0000001A, 0, 22, 0, 0, row.dwSnapshot, 0}).find(row.szFlags),
                  std::string::npos);
        EXPECT_NE(Decode({0x0000001A, 3, 17, row.dwSnapshot, 0, 0, 0}).find(row.szFlags),
                  std::string::npos);
    }
}

TEST(DecoderBranches, SerialRegistersOfTheEdgeRecord) {
    std::string report = Decode({0x0001001D, 0, 0, 0, 0x5A3C7F00, 0, 0});
    EXPECT_NE(report.find("IIR:0x05\nIER:0x0A\nLSR:0x3C\nLCR:0x7F\r\n"), std::string::npos);
}

// Branch 11 with the last interrupt and every field at its widest: the longest report there
// is, which leaves room to spare in the 1024-byte buffer.
TEST(DecoderBranches, LongestReportFits) {
    std::string report = Decode(
        {0xFFFFFF1A, 0xFFFFFF03, 0xFFFFFFF4, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF});
    EXPECT_EQ(report.size(), 672u);
    EXPECT_NE(report.find("'I2C Byte Count Not ZERO at Completion Error'"), std::string::npos);
    EXPECT_NE(report.find("Device:255(0xff)\r\n\r\nbCapturing:1"), std::string::npos);
    EXPECT_EQ(report.substr(report.size() - 12), "Location:3\r\n");
}

}  // namespace
