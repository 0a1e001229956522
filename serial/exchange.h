// The one exchange every reader (log worker, statistics worker, extended display) has with the
// arm on hPort: purge when asked, send, read with the command's limit and deadline, parse with
// the full-count rule; and the error read-out of seven "_Y1" requests.
#ifndef ARMLINK_SERIAL_EXCHANGE_H
#define ARMLINK_SERIAL_EXCHANGE_H

#include <cstdint>

#include "protocol/arm_protocol.h"

// Who talks to the arm. The readers differ only in what kReaderRules (exchange.cpp) says: how
// long they wait for "_G" and "_P", and whether each error request is purged first and may be
// left when StopEvent is set.
enum ArmReader { kReaderLog, kReaderStats, kReaderExtended };

// Whether the port is purged before the command goes out.
enum PurgeFirst { kNoPurge, kPurgeFirst };

// Every reader asks for error records exactly this many times in a row.
constexpr int kErrorRecordRequests = 7;

// One exchange: the command, the reply read for it and what came of it.
struct ArmExchange {
    ArmCommandId nCommand;
    uint32_t nRead;  // bytes of the reply; 0 when the command did not go out whole or none came
    int nParsed;     // values the reply parsed into; 0 when nothing was read
    char szReply[kReplyBufferSize];  // zeroed before the read, so the reply is terminated
};

// Purges first when asked (always, with fast replies), sends the command and, when it went out
// whole, reads its reply with the command's limit and the reader's deadline; with fast replies
// the read ends as soon as the reply is whole. A reply that is not whole is followed by a
// drain of its tail. True when a reply was read. Every port operation takes hPort as it stands
// at that moment.
bool Exchange(ArmReader reader, ArmCommandId nCommand, PurgeFirst purge, ArmExchange* pExchange);

// "_G", its reply parsed into *pIdentity. The parse count is not examined: fields the reply
// does not reach keep their values. True when a reply was read.
bool ExchangeIdentity(ArmReader reader, PurgeFirst purge, ArmIdentity* pIdentity,
                      ArmExchange* pExchange);

// "_G STATS", its reply parsed into the zeroed *pStats. True only when all ten values parsed.
bool ExchangeStats(ArmReader reader, PurgeFirst purge, StatsRecord* pStats, ArmExchange* pExchange);

// One of the seven error requests of a read-out, as its reader gets it.
struct ErrorRequest {
    int nRequest;          // 1 to kErrorRecordRequests
    bool bValid;           // the reply parsed with all seven words
    ErrorRecord Record;    // zeroed, then parsed
    ArmExchange Exchange;  // what the "_Y1" exchange came to
};

// Takes one request's answer; false leaves the read-out there.
typedef bool (*ErrorRequestSink)(void* pContext, const ErrorRequest& request);

// The error read-out: "_Y1" kErrorRecordRequests times, each answer handed to pfnSink on its
// own whatever the earlier ones held, with "record n of 7" as the dialog's progress before each.
// The log and statistics workers purge before every request and leave the requests when
// StopEvent is set; the extended display asks all seven times without a purge between them.
void ReadErrorRecords(ArmReader reader, ErrorRequestSink pfnSink, void* pContext);

#endif
