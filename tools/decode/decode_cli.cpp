// armlink-decode: the error reports of seven words given on the command line, or of every
// ERROR: line of an ArmLink log under the STAMP: line of its entry.
#include "tools/decode/decode_cli.h"

#include <getopt.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "protocol/error_decoder.h"
#include "protocol/hex_word.h"

namespace {

const char kToolName[] = "armlink-decode";

const char kUsage[] =
    "Usage: armlink-decode W0 W1 W2 W3 W4 W5 W6\n"
    "       armlink-decode FILE\n"
    "\n"
    "Renders the arm's error records as the extended error display shows them.\n"
    "\n"
    "  W0 ... W6   the seven words of one error record, in hexadecimal, with or\n"
    "              without 0x; the report is written to standard output.\n"
    "  FILE        an ArmLink log such as ErrorLog.zlg, or - for standard input:\n"
    "              every STAMP: line is printed as it stands, followed by the\n"
    "              report of each ERROR: line of its entry, numbered from 1.\n"
    "              Other lines are skipped.\n"
    "  -h, --help  shows this text.\n"
    "  --version   prints the version.\n"
    "\n"
    "Bytes of the log that a terminal would obey (control bytes other than CR, LF\n"
    "and tab, and bytes above 0x7E) are printed as \\xNN.\n"
    "\n"
    "Exit status: 0 when everything was decoded; 1 when the file could not be read,\n"
    "held malformed ERROR: lines (the good ones are still decoded) or held no\n"
    "STAMP: or ERROR: line at all; 2 for wrong arguments.\n";

constexpr int kRecordWords = 7;

// "ERROR: " and seven words of eight digits separated by single blanks.
const char kErrorPrefix[] = "ERROR: ";
constexpr size_t kErrorPrefixLength = sizeof kErrorPrefix - 1;
constexpr size_t kLogWordDigits = 8;
constexpr size_t kErrorLineLength = kErrorPrefixLength + kRecordWords * (kLogWordDigits + 1) - 1;

const char kStampTag[] = "STAMP:";
const char kErrorTag[] = "ERROR:";

bool StartsWith(const char* pLine, size_t nLength, const char* szTag) {
    size_t nTag = strlen(szTag);
    return nLength >= nTag && memcmp(pLine, szTag, nTag) == 0;
}

// Writes text from the log or the arm as a terminal may show it, never to be obeyed.
bool WriteShown(const std::string& text, FILE* pOut) {
    std::string shown = ShownArmText(text);
    return fwrite(shown.data(), 1, shown.size(), pOut) == shown.size();
}

// Renders the record and writes the report as the decoder leaves it.
bool WriteReport(const ErrorRecord& record, FILE* pOut) {
    char szReport[kReportBufferSize] = {};
    ErrorDecoder(record, szReport);
    return WriteShown(szReport, pOut);
}

int DecodeWords(char** argv, FILE* pOut, FILE* pErr) {
    uint32_t dwWords[kRecordWords];
    for (int i = 0; i < kRecordWords; ++i) {
        bool bTooWide = false;
        if (!ParseHexWord(argv[i], &dwWords[i], &bTooWide)) {
            fprintf(pErr, "%s: word W%d \"%.40s\" %s\n", kToolName, i, argv[i],
                    bTooWide ? "is wider than 32 bits" : "is not a hexadecimal number");
            return kDecodeBadArgs;
        }
    }
    ErrorRecord record = {dwWords[0], dwWords[1], dwWords[2], dwWords[3],
                          dwWords[4], dwWords[5], dwWords[6]};
    if (!WriteReport(record, pOut) || fflush(pOut) != 0) {
        fprintf(pErr, "%s: cannot write the report\n", kToolName);
        return kDecodeBadInput;
    }
    return kDecodeOk;
}

// One line of the log as read: its bytes with the line end, or its beginning when it is
// longer than a log line can be.
struct LogLine {
    char szBytes[kMaxLogLine + 3];  // the text, "\r\n", the terminator
    size_t nLength;                 // bytes held, line end included
    size_t nTextLength;             // bytes held without the line end
    bool bTooLong;
};

// Reads the next line; false at the end of the file when nothing was left to read. A line
// longer than kMaxLogLine is read to its end but only its beginning is kept.
bool ReadLogLine(FILE* pFile, LogLine* pLine) {
    const size_t nCapacity = sizeof pLine->szBytes - 1;
    pLine->nLength = 0;
    pLine->bTooLong = false;
    bool bAny = false;
    int c;
    while ((c = getc(pFile)) != EOF) {
        bAny = true;
        if (pLine->nLength < nCapacity) {
            pLine->szBytes[pLine->nLength++] = static_cast<char>(c);
        } else {
            pLine->bTooLong = true;
        }
        if (c == '\n') {
            break;
        }
    }
    pLine->szBytes[pLine->nLength] = '\0';
    size_t nText = pLine->nLength;
    if (nText > 0 && pLine->szBytes[nText - 1] == '\n') {
        --nText;
        if (nText > 0 && pLine->szBytes[nText - 1] == '\r') {
            --nText;
        }
    }
    pLine->nTextLength = nText;
    if (nText > kMaxLogLine) {
        pLine->bTooLong = true;
    }
    return bAny;
}

int DecodeLog(const char* szPath, FILE* pIn, FILE* pOut, FILE* pErr) {
    bool bStandardInput = strcmp(szPath, "-") == 0;
    const char* szName = bStandardInput ? "standard input" : szPath;
    FILE* pFile = bStandardInput ? pIn : fopen(szPath, "rb");
    if (pFile == nullptr) {
        fprintf(pErr, "%s: cannot open %s: %s\n", kToolName, szPath, strerror(errno));
        return kDecodeBadInput;
    }

    int nExit = kDecodeOk;
    bool bWriteFailed = false;
    bool bAnyEntryLine = false;  // a STAMP: or ERROR: line, well formed or not
    int nErrorInEntry = 0;
    unsigned long nLineNumber = 0;
    LogLine line;
    while (ReadLogLine(pFile, &line)) {
        ++nLineNumber;
        if (line.bTooLong) {
            fprintf(pErr, "%s: %s, line %lu: line longer than %u characters, skipped\n", kToolName,
                    szName, nLineNumber, static_cast<unsigned>(kMaxLogLine));
            nExit = kDecodeBadInput;
        } else if (StartsWith(line.szBytes, line.nTextLength, kStampTag)) {
            bAnyEntryLine = true;
            // The stamp line as it stands, with the line end it was read with.
            bWriteFailed |= !WriteShown(std::string(line.szBytes, line.nLength), pOut);
            nErrorInEntry = 0;
        } else if (StartsWith(line.szBytes, line.nTextLength, kErrorTag)) {
            bAnyEntryLine = true;
            ErrorRecord record;
            if (ParseLogErrorLine(line.szBytes, line.nTextLength, &record)) {
                ++nErrorInEntry;
                bWriteFailed |= fprintf(pOut, "----------<%d>----------\r\n", nErrorInEntry) < 0;
                bWriteFailed |= !WriteReport(record, pOut);
            } else {
                fprintf(pErr,
                        "%s: %s, line %lu: malformed ERROR: line (expected seven 8-digit "
                        "upper-case hexadecimal words)\n",
                        kToolName, szName, nLineNumber);
                nExit = kDecodeBadInput;
            }
        }
    }
    if (ferror(pFile)) {
        fprintf(pErr, "%s: cannot read %s after line %lu: %s\n", kToolName, szName, nLineNumber,
                strerror(errno));
        nExit = kDecodeBadInput;
    } else if (nLineNumber > 0 && !bAnyEntryLine) {
        // Text that is not an ArmLink log (an empty log is one: it has no entries yet).
        fprintf(pErr, "%s: no ArmLink entries found in %s\n", kToolName, szName);
        nExit = kDecodeBadInput;
    }
    if (!bStandardInput) {
        fclose(pFile);
    }
    if (fflush(pOut) != 0 || bWriteFailed) {
        fprintf(pErr, "%s: cannot write the reports\n", kToolName);
        nExit = kDecodeBadInput;
    }
    return nExit;
}

}  // namespace

