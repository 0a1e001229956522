// The arm's command table, the reply parsers, and the rules applied to the parsed records.
#include "protocol/arm_protocol.h"

#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <cstring>

// Sent lengths and reply limits. "_I" reads only what is already queued; the statistics worker
// waits 1000 ms where the other callers wait 2000 ms for "_G" and "_P".
const ArmCommand kArmCommands[kCmdCount] = {
    {"_I", 2, 32, 0, 0},        {"_G", 2, 270, 2000, 1000},
    {"_Y1", 3, 64, 2000, 2000}, {"_G STATS", 8, 89, 1000, 1000},
    {"_P", 2, 74, 2000, 1000},
};

namespace {

// The longest reply text a parser reads; every caller's reply buffer is at most this large.
constexpr size_t kParseTextSize = kReportBufferSize;

// The replies' formats. Each conversion, stored or skipped ("%*s"), reads one word of the reply.
// "%ld %c %d %d": baud, parity letter, data bits, stop bits.
constexpr char kEchoFormat[] = "%" SCNd32 " %c %" SCNd32 " %" SCNd32;
// The identity's three lines: the status, the version, the arm's name and its calibration among
// words that are skipped, then 23 numbers that are parsed as the arm sends them and not used.
constexpr char kIdentityFormat[] =
    "%" SCNd32 " %*s %*s %*s %*s %*s %f %*s %*s %271s %*s %*s %271s %" SCNd32
    " %f %f\r\n%f %f %f %f %f %f %f %f %f %f %f %f %" SCNd32 " %f\r\n%f %f %f %f %f %f\r\n";
// "%x %x %x %x %x %x %x\r\n": seven 32-bit words; the closing "\r\n" matches any white space.
constexpr char kErrorRecordFormat[] =
    "%" SCNx32 " %" SCNx32 " %" SCNx32 " %" SCNx32 " %" SCNx32 " %" SCNx32 " %" SCNx32 "\r\n";
// "%d %lx %lx %lx %lx %lx %lx %lx %lx %lx": the status word, then nine 32-bit counters.
constexpr char kStatsFormat[] = "%" SCNd32 " %" SCNx32 " %" SCNx32 " %" SCNx32 " %" SCNx32
                                " %" SCNx32 " %" SCNx32 " %" SCNx32 " %" SCNx32 " %" SCNx32;

// The words a whole reply in szFormat has: one for each conversion.
constexpr int FormatWords(const char* szFormat) {
    int nWords = 0;
    for (const char* p = szFormat; *p != '\0'; ++p) {
        nWords += *p == '%' ? 1 : 0;
    }
    return nWords;
}
static_assert(FormatWords(kEchoFormat) == kEchoValues, "every word of the echo is stored");
static_assert(FormatWords(kIdentityFormat) == 36, "the identity has 36 words in three lines");
static_assert(FormatWords(kErrorRecordFormat) == kErrorRecordValues, "a record is 7 words");
static_assert(FormatWords(kStatsFormat) == kStatsRecordValues, "the counters are 10 words");

// Copies the reply into a terminated local text: a reply that is not terminated within nSize
// bytes (or within the parser's text size) is read only up to that point.
void CopyReplyText(const char* pReply, size_t nSize, char* szText) {
    size_t nLength = 0;
    if (pReply != nullptr) {
        size_t nLimit = nSize < kParseTextSize ? nSize : kParseTextSize;
        const void* pEnd = memchr(pReply, '\0', nLimit);
        nLength =
            pEnd != nullptr ? static_cast<size_t>(static_cast<const char*>(pEnd) - pReply) : nLimit;
        memcpy(szText, pReply, nLength);
    }
    szText[nLength] = '\0';
}

}  // namespace

