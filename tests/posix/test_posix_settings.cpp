// The INI settings file: the exact text it writes, the foreign lines it keeps, the atomic
// replace, its reasons for short buffers, missing values and damaged or unusable files.
#include <dirent.h>
#include <errno.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/settings_backend.h"
#include "platform/posix/posix_platform.h"

namespace {

const char kKey[] = "SOFTWARE\\ZOLM Technologies\\ZOLM Error Log";
const std::string kHeader = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZOLM Technologies\\ZOLM Error Log]";

std::string ReadText(const std::string& path) {
    std::string text;
    FILE* pFile = fopen(path.c_str(), "rb");
    if (pFile == nullptr) {
        return "<missing>";
    }
    char buffer[4096];
    size_t nGot;
    while ((nGot = fread(buffer, 1, sizeof(buffer), pFile)) > 0) {
        text.append(buffer, nGot);
    }
    fclose(pFile);
    return text;
}

void WriteText(const std::string& path, const std::string& text) {
    FILE* pFile = fopen(path.c_str(), "wb");
    ASSERT_NE(pFile, nullptr) << path;
    ASSERT_EQ(fwrite(text.data(), 1, text.size(), pFile), text.size());
    fclose(pFile);
}

std::vector<std::string> ListDirectory(const std::string& directory) {
    std::vector<std::string> names;
    DIR* pDir = opendir(directory.c_str());
    if (pDir == nullptr) {
        return names;
    }
    while (struct dirent* pEntry = readdir(pDir)) {
        std::string name = pEntry->d_name;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    }
    closedir(pDir);
    std::sort(names.begin(), names.end());
    return names;
}

void RemoveTree(const std::string& path) {
    struct stat info;
    if (lstat(path.c_str(), &info) != 0) {
        return;
    }
    if (S_ISDIR(info.st_mode)) {
        chmod(path.c_str(), 0700);
        for (const std::string& name : ListDirectory(path)) {
            RemoveTree(path + "/" + name);
        }
        rmdir(path.c_str());
    } else {
        unlink(path.c_str());
    }
}

class PosixSettingsFile : public ::testing::Test {
  protected:
    void SetUp() override {
        char szDir[] = "/tmp/armlink-settings-XXXXXX";
        ASSERT_NE(mkdtemp(szDir), nullptr);
        tempDir = szDir;
        directory = tempDir + "/config/armlink";
        path = directory + "/settings.ini";
        SetSettingsFilePath(path.c_str());
        pBackend = PosixSettings();
    }

    void TearDown() override {
        delete pKey;
        SetSettingsFilePath(nullptr);
        RemoveTree(tempDir);
    }

    // Opens the key anew, as the next store does.
    void OpenKey() {
        delete pKey;
        char szWhyNot[128] = "";
        pKey = pBackend->OpenKey(kKey, szWhyNot, sizeof szWhyNot);
        ASSERT_NE(pKey, nullptr) << szWhyNot;
    }

    void Preload(const std::string& text) {
        ASSERT_EQ(system(("mkdir -p '" + directory + "'").c_str()), 0);
        WriteText(path, text);
    }

    // "" when the value was written, else the reason.
    std::string Set(const char* szName, const std::string& value) {
        char szWhyNot[256] = "untouched";
        if (pKey->WriteValue(szName, value.data(), static_cast<uint32_t>(value.size()), szWhyNot,
                             sizeof szWhyNot)) {
            EXPECT_STREQ(szWhyNot, "untouched");
            return "";
        }
        return szWhyNot;
    }

    // The value's bytes, or "<the reason>" when the read fails; nothing of a value not read is
    // left in the buffer.
    std::string Query(const char* szName, uint32_t cbBuffer = 768, uint32_t cchWhyNot = 256) {
        std::vector<char> buffer(cbBuffer + 1, 'X');
        uint32_t nLength = 0;
        char szWhyNot[256];
        memset(szWhyNot, 'Y', sizeof szWhyNot);
        if (!pKey->ReadValue(szName, buffer.data(), cbBuffer, &nLength, szWhyNot, cchWhyNot)) {
            EXPECT_EQ(std::string(buffer.data(), buffer.size()), std::string(buffer.size(), 'X'));
            return "<" + (cchWhyNot != 0 ? std::string(szWhyNot) : std::string(szWhyNot, 1)) + ">";
        }
        EXPECT_LE(nLength, cbBuffer);
        EXPECT_EQ(buffer[nLength], 'X') << "a terminator or more was written";
        return std::string(buffer.data(), nLength);
    }

