// The scenario file parser: one "key value" per line, '#' comment lines, into an ArmScenario.
#include "tools/armsim/scenario.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "protocol/hex_word.h"

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string Trim(const std::string& text) {
    size_t nBegin = 0;
    size_t nEnd = text.size();
    while (nBegin < nEnd && IsBlank(text[nBegin])) {
        ++nBegin;
    }
    while (nEnd > nBegin && IsBlank(text[nEnd - 1])) {
        --nEnd;
    }
    return text.substr(nBegin, nEnd - nBegin);
}

std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && IsBlank(text[i])) {
            ++i;
        }
        size_t nStart = i;
        while (i < text.size() && !IsBlank(text[i])) {
            ++i;
        }
        if (i > nStart) {
            words.push_back(text.substr(nStart, i - nStart));
        }
    }
    return words;
}

// A number with an optional sign, decimal, or hexadecimal after "0x"; within [nMin, nMax].
bool ParseNumber(const std::string& word, int64_t nMin, int64_t nMax, int64_t* pValue) {
    size_t i = 0;
    bool bNegative = false;
    if (i < word.size() && (word[i] == '+' || word[i] == '-')) {
        bNegative = word[i] == '-';
        ++i;
    }
    std::string digits = word.substr(i);
    int64_t nValue = 0;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        uint32_t dwValue = 0;
        if (!ParseHexWord(digits.c_str(), &dwValue, nullptr)) {
            return false;
        }
        nValue = dwValue;
    } else {
        if (digits.empty()) {
            return false;
        }
        for (char c : digits) {
            if (c < '0' || c > '9') {
                return false;
            }
            nValue = nValue * 10 + (c - '0');
            if (nValue > 0xFFFFFFFFll) {
                return false;
            }
        }
    }
    if (bNegative) {
        nValue = -nValue;
    }
    if (nValue < nMin || nValue > nMax) {
        return false;
    }
    *pValue = nValue;
    return true;
}

bool ParseFlag(const std::string& word, bool* pValue) {
    static const char* const kTrue[] = {"1", "yes", "true", "on"};
    static const char* const kFalse[] = {"0", "no", "false", "off"};
    for (const char* szWord : kTrue) {
        if (word == szWord) {
            *pValue = true;
            return true;
        }
    }
    for (const char* szWord : kFalse) {
        if (word == szWord) {
            *pValue = false;
            return true;
        }
    }
    return false;
}

// Replaces \r, \n, \t, \\ and \xHH by the bytes they stand for.
bool Unescape(const std::string& text, std::string* pOut, std::string* pProblem) {
    pOut->clear();
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c != '\\') {
            pOut->push_back(c);
            continue;
        }
        if (i + 1 >= text.size()) {
            *pProblem = "a backslash ends the text";
            return false;
        }
        char e = text[++i];
        if (e == 'r') {
            pOut->push_back('\r');
        } else if (e == 'n') {
            pOut->push_back('\n');
        } else if (e == 't') {
            pOut->push_back('\t');
        } else if (e == '\\') {
            pOut->push_back('\\');
        } else if (e == 'x' && i + 2 < text.size() && HexDigitValue(text[i + 1], false) >= 0 &&
                   HexDigitValue(text[i + 2], false) >= 0) {
            pOut->push_back(static_cast<char>(HexDigitValue(text[i + 1], false) * 16 +
                                              HexDigitValue(text[i + 2], false)));
            i += 2;
        } else {
            *pProblem = std::string("unknown escape \\") + e;
            return false;
        }
    }
    return true;
}

// One scenario line: its key, the value after it (trimmed) and the value's words.
struct ScenarioLine {
    std::string key;
    std::string value;
    std::vector<std::string> words;
};

// A single number within [nMin, nMax].
bool OneNumber(const ScenarioLine& line, int64_t nMin, int64_t nMax, int64_t* pValue) {
    return line.words.size() == 1 && ParseNumber(line.words[0], nMin, nMax, pValue);
}

// Exactly nCount hexadecimal words.
bool HexWords(const ScenarioLine& line, size_t nCount, uint32_t* pdwWords) {
    if (line.words.size() != nCount) {
        return false;
    }
    for (size_t i = 0; i < nCount; ++i) {
        if (!ParseHexWord(line.words[i].c_str(), &pdwWords[i], nullptr)) {
            return false;
        }
    }
    return true;
}

// Each key's handler: false with a problem text when the value does not fit the key.
typedef bool (*ApplyProc)(const ScenarioLine& line, ArmScenario* pScenario, std::string* pProblem);

