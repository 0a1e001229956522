// Renders one error record of the arm as the multi-line report shown in the extended display.
#include "protocol/error_decoder.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "protocol/dsp_float.h"

// The words are 32-bit on every platform: they are printed with the <cinttypes> conversions,
// so "0x%lx" and "%ld" give the same bytes on Windows and on LP64 systems.

namespace {

// Room for the dump line: seven words of at most 8 digits, "0x" each, blanks and "\r\n".
constexpr size_t kDumpSize = 96;

// Bits a-b of a word, as an unsigned value.
unsigned Bits(uint32_t dwWord, unsigned nLow, unsigned nHigh) {
    unsigned nWidth = nHigh - nLow + 1;
    uint32_t dwMask = nWidth >= 32 ? 0xFFFFFFFFu : (1u << nWidth) - 1u;
    return static_cast<unsigned>((dwWord >> nLow) & dwMask);
}

// A single bit, printed as 0 or 1.
int Bit(uint32_t dwWord, unsigned nBit) {
    return static_cast<int>((dwWord >> nBit) & 1u);
}

// The temperature words hold their DspFloat with byte 0 as the most significant byte.
uint32_t ReverseBytes(uint32_t dwWord) {
    return (dwWord >> 24) | ((dwWord >> 8) & 0x0000FF00u) | ((dwWord << 8) & 0x00FF0000u) |
           (dwWord << 24);
}

double Temperature(uint32_t dwWord) {
    return static_cast<double>(DspFloatToSingle(ReverseBytes(dwWord)));
}

// The selectors every branch prints.
struct Selectors {
    int nErrorCode;     // dwWord0 bits 0-7
    int nExtendedCode;  // dwWord0 bits 16-23
    int32_t nLocation;  // dwWord1 bits 0-7
    int nI2cError;      // dwWord2 bits 0-4, for error code 26
};

// I2C byte view of dwWord2.
struct I2cByteView {
    unsigned nStatus;    // bits 0-7
    unsigned nI2cStat;   // bits 8-15
    int bCap;            // bit 11
    int bScl;            // bit 10
    int bSda;            // bit 9
    int bAck;            // bit 8
    int nI2cCount;       // bits 16-23
    unsigned nDmaCount;  // bits 24-31
};

I2cByteView ByteView(uint32_t dwWord) {
    I2cByteView view;
    view.nStatus = Bits(dwWord, 0, 7);
    view.nI2cStat = Bits(dwWord, 8, 15);
    view.bCap = Bit(dwWord, 11);
    view.bScl = Bit(dwWord, 10);
    view.bSda = Bit(dwWord, 9);
    view.bAck = Bit(dwWord, 8);
    view.nI2cCount = static_cast<int>(Bits(dwWord, 16, 23));
    view.nDmaCount = Bits(dwWord, 24, 31);
    return view;
}

// The I2C state and status flags, as the packed view of dwWord2 and the interrupt snapshot
// view carry them.
struct I2cStatusView {
    unsigned nI2cState;
    unsigned nI2cStatus;
    int bAck;
    int bSda;
    int bScl;
    int bCap;
    int bDspCap;
    int bSclOut;
    int bSdaOut;
    int nI2cCount;
    unsigned nDmaCount;  // packed view only
    unsigned nDevice;    // snapshot view only
};

// Packed view of dwWord2: error 0-4, state 5-10, SDA OUT 11, SCL OUT 12, status 13-17,
// count 18-24, DMA count 25-31.
I2cStatusView PackedView(uint32_t dwWord) {
    I2cStatusView view;
    view.nI2cState = Bits(dwWord, 5, 10);
    view.bSdaOut = Bit(dwWord, 11);
    view.bSclOut = Bit(dwWord, 12);
    view.nI2cStatus = Bits(dwWord, 13, 17);
    view.bAck = Bit(dwWord, 13);
    view.bSda = Bit(dwWord, 14);
    view.bScl = Bit(dwWord, 15);
    view.bCap = Bit(dwWord, 16);
    view.bDspCap = Bit(dwWord, 17);
    view.nI2cCount = static_cast<int>(Bits(dwWord, 18, 24));
    view.nDmaCount = Bits(dwWord, 25, 31);
    view.nDevice = 0;
    return view;
}

// Interrupt snapshot view: device 0-7, state 8-13, status 16-22, count 24-30. The two output
// flags sit directly above the 6-bit state, as in the packed view: SDA OUT is bit 14 and
// SCL OUT bit 15. Bits 23 and 31 are not read.
I2cStatusView SnapshotView(uint32_t dwWord) {
    I2cStatusView view;
    view.nDevice = Bits(dwWord, 0, 7);
    view.nI2cState = Bits(dwWord, 8, 13);
    view.bSdaOut = Bit(dwWord, 14);
    view.bSclOut = Bit(dwWord, 15);
    view.nI2cStatus = Bits(dwWord, 16, 22);
    view.bAck = Bit(dwWord, 16);
    view.bSda = Bit(dwWord, 17);
    view.bScl = Bit(dwWord, 18);
    view.bCap = Bit(dwWord, 19);
    view.bDspCap = Bit(dwWord, 20);
    view.nI2cCount = static_cast<int>(Bits(dwWord, 24, 30));
    view.nDmaCount = 0;
    return view;
}

// The end of the report so far and the room left behind it, for appending a piece.
char* ReportEnd(char* pBuffer, size_t* pRoom) {
    char* pEnd = static_cast<char*>(memchr(pBuffer, '\0', kReportBufferSize - 1));
    if (pEnd == nullptr) {
        pEnd = pBuffer + kReportBufferSize - 1;
    }
    *pRoom = kReportBufferSize - static_cast<size_t>(pEnd - pBuffer);
    return pEnd;
}

// The line end inside the queue and flags views: "\n" in the capture-line branches, "\r\n" in
// the others.
const char kLf[] = "\n";
const char kCrLf[] = "\r\n";

// Queue view of dwWord3.
void AppendQueue(char* pBuffer, uint32_t dwWord3, const char* szLineEnd) {
    size_t nRoom;
    char* pEnd = ReportEnd(pBuffer, &nRoom);
    snprintf(pEnd, nRoom, "FillQue:%d%sSendQue:%d%sReadQue:%d%sCount:%d%s\r\n",
             static_cast<int>(Bits(dwWord3, 24, 31)), szLineEnd,
             static_cast<int>(Bits(dwWord3, 16, 23)), szLineEnd,
             static_cast<int>(Bits(dwWord3, 8, 15)), szLineEnd,
             static_cast<int>(Bits(dwWord3, 0, 7)), szLineEnd);
}

// Flags view of dwWord4.
void AppendFlags(char* pBuffer, uint32_t dwWord4, const char* szLineEnd) {
    size_t nRoom;
    char* pEnd = ReportEnd(pBuffer, &nRoom);
    snprintf(pEnd, nRoom, "bCapturing:%d%sbPendingDMA:%d%sAsync. Trigger:%d\r\n-----\r\n\r\n",
             Bit(dwWord4, 2), szLineEnd, Bit(dwWord4, 1), szLineEnd, Bit(dwWord4, 0));
}

// CRC view of dwWord5 and dwWord6.
void AppendCrc(char* pBuffer, uint32_t dwWord5, uint32_t dwWord6) {
    size_t nRoom;
    char* pEnd = ReportEnd(pBuffer, &nRoom);
    snprintf(pEnd, nRoom,
             "Calculated Crc:%d\r\nReceived Crc:%d\r\nAttempted Address:%d\r\nReceived "
             "Address:%d\r\n-----\r\n\r\n",
             static_cast<int>(Bits(dwWord5, 16, 31)), static_cast<int>(Bits(dwWord5, 0, 15)),
             static_cast<int>(Bits(dwWord6, 16, 31)), static_cast<int>(Bits(dwWord6, 0, 15)));
}

// Snapshot view of dwWord3, the state of the bus in the last interrupt.
void AppendLastInterrupt(char* pBuffer, uint32_t dwWord3) {
    I2cStatusView snap = SnapshotView(dwWord3);
    size_t nRoom;
    char* pEnd = ReportEnd(pBuffer, &nRoom);
    snprintf(pEnd, nRoom,
             "In Last Interrupt:\r\n  I2cCount:%d\r\n  I2cStatus:0x%x\r\n     CAP:%d\r\n     "
             "SCL:%d\r\n     SDA:%d\r\n     ACK:%d\r\n     DSP CAP:%d\r\n     SCL OUT:%d\r\n     "
             "SDA OUT:%d\r\n  I2cState:0x%x\r\nDevice:%u(0x%x)\r\n\r\n",
             snap.nI2cCount, snap.nI2cStatus, snap.bCap, snap.bScl, snap.bSda, snap.bAck,
             snap.bDspCap, snap.bSclOut, snap.bSdaOut, snap.nI2cState, snap.nDevice, snap.nDevice);
}

void AppendLocation(char* pBuffer, int32_t nLocation) {
    size_t nRoom;
    char* pEnd = ReportEnd(pBuffer, &nRoom);
    snprintf(pEnd, nRoom, "Location:%" PRId32 "\r\n", nLocation);
}

// Error codes 1-6 and 27.
void FineOutOfRange(const ErrorRecord& r, const Selectors& s, const char* szDump, char* pBuffer) {
    unsigned nI2cStat = Bits(r.dwWord2, 28, 31);
    unsigned nReference = Bits(r.dwWord2, 24, 27);
    snprintf(pBuffer, kReportBufferSize,
             "%s\r\n\r\n'FineA and/or FineB out of range'\r\n\r\nLast Error:\r\n\r\n  "
             "Error:%d\r\n  Extended:%d\r\n\r\n----------\r\n\r\nI2C Extended Error:\r\n\r\n  "
             "Device:%u(0x%x)\r\n\r\nI2cStat returned:%x(0x%x)\r\nReference "
             "bit:%x(0x%x)\r\n\r\n------\nFineA: %d\nFineB:%d\r\n\r\nLocation: %" PRId32 "\r\n",
             szDump, s.nErrorCode, s.nExtendedCode, static_cast<unsigned>(s.nExtendedCode),
             static_cast<unsigned>(s.nExtendedCode), nI2cStat, nI2cStat, nReference, nReference,
             static_cast<int>(Bits(r.dwWord3, 16, 31)), static_cast<int>(Bits(r.dwWord3, 0, 15)),
             s.nLocation);
}

// Error codes 7-12 and 28.
void ReferenceLatched(const ErrorRecord& r, const Selectors& s, const char* szDump, char* pBuffer) {
    unsigned nI2cStat = Bits(r.dwWord2, 28, 31);
    unsigned nReference = Bits(r.dwWord2, 24, 27);
    snprintf(pBuffer, kReportBufferSize,
             "%s\r\n\r\n'Reference bit latched while already referenced'\r\n\r\nLast "
             "Error:\r\n\r\n  Error:%d\r\n  Extended:%d\r\n\r\n----------\r\n\r\nI2C Extended "
             "Error:\r\n\r\n  Device:%u(0x%x)\r\n\r\nI2cStat:%x(0x%x)\r\nReference "
             "bit:%x(0x%x)\r\n\r\n------\r\ncoarse count:%" PRId32
             "\r\nFine A: %d\r\nFine B: %d\r\n\r\nLocation: %" PRId32 "\r\n",
             szDump, s.nErrorCode, s.nExtendedCode, static_cast<unsigned>(s.nExtendedCode),
             static_cast<unsigned>(s.nExtendedCode), nI2cStat, nI2cStat, nReference, nReference,
             static_cast<int32_t>(r.dwWord3), static_cast<int>(Bits(r.dwWord4, 0, 15)),
             static_cast<int>(Bits(r.dwWord4, 16, 31)), s.nLocation);
}

// Error code 23. The heading carries the bytes 0xF2 and 0xF8 as they stand (the greater-than-
// or-equal and degree signs of the arm's code page); they are not translated.
void TemperatureDeviated(const ErrorRecord& r, const Selectors& s, const char* szDump,
                         char* pBuffer) {
    snprintf(pBuffer, kReportBufferSize,
             "%s\r\n\r\nTemperature Deviated \xF2"
             "5\xF8"
             "C in 5Min:\r\n\r\n  Error:%d\r\n  Extended:%d\r\n\r\nTemperature:%f\nTemperature "
             "MIN:%f\nTemperature MAX:%f\r\n\r\nLocation:%" PRId32 "\r\n",
             szDump, s.nErrorCode, s.nExtendedCode, Temperature(r.dwWord2), Temperature(r.dwWord3),
             Temperature(r.dwWord4), s.nLocation);
}

// Error code 24: "Invalid file" or "Check sum error".
void CheckSum(const ErrorRecord& r, const Selectors& s, const char* szDump, const char* szHeading,
              char* pBuffer) {
    snprintf(pBuffer, kReportBufferSize,
             "%s\r\n\r\n'%s'\r\n\r\nLast Error:\r\n\r\n  Error:%d\r\n  Extended:%d\r\n\r\nDSP "
             "Check Sum:%x\nSent Check Sum:%x\r\n\r\nLocation:%" PRId32 "\r\n",
             szDump, szHeading, s.nErrorCode, s.nExtendedCode, Bits(r.dwWord2, 16, 31),
             Bits(r.dwWord2, 0, 15), s.nLocation);
}

// Error code 26 with extended code 1-5: the capture-line and I2C queue errors, with "\n" line
// ends inside the byte view and the "\n" pieces.
void CaptureLine(const ErrorRecord& r, const Selectors& s, const char* szDump,
                 const char* szHeading, bool bCrc, char* pBuffer) {
    I2cByteView byte = ByteView(r.dwWord2);
    snprintf(pBuffer, kReportBufferSize,
             "%s\r\n\r\n'%s'\r\n\r\nLast Error:\r\n\r\n  Error:%d\r\n  "
             "Extended:%d\r\n\r\n----------\r\n\r\nI2C Extended Error:\r\n\r\n  "
             "Device:%u(0x%x)\r\n  Status:%u(0x%x)\r\n  nDmaCount:%u\r\n  I2cCount:%d\n  "
             "I2cStat:%u\r\n     CAP:%d\n     SCL:%d\n     SDA:%d\n     ACK:%d\n\r\n",
             szDump, szHeading, s.nErrorCode, s.nExtendedCode,
             static_cast<unsigned>(s.nExtendedCode), static_cast<unsigned>(s.nExtendedCode),
             byte.nStatus, byte.nStatus, byte.nDmaCount, byte.nI2cCount, byte.nI2cStat, byte.bCap,
             byte.bScl, byte.bSda, byte.bAck);
    AppendQueue(pBuffer, r.dwWord3, kLf);
    AppendFlags(pBuffer, r.dwWord4, kLf);
    if (bCrc) {
        AppendCrc(pBuffer, r.dwWord5, r.dwWord6);
    }
    AppendLocation(pBuffer, s.nLocation);
}

// Error code 26, I2C error 17, 18 or 20: the packed view, then the bus state in the last
// interrupt when the location is 3, else the queues.
void I2cBusError(const ErrorRecord& r, const Selectors& s, const char* szDump,
                 const char* szHeading, char* pBuffer) {
    I2cStatusView packed = PackedView(r.dwWord2);
    snprintf(pBuffer, kReportBufferSize,
             "%s\r\n\r\n'%s'\r\n\r\nLast Error:\r\n\r\n  Error:%d\r\n  "
             "Extended:%d\r\n\r\n----------\r\n\r\nI2C Extended Error:\r\n\r\n  "
             "Device:%u(0x%x)\r\n  Error:%u(0x%x)\r\n  nDmaCount:%u\r\n  I2cCount:%d\r\n  "
             "I2cStatus:0x%x\r\n     CAP:%d\r\n     SCL:%d\r\n     SDA:%d\r\n     ACK:%d\r\n     "
             "DSP CAP:%d\r\n     SCL OUT:%d\r\n     SDA OUT:%d\r\n  I2cState:0x%x\r\n\r\n",
             szDump, szHeading, s.nErrorCode, s.nExtendedCode,
             static_cast<unsigned>(s.nExtendedCode), static_cast<unsigned>(s.nExtendedCode),
             static_cast<unsigned>(s.nI2cError), static_cast<unsigned>(s.nI2cError),
             packed.nDmaCount, packed.nI2cCount, packed.nI2cStatus, packed.bCap, packed.bScl,
             packed.bSda, packed.bAck, packed.bDspCap, packed.bSclOut, packed.bSdaOut,
             packed.nI2cState);
    if (s.nLocation == 3) {
        AppendLastInterrupt(pBuffer, r.dwWord3);
    } else {
        AppendQueue(pBuffer, r.dwWord3, kCrLf);
    }
    AppendFlags(pBuffer, r.dwWord4, kCrLf);
    AppendLocation(pBuffer, s.nLocation);
}

// Error code 26, I2C error 22: the coarse count, the flags and the bus snapshot in dwWord5.
void CoarseCountReset(const ErrorRecord& r, const Selectors& s, const char* szDump, char* pBuffer) {
    I2cStatusView snap = SnapshotView(r.dwWord5);
    snprintf(pBuffer, kReportBufferSize,
             "%s\r\n\r\n'Coarse count won't reset'\r\n\r\nLast Error:\r\n\r\n  Error:%d\r\n  "
             "Extended:%d\r\n\r\n----------\r\n\r\nI2C Extended Error:\r\n\r\n  "
             "Device:%u(0x%x)\r\n  Error:%u(0x%x)\r\n\r\nCoarse Count:%" PRId32
             "\r\n\r\nbCapturing:%d\r\nbPendingDMA:%d\r\nAsync. "
             "Trigger:%d\r\n-----\r\nI2cCount:%d\r\n  I2cStatus:0x%x\r\n     CAP:%d\r\n     "
             "SCL:%d\r\n     SDA:%d\r\n     ACK:%d\r\n     DSP CAP:%d\r\n     SCL OUT:%d\r\n     "
             "SDA OUT:%d\r\n  I2cState:0x%x\r\nDevice:%u(0x%x)\r\n\r\nLocation:%" PRId32 "\r\n",
             szDump, s.nErrorCode, s.nExtendedCode, static_cast<unsigned>(s.nExtendedCode),
             static_cast<unsigned>(s.nExtendedCode), static_cast<unsigned>(s.nI2cError),
             static_cast<unsigned>(s.nI2cError), static_cast<int32_t>(r.dwWord3), Bit(r.dwWord4, 2),
             Bit(r.dwWord4, 1), Bit(r.dwWord4, 0), snap.nI2cCount, snap.nI2cStatus, snap.bCap,
             snap.bScl, snap.bSda, snap.bAck, snap.bDspCap, snap.bSclOut, snap.bSdaOut,
             snap.nI2cState, snap.nDevice, snap.nDevice, s.nLocation);
}

// Error code 26, any other I2C error: the byte view with "\r\n" line ends and the queues.
void I2cDeviceError(const ErrorRecord& r, const Selectors& s, const char* szDump, char* pBuffer) {
    I2cByteView byte = ByteView(r.dwWord2);
    snprintf(pBuffer, kReportBufferSize,
             "%s\r\n\r\n'Error with I2C device'\r\n\r\nLast Error:\r\n\r\n  Error:%d\r\n  "
             "Extended:%d\r\n\r\n----------\r\n\r\nI2C Extended Error:\r\n\r\n  "
             "Device:%u(0x%x)\r\n  Error:%u(0x%x)\r\n  nDmaCount:%u\r\n  I2cCount:%d\r\n  "
             "I2cStat:%u\r\n     CAP:%d\r\n     SCL:%d\r\n     SDA:%d\r\n     ACK:%d\r\n\r\n",
             szDump, s.nErrorCode, s.nExtendedCode, static_cast<unsigned>(s.nExtendedCode),
             static_cast<unsigned>(s.nExtendedCode), static_cast<unsigned>(s.nI2cError),
             static_cast<unsigned>(s.nI2cError), byte.nDmaCount, byte.nI2cCount, byte.nI2cStat,
             byte.bCap, byte.bScl, byte.bSda, byte.bAck);
    AppendQueue(pBuffer, r.dwWord3, kCrLf);
    AppendFlags(pBuffer, r.dwWord4, kCrLf);
    AppendLocation(pBuffer, s.nLocation);
}

// Error code 29 with extended code 1: the serial view with "\n" line ends.
void TxCountMismatch(const ErrorRecord& r, const Selectors& s, const char* szDump, char* pBuffer) {
    snprintf(pBuffer, kReportBufferSize,
             "%s\r\n\r\n'nTxCount == 0, but pCurrent != pTail'\r\n\r\nLast Error:\r\n\r\n  "
             "Error:%d\r\n  "
             "Extended:%d\r\n\r\nHead:%d\nTail:%d\nEnd:%d\nTxCount:%d\r\n\r\nRxGlobalCount:%"
             "d\nGlobal Read Count:%d\nRxCount:%d\r\n\r\nIIR:0x%02X\nIER:0x%02X\nLSR:0x%"
             "02X\nLCR:0x%02X\r\n\r\nLocation:%" PRId32 "\r\n",
             szDump, s.nErrorCode, s.nExtendedCode, static_cast<int>(Bits(r.dwWord2, 24, 31)),
             static_cast<int>(Bits(r.dwWord2, 16, 23)), static_cast<int>(Bits(r.dwWord2, 8, 15)),
             static_cast<int>(Bits(r.dwWord2, 0, 7)), static_cast<int>(Bits(r.dwWord3, 22, 31)),
             static_cast<int>(Bits(r.dwWord3, 12, 21)), static_cast<int>(Bits(r.dwWord3, 0, 11)),
             Bits(r.dwWord4, 28, 31), Bits(r.dwWord4, 24, 27), Bits(r.dwWord4, 16, 23),
             Bits(r.dwWord4, 8, 15), s.nLocation);
}

// Error code 29 with extended code 2 or 3: the serial view with "\r\n" around the queue halves.
void SendTimeOut(const ErrorRecord& r, const Selectors& s, const char* szDump, char* pBuffer) {
    snprintf(pBuffer, kReportBufferSize,
             "%s\r\n\r\n'Time-out while trying to send'\r\n\r\nLast Error:\r\n\r\n  "
             "Error:%d\r\n  Extended:%d\r\n\r\nFront left:%d\r\nBack left:%d\r\nTrying to "
             "send:%d\r\nTxCount:%d\r\n\r\nRxGlobalCount:%d\nGlobal Read "
             "Count:%d\nRxCount:%d\r\n\r\nIIR:0x%02X\r\nIER:0x%02X\r\nLSR:0x%02X\r\nLCR:0x%"
             "02X\r\n\r\nLocation:%" PRId32 "\r\n",
             szDump, s.nErrorCode, s.nExtendedCode, static_cast<int>(Bits(r.dwWord2, 24, 31)),
             static_cast<int>(Bits(r.dwWord2, 16, 23)), static_cast<int>(Bits(r.dwWord2, 8, 15)),
             static_cast<int>(Bits(r.dwWord2, 0, 7)), static_cast<int>(Bits(r.dwWord3, 22, 31)),
             static_cast<int>(Bits(r.dwWord3, 12, 21)), static_cast<int>(Bits(r.dwWord3, 0, 11)),
             Bits(r.dwWord4, 28, 31), Bits(r.dwWord4, 24, 27), Bits(r.dwWord4, 16, 23),
             Bits(r.dwWord4, 8, 15), s.nLocation);
}

// A heading and the location only: port and communication errors.
void HeadingOnly(const Selectors& s, const char* szDump, const char* szHeading, char* pBuffer) {
    snprintf(pBuffer, kReportBufferSize,
             "%s\r\n\r\n'%s'\r\n\r\nLast Error:\r\n\r\n  Error:%d\r\n  "
             "Extended:%d\r\n\r\nLocation:%" PRId32 "\r\n",
             szDump, szHeading, s.nErrorCode, s.nExtendedCode, s.nLocation);
}

// Every error code without a branch of its own.
void Generic(const Selectors& s, const char* szDump, char* pBuffer) {
    snprintf(pBuffer, kReportBufferSize,
             "%s\r\n\r\nLast Error:\r\n\r\n  Error:%d\r\n  Extended:%d\r\n\r\nLocation:%" PRId32
             "\r\n",
             szDump, s.nErrorCode, s.nExtendedCode, s.nLocation);
}

const char* const kPortErrorHeading = "Error openning port";

// Error code 26: by extended code 1-5, else by the I2C error.
void I2cError(const ErrorRecord& r, const Selectors& s, const char* szDump, char* pBuffer) {
    switch (s.nExtendedCode) {
        case 1:
            CaptureLine(r, s, szDump, "Capture line failed to latch", false, pBuffer);
            return;
        case 2:
            CaptureLine(r, s, szDump, "Capture line failed to reset", false, pBuffer);
            return;
        case 3:
            CaptureLine(r, s, szDump, "I2C Que Overflow", false, pBuffer);
            return;
        case 4:
            CaptureLine(r, s, szDump, "I2c CRC Error", true, pBuffer);
            return;
        case 5:
            CaptureLine(r, s, szDump, "I2c Address Error", true, pBuffer);
            return;
        default:
            break;
    }
    switch (s.nI2cError) {
        case 17:
            I2cBusError(r, s, szDump, "I2C Device Time-Out", pBuffer);
            return;
        case 18:
            I2cBusError(r, s, szDump, "I2C SCL/SDA Line Status Error", pBuffer);
            return;
        case 20:
            I2cBusError(r, s, szDump, "I2C Byte Count Not ZERO at Completion Error", pBuffer);
            return;
        case 22:
            CoarseCountReset(r, s, szDump, pBuffer);
            return;
        default:
            I2cDeviceError(r, s, szDump, pBuffer);
            return;
    }
}

// Error code 29: by extended code.
void SerialError(const ErrorRecord& r, const Selectors& s, const char* szDump, char* pBuffer) {
    switch (s.nExtendedCode) {
        case 0:
            HeadingOnly(s, szDump, kPortErrorHeading, pBuffer);
            return;
        case 1:
            TxCountMismatch(r, s, szDump, pBuffer);
            return;
        case 2:
        case 3:
            SendTimeOut(r, s, szDump, pBuffer);
            return;
        default:
            HeadingOnly(s, szDump, "Communications Error", pBuffer);
            return;
    }
}

}  // namespace

