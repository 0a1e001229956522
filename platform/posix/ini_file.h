// The settings file as INI text: sections of "name=value" entries, read within a bound and
// rewritten atomically under a lock, every line it does not own kept byte for byte.
#ifndef ARMLINK_PLATFORM_POSIX_INI_FILE_H
#define ARMLINK_PLATFORM_POSIX_INI_FILE_H

#include <cstddef>
#include <string>

// Whether a section or entry name fits its line and reads back unchanged: not empty, no
// spaces or tabs at either end, no line end, no ']' in a section name; an entry name has no
// '=' and does not start as a comment (';', '#') or a header ('[').
bool IsIniName(const char* szName, bool bSection);

// The value of the entry name in the section: every byte after its '=' up to the line end.
// Names compare without regard to ASCII case. False, with the reason in szWhyNot (terminated, cut
// to cchWhyNot) ("no COM3 in <file>", "cannot read <file>: Permission denied"), when the file, the
// section or the entry is missing or the file cannot be read; with bWritable, also when the file
// that holds the entry could not be replaced ("cannot write <file>: ...").
bool ReadIniValue(const std::string& path, const std::string& section, const std::string& name,
                  bool bWritable, std::string* pValue, char* szWhyNot, size_t cchWhyNot);

// Sets the entry szName of the section to value, adding the directory (0700), the section and
// the entry when missing. False, with the reason in szWhyNot (terminated, cut to cchWhyNot)
// ("cannot create <directory>: ...", "cannot lock", "cannot read", "cannot write", "cannot
// replace"), when a step fails, or when the name or the value (a line end or NUL in it) cannot be
// held by a line; the file is then left as it was.
bool WriteIniValue(const std::string& path, const std::string& section, const char* szName,
                   const std::string& value, char* szWhyNot, size_t cchWhyNot);

#endif
