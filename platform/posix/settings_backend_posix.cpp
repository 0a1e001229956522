// The POSIX settings backend: each registry key is a section of one INI file, its values are the
// section's entries; every write replaces the file atomically and keeps the lines it does not own.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <mutex>
#include <new>
#include <string>

#include "common/settings_backend.h"
#include "platform/posix/posix_platform.h"

namespace {

// A settings file holds a few short lines; anything past this is not read, and a file that
// large is not rewritten (its tail would be lost).
constexpr size_t kMaxSettingsFileSize = 1024 * 1024;

// The registry keys of the system all lie below this root; it names the sections.
constexpr char kRootKeyPrefix[] = "HKEY_LOCAL_MACHINE\\";
constexpr char kPortsSection[] = "Ports";

std::mutex g_PathMutex;
std::string g_OverridePath;

struct PosixSettingsKey {
    std::string path;     // the file, fixed when the key was opened
    std::string section;  // the key's full path, as its section header names it
};

// ---- the file's path --------------------------------------------------------------------

bool FormSettingsPath(std::string* pPath) {
    {
        std::lock_guard<std::mutex> lock(g_PathMutex);
        if (!g_OverridePath.empty()) {
            *pPath = g_OverridePath;
            return true;
        }
    }
    // A relative XDG_CONFIG_HOME is to be ignored, as the XDG rules say.
    const char* szConfig = getenv("XDG_CONFIG_HOME");
    if (szConfig != nullptr && szConfig[0] == '/') {
        *pPath = szConfig;
        *pPath += "/armlink/settings.ini";
        return true;
    }
    const char* szHome = getenv("HOME");
    if (szHome != nullptr && szHome[0] != '\0') {
        *pPath = szHome;
        *pPath += "/.config/armlink/settings.ini";
        return true;
    }
    return false;
}

std::string DirectoryOf(const std::string& path) {
    size_t nSlash = path.rfind('/');
    if (nSlash == std::string::npos) {
        return ".";
    }
    if (nSlash == 0) {
        return "/";
    }
    return path.substr(0, nSlash);
}

// Creates the directory and every missing parent (private to the user, as XDG asks).
bool MakeDirectories(const std::string& directory) {
    struct stat info;
    if (stat(directory.c_str(), &info) == 0) {
        return S_ISDIR(info.st_mode);
    }
    std::string partial;
    size_t nPos = 0;
    while (nPos <= directory.size()) {
        size_t nSlash = directory.find('/', nPos);
        if (nSlash == std::string::npos) {
            nSlash = directory.size();
        }
        partial = directory.substr(0, nSlash);
        nPos = nSlash + 1;
        if (partial.empty()) {
            continue;
        }
        if (mkdir(partial.c_str(), 0700) != 0) {
            if (errno != EEXIST || stat(partial.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
                return false;
            }
        }
    }
    return true;
}

// Holds an exclusive lock on the settings directory from reading to rename, so that two
// ArmLinks writing at once do not lose each other's values.
class DirectoryLock {
  public:
    explicit DirectoryLock(const std::string& directory) {
        fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0) {
            int nResult;
            do {
                nResult = flock(fd, LOCK_EX);
            } while (nResult != 0 && errno == EINTR);
        }
    }
    ~DirectoryLock() {
        if (fd >= 0) {
            (void)close(fd);  // releases the lock
        }
    }
    bool Held() const { return fd >= 0; }
    // Makes the rename itself durable.
    void SyncDirectory() const {
        if (fd >= 0) {
            (void)fsync(fd);
        }
    }

  private:
    int fd;
    DirectoryLock(const DirectoryLock&);
    DirectoryLock& operator=(const DirectoryLock&);
};

// ---- reading --------------------------------------------------------------------------

enum ReadOutcome {
    kReadOk,        // the text is the whole file
    kReadMissing,   // no file: the text is empty
    kReadDenied,    // it cannot be read
    kReadTooLarge,  // the text holds only its first kMaxSettingsFileSize bytes
};

ReadOutcome ReadSettingsText(const std::string& path, std::string* pText) {
    pText->clear();
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return errno == ENOENT ? kReadMissing : kReadDenied;
    }
    char buffer[4096];
    ReadOutcome outcome = kReadOk;
    for (;;) {
        ssize_t nGot = read(fd, buffer, sizeof(buffer));
        if (nGot < 0 && errno == EINTR) {
            continue;
        }
        if (nGot < 0) {
            outcome = kReadDenied;
            break;
        }
        if (nGot == 0) {
            break;
        }
        size_t nRoom = kMaxSettingsFileSize - pText->size();
        if (static_cast<size_t>(nGot) > nRoom) {
            pText->append(buffer, nRoom);
            outcome = kReadTooLarge;
            break;
        }
        pText->append(buffer, static_cast<size_t>(nGot));
    }
    (void)close(fd);
    return outcome;
}

