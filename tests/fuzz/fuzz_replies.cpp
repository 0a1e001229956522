// Fuzz target: the parsers of the arm's replies, on raw bytes (no terminator: the parsers must
// stay within the size they are given) and on terminated text, as the readers hand them over.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "protocol/arm_protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    // Exactly nSize bytes on the heap: one byte more read is an error the sanitizer reports.
    std::vector<char> raw(pData, pData + nSize);
    const char* pRaw = raw.empty() ? "" : raw.data();
    size_t nRaw = raw.size();

    EchoReply echo;
    ArmIdentity identity;
    ErrorRecord record;
    StatsRecord stats;
    memset(&echo, 0, sizeof echo);
    memset(&identity, 0, sizeof identity);
    memset(&record, 0, sizeof record);
    memset(&stats, 0, sizeof stats);
    ParseEchoReply(pRaw, nRaw, &echo);
    ParseArmIdentity(pRaw, nRaw, &identity);
    ParseErrorRecord(pRaw, nRaw, &record);
    ParseStatsRecord(pRaw, nRaw, &stats);
    // The tokens always come back terminated within their buffers.
    if (memchr(identity.szArm, '\0', sizeof identity.szArm) == nullptr ||
        memchr(identity.szCalibrated, '\0', sizeof identity.szCalibrated) == nullptr) {
        __builtin_trap();
    }

    // As the readers do it: a zeroed buffer larger than the reply.
    char szReply[kReplyBufferSize];
    memset(szReply, 0, sizeof szReply);
    memcpy(szReply, pRaw, nRaw < sizeof szReply - 1 ? nRaw : sizeof szReply - 1);
    ParseEchoReply(szReply, sizeof szReply, &echo);
    ParseArmIdentity(szReply, sizeof szReply, &identity);
    int nRecord = ParseErrorRecord(szReply, sizeof szReply, &record);
    int nStats = ParseStatsRecord(szReply, sizeof szReply, &stats);
    if (nRecord < 0 || nRecord > kErrorRecordValues || nStats < 0 || nStats > kStatsRecordValues) {
        __builtin_trap();
    }
    PassesVersionGate(identity.fVersion);
    IsEmptyRecord(record);
    PointRate(stats.nPointPeriod);
    return 0;
}
