// The arm's signal-processor floating-point word and its conversion to IEEE single precision.
#ifndef ARMLINK_PROTOCOL_DSP_FLOAT_H
#define ARMLINK_PROTOCOL_DSP_FLOAT_H

#include <cstdint>

// Rearranges the bits of a DspFloat word into a single-precision value, without rounding:
// negative values keep the one's complement of the fraction, exponent byte 0x80 gives +0.0.
float DspFloatToSingle(uint32_t dwWord);

#endif
