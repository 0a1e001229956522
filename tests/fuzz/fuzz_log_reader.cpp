// Fuzz target: armlink-decode reading a log, any bytes as its standard input. The run ends
// with a status of the tool's table, and a run that decoded nothing from a non-empty input
// says why on its error stream.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "tools/decode/decode_cli.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    FILE* pIn = fmemopen(const_cast<uint8_t*>(pData), nSize, "rb");
    if (pIn == nullptr) {
        return 0;  // fmemopen refuses an empty buffer on some C libraries
    }
    char* pOutText = nullptr;
    size_t nOut = 0;
    char* pErrText = nullptr;
    size_t nErr = 0;
    FILE* pOut = open_memstream(&pOutText, &nOut);
    FILE* pErr = open_memstream(&pErrText, &nErr);
    char szTool[] = "armlink-decode";
    char szStdin[] = "-";
    char* argv[] = {szTool, szStdin, nullptr};
    int nExit = RunDecodeCli(2, argv, pIn, pOut, pErr);
    fclose(pIn);
    fclose(pOut);
    fclose(pErr);
    if (nExit != kDecodeOk && nExit != kDecodeBadInput) {
        abort();
    }
    // A failure is never silent, and success on a non-empty input decoded or copied something.
    if ((nExit == kDecodeBadInput && nErr == 0) || (nExit == kDecodeOk && nErr != 0) ||
        (nExit == kDecodeOk && nSize > 0 && nOut == 0)) {
        abort();
    }
    free(pOutText);
    free(pErrText);
    return 0;
}