// ---- the INI lines ----------------------------------------------------------------------

struct TextLine {
    size_t nStart;       // first byte
    size_t nContentEnd;  // end of the text, before a CR LF or LF
    size_t nNext;        // start of the next line
};

bool NextLine(const std::string& text, size_t nPos, TextLine* pLine) {
    if (nPos >= text.size()) {
        return false;
    }
    const void* pFound = memchr(text.data() + nPos, '\n', text.size() - nPos);
    size_t nEnd = pFound != nullptr
                      ? static_cast<size_t>(static_cast<const char*>(pFound) - text.data())
                      : text.size();
    pLine->nStart = nPos;
    pLine->nNext = pFound != nullptr ? nEnd + 1 : nEnd;
    if (nEnd > nPos && text[nEnd - 1] == '\r') {
        --nEnd;
    }
    pLine->nContentEnd = nEnd;
    return true;
}

bool IsBlankChar(char c) {
    return c == ' ' || c == '\t';
}

// Narrows [*pStart, *pEnd) to its text without spaces and tabs at either end.
void Trim(const std::string& text, size_t* pStart, size_t* pEnd) {
    while (*pStart < *pEnd && IsBlankChar(text[*pStart])) {
        ++*pStart;
    }
    while (*pEnd > *pStart && IsBlankChar(text[*pEnd - 1])) {
        --*pEnd;
    }
}

// Names compare without regard to ASCII case, as registry key and value names do.
bool SameName(const std::string& text, size_t nStart, size_t nEnd, const std::string& name) {
    if (nEnd - nStart != name.size()) {
        return false;
    }
    for (size_t i = 0; i < name.size(); ++i) {
        char a = text[nStart + i];
        char b = name[i];
        if (a >= 'A' && a <= 'Z') {
            a = static_cast<char>(a - 'A' + 'a');
        }
        if (b >= 'A' && b <= 'Z') {
            b = static_cast<char>(b - 'A' + 'a');
        }
        if (a != b) {
            return false;
        }
    }
    return true;
}

// "[name]", spaces allowed around it: *pStart and *pEnd receive the name.
bool IsSectionHeader(const std::string& text, const TextLine& line, size_t* pStart, size_t* pEnd) {
    size_t nStart = line.nStart;
    size_t nEnd = line.nContentEnd;
    Trim(text, &nStart, &nEnd);
    if (nEnd - nStart < 2 || text[nStart] != '[' || text[nEnd - 1] != ']') {
        return false;
    }
    *pStart = nStart + 1;
    *pEnd = nEnd - 1;
    Trim(text, pStart, pEnd);
    return true;
}

