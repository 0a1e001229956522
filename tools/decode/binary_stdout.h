// Puts standard input and output into binary mode where the platform translates line ends, so
// the reports keep their exact bytes and a log read from standard input keeps its CR LF.
#ifndef ARMLINK_TOOLS_DECODE_BINARY_STDOUT_H
#define ARMLINK_TOOLS_DECODE_BINARY_STDOUT_H

void SetBinaryStdout();

#endif