bool ApplyBaud(const ScenarioLine& line, ArmScenario* pScenario, std::string* pProblem) {
    int64_t n = 0;
    if (!OneNumber(line, 1, 4000000, &n)) {
        *pProblem = "baud takes a rate from 1 to 4000000";
        return false;
    }
    pScenario->nBaud = static_cast<uint32_t>(n);
    return true;
}

bool ApplyFraming(const ScenarioLine& line, ArmScenario* pScenario, std::string* pProblem) {
    const std::string word = line.words.size() == 1 ? line.words[0] : std::string();
    if (word == "8n1" || word == "8N1") {
        pScenario->nDataBits = 8;
        pScenario->cParity = 'n';
    } else if (word == "7e1" || word == "7E1") {
        pScenario->nDataBits = 7;
        pScenario->cParity = 'e';
    } else {
        *pProblem = "framing is 8n1 or 7e1";
        return false;
    }
    return true;
}

bool ApplyStopBits(const ScenarioLine& line, ArmScenario* pScenario, std::string* pProblem) {
    int64_t n = 0;
    if (!OneNumber(line, 1, 2, &n)) {
        *pProblem = "stopbits is 1 or 2";
        return false;
    }
    pScenario->nStopBits = static_cast<int>(n);
    return true;
}

// "status" (the "_G" reply's) and "stats_status" (the "_G STATS" reply's).
bool ApplyStatus(const ScenarioLine& line, ArmScenario* pScenario, std::string* pProblem) {
    int64_t n = 0;
    if (!OneNumber(line, INT32_MIN, UINT32_MAX, &n)) {
        *pProblem = line.key + " takes a 32-bit status word (decimal, or hexadecimal after 0x)";
        return false;
    }
    (line.key == "status" ? pScenario->nStatus : pScenario->nStatsStatus) =
        static_cast<int32_t>(static_cast<uint32_t>(n));
    return true;
}

// "version", "arm" and "calibrated": the tokens of the built "_G" reply.
bool ApplyToken(const ScenarioLine& line, ArmScenario* pScenario, std::string* pProblem) {
    if (line.words.size() != 1) {
        *pProblem = line.key + " takes one token";
        return false;
    }
    if (line.words[0].size() > kScenarioMaxToken) {
        *pProblem = line.key + " is longer than 40 characters";
        return false;
    }
    std::string* pToken = line.key == "version" ? &pScenario->version
                          : line.key == "arm"   ? &pScenario->arm
                                                : &pScenario->calibrated;
    *pToken = line.words[0];
    return true;
}

// "identity", "error_reply" and "stats_reply": a verbatim reply, escapes allowed.
bool ApplyReply(const ScenarioLine& line, ArmScenario* pScenario, std::string* pProblem) {
    std::string text;
    if (!Unescape(line.value, &text, pProblem)) {
        *pProblem = line.key + ": " + *pProblem;
        return false;
    }
    if (text.empty() || text.size() > kScenarioMaxReply) {
        *pProblem = line.key + " takes a text of 1 to 1024 bytes";
        return false;
    }
    if (line.key == "identity") {
        pScenario->identityReply = text;
    } else {
        (line.key == "error_reply" ? pScenario->errorRecords : pScenario->statsReplies)
            .push_back(text);
    }
    return true;
}

bool ApplyError(const ScenarioLine& line, ArmScenario* pScenario, std::string* pProblem) {
    uint32_t dwWords[7];
    if (!HexWords(line, 7, dwWords)) {
        *pProblem = "error takes seven hexadecimal words";
        return false;
    }
    char szLine[96];
    snprintf(szLine, sizeof szLine, "%X %X %X %X %X %X %X", static_cast<unsigned>(dwWords[0]),
             static_cast<unsigned>(dwWords[1]), static_cast<unsigned>(dwWords[2]),
             static_cast<unsigned>(dwWords[3]), static_cast<unsigned>(dwWords[4]),
             static_cast<unsigned>(dwWords[5]), static_cast<unsigned>(dwWords[6]));
    pScenario->errorRecords.push_back(szLine);
    return true;
}

bool ApplyCounters(const ScenarioLine& line, ArmScenario* pScenario, std::string* pProblem) {
    uint32_t dwCounters[9];
    if (!HexWords(line, 9, dwCounters)) {
        *pProblem = "counters takes nine hexadecimal words";
        return false;
    }
    memcpy(pScenario->counters, dwCounters, sizeof dwCounters);
    return true;
}