// "name=value": the name without the spaces around it, the value every byte after the '='.
// Comments (';' or '#') and lines without '=' are no entries.
bool IsEntry(const std::string& text, const TextLine& line, size_t* pNameStart, size_t* pNameEnd,
             size_t* pValueStart) {
    size_t nStart = line.nStart;
    size_t nEnd = line.nContentEnd;
    Trim(text, &nStart, &nEnd);
    if (nStart == nEnd || text[nStart] == ';' || text[nStart] == '#' || text[nStart] == '[') {
        return false;
    }
    const void* pEqual = memchr(text.data() + line.nStart, '=', line.nContentEnd - line.nStart);
    if (pEqual == nullptr) {
        return false;
    }
    size_t nEqual = static_cast<size_t>(static_cast<const char*>(pEqual) - text.data());
    *pNameStart = line.nStart;
    *pNameEnd = nEqual;
    Trim(text, pNameStart, pNameEnd);
    if (*pNameStart == *pNameEnd) {
        return false;
    }
    *pValueStart = nEqual + 1;
    return true;
}

bool IsBlankLine(const std::string& text, const TextLine& line) {
    size_t nStart = line.nStart;
    size_t nEnd = line.nContentEnd;
    Trim(text, &nStart, &nEnd);
    return nStart == nEnd;
}

// Where a value stands in the text, or where it would go.
struct ValueLocation {
    bool bSection;           // the section has a header
    size_t nSectionEnd;      // after the last non-blank line of its first block
    bool bEntry;             // the value is there (its first occurrence counts)
    size_t nLineStart;       // its line
    size_t nLineContentEnd;  // its line's end, before the line break
    size_t nValueStart;
    size_t nValueEnd;
};

void LocateValue(const std::string& text, const std::string& section, const std::string& name,
                 ValueLocation* pLocation) {
    memset(pLocation, 0, sizeof(*pLocation));
    bool bInSection = false;
    bool bInFirstBlock = false;
    TextLine line;
    for (size_t nPos = 0; NextLine(text, nPos, &line); nPos = line.nNext) {
        size_t nStart;
        size_t nEnd;
        if (IsSectionHeader(text, line, &nStart, &nEnd)) {
            bInSection = SameName(text, nStart, nEnd, section);
            bInFirstBlock = bInSection && !pLocation->bSection;
            if (bInFirstBlock) {
                pLocation->bSection = true;
                pLocation->nSectionEnd = line.nNext;
            }
            continue;
        }
        if (!bInSection) {
            continue;
        }
        if (bInFirstBlock && !IsBlankLine(text, line)) {
            pLocation->nSectionEnd = line.nNext;
        }
        size_t nValueStart;
        if (!pLocation->bEntry && !name.empty() &&
            IsEntry(text, line, &nStart, &nEnd, &nValueStart) &&
            SameName(text, nStart, nEnd, name)) {
            pLocation->bEntry = true;
            pLocation->nLineStart = line.nStart;
            pLocation->nLineContentEnd = line.nContentEnd;
            pLocation->nValueStart = nValueStart;
            pLocation->nValueEnd = line.nContentEnd;
        }
    }
}

// New lines follow the file's own line ends: CR LF when its first line ends so.
const char* LineBreakOf(const std::string& text) {
    size_t nBreak = text.find('\n');
    if (nBreak != std::string::npos && nBreak > 0 && text[nBreak - 1] == '\r') {
        return "\r\n";
    }
    return "\n";
}

// Inserts lines at nAt, giving the line before them its missing line end.
void InsertLines(std::string* pText, size_t nAt, const std::string& lines) {
    std::string insert;
    if (nAt > 0 && (*pText)[nAt - 1] != '\n') {
        insert = LineBreakOf(*pText);
    }
    insert += lines;
    pText->insert(nAt, insert);
}