    std::string Missing(const char* szName) const {
        return "<no " + std::string(szName) + " in " + path + ">";
    }

    SettingsBackend* pBackend = nullptr;
    SettingsKey* pKey = nullptr;
    std::string tempDir;
    std::string directory;
    std::string path;
};

// Opening the key touches nothing: the first write makes the directory, the file and the
// section.
TEST_F(PosixSettingsFile, FirstWriteMakesTheDirectoryAndTheSection) {
    OpenKey();
    EXPECT_EQ(Query("CommParam"), Missing("CommParam"));
    EXPECT_EQ(ListDirectory(tempDir), std::vector<std::string>{}) << "nothing made on opening";
    EXPECT_EQ(Set("CommParam", "1 9600 n 8 1"), "");
    EXPECT_EQ(ReadText(path), kHeader + "\nCommParam=1 9600 n 8 1\n");
    struct stat info;
    ASSERT_EQ(stat(directory.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    OpenKey();
    EXPECT_EQ(ReadText(path), kHeader + "\nCommParam=1 9600 n 8 1\n");
}

TEST_F(PosixSettingsFile, ValuesRoundTripWithTheExactFileText) {
    OpenKey();
    EXPECT_EQ(Set("CommParam", "2 19200 e 7 1"), "");
    EXPECT_EQ(Set("LastFile", "/home/tech/report.txt"), "");
    EXPECT_EQ(ReadText(path),
              kHeader + "\nCommParam=2 19200 e 7 1\nLastFile=/home/tech/report.txt\n");
    EXPECT_EQ(Query("CommParam"), "2 19200 e 7 1");
    EXPECT_EQ(Query("LastFile"), "/home/tech/report.txt");
    // Names are matched as the registry matches them, without regard to case.
    EXPECT_EQ(Query("commparam"), "2 19200 e 7 1");

    // A new value replaces its line in place; an empty one is stored as empty.
    EXPECT_EQ(Set("CommParam", "1 9600 n 8 1"), "");
    EXPECT_EQ(Set("LastFile", ""), "");
    EXPECT_EQ(ReadText(path), kHeader + "\nCommParam=1 9600 n 8 1\nLastFile=\n");
    EXPECT_EQ(Query("CommParam"), "1 9600 n 8 1");
    EXPECT_EQ(Query("LastFile"), "");
    // Bytes after '=' are the value, spaces included.
    EXPECT_EQ(Set("LastFile", " /odd path "), "");
    EXPECT_EQ(Query("LastFile"), " /odd path ");
}

TEST_F(PosixSettingsFile, WritesKeepEveryForeignLine) {
    const std::string kTop =
        "; ArmLink settings, edited by hand\n"
        "[Ports]\n"
        "COM2=/dev/ttyUSB0\n"
        "\n" +
        kHeader +
        "\n"
        "# the line found last time\n"
        "Other = kept value\n";
    const std::string kTail =
        "\n"
        "[Other Program]\n"
        "CommParam=not ours\n"
        "LastFile=not ours either\n";
    const std::string before = kTop + "CommParam=1 9600 n 8 1\n" + kTail;
    Preload(before);
    OpenKey();
    EXPECT_EQ(ReadText(path), before);
    EXPECT_EQ(Query("Other"), " kept value");
    EXPECT_EQ(Query("LastFile"), Missing("LastFile"));  // the other section's entry is not ours

    EXPECT_EQ(Set("CommParam", "2 19200 e 7 1"), "");
    EXPECT_EQ(Set("LastFile", "/home/tech/report.txt"), "");
    EXPECT_EQ(ReadText(path),
              kTop + "CommParam=2 19200 e 7 1\nLastFile=/home/tech/report.txt\n" + kTail);
}

TEST_F(PosixSettingsFile, CrLfFilesGetCrLfLines) {
    struct Case {
        const char* szName;
        std::string before;
        std::string after;  // once CommParam is set
    } cases[] = {
        {"our section, no final line end",
         kHeader + "\r\nLastFile=/r.txt\r\n[Ports]\r\nCOM1=/dev/ttyUSB1",
         kHeader +
             "\r\nLastFile=/r.txt\r\nCommParam=2 19200 e 7 1\r\n[Ports]\r\nCOM1=/dev/ttyUSB1"},
        {"no section yet", "[Ports]\r\nCOM1=/dev/x",
         "[Ports]\r\nCOM1=/dev/x\r\n\r\n" + kHeader + "\r\nCommParam=2 19200 e 7 1\r\n"},
    };
    for (const Case& c : cases) {
        Preload(c.before);
        OpenKey();
        EXPECT_EQ(Set("CommParam", "2 19200 e 7 1"), "") << c.szName;
        EXPECT_EQ(ReadText(path), c.after) << c.szName;
        EXPECT_EQ(Query("CommParam"), "2 19200 e 7 1") << c.szName;
    }
}

// The lines of a text, each with its line end (LF, CR LF, a lone CR, or none at the end).
std::vector<std::string> LinesWithEnds(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t nPos = 0; nPos < text.size();) {
        size_t nEnd = std::min(text.find_first_of("\r\n", nPos), text.size());
        if (nEnd < text.size()) {
            nEnd += text.compare(nEnd, 2, "\r\n") == 0 ? 2 : 1;
        }
        lines.push_back(text.substr(nPos, nEnd - nPos));
        nPos = nEnd;
    }
    return lines;
}

// Whatever line ends the file has and whatever junk it holds: a value written reads back
// unchanged (also in the next run), new lines take the file's own line end, the section is
// never doubled, and every line the write does not own is kept byte for byte, in order.
TEST_F(PosixSettingsFile, AnyLineEndKeepsForeignLinesAndReadsBackWhatWasWritten) {
    const std::string kJunk("\x00\xff\n\x01=\x02\r\x00]\r\n[\r=\n", 15);
    struct Case {
        const char* szName;
        std::string before;
        std::string end;  // the line end of the lines the writes add
    } cases[] = {
        {"LF", "[Ports]\nCOM1=/dev/x\n\n" + kHeader + "\nCommParam=1 9600 n 8 1\nOther=1\n", "\n"},
        {"CR LF", "[Ports]\r\nCOM1=/dev/x\r\n\r\n" + kHeader + "\r\nCommParam=1 9600 n 8 1\r\n",
         "\r\n"},
        {"lone CR", "[Ports]\rCOM1=/dev/x\r\r" + kHeader + "\rCommParam=1 9600 n 8 1\rOther=1\r",
         "\r"},
        {"CR LF, the last line ending in a lone CR", "[Ports]\r\nCOM1=/dev/x\r", "\r\n"},
        {"CR LF, the header last in a lone CR", "[Ports]\r\n" + kHeader + "\r", "\r\n"},
        {"lone CR, no final line end", "; by hand\r[Ports]\rCOM2=/dev/ttyUSB0", "\r"},
        {"no final line end in the section", kHeader + "\nOther=1", "\n"},
        {"binary junk lines", kJunk + kHeader + "\n" + kJunk, "\n"},
        {"the section twice", kHeader + "\nOther=1\n\n[Ports]\n\n" + kHeader + "\nCommParam=3\n",
         "\n"},
    };
    const std::string kValues[][2] = {{"CommParam", "2 19200 e 7 1"},
                                      {"LastFile", "/home/tech/report.txt"},
                                      {"CommParam", "4 115200 n 8 1"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.szName);
        Preload(c.before);
        OpenKey();
        for (const auto& value : kValues) {
            ASSERT_EQ(Set(value[0].c_str(), value[1]), "") << value[0];
            EXPECT_EQ(Query(value[0].c_str()), value[1]);
        }
        OpenKey();  // the next run
        EXPECT_EQ(Query("CommParam"), "4 115200 n 8 1");
        EXPECT_EQ(Query("LastFile"), "/home/tech/report.txt");

        const std::string after = ReadText(path);
        EXPECT_NE(after.find("LastFile=/home/tech/report.txt" + c.end), std::string::npos);
        auto countHeaders = [](const std::string& text) {
            size_t nHeaders = 0;
            for (size_t nAt = text.find(kHeader); nAt != std::string::npos;
                 nAt = text.find(kHeader, nAt + 1)) {
                ++nHeaders;
            }
            return nHeaders;
        };
        EXPECT_EQ(countHeaders(after), std::max<size_t>(1, countHeaders(c.before)));
        // Each line of the file before, other than the CommParam it held, is in the file after,
        // in order; a last line without a line end may have been given one.
        std::vector<std::string> linesAfter = LinesWithEnds(after);
        size_t nNext = 0;
        for (const std::string& line : LinesWithEnds(c.before)) {
            if (line.compare(0, 10, "CommParam=") == 0) {
                continue;
            }
            while (nNext < linesAfter.size() &&
                   linesAfter[nNext].compare(0, line.size(), line) != 0) {
                ++nNext;
            }
            ASSERT_LT(nNext, linesAfter.size()) << "lost: " << line;
            EXPECT_TRUE(linesAfter[nNext] == line ||
                        line.find_first_of("\r\n") == std::string::npos)
                << "changed: " << line;
            ++nNext;
        }
    }
}

TEST_F(PosixSettingsFile, WritesReplaceTheFileAtomically) {
    OpenKey();
    ASSERT_EQ(Set("CommParam", "1 9600 n 8 1"), "");
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    // A second name for the old file: a write in place would change it too.
    ASSERT_EQ(link(path.c_str(), (directory + "/old.ini").c_str()), 0);
    struct stat oldInfo;
    ASSERT_EQ(stat(path.c_str(), &oldInfo), 0);

    ASSERT_EQ(Set("CommParam", "2 19200 e 7 1"), "");
    EXPECT_EQ(ReadText(directory + "/old.ini"), kHeader + "\nCommParam=1 9600 n 8 1\n");
    EXPECT_EQ(ReadText(path), kHeader + "\nCommParam=2 19200 e 7 1\n");
    struct stat newInfo;
    ASSERT_EQ(stat(path.c_str(), &newInfo), 0);
    EXPECT_NE(newInfo.st_ino, oldInfo.st_ino);
    EXPECT_EQ(newInfo.st_mode & 07777, 0640u);
    // The same value again: the file holds it already and is not replaced.
    ASSERT_EQ(Set("CommParam", "2 19200 e 7 1"), "");
    ASSERT_EQ(stat(path.c_str(), &oldInfo), 0);
    EXPECT_EQ(oldInfo.st_ino, newInfo.st_ino);
    // No temporary file is left behind.
    EXPECT_EQ(ListDirectory(directory), (std::vector<std::string>{"old.ini", "settings.ini"}));
}

TEST_F(PosixSettingsFile, ShortBufferAndMissingValue) {
    OpenKey();
    ASSERT_EQ(Set("CommParam", "2 19200 e 7 1"), "");  // 13 bytes
    EXPECT_EQ(Query("CommParam", 12), "<CommParam in " + path + " is longer than 12 bytes>");
    EXPECT_EQ(Query("CommParam", 13), "2 19200 e 7 1");

    EXPECT_EQ(Query("LastFile"), Missing("LastFile"));
    EXPECT_EQ(Query(""), Missing(""));
    // The section gone (edited away), then the whole file gone.
    WriteText(path, "[Ports]\nCOM1=/dev/ttyS0\n");
    EXPECT_EQ(Query("CommParam"), Missing("CommParam"));
    unlink(path.c_str());
    EXPECT_EQ(Query("CommParam"), Missing("CommParam"));
    // A write brings both back.
    EXPECT_EQ(Set("LastFile", "/a"), "");
    EXPECT_EQ(ReadText(path), kHeader + "\nLastFile=/a\n");
}

TEST_F(PosixSettingsFile, DamagedFilesAreReadWithBoundsAndKept) {
    std::string binary("\x00\xff\xfe[\x01=\x02\n\x00\x00]\n=\n==\n", 17);
    struct Case {
        const char* szName;
        std::string text;
    } cases[] = {
        {"binary junk", binary},
        {"one 100000-byte line", std::string(100000, 'q')},
        {"long line with '='", "CommParam=" + std::string(70000, '7')},
        {"entries before any section", "CommParam=9 9 9 9 9\nLastFile=/bad\n"},
        {"unterminated header", "[HKEY_LOCAL_MACHINE\\SOFTWARE\nCommParam=3\n"},
        {"empty file", ""},
    };
    for (const Case& c : cases) {
        Preload(c.text);
        OpenKey();
        EXPECT_EQ(Query("CommParam"), Missing("CommParam")) << c.szName;
        ASSERT_EQ(Set("CommParam", "2 19200 e 7 1"), "") << c.szName;
        EXPECT_EQ(Query("CommParam"), "2 19200 e 7 1") << c.szName;
        std::string text = ReadText(path);
        ASSERT_GE(text.size(), c.text.size()) << c.szName;
        EXPECT_EQ(text.substr(0, c.text.size()), c.text) << c.szName;
        const std::string tail = "\nCommParam=2 19200 e 7 1\n";
        EXPECT_EQ(text.substr(text.size() - tail.size()), tail) << c.szName;
    }
}

TEST_F(PosixSettingsFile, LongValuesAndValuesNoLineCanHold) {
    OpenKey();
    std::string longValue;
    for (int i = 0; i < 300; ++i) {
        longValue += static_cast<char>('a' + i % 26);
    }
    ASSERT_EQ(Set("LastFile", longValue), "");
    EXPECT_EQ(Query("LastFile", 768), longValue);
    EXPECT_EQ(Query("LastFile", 128), "<LastFile in " + path + " is longer than 128 bytes>");

    const std::string kept = ReadText(path);
    const std::string kNoLine = "no line of " + path + " can hold that name and value";
    const std::string refused[] = {std::string("a\nb"), std::string("a\rb"), std::string("a\0b", 3),
                                   std::string("\n")};
    for (const std::string& value : refused) {
        EXPECT_EQ(Set("CommParam", value), kNoLine);
    }
    const char* badNames[] = {"",           "Comm=Param", "Comm\nParam",
                              "[CommParam", ";CommParam", " CommParam"};
    for (const char* szName : badNames) {
        EXPECT_EQ(Set(szName, "1"), kNoLine) << szName;
    }
    EXPECT_EQ(ReadText(path), kept);
}

// A settings file that cannot be used refuses the read and the save with a reason that says
// what failed and where; no stray file is left behind.
TEST_F(PosixSettingsFile, UnusableLocationsSayWhatFailedAndWhere) {
    ASSERT_EQ(system(("mkdir -p '" + tempDir + "/isdir/settings.ini'").c_str()), 0);
    ASSERT_EQ(system(("mkdir -p '" + tempDir + "/fifo' '" + tempDir + "/device'").c_str()), 0);
    ASSERT_EQ(mkfifo((tempDir + "/fifo/settings.ini").c_str(), 0600), 0);
    ASSERT_EQ(symlink("/dev/null", (tempDir + "/device/settings.ini").c_str()), 0);
    WriteText(tempDir + "/afile", "not a directory\n");
    struct Case {
        const char* szName;
        std::string path;
        std::string read;   // the reason of a read
        std::string write;  // the reason of a write
    } cases[] = {
        {"a file where the directory goes", tempDir + "/afile/armlink/settings.ini",
         "<cannot read " + tempDir + "/afile/armlink/settings.ini: Not a directory>",
         "cannot create " + tempDir + "/afile/armlink: Not a directory"},
        {"a directory that cannot be made", "/proc/armlink-test/settings.ini",
         "<no CommParam in /proc/armlink-test/settings.ini>",
         "cannot create /proc/armlink-test: No such file or directory"},
        {"the settings path a directory", tempDir + "/isdir/settings.ini",
         "<cannot read " + tempDir + "/isdir/settings.ini: Is a directory>",
         "cannot read " + tempDir + "/isdir/settings.ini: Is a directory"},
        // Neither is read: a FIFO without a writer would block the open for good, a terminal
        // the read.
        {"the settings path a FIFO", tempDir + "/fifo/settings.ini",
         "<cannot read " + tempDir + "/fifo/settings.ini: not a plain file>",
         "cannot read " + tempDir + "/fifo/settings.ini: not a plain file"},
        {"the settings path a link to a device", tempDir + "/device/settings.ini",
         "<cannot read " + tempDir + "/device/settings.ini: not a plain file>",
         "cannot read /dev/null: not a plain file"},
    };
    for (const Case& c : cases) {
        SetSettingsFilePath(c.path.c_str());
        OpenKey();
        EXPECT_EQ(Query("CommParam"), c.read) << c.szName;
        EXPECT_EQ(Set("CommParam", "2 19200 e 7 1"), c.write) << c.szName;
    }
    EXPECT_EQ(ReadText(tempDir + "/afile"), "not a directory\n");
    if (geteuid() != 0) {  // root writes into any directory
        std::string locked = tempDir + "/locked";
        ASSERT_EQ(mkdir(locked.c_str(), 0500), 0);
        SetSettingsFilePath((locked + "/settings.ini").c_str());
        OpenKey();
        EXPECT_EQ(Set("CommParam", "1 9600 n 8 1"),
                  "cannot write " + locked + "/settings.ini: Permission denied");
        EXPECT_EQ(ListDirectory(locked), std::vector<std::string>{});
    }

    // Reads and saves through an open key when the place changes under it: a file that cannot
    // be written is not read either, as a key without write access; the file is left as it was.
    SetSettingsFilePath(path.c_str());
    OpenKey();
    ASSERT_EQ(Set("CommParam", "1 9600 n 8 1"), "");
    const std::string saved = ReadText(path);
    if (geteuid() != 0) {
        ASSERT_EQ(chmod(directory.c_str(), 0500), 0);
        const std::string kDenied = "cannot write " + path + ": Permission denied";
        EXPECT_EQ(Query("CommParam"), "<" + kDenied + ">");
        EXPECT_EQ(Set("CommParam", "2 19200 e 7 1"), kDenied);
        ASSERT_EQ(chmod(directory.c_str(), 0700), 0);
        EXPECT_EQ(ReadText(path), saved);
        EXPECT_EQ(ListDirectory(directory), std::vector<std::string>{"settings.ini"});
    }
    ASSERT_EQ(unlink(path.c_str()), 0);
    ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
    EXPECT_EQ(Set("CommParam", "2 19200 e 7 1"), "cannot read " + path + ": Is a directory");
    EXPECT_EQ(ListDirectory(directory), std::vector<std::string>{"settings.ini"});

    // A file too large to be read whole is never rewritten, so its tail is not lost.
    ASSERT_EQ(rmdir(path.c_str()), 0);
    const std::string huge = kHeader + "\n" + std::string(2 * 1024 * 1024, ';') + "\nOther=1\n";
    WriteText(path, huge);
    EXPECT_EQ(Set("CommParam", "2 19200 e 7 1"), "cannot write " + path + ": File too large");
    EXPECT_EQ(ReadText(path), huge);

    // A key whose directory is taken away fails its writes and leaves no stray file.
    RemoveTree(directory);
    WriteText(directory, "in the way\n");
    EXPECT_EQ(Set("CommParam", "1 9600 n 8 1"), "cannot create " + directory + ": Not a directory");
    EXPECT_EQ(ReadText(directory), "in the way\n");
}

TEST_F(PosixSettingsFile, DefaultPathFollowsXdgThenHome) {
    const char* szSavedHome = getenv("HOME");
    const char* szSavedXdg = getenv("XDG_CONFIG_HOME");
    std::string savedHome = szSavedHome != nullptr ? szSavedHome : "";
    std::string savedXdg = szSavedXdg != nullptr ? szSavedXdg : "";
    SetSettingsFilePath(nullptr);
    struct Case {
        const char* szXdg;   // nullptr: unset
        const char* szHome;  // nullptr: unset
        const char* szPath;  // nullptr: no path
    } cases[] = {
        {"/cfg", "/home/tech", "/cfg/armlink/settings.ini"},
        {"", "/home/tech", "/home/tech/.config/armlink/settings.ini"},
        {"relative/cfg", "/home/tech", "/home/tech/.config/armlink/settings.ini"},
        {nullptr, "/home/tech", "/home/tech/.config/armlink/settings.ini"},
        {nullptr, nullptr, nullptr},
        {nullptr, "", nullptr},
    };
    for (const Case& c : cases) {
        if (c.szXdg != nullptr) {
            setenv("XDG_CONFIG_HOME", c.szXdg, 1);
        } else {
            unsetenv("XDG_CONFIG_HOME");
        }
        if (c.szHome != nullptr) {
            setenv("HOME", c.szHome, 1);
        } else {
            unsetenv("HOME");
        }
        char szPath[256] = "junk";
        EXPECT_EQ(GetSettingsFilePath(szPath, sizeof(szPath)), c.szPath != nullptr);
        EXPECT_STREQ(szPath, c.szPath != nullptr ? c.szPath : "");
        if (c.szPath == nullptr) {
            char szWhyNot[128] = "";
            EXPECT_EQ(pBackend->OpenKey(kKey, szWhyNot, sizeof szWhyNot), nullptr);
            EXPECT_STREQ(szWhyNot, "no settings file: neither XDG_CONFIG_HOME nor HOME is set");
        }
    }
    char szSmall[8] = "junk";
    setenv("XDG_CONFIG_HOME", "/cfg", 1);
    EXPECT_FALSE(GetSettingsFilePath(szSmall, sizeof(szSmall)));
    EXPECT_STREQ(szSmall, "");
    if (szSavedHome != nullptr) {
        setenv("HOME", savedHome.c_str(), 1);
    } else {
        unsetenv("HOME");
    }
    if (szSavedXdg != nullptr) {
        setenv("XDG_CONFIG_HOME", savedXdg.c_str(), 1);
    } else {
        unsetenv("XDG_CONFIG_HOME");
    }
    SetSettingsFilePath(path.c_str());
    char szPath[256];
    ASSERT_TRUE(GetSettingsFilePath(szPath, sizeof(szPath)));
    EXPECT_EQ(std::string(szPath), path);
}

TEST_F(PosixSettingsFile, PortsSectionMapsComPorts) {
    Preload("[Ports]\nCOM2 = /dev/ttyUSB0  \ncom3=/dev/ttyACM0\nCOM4=\n\n[Other]\nCOM1=/x\n");
    struct Case {
        unsigned nPort;
        const char* szPath;  // nullptr: no entry
    } cases[] = {
        {1, nullptr},  // only in another section
        {2, "/dev/ttyUSB0"},
        {3, "/dev/ttyACM0"},
        {4, nullptr},  // empty
    };
    for (const Case& c : cases) {
        char szPath[64] = "junk";
        EXPECT_EQ(ReadPortsEntry(c.nPort, szPath, sizeof(szPath)), c.szPath != nullptr) << c.nPort;
        EXPECT_STREQ(szPath, c.szPath != nullptr ? c.szPath : "") << c.nPort;
    }
    char szSmall[12];
    EXPECT_FALSE(ReadPortsEntry(2, szSmall, sizeof(szSmall)));  // 12 characters and the NUL
}

TEST_F(PosixSettingsFile, ReasonIsBoundedAndTerminated) {
    OpenKey();
    struct Case {
        uint32_t cchWhyNot;
        std::string text;
    } cases[] = {
        {256, Missing("CommParam")}, {8, "<no Comm>"}, {1, "<>"}, {0, "<Y>"},  // untouched
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Query("CommParam", 768, c.cchWhyNot), c.text) << c.cchWhyNot;
    }
}

}  // namespace
