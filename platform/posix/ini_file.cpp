// The settings file as INI text: lines in any line end, sections and entries found as a hand
// editor wrote them, and every change written beside the file and renamed over it.
#include "platform/posix/ini_file.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace {

constexpr size_t kNone = std::string::npos;
// A settings file holds a few short lines: one larger than this is read only this far and is
// never rewritten, so that its tail is not lost.
constexpr size_t kMaxIniFileSize = 1024 * 1024;
// The reason, in place of an errno, for a FIFO, a device or a socket where the file should be.
constexpr int kNotPlainFile = -1;

// One line of the file: its text and the line end after it ("\n", "\r\n", "\r" or none).
struct IniLine {
    std::string text;
    std::string end;
};

// Says which step failed on which path and the system's reason, for example "cannot write
// /home/tech/.config/armlink/settings.ini: Permission denied". Always false.
bool Fault(char* szWhyNot, size_t cchWhyNot, const char* szStep, const std::string& path,
           int nErrno) {
    snprintf(szWhyNot, cchWhyNot, "%s %s: %s", szStep, path.c_str(),
             nErrno == kNotPlainFile ? "not a plain file" : strerror(nErrno));
    return false;
}

std::string DirectoryOf(const std::string& path) {
    size_t nSlash = path.rfind('/');
    return nSlash == kNone ? "." : nSlash == 0 ? "/" : path.substr(0, nSlash);
}

// Creates the directory and its missing parents, private to the user. 0, or the errno.
int MakeDirectories(const std::string& directory) {
    struct stat info;
    for (size_t nSlash = directory.find('/', 1); stat(directory.c_str(), &info) != 0;
         nSlash = directory.find('/', nSlash + 1)) {
        if (mkdir(directory.substr(0, nSlash).c_str(), 0700) != 0 && errno != EEXIST) {
            return errno;
        }
        if (nSlash == kNone) {
            return stat(directory.c_str(), &info) != 0 ? errno : 0;
        }
    }
    return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
}

// Reads at most kMaxIniFileSize + 1 bytes: more means a file too large to rewrite. 0, or the
// errno (ENOENT: no file). Only a plain file is read: a FIFO would hold the open until a
// writer came and a terminal would hold the read, with the settings directory locked all the
// while and the program deaf to SIGTERM; both are refused at once without blocking.
int ReadText(const std::string& path, std::string* pText) {
    pText->clear();
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        return errno;
    }
    struct stat info;
    int nError = 0;
    if (fstat(fd, &info) != 0) {
        nError = errno;
    } else if (!S_ISREG(info.st_mode)) {
        nError = S_ISDIR(info.st_mode) ? EISDIR : kNotPlainFile;
    }
    char buffer[4096];
    while (nError == 0 && pText->size() <= kMaxIniFileSize) {
        ssize_t nGot =
            read(fd, buffer, std::min(sizeof buffer, kMaxIniFileSize + 1 - pText->size()));
        if (nGot > 0) {
            pText->append(buffer, static_cast<size_t>(nGot));
        } else if (nGot == 0 || errno != EINTR) {
            nError = nGot < 0 ? errno : 0;
            break;
        }
    }
    (void)close(fd);
    return nError;
}

// Splits the text at every line end, LF, CR LF or a lone CR; joined again it is the same text.
std::vector<IniLine> SplitLines(const std::string& text) {
    std::vector<IniLine> lines;
    for (size_t nPos = 0, nNext = 0; nPos < text.size(); nPos = nNext) {
        size_t nEnd = std::min(text.find_first_of("\r\n", nPos), text.size());
        nNext = nEnd == text.size() ? nEnd : nEnd + (text.compare(nEnd, 2, "\r\n") == 0 ? 2 : 1);
        lines.push_back(IniLine{text.substr(nPos, nEnd - nPos), text.substr(nEnd, nNext - nEnd)});
    }
    return lines;
}

// The text without the spaces and tabs at either end.
std::string Trimmed(const std::string& text) {
    size_t nStart = text.find_first_not_of(" \t");
    return nStart == kNone ? std::string()
                           : text.substr(nStart, text.find_last_not_of(" \t") - nStart + 1);
}