void ErrorDecoder(const ErrorRecord& record, char* pBuffer) {
    char szDump[kDumpSize];
    snprintf(szDump, sizeof szDump,
             "0x%" PRIx32 " 0x%" PRIx32 " 0x%" PRIx32 " 0x%" PRIx32 " 0x%" PRIx32 " 0x%" PRIx32
             " 0x%" PRIx32 "\r\n",
             record.dwWord0, record.dwWord1, record.dwWord2, record.dwWord3, record.dwWord4,
             record.dwWord5, record.dwWord6);

    Selectors s;
    s.nErrorCode = static_cast<int>(Bits(record.dwWord0, 0, 7));
    s.nExtendedCode = static_cast<int>(Bits(record.dwWord0, 16, 23));
    s.nLocation = static_cast<int32_t>(Bits(record.dwWord1, 0, 7));
    s.nI2cError = static_cast<int>(Bits(record.dwWord2, 0, 4));

    switch (s.nErrorCode) {
        case 1:
        case 2:
        case 3:
        case 4:
        case 5:
        case 6:
        case 27:
            FineOutOfRange(record, s, szDump, pBuffer);
            break;
        case 7:
        case 8:
        case 9:
        case 10:
        case 11:
        case 12:
        case 28:
            ReferenceLatched(record, s, szDump, pBuffer);
            break;
        case 23:
            TemperatureDeviated(record, s, szDump, pBuffer);
            break;
        case 24:
            CheckSum(record, s, szDump, s.nExtendedCode == 1 ? "Invalid file" : "Check sum error",
                     pBuffer);
            break;
        case 26:
            I2cError(record, s, szDump, pBuffer);
            break;
        case 29:
            SerialError(record, s, szDump, pBuffer);
            break;
        case 60:
            HeadingOnly(s, szDump, kPortErrorHeading, pBuffer);
            break;
        default:
            Generic(s, szDump, pBuffer);
            break;
    }
}
