// Hexadecimal words as the technician types them and as the log writes them: one parser for
// every tool that reads the arm's 32-bit words from text; and the arm's bytes shown as hex.
#ifndef ARMLINK_PROTOCOL_HEX_WORD_H
#define ARMLINK_PROTOCOL_HEX_WORD_H

#include <cstdint>
#include <string>

// The value of one hexadecimal digit, -1 for any other character. With bUpperCaseOnly, "a" to
// "f" count as other characters (the log writes its words with "%08X").
int HexDigitValue(char c, bool bUpperCaseOnly);

// Reads a terminated text of hexadecimal digits, with or without "0x"/"0X", as one word of at
// most 32 bits (leading zeros do not count). False when the text is empty or holds any other
// character (*pbTooWide false), or when its value is wider than 32 bits (*pbTooWide true);
// *pdwWord is written only on success. pbTooWide may be null.
bool ParseHexWord(const char* szText, uint32_t* pdwWord, bool* pbTooWide);

// Text that came from the arm as a terminal may show it: control bytes other than CR, LF and
// tab, DEL and the bytes above 0x7E become "\xNN" (upper-case digits), so the arm's bytes are
// shown and never obeyed. Printable text comes back unchanged, shown text too.
std::string ShownArmText(const std::string& text);

#endif
