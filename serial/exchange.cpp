// The readers' exchange with the arm and their error read-out, on the port the search left open.
#include "serial/exchange.h"

#include <cstdio>
#include <cstring>

#include "common/app_state.h"
#include "serial/serial_port.h"

namespace {

// What sets the readers apart.
struct ReaderRules {
    bool bStatsDeadlines;  // "_G" and "_P" read with the statistics worker's shorter deadlines
    bool bPurgeRecords;    // each error request is purged first
    bool bStoppable;       // a set StopEvent leaves the error requests
};
const ReaderRules kReaderRules[] = {
    {false, true, true},    // kReaderLog
    {true, true, true},     // kReaderStats
    {false, false, false},  // kReaderExtended
};

// How long the line must stay quiet before the tail of a cut reply counts as gone.
constexpr uint32_t kTailQuietMs = 100;

// A read that ended with less than a whole reply (cut at its limit or deadline, broken off by
// a line error) may leave the rest of it on the way: it is drained before the next command,
// for at most the command's deadline. A whole reply, or silence, costs nothing.
void DrainTail(ArmCommandId nCommand, uint32_t nDeadlineMs, const ArmExchange& exchange) {
    SerialDevice* port = g_App.hPort.load();
    if (IsReplyComplete(nCommand, exchange.szReply, exchange.nRead)) {
        return;
    }
    bool bHeard = exchange.nRead != 0 || exchange.szReply[0] != '\0';
    if (!bHeard) {
        bool bLineError = false;
        uint32_t cbInQue = 0;
        bHeard = PollPort(port, &bLineError, &cbInQue) && cbInQue != 0;
    }
    if (bHeard) {
        DrainInput(port, kTailQuietMs, nDeadlineMs);
    }
}

}  // namespace

bool Exchange(ArmReader reader, ArmCommandId nCommand, PurgeFirst purge, ArmExchange* pExchange) {
    const ArmCommand& command = kArmCommands[nCommand];
    pExchange->nCommand = nCommand;
    pExchange->nRead = 0;
    pExchange->nParsed = 0;
    // A read that ends with its reply leaves nothing behind that it waited for; what the arm
    // sends after it is purged here, before it can glue onto the next reply.
    bool bFast = g_App.bFastReplies != 0;
    if (purge == kPurgeFirst || bFast) {
        PurgePort(g_App.hPort.load());
    }
    if (SendCommand(g_App.hPort.load(), command.szText) != command.nSentBytes) {
        return false;
    }
    memset(pExchange->szReply, 0, sizeof pExchange->szReply);
    uint32_t nDeadlineMs =
        kReaderRules[reader].bStatsDeadlines ? command.nStatsDeadlineMs : command.nDeadlineMs;
    pExchange->nRead = ReadReply(g_App.hPort.load(), pExchange->szReply, command.nReplyLimit,
                                 nDeadlineMs, bFast ? nCommand : kNoReplyTest);
    DrainTail(nCommand, nDeadlineMs, *pExchange);
    return pExchange->nRead != 0;
}

bool ExchangeIdentity(ArmReader reader, PurgeFirst purge, ArmIdentity* pIdentity,
                      ArmExchange* pExchange) {
    if (!Exchange(reader, kCmdIdentity, purge, pExchange)) {
        return false;
    }
    pExchange->nParsed = ParseArmIdentity(pExchange->szReply, sizeof pExchange->szReply, pIdentity);
    return true;
}

bool ExchangeStats(ArmReader reader, PurgeFirst purge, StatsRecord* pStats,
                   ArmExchange* pExchange) {
    memset(pStats, 0, sizeof *pStats);
    if (!Exchange(reader, kCmdStats, purge, pExchange)) {
        return false;
    }
    pExchange->nParsed = ParseStatsRecord(pExchange->szReply, sizeof pExchange->szReply, pStats);
    return pExchange->nParsed == kStatsRecordValues;
}

void ReadErrorRecords(ArmReader reader, ErrorRequestSink pfnSink, void* pContext) {
    const ReaderRules& rules = kReaderRules[reader];
    for (int nRequest = 1; nRequest <= kErrorRecordRequests; ++nRequest) {
        // The stop request is seen only between requests, so an entry is never left with half
        // a record.
        if (rules.bStoppable && g_App.StopEvent->IsSet()) {
            break;
        }
        char szProgress[48];
        snprintf(szProgress, sizeof szProgress, "record %d of %d", nRequest, kErrorRecordRequests);
        ShowDialogProgress(szProgress);
        ErrorRequest request;
        request.nRequest = nRequest;
        memset(&request.Record, 0, sizeof request.Record);
        request.bValid = false;
        if (Exchange(reader, kCmdErrorRecord, rules.bPurgeRecords ? kPurgeFirst : kNoPurge,
                     &request.Exchange)) {
            request.Exchange.nParsed = ParseErrorRecord(
                request.Exchange.szReply, sizeof request.Exchange.szReply, &request.Record);
            request.bValid = request.Exchange.nParsed == kErrorRecordValues;
        }
        if (!pfnSink(pContext, request)) {
            break;
        }
    }
}
