// Binary standard input and output on POSIX systems: there is no text mode, nothing to do.
#include "tools/decode/binary_stdout.h"

void SetBinaryStdout() {}
