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

}  // namespace

bool Exchange(ArmReader reader, ArmCommandId nCommand, PurgeFirst purge, ArmExchange* pExchange) {
    const ArmCommand& command = kArmCommands[nCommand];
    pExchange->nCommand = nCommand;
    pExchange->nRead = 0;
    pExchange->nParsed = 0;
    if (purge == kPurgeFirst) {
        PurgePort(g_App.hPort.load());
    }
    if (SendCommand(g_App.hPort.load(), command.szText) != command.nSentBytes) {
        return false;
    }
    memset(pExchange->szReply, 0, sizeof pExchange->szReply);
    uint32_t nDeadlineMs =
        kReaderRules[reader].bStatsDeadlines ? command.nStatsDeadlineMs : command.nDeadlineMs;
    // Every reply is read to its deadline (or its limit, or a line end after the first phase),
    // as the command table sets them. The exchange knows its command, so a read that ends as
    // soon as the reply is complete by that command's format would be decided here alone.
    pExchange->nRead =
        ReadReply(g_App.hPort.load(), pExchange->szReply, command.nReplyLimit, nDeadlineMs);
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
