// Hexadecimal words: digits with or without "0x", at most 32 bits of value.
#include "protocol/hex_word.h"

int HexDigitValue(char c, bool bUpperCaseOnly) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (!bUpperCaseOnly && c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

bool ParseHexWord(const char* szText, uint32_t* pdwWord, bool* pbTooWide) {
    bool bTooWide = false;
    if (szText[0] == '0' && (szText[1] == 'x' || szText[1] == 'X')) {
        szText += 2;
    }
    bool bGood = szText[0] != '\0';
    uint32_t dwWord = 0;
    // Every character is looked at, so a bad digit after too many good ones says "not
    // hexadecimal" rather than "too wide".
    for (const char* p = szText; bGood && *p != '\0'; ++p) {
        int nDigit = HexDigitValue(*p, false);
        if (nDigit < 0) {
            bGood = false;
        } else if (dwWord > 0x0FFFFFFFu) {
            bTooWide = true;
        } else {
            dwWord = (dwWord << 4) | static_cast<uint32_t>(nDigit);
        }
    }
    if (pbTooWide != nullptr) {
        *pbTooWide = bGood && bTooWide;
    }
    if (!bGood || bTooWide) {
        return false;
    }
    *pdwWord = dwWord;
    return true;
}

std::string ShownArmText(const std::string& text) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string shown;
    shown.reserve(text.size());
    for (char c : text) {
        unsigned char b = static_cast<unsigned char>(c);
        if ((b >= 0x20 && b <= 0x7E) || c == '\r' || c == '\n' || c == '\t') {
            shown += c;
        } else {
            shown += "\\x";
            shown += kDigits[b >> 4];
            shown += kDigits[b & 0x0F];
        }
    }
    return shown;
}