// Appends "[section]" at the end, after a blank line when the file has text.
void AppendSection(std::string* pText, const std::string& section) {
    const char* szBreak = LineBreakOf(*pText);
    std::string lines;
    if (!pText->empty()) {
        size_t nEnd = pText->size();
        bool bEndsBlank = nEnd >= 2 && (*pText)[nEnd - 1] == '\n' &&
                          ((*pText)[nEnd - 2] == '\n' ||
                           (nEnd >= 3 && (*pText)[nEnd - 2] == '\r' && (*pText)[nEnd - 3] == '\n'));
        if (!bEndsBlank) {
            lines = szBreak;
        }
    }
    lines += "[" + section + "]" + szBreak;
    InsertLines(pText, pText->size(), lines);
}

// A key path or value name that a header or an entry line can hold and read back unchanged.
bool IsStorableName(const char* szName, bool bSection) {
    if (szName == nullptr || szName[0] == '\0') {
        return false;
    }
    size_t nLength = strlen(szName);
    if (IsBlankChar(szName[0]) || IsBlankChar(szName[nLength - 1])) {
        return false;
    }
    if (!bSection && (szName[0] == ';' || szName[0] == '#' || szName[0] == '[')) {
        return false;
    }
    for (size_t i = 0; i < nLength; ++i) {
        char c = szName[i];
        if (c == '\n' || c == '\r' || (bSection && c == ']') || (!bSection && c == '=')) {
            return false;
        }
    }
    return true;
}

// ---- writing ----------------------------------------------------------------------------

bool WriteAll(int fd, const std::string& text) {
    size_t nDone = 0;
    while (nDone < text.size()) {
        ssize_t nPut = write(fd, text.data() + nDone, text.size() - nDone);
        if (nPut < 0 && errno == EINTR) {
            continue;
        }
        if (nPut <= 0) {
            return false;
        }
        nDone += static_cast<size_t>(nPut);
    }
    return true;
}

// Writes the new text beside the file and renames it over, so a reader sees the old file or
// the new one, never a part; a crash leaves at worst a stray temporary, never a cut file.
bool ReplaceFile(const std::string& configuredPath, const std::string& text,
                 const DirectoryLock& lock) {
    std::string path = configuredPath;
    struct stat info;
    bool bExists = false;
    if (lstat(path.c_str(), &info) == 0) {
        bExists = true;
        if (S_ISLNK(info.st_mode)) {
            // A linked settings file stays linked: its target is replaced.
            char* szTarget = realpath(path.c_str(), nullptr);
            if (szTarget == nullptr) {
                return false;
            }
            path = szTarget;
            free(szTarget);
            if (stat(path.c_str(), &info) != 0) {
                return false;
            }
        }
    }
    std::string directory = DirectoryOf(path);
    std::string base = path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
    std::string temp = directory + "/." + base + ".XXXXXX";
    int fd = mkstemp(&temp[0]);
    if (fd < 0) {
        return false;
    }
    bool bOk = true;
    if (bExists) {
        bOk = fchmod(fd, info.st_mode & 07777) == 0;
    }
    bOk = bOk && WriteAll(fd, text) && fsync(fd) == 0;
    if (close(fd) != 0) {
        bOk = false;
    }
    if (bOk && rename(temp.c_str(), path.c_str()) != 0) {
        bOk = false;
    }
    if (!bOk) {
        (void)unlink(temp.c_str());
        return false;
    }
    lock.SyncDirectory();
    return true;
}

// ---- the backend ------------------------------------------------------------------------