int ParseEchoReply(const char* pReply, size_t nSize, EchoReply* pEcho) {
    char szText[kParseTextSize + 1];
    CopyReplyText(pReply, nSize, szText);
    int nCount = sscanf(szText, kEchoFormat, &pEcho->nBaud, &pEcho->cParity, &pEcho->nDataBits,
                        &pEcho->nStopBits);
    return nCount < 0 ? 0 : nCount;
}

int ParseArmIdentity(const char* pReply, size_t nSize, ArmIdentity* pIdentity) {
    char szText[kParseTextSize + 1];
    CopyReplyText(pReply, nSize, szText);
    // The 23 numbers after szCalibrated are parsed as the arm sends them and not used. The "%*s"
    // skips store nothing; the two stored tokens are bounded to their 272-byte buffers, which
    // hold any token of a 270-byte reply.
    static_assert(kTokenSize == 272, "the %271s widths of its format fit kTokenSize");
    int32_t nUnused0 = 0, nUnused1 = 0;
    float f[21] = {};
    int nCount = sscanf(szText, kIdentityFormat, &pIdentity->nStatus, &pIdentity->fVersion,
                        pIdentity->szArm, pIdentity->szCalibrated, &nUnused0, &f[0], &f[1], &f[2],
                        &f[3], &f[4], &f[5], &f[6], &f[7], &f[8], &f[9], &f[10], &f[11], &f[12],
                        &f[13], &nUnused1, &f[14], &f[15], &f[16], &f[17], &f[18], &f[19], &f[20]);
    return nCount < 0 ? 0 : nCount;
}

int ParseErrorRecord(const char* pReply, size_t nSize, ErrorRecord* pRecord) {
    char szText[kParseTextSize + 1];
    CopyReplyText(pReply, nSize, szText);
    int nCount =
        sscanf(szText, kErrorRecordFormat, &pRecord->dwWord0, &pRecord->dwWord1, &pRecord->dwWord2,
               &pRecord->dwWord3, &pRecord->dwWord4, &pRecord->dwWord5, &pRecord->dwWord6);
    return nCount < 0 ? 0 : nCount;
}

int ParseStatsRecord(const char* pReply, size_t nSize, StatsRecord* pStats) {
    char szText[kParseTextSize + 1];
    CopyReplyText(pReply, nSize, szText);
    int nCount =
        sscanf(szText, kStatsFormat, &pStats->nStatus, &pStats->nCaptures, &pStats->nAsyncCaptures,
               &pStats->nCrcErrors, &pStats->nStallCount, &pStats->nRetryCount, &pStats->nBounces,
               &pStats->nLineErrors, &pStats->nPointPeriod, &pStats->nAddressErrors);
    return nCount < 0 ? 0 : nCount;
}

namespace {

// How many values the command's format stores from the text of pReply (*pnValues: how many it
// has); "_P", whose reply is not looked at, has none; -1 for a command without a reply.
int StoredValues(ArmCommandId nCommand, const char* pReply, size_t nCount, int* pnValues) {
    // The parses go into records of their own: the caller's stay untouched.
    EchoReply echo;
    ArmIdentity identity;
    ErrorRecord record;
    StatsRecord stats;
    switch (nCommand) {
        case kCmdEcho:
            *pnValues = kEchoValues;
            return ParseEchoReply(pReply, nCount, &echo);
        case kCmdIdentity:
            *pnValues = kIdentityValues;
            return ParseArmIdentity(pReply, nCount, &identity);
        case kCmdErrorRecord:
            *pnValues = kErrorRecordValues;
            return ParseErrorRecord(pReply, nCount, &record);
        case kCmdStats:
            *pnValues = kStatsRecordValues;
            return ParseStatsRecord(pReply, nCount, &stats);
        case kCmdCloseReadOut:
            *pnValues = 0;
            return 0;
        default:
            *pnValues = 0;
            return -1;
    }
}

// The words of a whole reply to each command; "_P", whose reply is not looked at, has none.
constexpr int kReplyWords[kCmdCount] = {FormatWords(kEchoFormat), FormatWords(kIdentityFormat),
                                        FormatWords(kErrorRecordFormat), FormatWords(kStatsFormat),
                                        0};

}  // namespace