bool ApplyCounterStep(const ScenarioLine& line, ArmScenario* pScenario, std::string* pProblem) {
    int32_t nSteps[9];
    bool bGood = line.words.size() == 9;
    for (size_t i = 0; bGood && i < 9; ++i) {
        int64_t n = 0;
        bGood = ParseNumber(line.words[i], INT32_MIN, INT32_MAX, &n);
        nSteps[i] = static_cast<int32_t>(n);
    }
    if (!bGood) {
        *pProblem = "counter_step takes nine signed numbers";
        return false;
    }
    memcpy(pScenario->counterStep, nSteps, sizeof nSteps);
    return true;
}

bool ApplyStatusSeq(const ScenarioLine& line, ArmScenario* pScenario, std::string* pProblem) {
    std::vector<int32_t> statuses;
    for (const std::string& word : line.words) {
        int64_t n = 0;
        if (!ParseNumber(word, INT32_MIN, UINT32_MAX, &n)) {
            break;
        }
        statuses.push_back(static_cast<int32_t>(static_cast<uint32_t>(n)));
    }
    if (line.words.empty() || statuses.size() != line.words.size()) {
        *pProblem = "stats_status_seq takes one or more 32-bit status words";
        return false;
    }
    pScenario->statsStatusSeq = statuses;
    return true;
}

// "counters_at" and "error_after_poll": the poll number, then what the key "counters" or
// "error" takes, parsed by that key.
bool ApplyAtPoll(const ScenarioLine& line, ArmScenario* pScenario, std::string* pProblem) {
    bool bCounters = line.key == "counters_at";
    size_t nSplit = line.value.find_first_of(" \t");
    std::string rest =
        nSplit == std::string::npos ? std::string() : Trim(line.value.substr(nSplit));
    int64_t n = 0;
    if (line.words.empty() || !ParseNumber(line.words[0], 1, INT32_MAX, &n)) {
        *pProblem = line.key + " takes a poll number from 1 first";
        return false;
    }
    ScenarioLine inner = {bCounters ? "counters" : "error", rest, Words(rest)};
    ArmScenario one;
    one.errorRecords.clear();
    if (!(bCounters ? ApplyCounters : ApplyError)(inner, &one, pProblem)) {
        *pProblem = line.key + ": " + *pProblem;
        return false;
    }
    if (bCounters) {
        ArmScenario::CountersAt at;
        at.nPoll = static_cast<uint32_t>(n);
        memcpy(at.counters, one.counters, sizeof at.counters);
        pScenario->countersAt.push_back(at);
    } else {
        pScenario->errorsAfterPoll.push_back({static_cast<uint32_t>(n), one.errorRecords.back()});
    }
    return true;
}

// "latency_ms" and "byte_gap_ms".
bool ApplyMs(const ScenarioLine& line, ArmScenario* pScenario, std::string* pProblem) {
    int64_t n = 0;
    if (!OneNumber(line, 0, 60000, &n)) {
        *pProblem = line.key + " takes milliseconds from 0 to 60000";
        return false;
    }
    (line.key == "latency_ms" ? pScenario->nLatencyMs : pScenario->nByteGapMs) =
        static_cast<uint32_t>(n);
    return true;
}

// "unanswered" and "dribble": the whole rest of the line is the command, so "_G STATS" keeps
// its blank.
bool ApplyCommand(const ScenarioLine& line, ArmScenario* pScenario, std::string* pProblem) {
    if (line.value.empty()) {
        *pProblem = line.key + " takes a command";
        return false;
    }
    (line.key == "unanswered" ? pScenario->unanswered : pScenario->dribbled).push_back(line.value);
    return true;
}

// "garbage_on_mismatch" and "framing_error_on_mismatch".
bool ApplyFlag(const ScenarioLine& line, ArmScenario* pScenario, std::string* pProblem) {
    bool bValue = false;
    if (line.words.size() != 1 || !ParseFlag(line.words[0], &bValue)) {
        *pProblem = line.key + " is 1 or 0 (yes/no, true/false, on/off)";
        return false;
    }
    (line.key == "garbage_on_mismatch" ? pScenario->bGarbageOnMismatch
                                       : pScenario->bFramingErrorOnMismatch) = bValue;
    return true;
}

bool ApplyHangup(const ScenarioLine& line, ArmScenario* pScenario, std::string* pProblem) {
    int64_t n = 0;
    if (!OneNumber(line, 0, INT32_MAX, &n)) {
        *pProblem = "hangup_after takes a count of commands (0: never)";
        return false;
    }
    pScenario->nHangupAfter = static_cast<int>(n);
    return true;
}