// Names compare without regard to ASCII case, as registry key and value names do.
bool SameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// Where things stand in the lines: the entry (its line and where its value starts), and where a
// new entry of the section goes, after the last non-blank line of the section's first block.
// Reads and writes both take the first entry of the name in any block of the section, so the
// value written is the value read.
struct IniPlace {
    size_t nEntry = kNone;   // kNone: no such entry
    size_t nValue = 0;       // the byte after the entry's '='
    size_t nInsert = kNone;  // kNone: no such section
};

IniPlace Locate(const std::vector<IniLine>& lines, const std::string& section,
                const std::string& name) {
    IniPlace place;
    int nBlock = 0;  // 0: outside the section, 1: in its first block, 2: in a later one
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& text = lines[i].text;
        std::string trimmed = Trimmed(text);
        size_t nEqual = text.find('=');
        if (trimmed.size() >= 2 && trimmed[0] == '[' && trimmed.back() == ']') {  // "[name]"
            nBlock = 0;
            if (SameName(Trimmed(trimmed.substr(1, trimmed.size() - 2)), section)) {
                nBlock = place.nInsert == kNone ? 1 : 2;
                place.nInsert = nBlock == 1 ? i + 1 : place.nInsert;
            }
            continue;
        }
        if (nBlock == 1 && !trimmed.empty()) {
            place.nInsert = i + 1;
        }
        // "name = value"; lines starting with ';' or '#' are comments.
        if (nBlock != 0 && place.nEntry == kNone && nEqual != kNone &&
            strchr(";#[", trimmed[0]) == nullptr &&
            SameName(Trimmed(text.substr(0, nEqual)), name)) {
            place.nEntry = i;
            place.nValue = nEqual + 1;
        }
    }
    return place;
}

// Puts a line before line nAt in the file's own line end (that of its first line that has
// one, else LF), giving the line before it the line end it may lack.
void InsertLine(std::vector<IniLine>* pLines, size_t nAt, const std::string& text) {
    auto it = std::find_if(pLines->begin(), pLines->end(),
                           [](const IniLine& line) { return !line.end.empty(); });
    std::string end = it != pLines->end() ? it->end : "\n";
    if (nAt > 0 && (*pLines)[nAt - 1].end.empty()) {
        (*pLines)[nAt - 1].end = end;
    }
    pLines->insert(pLines->begin() + static_cast<std::ptrdiff_t>(nAt), IniLine{text, end});
}

bool WriteAll(int fd, const std::string& text) {
    for (size_t nDone = 0; nDone < text.size();) {
        ssize_t nPut = write(fd, text.data() + nDone, text.size() - nDone);
        if (nPut > 0) {
            nDone += static_cast<size_t>(nPut);
        } else if (nPut == 0 || errno != EINTR) {
            errno = nPut == 0 ? EIO : errno;
            return false;
        }
    }
    return true;
}

// Writes the text beside the file and renames it over the file, so that a reader sees the old
// file or the new one, never a part; a crash leaves at worst a stray temporary file.
bool ReplaceFile(const std::string& path, const std::string& text, int fdDirectory, char* szWhyNot,
                 size_t cchWhyNot) {
    std::string temp = DirectoryOf(path) + "/." + path.substr(path.rfind('/') + 1) + ".XXXXXX";
    struct stat info;
    bool bExists = stat(path.c_str(), &info) == 0;
    int fd = mkstemp(&temp[0]);
    if (fd < 0) {
        return Fault(szWhyNot, cchWhyNot, "cannot write", path, errno);
    }
    int nError = 0;
    if ((bExists && fchmod(fd, info.st_mode & 07777) != 0) || !WriteAll(fd, text) ||
        fsync(fd) != 0) {
        nError = errno;
    }
    if (close(fd) != 0 && nError == 0) {
        nError = errno;
    }
    const char* szStep = "cannot write";
    if (nError == 0 && rename(temp.c_str(), path.c_str()) != 0) {
        nError = errno;
        szStep = "cannot replace";
    }
    if (nError != 0) {
        (void)unlink(temp.c_str());
        return Fault(szWhyNot, cchWhyNot, szStep, path, nError);
    }
    (void)fsync(fdDirectory);  // makes the rename itself durable
    return true;
}

}  // namespace

