// Converts the arm's signal-processor float word into an IEEE 754 single-precision value.
#include "protocol/dsp_float.h"

#include <cstring>

namespace {

constexpr uint32_t kDspZero = 0x80000000u;
constexpr uint32_t kDspSignBit = 0x00800000u;
constexpr uint32_t kFractionMask = 0x007FFFFFu;
constexpr uint32_t kSingleSignBit = 0x80000000u;
constexpr uint32_t kSingleExponentAllOnes = 0xFFu;

}  // namespace

float DspFloatToSingle(uint32_t dwWord) {
    if (dwWord == kDspZero) {
        return 0.0f;
    }
    uint32_t dwExponent = ((dwWord >> 24) + 127u) & 0xFFu;
    if (dwExponent == kSingleExponentAllOnes) {
        // Exponent byte 0x80 (e = -128) has no single-precision counterpart: the arm means zero.
        return 0.0f;
    }
    uint32_t dwPattern = dwExponent << 23;
    if ((dwWord & kDspSignBit) != 0) {
        // Negative words carry the one's complement of the fraction; no 1 is added.
        dwPattern |= kSingleSignBit | (~dwWord & kFractionMask);
    } else {
        dwPattern |= dwWord & kFractionMask;
    }
    float fValue;
    static_assert(sizeof fValue == sizeof dwPattern, "single precision is 32 bits");
    memcpy(&fValue, &dwPattern, sizeof fValue);
    return fValue;
}
