// armlink-decode: renders error records as the extended display does, from seven hexadecimal
// words on the command line or from the ERROR: lines of an ArmLink log.
#ifndef ARMLINK_TOOLS_DECODE_DECODE_CLI_H
#define ARMLINK_TOOLS_DECODE_DECODE_CLI_H

#include <cstdio>

#include "protocol/arm_protocol.h"

// Exit codes of the tool.
enum DecodeExit {
    kDecodeOk = 0,
    kDecodeBadInput = 1,  // a file could not be read, or held malformed ERROR: lines
    kDecodeBadArgs = 2,   // wrong arguments
};

// Lines of the log longer than this (without their line end) are malformed.
constexpr size_t kMaxLogLine = 4096;

// Runs the tool: argv[1..] are its arguments; pIn stands for the file "-"; the reports go to
// pOut byte for byte as the decoder renders them, messages to pErr. Returns the exit code.
int RunDecodeCli(int argc, char** argv, FILE* pIn, FILE* pOut, FILE* pErr);

// Reads one log line (without its line end) of the form "ERROR: " and seven words of eight
// upper-case hexadecimal digits separated by single blanks. False for any other form.
bool ParseLogErrorLine(const char* pLine, size_t nLength, ErrorRecord* pRecord);

#endif