bool IsIniName(const char* szName, bool bSection) {
    size_t nLength = szName != nullptr ? strlen(szName) : 0;
    return nLength != 0 && Trimmed(szName).size() == nLength &&
           (bSection || strchr(";#[", szName[0]) == nullptr) &&
           strpbrk(szName, bSection ? "\r\n]" : "\r\n=") == nullptr;
}

bool ReadIniValue(const std::string& path, const std::string& section, const std::string& name,
                  bool bWritable, std::string* pValue, char* szWhyNot, size_t cchWhyNot) {
    std::string text;
    int nError = ReadText(path, &text);
    if (nError != 0 && nError != ENOENT) {
        return Fault(szWhyNot, cchWhyNot, "cannot read", path, nError);
    }
    std::vector<IniLine> lines = SplitLines(text);
    IniPlace place = Locate(lines, section, name);
    if (!IsIniName(name.c_str(), false) || place.nEntry == kNone) {
        snprintf(szWhyNot, cchWhyNot, "no %s in %s", name.c_str(), path.c_str());
        return false;
    }
    if (bWritable && access(DirectoryOf(path).c_str(), W_OK | X_OK) != 0) {
        return Fault(szWhyNot, cchWhyNot, "cannot write", path, errno);
    }
    *pValue = lines[place.nEntry].text.substr(place.nValue);
    return true;
}

// The directory's lock is held from the read to the rename, so that two ArmLinks writing at
// once do not lose each other's values. A linked settings file stays linked: its target is
// the file read, locked and replaced.
bool WriteIniValue(const std::string& configured, const std::string& section, const char* szName,
                   const std::string& value, char* szWhyNot, size_t cchWhyNot) {
    if (!IsIniName(szName, false) || value.find_first_of(std::string("\r\n\0", 3)) != kNone) {
        snprintf(szWhyNot, cchWhyNot, "no line of %s can hold that name and value",
                 configured.c_str());
        return false;
    }
    std::string path = configured;
    struct stat info;
    if (lstat(configured.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        char* szTarget = realpath(configured.c_str(), nullptr);
        if (szTarget == nullptr) {
            return Fault(szWhyNot, cchWhyNot, "cannot read", configured, errno);
        }
        path = szTarget;
        free(szTarget);
    }
    std::string directory = DirectoryOf(path);
    int nError = MakeDirectories(directory);
    if (nError != 0) {
        return Fault(szWhyNot, cchWhyNot, "cannot create", directory, nError);
    }
    int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return Fault(szWhyNot, cchWhyNot, "cannot lock", directory, errno);
    }
    while (flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
    std::string text;
    nError = ReadText(path, &text);
    const std::string found = text;
    std::vector<IniLine> lines = SplitLines(text);
    IniPlace place = Locate(lines, section, szName);
    bool bDone = false;
    if (nError != 0 && nError != ENOENT) {
        Fault(szWhyNot, cchWhyNot, "cannot read", path, nError);
    } else if (text.size() > kMaxIniFileSize) {
        Fault(szWhyNot, cchWhyNot, "cannot write", path, EFBIG);
    } else {
        if (place.nInsert == kNone) {  // a new section, after a blank line when there is text
            if (!lines.empty() && !Trimmed(lines.back().text).empty()) {
                InsertLine(&lines, lines.size(), "");
            }
            InsertLine(&lines, lines.size(), "[" + section + "]");
            place.nInsert = lines.size();
        }
        if (place.nEntry != kNone) {
            lines[place.nEntry].text = std::string(szName) + "=" + value;  // its line end stays
        } else {
            InsertLine(&lines, place.nInsert, std::string(szName) + "=" + value);
        }
        text.clear();
        for (const IniLine& line : lines) {
            text += line.text + line.end;
        }
        // A file that holds the value already is left as it is: nothing to save, no fsync.
        bDone = (nError == 0 && text == found) || ReplaceFile(path, text, fd, szWhyNot, cchWhyNot);
    }
    (void)close(fd);  // releases the lock
    return bDone;
}