bool IsReplyComplete(ArmCommandId nCommand, const char* pReply, size_t nCount) {
    // The line feed comes first: no reply is whole without it, and most pieces of a reply fail
    // here before any parse.
    if (nCount == 0 || pReply[nCount - 1] != '\n') {
        return false;
    }
    int nValues = 0;
    int nStored = StoredValues(nCommand, pReply, nCount, &nValues);
    return nStored >= 0 && nStored == nValues;
}

uint32_t ReplyBytesToCome(ArmCommandId nCommand, const char* pReply, size_t nCount) {
    char cLast = nCount != 0 ? pReply[nCount - 1] : '\0';
    if (cLast == '\n' && IsReplyComplete(nCommand, pReply, nCount)) {
        return 0;  // whole
    }
    // The words begun so far, up to a terminator as the parser reads them: counted, not
    // parsed, since a read asks this at each look while its reply comes.
    int nBegun = 0;
    bool bInWord = false;
    for (size_t i = 0; i < nCount && pReply[i] != '\0'; ++i) {
        bool bSpace = isspace(static_cast<unsigned char>(pReply[i])) != 0;
        nBegun += !bSpace && !bInWord ? 1 : 0;
        bInWord = !bSpace;
    }
    int nWords = nCommand < kCmdCount ? kReplyWords[nCommand] : -1;
    uint32_t nMissing = nWords > nBegun ? static_cast<uint32_t>(nWords - nBegun) : 0;
    // A word that is still to come needs a separator and a character at the least (the next
    // one only its character when nothing or a separator came last), and the reply ends with
    // CR LF (the LF alone once the CR has come).
    uint32_t nWordBytes = nMissing != 0 && !bInWord ? 2 * nMissing - 1 : 2 * nMissing;
    return nWordBytes + (cLast == '\r' ? 1 : 2);
}

bool PassesVersionGate(float fVersion) {
    // The float constant is the single-precision value nearest 4.6, so a reported "4.6" passes;
    // a version that is not a number compares false and fails.
    return fVersion >= 4.6f;
}

bool IsEmptyRecord(const ErrorRecord& record) {
    return (record.dwWord0 & 0xFFu) == 0 && ((record.dwWord0 >> 16) & 0xFFu) == 0;
}

bool StatusErrorPending(int32_t nStatus) {
    return (static_cast<uint32_t>(nStatus) & 0xFCu) != 0;
}

int StatusErrorNumber(int32_t nStatus) {
    return static_cast<int>((static_cast<uint32_t>(nStatus) >> 2) & 0x1Fu);
}

int StatusExtendedNumber(int32_t nStatus) {
    return static_cast<int>((static_cast<uint32_t>(nStatus) >> 8) & 0xFFu);
}

double PointRate(uint32_t nPointPeriod) {
    if (nPointPeriod == 0) {
        return 0.0;
    }
    return 1000.0 / (static_cast<double>(nPointPeriod) * 0.01);
}

void StatsCounters(const StatsRecord& stats, uint32_t* pdwCounters) {
    const uint32_t dwCounters[kStatsCounters] = {
        stats.nCaptures,   stats.nAsyncCaptures, stats.nCrcErrors,
        stats.nStallCount, stats.nRetryCount,    stats.nBounces,
        stats.nLineErrors, stats.nPointPeriod,   stats.nAddressErrors};
    memcpy(pdwCounters, dwCounters, sizeof dwCounters);
}

void FormatIdentityText(const ArmIdentity& identity, bool bLineEnd, char* szText, size_t nSize) {
    snprintf(szText, nSize,
             bLineEnd ? "Arm: %s, v%3.2f, Calibrated: %s\n" : "Arm: %s, v%3.2f, Calibrated: %s",
             identity.szArm, static_cast<double>(identity.fVersion), identity.szCalibrated);
}
