// Entry point of armlink-decode: the tool on the process's standard streams.
#include <cstdio>

#include "tools/decode/binary_stdout.h"
#include "tools/decode/decode_cli.h"

int main(int argc, char** argv) {
    SetBinaryStdout();
    return RunDecodeCli(argc, argv, stdin, stdout, stderr);
}