// Every key of a scenario file, with its handler (tools/armsim/README.md tells what each sets).
struct ScenarioKey {
    const char* szKey;
    ApplyProc pfnApply;
};
const ScenarioKey kScenarioKeys[] = {
    {"baud", ApplyBaud},
    {"framing", ApplyFraming},
    {"stopbits", ApplyStopBits},
    {"status", ApplyStatus},
    {"stats_status", ApplyStatus},
    {"version", ApplyToken},
    {"arm", ApplyToken},
    {"calibrated", ApplyToken},
    {"identity", ApplyReply},
    {"error_reply", ApplyReply},
    {"stats_reply", ApplyReply},
    {"error", ApplyError},
    {"counters", ApplyCounters},
    {"counter_step", ApplyCounterStep},
    {"stats_status_seq", ApplyStatusSeq},
    {"counters_at", ApplyAtPoll},
    {"error_after_poll", ApplyAtPoll},
    {"latency_ms", ApplyMs},
    {"byte_gap_ms", ApplyMs},
    {"unanswered", ApplyCommand},
    {"dribble", ApplyCommand},
    {"garbage_on_mismatch", ApplyFlag},
    {"framing_error_on_mismatch", ApplyFlag},
    {"hangup_after", ApplyHangup},
};

// One line's key and value; false with a problem text when the key is unknown or the value
// does not fit it.
bool ApplyLine(const std::string& key, const std::string& value, ArmScenario* pScenario,
               std::string* pProblem) {
    ScenarioLine line = {key, value, Words(value)};
    for (const ScenarioKey& entry : kScenarioKeys) {
        if (key == entry.szKey) {
            return entry.pfnApply(line, pScenario, pProblem);
        }
    }
    *pProblem = "unknown key \"" + key + "\"";
    return false;
}

}  // namespace

bool ParseScenario(const char* szText, ArmScenario* pScenario, char* szError, size_t cchError) {
    if (szError != nullptr && cchError != 0) {
        szError[0] = '\0';
    }
    if (szText == nullptr || pScenario == nullptr) {
        return false;
    }
    int nLine = 0;
    const char* p = szText;
    while (*p != '\0') {
        const char* pEnd = strchr(p, '\n');
        size_t nLength = pEnd != nullptr ? static_cast<size_t>(pEnd - p) : strlen(p);
        std::string line = Trim(std::string(p, nLength));
        p += nLength;
        if (*p == '\n') {
            ++p;
        }
        ++nLine;
        if (line.empty() || line[0] == '#') {
            continue;
        }
        size_t nKeyEnd = 0;
        while (nKeyEnd < line.size() && !IsBlank(line[nKeyEnd])) {
            ++nKeyEnd;
        }
        std::string key = line.substr(0, nKeyEnd);
        std::string value = Trim(line.substr(nKeyEnd));
        std::string problem;
        if (!ApplyLine(key, value, pScenario, &problem)) {
            if (szError != nullptr && cchError != 0) {
                snprintf(szError, cchError, "line %d: %s", nLine, problem.c_str());
            }
            return false;
        }
    }
    return true;
}

bool LoadScenarioFile(const char* szPath, ArmScenario* pScenario, char* szError, size_t cchError) {
    if (szError != nullptr && cchError != 0) {
        szError[0] = '\0';
    }
    FILE* pFile = szPath != nullptr ? fopen(szPath, "rb") : nullptr;
    if (pFile == nullptr) {
        if (szError != nullptr && cchError != 0) {
            snprintf(szError, cchError, "%s: cannot read the file", szPath ? szPath : "");
        }
        return false;
    }
    std::string text;
    char buffer[4096];
    size_t nRead = 0;
    bool bNul = false;
    while ((nRead = fread(buffer, 1, sizeof buffer, pFile)) > 0) {
        bNul = bNul || memchr(buffer, '\0', nRead) != nullptr;
        text.append(buffer, nRead);
    }
    bool bReadError = ferror(pFile) != 0;
    fclose(pFile);
    if (bReadError || bNul) {
        if (szError != nullptr && cchError != 0) {
            snprintf(szError, cchError, "%s: %s", szPath,
                     bNul ? "the file holds a NUL byte" : "cannot read the file");
        }
        return false;
    }
    char szProblem[256];
    if (!ParseScenario(text.c_str(), pScenario, szProblem, sizeof szProblem)) {
        if (szError != nullptr && cchError != 0) {
            snprintf(szError, cchError, "%s: %s", szPath, szProblem);
        }
        return false;
    }
    return true;
}