class PosixSettingsImpl : public SettingsBackend {
  public:
    int32_t OpenKey(const char* szPath, SettingsKey* phKey, uint32_t* pdwDisposition) override {
        if (phKey == nullptr || !IsStorableName(szPath, true)) {
            return kErrorInvalidData;
        }
        std::string path;
        if (!FormSettingsPath(&path)) {
            return kErrorPathNotFound;
        }
        std::string directory = DirectoryOf(path);
        // The key is opened for writing as well as reading: a directory the user cannot write
        // to refuses it, as the registry refuses a key without write access.
        if (!MakeDirectories(directory) || access(directory.c_str(), W_OK | X_OK) != 0) {
            return kErrorAccessDenied;
        }
        DirectoryLock lock(directory);
        if (!lock.Held()) {
            return kErrorAccessDenied;
        }
        std::string text;
        ReadOutcome outcome = ReadSettingsText(path, &text);
        if (outcome == kReadDenied) {
            return kErrorAccessDenied;
        }
        std::string section = std::string(kRootKeyPrefix) + szPath;
        ValueLocation location;
        LocateValue(text, section, std::string(), &location);
        uint32_t dwDisposition = kRegOpenedExistingKey;
        if (!location.bSection) {
            if (outcome == kReadTooLarge) {
                return kErrorInvalidData;
            }
            AppendSection(&text, section);
            if (!ReplaceFile(path, text, lock)) {
                return kErrorAccessDenied;
            }
            dwDisposition = kRegCreatedNewKey;
        }
        PosixSettingsKey* pKey = new (std::nothrow) PosixSettingsKey();
        if (pKey == nullptr) {
            return kErrorAccessDenied;
        }
        pKey->path = path;
        pKey->section = section;
        *phKey = pKey;
        if (pdwDisposition != nullptr) {
            *pdwDisposition = dwDisposition;
        }
        return kErrorSuccess;
    }

    int32_t ReadValue(SettingsKey hKey, const char* szName, char* pData,
                      uint32_t* pcbData) override {
        PosixSettingsKey* pKey = static_cast<PosixSettingsKey*>(hKey);
        if (pKey == nullptr) {
            return kErrorInvalidHandle;
        }
        if (pcbData == nullptr) {
            return kErrorInvalidData;
        }
        if (!IsStorableName(szName, false)) {
            return kErrorFileNotFound;
        }
        std::string text;
        ReadOutcome outcome = ReadSettingsText(pKey->path, &text);
        if (outcome == kReadMissing) {
            return kErrorFileNotFound;
        }
        if (outcome == kReadDenied) {
            return kErrorAccessDenied;
        }
        ValueLocation location;
        LocateValue(text, pKey->section, szName, &location);
        if (!location.bEntry) {
            return kErrorFileNotFound;
        }
        uint32_t cbValue = static_cast<uint32_t>(location.nValueEnd - location.nValueStart);
        if (pData == nullptr) {
            *pcbData = cbValue;  // a size query, as the registry answers it
            return kErrorSuccess;
        }
        if (cbValue > *pcbData) {
            *pcbData = cbValue;  // the size needed, as the registry reports it; nothing stored
            return kErrorMoreData;
        }
        memcpy(pData, text.data() + location.nValueStart, cbValue);
        *pcbData = cbValue;
        return kErrorSuccess;
    }

    // A value with a line end cannot be held by an INI line and would split into a foreign
    // entry; one with a NUL would not read back the same. Both are refused, the file untouched.
    int32_t WriteValue(SettingsKey hKey, const char* szName, const char* pData,
                       uint32_t cbData) override {
        PosixSettingsKey* pKey = static_cast<PosixSettingsKey*>(hKey);
        if (pKey == nullptr) {
            return kErrorInvalidHandle;
        }
        if (!IsStorableName(szName, false) || (pData == nullptr && cbData != 0)) {
            return kErrorInvalidData;
        }
        const char* pBytes = static_cast<const char*>(pData);
        for (uint32_t i = 0; i < cbData; ++i) {
            if (pBytes[i] == '\n' || pBytes[i] == '\r' || pBytes[i] == '\0') {
                return kErrorInvalidData;
            }
        }
        std::string directory = DirectoryOf(pKey->path);
        if (!MakeDirectories(directory)) {
            return kErrorAccessDenied;
        }
        DirectoryLock lock(directory);
        if (!lock.Held()) {
            return kErrorAccessDenied;
        }
        std::string text;
        ReadOutcome outcome = ReadSettingsText(pKey->path, &text);
        if (outcome == kReadDenied) {
            return kErrorAccessDenied;
        }
        if (outcome == kReadTooLarge) {
            return kErrorInvalidData;
        }
        std::string entry = std::string(szName) + "=";
        entry.append(pBytes == nullptr ? "" : pBytes, cbData);
        ValueLocation location;
        LocateValue(text, pKey->section, szName, &location);
        if (location.bEntry) {
            text.replace(location.nLineStart, location.nLineContentEnd - location.nLineStart,
                         entry);
        } else {
            if (!location.bSection) {
                AppendSection(&text, pKey->section);
                LocateValue(text, pKey->section, szName, &location);
            }
            InsertLines(&text, location.nSectionEnd, entry + LineBreakOf(text));
        }
        if (!ReplaceFile(pKey->path, text, lock)) {
            return kErrorAccessDenied;
        }
        return kErrorSuccess;
    }