bool ParseLogErrorLine(const char* pLine, size_t nLength, ErrorRecord* pRecord) {
    if (nLength != kErrorLineLength || memcmp(pLine, kErrorPrefix, kErrorPrefixLength) != 0) {
        return false;
    }
    uint32_t dwWords[kRecordWords];
    const char* p = pLine + kErrorPrefixLength;
    for (int i = 0; i < kRecordWords; ++i) {
        uint32_t dwWord = 0;
        for (size_t n = 0; n < kLogWordDigits; ++n, ++p) {
            // The log writes the words with "%08X": upper-case digits only.
            int nDigit = HexDigitValue(*p, true);
            if (nDigit < 0) {
                return false;
            }
            dwWord = (dwWord << 4) | static_cast<uint32_t>(nDigit);
        }
        dwWords[i] = dwWord;
        if (i + 1 < kRecordWords) {
            if (*p != ' ') {
                return false;
            }
            ++p;
        }
    }
    *pRecord = {dwWords[0], dwWords[1], dwWords[2], dwWords[3], dwWords[4], dwWords[5], dwWords[6]};
    return true;
}

int RunDecodeCli(int argc, char** argv, FILE* pIn, FILE* pOut, FILE* pErr) {
    static const struct option kOptions[] = {
        {"help", no_argument, nullptr, 'h'},
        {"version", no_argument, nullptr, 'V'},
        {nullptr, 0, nullptr, 0},
    };
    // Each run parses its own arguments from the start; options end at the first word or file
    // ("+"), and the messages are our own.
    optind = 0;
    opterr = 0;
    int nOption;
    while ((nOption = getopt_long(argc, argv, "+h", kOptions, nullptr)) != -1) {
        if (nOption == 'h' || nOption == 'V') {
            fputs(nOption == 'h' ? kUsage : "armlink-decode " ARMLINK_VERSION "\n", pOut);
            return fflush(pOut) == 0 ? kDecodeOk : kDecodeBadInput;
        }
        if (optopt != 0) {
            fprintf(pErr, "%s: unknown option -%c (try --help)\n", kToolName, optopt);
        } else {
            fprintf(pErr, "%s: unknown option %.40s (try --help)\n", kToolName, argv[optind - 1]);
        }
        return kDecodeBadArgs;
    }
    int nArgs = argc - optind;
    if (nArgs == 1) {
        return DecodeLog(argv[optind], pIn, pOut, pErr);
    }
    if (nArgs == kRecordWords) {
        return DecodeWords(argv + optind, pOut, pErr);
    }
    fprintf(pErr,
            "%s: expected seven hexadecimal words or one log file, got %d arguments (try "
            "--help)\n",
            kToolName, nArgs < 0 ? 0 : nArgs);
    return kDecodeBadArgs;
}
