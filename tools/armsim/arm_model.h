// The arm model: what the arm's controller answers on the line, from a scenario.
#ifndef ARMLINK_TOOLS_ARMSIM_ARM_MODEL_H
#define ARMLINK_TOOLS_ARMSIM_ARM_MODEL_H

#include <cstdint>
#include <string>
#include <vector>

// How the arm behaves. The defaults are a healthy arm at 9600 8N1 with firmware 4.60 and no
// pending errors.
struct ArmScenario {
    // The arm's own line: it understands and answers only at this baud and framing.
    uint32_t nBaud = 9600;
    int nDataBits = 8;
    char cParity = 'n';  // 'n' or 'e'
    int nStopBits = 1;   // reported in the echo

    // The "_G" reply is built from these (status, version, arm and calibration tokens at
    // their places, the other tokens filled in), unless identityReply is set.
    int32_t nStatus = 0;
    std::string version = "4.60";
    std::string arm = "ARM01";
    std::string calibrated = "YES";
    std::string identityReply;  // when not empty: the whole "_G" reply, sent as it stands

    // "_Y1" replies, one popped per request; an empty queue answers seven zeros.
    std::vector<std::string> errorRecords;  // each a reply line without its line end, e.g.
                                            // "104 2 0 1A 0 0 0"
    // "_G STATS": the status word and nine counters (nCaptures ... nAddressErrors), and what
    // is added to each counter after every answered request.
    int32_t nStatsStatus = 0;
    uint32_t counters[9] = {0x1F40, 3, 0, 1, 2, 0, 0, 0xFA, 0};
    int32_t counterStep[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0};
    // While the host polls: the status words of the first answered "_G STATS" requests, one
    // each, in order (nStatsStatus once they are used up); counters the Nth answered request
    // reports (the steps go on from them); error records that become pending once the Nth
    // request has been answered; verbatim replies that stand in for the next requests' own
    // (garbage or short ones), each counting as one answered request, without a step.
    std::vector<int32_t> statsStatusSeq;
    struct CountersAt {
        uint32_t nPoll;
        uint32_t counters[9];
    };
    std::vector<CountersAt> countersAt;
    struct ErrorAfterPoll {
        uint32_t nPoll;
        std::string reply;  // as in errorRecords
    };
    std::vector<ErrorAfterPoll> errorsAfterPoll;
    std::vector<std::string> statsReplies;  // each a whole reply, sent as it stands

    uint32_t nLatencyMs = 2;               // from the end of a command to the first reply byte
    uint32_t nByteGapMs = 0;               // extra time between reply bytes (0: at line pace)
    std::vector<std::string> dribbled;     // commands whose replies alone take nByteGapMs;
                                           // empty: every reply does
    std::vector<std::string> unanswered;   // commands the arm leaves without reply
    bool bGarbageOnMismatch = false;       // at a wrong baud or framing, answer noise, not silence
    bool bFramingErrorOnMismatch = false;  // the noise also raises a framing error
    int nHangupAfter = 0;                  // > 0: the arm serves this many commands (the last one
                                           // answered as usual), then the line goes dead
};

// One command as the arm received it, with the host's line at that moment.
struct ArmCommandSeen {
    std::string text;
    uint32_t nBaud;
    int nDataBits;
    char cParity;
};

// The bytes the arm sends when the host's line does not match its own.
const char* ArmModelNoise();

class ArmModel {
  public:
    explicit ArmModel(const ArmScenario& scenario) : scenario(scenario) {}

    // The arm receives one whole command sent at the host's line settings. Returns the bytes
    // the arm sends back (empty: no answer). *pbNoise is set when the reply is line noise that
    // the host's receiver would flag with a framing error. Every command received before the
    // hang-up is recorded in seen, matching or not, and counts towards nHangupAfter; after the
    // hang-up nothing is recorded or answered.
    std::string Receive(const std::string& command, uint32_t nHostBaud, int nHostDataBits,
                        char cHostParity, bool* pbNoise);
    // True once the arm has hung up.
    bool HungUp() const { return bHungUp; }
    // The extra time between the bytes of the reply to this command.
    uint32_t ByteGapFor(const std::string& command) const;

    ArmScenario scenario;
    std::vector<ArmCommandSeen> seen;
    uint32_t nStatsAnswered = 0;  // "_G STATS" requests answered so far

  private:
    bool bHungUp = false;
};

#endif
