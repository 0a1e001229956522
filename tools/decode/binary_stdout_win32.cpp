// Binary standard input and output on Windows: the C runtime would turn "\n" into CR LF and
// "\r\n" into CR CR LF, and strip the CR of a log read from standard input.
#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "tools/decode/binary_stdout.h"

void SetBinaryStdout() {
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
}
