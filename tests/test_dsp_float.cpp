// DspFloatToSingle: the bit patterns and printed texts of the arm's temperature words.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "protocol/dsp_float.h"

namespace {

uint32_t PatternOf(float fValue) {
    uint32_t dwPattern;
    memcpy(&dwPattern, &fValue, sizeof dwPattern);
    return dwPattern;
}

struct DspCase {
    uint32_t dwWord;
    uint32_t dwPattern;  // the single-precision result, bit for bit
    const char* szText;  // "%f" of the result, or nullptr where the text is not of interest
};

const DspCase kDspCases[] = {
    {0x80000000u, 0x00000000u, "0.000000"},    // the zero word
    {0x00000000u, 0x3F800000u, "1.000000"},    // exponent 0, fraction 0: one, not zero
    {0xFF000000u, 0x3F000000u, "0.500000"},    // exponent -1
    {0x044C0000u, 0x41CC0000u, "25.500000"},   // a temperature
    {0x04800000u, 0xC1FFFFFFu, "-31.999998"},  // one's complement: not -32
    {0x03E00000u, 0xC11FFFFFu, "-9.999999"},
    {0x01800000u, 0xC07FFFFFu, "-4.000000"},  // -3.9999998
    {0x80123456u, 0x00000000u, "0.000000"},   // exponent byte 0x80 is zero whatever follows
    {0x80000001u, 0x00000000u, "0.000000"},
    {0x80FFFFFFu, 0x00000000u, "0.000000"},
    {0x80800000u, 0x00000000u, "0.000000"},  // sign set: still +0.0
    {0x81000000u, 0x00000000u, "0.000000"},  // e = -127, fraction 0
    {0x81400000u, 0x00400000u, "0.000000"},  // the subnormal 2^-127
    {0x7F7FFFFFu, 0x7F7FFFFFu, nullptr},     // the largest finite single
    {0x7F800000u, 0xFF7FFFFFu, nullptr},     // its negative
    {0x7FFFFFFFu, 0xFF000000u, nullptr},     // -2^127
};

TEST(DspFloat, PatternsAndTextsOfTheArmsWords) {
    for (const DspCase& c : kDspCases) {
        SCOPED_TRACE(::testing::Message() << std::hex << "word 0x" << c.dwWord);
        float fValue = DspFloatToSingle(c.dwWord);
        EXPECT_EQ(PatternOf(fValue), c.dwPattern);
        if (c.szText != nullptr) {
            char szText[64];
            snprintf(szText, sizeof szText, "%f", static_cast<double>(fValue));
            EXPECT_STREQ(szText, c.szText);
        }
    }
}

TEST(DspFloat, SubnormalValueIsTwoToMinus127) {
    EXPECT_EQ(static_cast<double>(DspFloatToSingle(0x81400000u)), std::ldexp(1.0, -127));
    EXPECT_EQ(static_cast<double>(DspFloatToSingle(0x04800000u)),
              -(2.0 - std::ldexp(1.0, -23)) * 16.0);
}

// Every exponent byte with fractions at both ends and in between, either sign: the result is
// always finite, the exponent moves by 127, and the fraction is kept (positive) or
// complemented (negative).
TEST(DspFloat, EveryExponentGivesAFiniteNumber) {
    const uint32_t kFractions[] = {0x000000u, 0x000001u, 0x2AAAAAu, 0x555555u, 0x7FFFFFu};
    for (uint32_t dwExponent = 0; dwExponent < 256; ++dwExponent) {
        for (uint32_t dwSign = 0; dwSign < 2; ++dwSign) {
            for (uint32_t dwFraction : kFractions) {
                uint32_t dwWord = (dwExponent << 24) | (dwSign << 23) | dwFraction;
                float fValue = DspFloatToSingle(dwWord);
                ASSERT_TRUE(std::isfinite(fValue)) << std::hex << dwWord;
                uint32_t dwPattern = PatternOf(fValue);
                if (dwExponent == 0x80) {
                    ASSERT_EQ(dwPattern, 0u) << std::hex << dwWord;
                    continue;
                }
                ASSERT_EQ((dwPattern >> 23) & 0xFFu, (dwExponent + 127u) & 0xFFu)
                    << std::hex << dwWord;
                if (dwSign == 0) {
                    ASSERT_EQ(dwPattern & 0x007FFFFFu, dwFraction) << std::hex << dwWord;
                    ASSERT_EQ(dwPattern >> 31, 0u) << std::hex << dwWord;
                } else {
                    ASSERT_EQ(dwPattern & 0x007FFFFFu, ~dwFraction & 0x007FFFFFu)
                        << std::hex << dwWord;
                    ASSERT_EQ(dwPattern >> 31, 1u) << std::hex << dwWord;
                }
            }
        }
    }
}

}  // namespace
