// The arm's command protocol: the five commands, their reply limits, the parsed records, the
// firmware-version gate, the empty-record test, the status word and the point rate.
#ifndef ARMLINK_PROTOCOL_ARM_PROTOCOL_H
#define ARMLINK_PROTOCOL_ARM_PROTOCOL_H

#include <cstddef>
#include <cstdint>

enum ArmCommandId {
    kCmdEcho = 0,      // "_I": line-settings echo
    kCmdIdentity,      // "_G"
    kCmdErrorRecord,   // "_Y1"
    kCmdStats,         // "_G STATS"
    kCmdCloseReadOut,  // "_P": closes a read-out
    kCmdCount
};

// One command with its sent length and the reply read limits its callers use. Where callers
// differ, the first deadline is that of the host controller, log worker and extended display,
// the second that of the statistics worker.
struct ArmCommand {
    const char* szText;
    uint32_t nSentBytes;
    uint32_t nReplyLimit;  // bytes
    uint32_t nDeadlineMs;  // 0: read only what is queued, no extra wait
    uint32_t nStatsDeadlineMs;
};

extern const ArmCommand kArmCommands[kCmdCount];

// Reply buffer sizes: larger than every limit, so the text read is always terminated.
constexpr size_t kReplyBufferSize = 512;
constexpr size_t kReportBufferSize = 1024;

// Room for any token of a reply of at most 270 bytes, with its terminator.
constexpr size_t kTokenSize = 272;

struct ArmIdentity {
    int32_t nStatus;
    float fVersion;
    char szArm[kTokenSize];
    char szCalibrated[kTokenSize];
};

struct ErrorRecord {
    uint32_t dwWord0;
    uint32_t dwWord1;
    uint32_t dwWord2;
    uint32_t dwWord3;
    uint32_t dwWord4;
    uint32_t dwWord5;
    uint32_t dwWord6;
};

struct StatsRecord {
    int32_t nStatus;
    uint32_t nCaptures;
    uint32_t nAsyncCaptures;
    uint32_t nCrcErrors;
    uint32_t nStallCount;
    uint32_t nRetryCount;
    uint32_t nBounces;
    uint32_t nLineErrors;
    uint32_t nPointPeriod;
    uint32_t nAddressErrors;
};

// The nine counters of a StatsRecord in record order, nCaptures to nAddressErrors.
constexpr int kStatsCounters = 9;
void StatsCounters(const StatsRecord& stats, uint32_t* pdwCounters);

// The identity as the status line shows it, "Arm: %s, v%3.2f, Calibrated: %s"; the controller's
// line in the extended display ends with "\n" (bLineEnd).
constexpr size_t kIdentityTextSize = kTokenSize * 2 + 64;
void FormatIdentityText(const ArmIdentity& identity, bool bLineEnd, char* szText, size_t nSize);

// The four values of an "_I" echo.
struct EchoReply {
    int32_t nBaud;
    char cParity;
    int32_t nDataBits;
    int32_t nStopBits;
};

// Each parser reads the terminated text of a reply and returns the parse count: the number of
// values stored. Fields the text does not reach keep their values. A text that is not
// terminated within nSize bytes is read only up to nSize.
int ParseEchoReply(const char* pReply, size_t nSize, EchoReply* pEcho);
int ParseArmIdentity(const char* pReply, size_t nSize, ArmIdentity* pIdentity);
int ParseErrorRecord(const char* pReply, size_t nSize, ErrorRecord* pRecord);
int ParseStatsRecord(const char* pReply, size_t nSize, StatsRecord* pStats);

constexpr int kErrorRecordValues = 7;
constexpr int kStatsRecordValues = 10;
constexpr int kEchoValues = 4;
constexpr int kIdentityValues = 27;  // the three lines of "_G", every value its format stores

// Whether the nCount bytes of pReply are a whole reply to the command: the last byte is a line
// feed and, except for "_P" whose reply is discarded, the text stores every value of the
// command's format. A line feed at the end of the identity's first line is not yet the end.
bool IsReplyComplete(ArmCommandId nCommand, const char* pReply, size_t nCount);
// The fewest bytes that could still make the nCount bytes of pReply a whole reply to the
// command: two for each word of the command's format not begun yet (the arm separates its words:
// a separator and a character; the next word's separator may have come) and the CR LF the arm
// ends every reply with; 0 when it is whole.
// No arm can send a whole reply sooner, so a read need not look before that many bytes have had
// time to come.
uint32_t ReplyBytesToCome(ArmCommandId nCommand, const char* pReply, size_t nCount);

// The firmware-version gate: true when fVersion is at least 4.6 in single precision.
bool PassesVersionGate(float fVersion);

// The empty-record test: error code (bits 0-7) and extended code (bits 16-23) both 0.
bool IsEmptyRecord(const ErrorRecord& record);

// Status word: an error is pending when its low byte AND 0xFC is non-zero.
bool StatusErrorPending(int32_t nStatus);
int StatusErrorNumber(int32_t nStatus);     // (value >> 2) & 0x1F
int StatusExtendedNumber(int32_t nStatus);  // bits 8-15

// Points per second: 1000 / (nPointPeriod x 0.01), 0 for a period of 0.
double PointRate(uint32_t nPointPeriod);

#endif
