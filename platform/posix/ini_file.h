// The settings file as INI text: sections of "name=value" entries, read within a bound and
// rewritten atomically under a lock, every line it does not own kept byte for byte.
#ifndef ARMLINK_PLATFORM_POSIX_INI_FILE_H
#define ARMLINK_PLATFORM_POSIX_INI_FILE_H

#include <cstddef>
#include <cstdint>
#include <string>

// A settings file holds a few short lines: one larger than this is read only this far and is
// never rewritten, so that its tail is not lost.
constexpr size_t kMaxIniFileSize = 1024 * 1024;

// Whether a section or entry name fits its line and reads back unchanged: not empty, no
// spaces or tabs at either end, no line end, no ']' in a section name; an entry name has no
// '=' and does not start as a comment (';', '#') or a header ('[').
bool IsIniName(const char* szName, bool bSection);

// The value of the entry name in the section: every byte after its '=' up to the line end.
// Names compare without regard to ASCII case. Returns kErrorSuccess, kErrorFileNotFound when
// the file, the section or the entry is missing, or the fault of a read (kStepRead).
int32_t ReadIniValue(const std::string& path, const std::string& section, const std::string& name,
                     std::string* pValue);

// Sets the entry szName of the section to value (no line end or NUL in it), adding the
// directory (0700), the section and the entry when missing. With szName nullptr it only makes
// sure that the section is there and that the file may be written; *pbCreated says whether the
// section had to be added. Returns kErrorSuccess or the fault of the step that failed.
int32_t WriteIniValue(const std::string& path, const std::string& section, const char* szName,
                      const std::string& value, bool* pbCreated);

// The text of a fault result, "cannot write <path>: <the system's reason>", terminated and cut
// to cchText. False, and szText untouched, for a result that is no fault.
bool IniFaultText(int32_t nResult, char* szText, size_t cchText);

#endif