    void CloseKey(SettingsKey hKey) override { delete static_cast<PosixSettingsKey*>(hKey); }

    void ResultText(int32_t nCode, char* szText, uint32_t cchText) override {
        if (szText == nullptr || cchText == 0) {
            return;
        }
        const char* szMessage = nullptr;
        switch (nCode) {
            case kErrorSuccess:
                szMessage = "The operation completed successfully.";
                break;
            case kErrorFileNotFound:
                szMessage = "The system cannot find the file specified.";
                break;
            case kErrorPathNotFound:
                szMessage = "The system cannot find the path specified.";
                break;
            case kErrorAccessDenied:
                szMessage = "Access is denied.";
                break;
            case kErrorInvalidHandle:
                szMessage = "The handle is invalid.";
                break;
            case kErrorInvalidData:
                szMessage = "The data is invalid.";
                break;
            case kErrorMoreData:
                szMessage = "More data is available.";
                break;
            default:
                break;
        }
        if (szMessage != nullptr) {
            snprintf(szText, cchText, "%s", szMessage);
        } else {
            snprintf(szText, cchText, "Unknown error %d.", static_cast<int>(nCode));
        }
    }
};

}  // namespace

SettingsBackend* PosixSettings() {
    static PosixSettingsImpl settings;
    return &settings;
}

void SetSettingsFilePath(const char* szPath) {
    std::lock_guard<std::mutex> lock(g_PathMutex);
    g_OverridePath = szPath != nullptr ? szPath : "";
}

bool GetSettingsFilePath(char* szPath, size_t cchPath) {
    if (szPath == nullptr || cchPath == 0) {
        return false;
    }
    szPath[0] = '\0';
    std::string path;
    if (!FormSettingsPath(&path) || path.size() >= cchPath) {
        return false;
    }
    memcpy(szPath, path.c_str(), path.size() + 1);
    return true;
}

bool ReadPortsEntry(unsigned nPort, char* szPath, size_t cchPath) {
    if (szPath == nullptr || cchPath == 0) {
        return false;
    }
    szPath[0] = '\0';
    std::string path;
    if (!FormSettingsPath(&path)) {
        return false;
    }
    std::string text;
    ReadOutcome outcome = ReadSettingsText(path, &text);
    if (outcome != kReadOk && outcome != kReadTooLarge) {
        return false;
    }
    char szName[32];
    snprintf(szName, sizeof(szName), "COM%u", nPort);
    ValueLocation location;
    LocateValue(text, kPortsSection, szName, &location);
    if (!location.bEntry) {
        return false;
    }
    size_t nStart = location.nValueStart;
    size_t nEnd = location.nValueEnd;
    Trim(text, &nStart, &nEnd);
    if (nStart == nEnd || nEnd - nStart >= cchPath ||
        memchr(text.data() + nStart, '\0', nEnd - nStart) != nullptr) {
        return false;
    }
    memcpy(szPath, text.data() + nStart, nEnd - nStart);
    szPath[nEnd - nStart] = '\0';
    return true;
}
