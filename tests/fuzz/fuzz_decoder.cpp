// Fuzz target: any error record renders into the 1024-byte buffer, terminated within it, and
// every DSP float word converts.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "protocol/dsp_float.h"
#include "protocol/error_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    uint32_t dwWords[7] = {0, 0, 0, 0, 0, 0, 0};
    memcpy(dwWords, pData, nSize < sizeof dwWords ? nSize : sizeof dwWords);
    ErrorRecord record = {dwWords[0], dwWords[1], dwWords[2], dwWords[3],
                          dwWords[4], dwWords[5], dwWords[6]};
    // Exactly the caller's 1024 bytes on the heap, filled with junk first: the report must
    // replace it and end inside it.
    std::vector<char> buffer(1024, 'x');
    ErrorDecoder(record, buffer.data());
    if (memchr(buffer.data(), '\0', buffer.size()) == nullptr) {
        __builtin_trap();
    }
    for (uint32_t dwWord : dwWords) {
        DspFloatToSingle(dwWord);
    }
    return 0;
}
