// The arm model: the replies of the arm's controller to the five commands, from its scenario.
#include "tools/armsim/arm_model.h"

#include <cstddef>
#include <cstdio>
#include <cstring>

namespace {

// What a receiver at the wrong baud or framing makes of the arm's reply: bytes that are no
// digits, no blanks and no line end, so no reply parse can take them for an answer.
const char kNoise[] = "\xF0\x8C\xFE\x9E\xC6\xF8";

// Longest arm, calibration and version token that the built identity carries, so that the
// whole "_G" reply stays within the 270 bytes its readers take.
constexpr size_t kMaxIdentityToken = 40;

std::string Token(const std::string& text) {
    return text.size() > kMaxIdentityToken ? text.substr(0, kMaxIdentityToken) : text;
}

std::string EchoReply(const ArmScenario& scenario) {
    char szReply[64];
    snprintf(szReply, sizeof szReply, "%u %c %d %d\r\n", static_cast<unsigned>(scenario.nBaud),
             scenario.cParity, scenario.nDataBits, scenario.nStopBits);
    return szReply;
}

// Three lines, 36 tokens: status first, the firmware version seventh, the arm tenth and the
// calibration thirteenth; the other tokens are the arm's own readings, here at rest.
std::string IdentityReply(const ArmScenario& scenario) {
    if (!scenario.identityReply.empty()) {
        return scenario.identityReply;
    }
    char szStatus[16];
    snprintf(szStatus, sizeof szStatus, "%d", static_cast<int>(scenario.nStatus));
    std::string reply = szStatus;
    reply += " STATUS 0 0 0 FIRMWARE ";
    reply += Token(scenario.version);
    reply += " BUILD 0 ";
    reply += Token(scenario.arm);
    reply += " SERIAL 0 ";
    reply += Token(scenario.calibrated);
    reply += " 1 0.0 0.0\r\n";
    reply += "0.0 0.0 0.0 0.0 0.0 0.0 0.0 0.0 0.0 0.0 0.0 0.0 0 0.0\r\n";
    reply += "0.0 0.0 0.0 0.0 0.0 0.0\r\n";
    return reply;
}

std::string ErrorReply(ArmScenario* pScenario) {
    if (pScenario->errorRecords.empty()) {
        return "0 0 0 0 0 0 0\r\n";
    }
    std::string reply = pScenario->errorRecords.front() + "\r\n";
    pScenario->errorRecords.erase(pScenario->errorRecords.begin());
    return reply;
}

// The reply to the nPoll-th answered "_G STATS" (counted from 1).
std::string StatsReply(ArmScenario* pScenario, uint32_t nPoll) {
    // Records that turn up while the host polls join the pending ones once this poll is served.
    for (size_t i = 0; i < pScenario->errorsAfterPoll.size();) {
        if (pScenario->errorsAfterPoll[i].nPoll == nPoll) {
            pScenario->errorRecords.push_back(pScenario->errorsAfterPoll[i].reply);
            pScenario->errorsAfterPoll.erase(pScenario->errorsAfterPoll.begin() +
                                             static_cast<std::ptrdiff_t>(i));
        } else {
            ++i;
        }
    }
    if (!pScenario->statsReplies.empty()) {
        std::string reply = pScenario->statsReplies.front();
        pScenario->statsReplies.erase(pScenario->statsReplies.begin());
        return reply;
    }
    for (const ArmScenario::CountersAt& at : pScenario->countersAt) {
        if (at.nPoll == nPoll) {
            memcpy(pScenario->counters, at.counters, sizeof pScenario->counters);
        }
    }
    int32_t nStatus = pScenario->nStatsStatus;
    if (nPoll <= pScenario->statsStatusSeq.size()) {
        nStatus = pScenario->statsStatusSeq[nPoll - 1];
    }
    const uint32_t* c = pScenario->counters;
    char szReply[128];
    snprintf(szReply, sizeof szReply, "%d %X %X %X %X %X %X %X %X %X\r\n",
             static_cast<int>(nStatus), static_cast<unsigned>(c[0]), static_cast<unsigned>(c[1]),
             static_cast<unsigned>(c[2]), static_cast<unsigned>(c[3]), static_cast<unsigned>(c[4]),
             static_cast<unsigned>(c[5]), static_cast<unsigned>(c[6]), static_cast<unsigned>(c[7]),
             static_cast<unsigned>(c[8]));
    // The counters run on between requests; they wrap as the arm's 32-bit counters do.
    for (int i = 0; i < 9; ++i) {
        pScenario->counters[i] += static_cast<uint32_t>(pScenario->counterStep[i]);
    }
    return szReply;
}

bool IsUnanswered(const ArmScenario& scenario, const std::string& command) {
    for (const std::string& text : scenario.unanswered) {
        if (text == command) {
            return true;
        }
    }
    return false;
}

}  // namespace

uint32_t ArmModel::ByteGapFor(const std::string& command) const {
    if (scenario.dribbled.empty()) {
        return scenario.nByteGapMs;
    }
    for (const std::string& text : scenario.dribbled) {
        if (text == command) {
            return scenario.nByteGapMs;
        }
    }
    return 0;
}

const char* ArmModelNoise() {
    return kNoise;
}

std::string ArmModel::Receive(const std::string& command, uint32_t nHostBaud, int nHostDataBits,
                              char cHostParity, bool* pbNoise) {
    if (pbNoise != nullptr) {
        *pbNoise = false;
    }
    if (bHungUp) {
        return std::string();
    }
    ArmCommandSeen entry;
    entry.text = command;
    entry.nBaud = nHostBaud;
    entry.nDataBits = nHostDataBits;
    entry.cParity = cHostParity;
    seen.push_back(entry);

    std::string reply;
    bool bUnderstood = nHostBaud == scenario.nBaud && nHostDataBits == scenario.nDataBits &&
                       cHostParity == scenario.cParity;
    if (!bUnderstood) {
        if (scenario.bGarbageOnMismatch) {
            reply = kNoise;
            if (pbNoise != nullptr) {
                *pbNoise = scenario.bFramingErrorOnMismatch;
            }
        }
    } else if (!IsUnanswered(scenario, command)) {
        if (command == "_I") {
            reply = EchoReply(scenario);
        } else if (command == "_G") {
            reply = IdentityReply(scenario);
        } else if (command == "_Y1") {
            reply = ErrorReply(&scenario);
        } else if (command == "_G STATS") {
            reply = StatsReply(&scenario, ++nStatsAnswered);
        } else if (command == "_P") {
            reply = "OK\r\n";
        }
    }

    // The arm serves nHangupAfter commands, this one included, and then drops the line.
    if (scenario.nHangupAfter > 0 && seen.size() >= static_cast<size_t>(scenario.nHangupAfter)) {
        bHungUp = true;
    }
    return reply;
}
