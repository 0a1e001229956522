// The extended error display against a simulated arm, in virtual time: the blocks that Check
// appends, byte for byte and group by group, what the arm is sent, and what Save leaves in the
// file and in "LastFile".
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "protocol/error_decoder.h"
#include "serial/serial_port.h"
#include "settings/settings_store.h"
#include "shell/extended_display.h"
#include "support/core_fixture.h"

namespace {

const std::string kRule = std::string(53, '#') + "\r\n";
const std::string kStamp = kRule + "12/07/126 09:05:33\r\n";
const char kNoErrors[] = "No Errors Detected\r\n";
// The counters of the scenario's default arm: 8000 captures, 3 asynchronous, 1 stall, 2
// retries, a point period of 250.
const char kCounters[] =
    "------------------\r\nCURRENT STATS:\r\n"
    "CAPTURES       : 8000     \r\nASYNC. CAPTURES: 3     \r\nCRC ERRORS     : 0     \r\n"
    "STALL COUNT    : 1     \r\nRETRY COUNT    : 2     \r\nBOUNCES > 16ms : 0     \r\n"
    "UART ERRORS    : 0     \r\nADDRESS ERRORS : 0     \r\nPOINTS/SEC     : 400.00  \r\n";

// Two records as the arm sends them: an I2C time-out and a temperature drift.
const char kI2cRecord[] = "9001A 5 40DA991 4030102 5 0 0";
const char kTemperatureRecord[] = "17 7 4C04 2004 7004 0 0";

// The header and the decoded text of a record, as one group.
std::string RecordGroup(int nNumber, const ErrorRecord& record) {
    char szText[kReportBufferSize] = {};
    ErrorDecoder(record, szText);
    return "----------<" + std::to_string(nNumber) + ">----------\r\n" + szText;
}

const ErrorRecord kI2c = {0x9001A, 5, 0x40DA991, 0x4030102, 5, 0, 0};
const ErrorRecord kTemperature = {0x17, 7, 0x4C04, 0x2004, 0x7004, 0, 0};

std::string ReadText(const std::string& path) {
    FILE* pFile = fopen(path.c_str(), "r");
    if (pFile == nullptr) {
        return "<missing>";
    }
    std::string text;
    int c;
    while ((c = fgetc(pFile)) != EOF) {
        text += static_cast<char>(c);
    }
    fclose(pFile);
    return text;
}

class ExtendedDisplayTest : public CoreTest {
  protected:
    void SetUp() override {
        CoreTest::SetUp();
        dialog = RecordingDialog();
        settings = MemorySettings();
        clock.localTime = {126, 12, 7, 9, 5, 33};
        g_App.nRunMode = kRunModeExtended;
        OpenDialog();
        ExtendedInitDialog();
    }

    // An arm on COM1 at the initial line, connected as the search leaves it.
    ArmModel* Connect(const ArmScenario& scenario) {
        ArmModel* pArm = PlaceArm(1, scenario);
        g_App.hPort = OpenArmPort(1);
        EXPECT_NE(g_App.hPort, nullptr);
        return pArm;
    }

    static std::vector<std::string> Commands(const ArmModel* pArm) {
        std::vector<std::string> commands;
        for (const ArmCommandSeen& seen : pArm->seen) {
            commands.push_back(seen.text);
        }
        return commands;
    }

    std::string LastFile() const { return settings.Value(kSettingsKeyPath, "LastFile"); }
};

// The commands of one Check: seven record requests, the counters, the end of the read-out.
std::vector<std::string> CheckCommands(int nChecks) {
    std::vector<std::string> commands;
    for (int n = 0; n < nChecks; ++n) {
        commands.insert(commands.end(), 7, "_Y1");
        commands.push_back("_G STATS");
        commands.push_back("_P");
    }
    return commands;
}

struct CheckCase {
    const char* szName;
    std::function<void(ArmScenario*, VirtualClock*)> setUp;
    int nChecks;
    std::vector<std::string> groups;    // every append group, in order
    std::vector<std::string> commands;  // what the arm received, in order
    RunOutcome outcome;
};

TEST_F(ExtendedDisplayTest, CheckAppendsOneBlockPerPressInItsExactForms) {
    const std::string kStampAtNoon = kRule + "12/07/126 12:05:09\r\n";
    const CheckCase cases[] = {
        {"no pending errors",
         [](ArmScenario*, VirtualClock*) {},
         1,
         {kStamp, kNoErrors, kCounters},
         CheckCommands(1),
         kOutcomeDone},
        {"records 1 and 3 of 7 are numbered 1 and 2",
         [](ArmScenario* s, VirtualClock*) {
             s->errorRecords = {kI2cRecord, "0 0 0 0 0 0 0", kTemperatureRecord};
         },
         1,
         {kStamp, RecordGroup(1, kI2c), RecordGroup(2, kTemperature), kCounters},
         CheckCommands(1),
         kOutcomeDone},
        {"two presses give two blocks, the second with a new rule",
         [](ArmScenario* s, VirtualClock*) { s->errorRecords = {kI2cRecord}; },
         2,
         {kStamp, RecordGroup(1, kI2c), kCounters, kStamp, kNoErrors, kCounters},
         CheckCommands(2),
         kOutcomeDone},
        {"the stamp counts the years since 1900",
         [](ArmScenario*, VirtualClock* c) { c->localTime = {126, 12, 7, 12, 5, 9}; },
         1,
         {kStampAtNoon, kNoErrors, kCounters},
         CheckCommands(1),
         kOutcomeDone},
        {"counters print signed, a period of 0 as 0.00 in six places",
         [](ArmScenario* s, VirtualClock*) {
             const uint32_t counters[9] = {0xFFFFFFFF, 0x80000000, 0x7FFFFFFF, 0, 0, 0, 0, 0, 5};
             std::copy(counters, counters + 9, s->counters);
         },
         1,
         {kStamp, kNoErrors,
          "------------------\r\nCURRENT STATS:\r\n"
          "CAPTURES       : -1     \r\nASYNC. CAPTURES: -2147483648     \r\n"
          "CRC ERRORS     : 2147483647     \r\nSTALL COUNT    : 0     \r\n"
          "RETRY COUNT    : 0     \r\nBOUNCES > 16ms : 0     \r\nUART ERRORS    : 0     \r\n"
          "ADDRESS ERRORS : 5     \r\nPOINTS/SEC     :   0.00  \r\n"},
         CheckCommands(1),
         kOutcomeDone},
        {"unanswered counters leave item 5 out and the read-out is still closed",
         [](ArmScenario* s, VirtualClock*) { s->unanswered = {"_G STATS"}; },
         1,
         {kStamp, kNoErrors},
         CheckCommands(1),
         kOutcomeDone},
        {"garbage and short records yield nothing, the good one is number 1",
         [](ArmScenario* s, VirtualClock*) {
             s->errorRecords = {"zz top", "1A 0 0", "", kI2cRecord};
         },
         1,
         {kStamp, RecordGroup(1, kI2c), kCounters},
         CheckCommands(1),
         kOutcomeDone},
        {"silent record requests say No Errors Detected",
         [](ArmScenario* s, VirtualClock*) { s->unanswered = {"_Y1"}; },
         1,
         {kStamp, kNoErrors, kCounters},
         CheckCommands(1),
         kOutcomeDone},
        {"an arm that hung up after the first Check gives a bare block",
         [](ArmScenario* s, VirtualClock*) {
             s->errorRecords = {kI2cRecord};
             s->nHangupAfter = 9;
         },
         2,
         {kStamp, RecordGroup(1, kI2c), kCounters, kStamp, kNoErrors},
         CheckCommands(1),
         kOutcomeIncomplete},
        {"a request to close ends the Check after the exchange under way",
         [](ArmScenario*, VirtualClock* c) {
             c->At(c->nNow + 1, [] { g_App.bCloseRequested.store(1); });
         },
         1,
         {kStamp},
         {"_Y1"},
         kOutcomeInterrupted},
    };
    for (const CheckCase& c : cases) {
        SCOPED_TRACE(c.szName);
        TearDown();
        SetUp();
        EXPECT_FALSE(dialog.enabled[kIdButton]) << "disabled until the arm is found";
        EXPECT_FALSE(dialog.enabled[kIdSaveButton]);
        EXPECT_EQ(dialog.text[kIdStatusText], "Searching");
        ArmScenario scenario;
        c.setUp(&scenario, &clock);
        ArmModel* pArm = Connect(scenario);
        int nPurges = bus.lines[1].nPurges;
        clock.Restart();
        for (int n = 0; n < c.nChecks; ++n) {
            ExtendedCommand(kIdButton);
        }
        EXPECT_EQ(dialog.groups, c.groups);
        EXPECT_EQ(Commands(pArm), c.commands);
        EXPECT_EQ(bus.lines[1].nPurges, nPurges + c.nChecks - (c.outcome == kOutcomeInterrupted))
            << "one purge per Check, after the record requests";
        EXPECT_EQ(dialog.outcome, c.outcome);
        // Seven reads of 2000 ms, one of 1000 ms and one of 2000 ms, each at most twice that.
        EXPECT_LE(clock.Elapsed(), static_cast<uint32_t>(c.nChecks) * (2 * 17000 + 100));
    }
}

TEST_F(ExtendedDisplayTest, CheckWaitsOutTheArmsDeadlinesAndShowsWhichExchangeRuns) {
    ArmModel* pArm = Connect(ArmScenario());
    clock.Restart();
    EXPECT_EQ(RunCheck(), 9);
    // Every reply is shorter than its limit, so each read waits its whole deadline.
    EXPECT_GE(clock.Elapsed(), 17000u);
    EXPECT_LT(clock.Elapsed(), 17200u);
    const std::vector<std::string> progress = {
        "record 1 of 7", "record 2 of 7", "record 3 of 7", "record 4 of 7",        "record 5 of 7",
        "record 6 of 7", "record 7 of 7", "counters",      "closing the read-out", ""};
    EXPECT_EQ(dialog.progress, progress);
    // The purge comes after the seventh request, before the counters.
    ASSERT_EQ(bus.lines[1].commands.size(), 9u);
    EXPECT_EQ(pArm->seen.back().text, "_P");

    // Other commands of the dialog do nothing.
    ExtendedCommand(kIdReportText);
    ExtendedCommand(kIdCancel);
    EXPECT_EQ(pArm->seen.size(), 9u);
    EXPECT_TRUE(dialog.askedWith.empty());
}

TEST_F(ExtendedDisplayTest, ReplyThatDribblesInIsCutAtItsDeadlineAndTheCheckEnds) {
    ArmScenario scenario;
    scenario.errorRecords = {kI2cRecord, kI2cRecord};
    scenario.nByteGapMs = 300;  // a record of 30 bytes takes 9 s to arrive
    ArmModel* pArm = Connect(scenario);
    clock.Restart();
    RunCheck();
    ASSERT_FALSE(dialog.groups.empty());
    EXPECT_EQ(dialog.groups.front(), kStamp);
    EXPECT_EQ(pArm->seen.back().text, "_P") << "the read-out is closed in every outcome";
    // Both phases of every read, and a drain of at most 200 ms after each of the eight cut
    // replies ("_P" comes whole): the drain ends 100 ms after the last byte it took.
    EXPECT_LE(clock.Elapsed(), 2u * 17000u + 8u * 200u + 100u);
    for (const std::string& group : dialog.groups) {
        EXPECT_EQ(group.substr(group.size() - 2), "\r\n") << "every text ends its line";
    }
}

class ExtendedSaveTest : public ExtendedDisplayTest {
  public:
    void Append(std::vector<std::string> texts) {
        std::vector<const char*> pointers;
        for (const std::string& text : texts) {
            pointers.push_back(text.c_str());
        }
        dialog.AppendReport(pointers.data(), pointers.size());
    }
    // A Check with a display that holds at most nRoom characters.
    void CheckInto(size_t nRoom) {
        dialog.nReportRoom = nRoom;
        Connect(ArmScenario());
        RunCheck();
    }
};

struct SaveCase {
    const char* szName;
    const char* szOldContent;  // the file before the save; nullptr: no file
    std::function<void(ExtendedSaveTest*)> fill;
    std::string storedLastFile;  // "" none
    const char* szAnswer;        // "file", "missing-folder" or "" (cancel)
    std::string proposed;        // what the save prompt starts with
    std::string fileText;        // the file afterwards, "<missing>" when there is none
    bool bLastFileIsPath;        // "LastFile" now holds the chosen path, else it is unchanged
    std::vector<std::string> messages;
    RunOutcome outcome;
    bool bCutBack = false;  // the file was cut back to its length before the save
};

// A file that opens but takes no line: the save fails part-way, as on a full disk.
FILE* OpenUnwritable(const char* szPath, char*, size_t) {
    return fopen(szPath, "rb");
}
int64_t g_nCutTo = -1;
bool RecordCut(const char*, int64_t nSize) {
    g_nCutTo = nSize;
    return true;
}

TEST_F(ExtendedSaveTest, SaveAppendsTheReportsLinesAndRemembersThePath) {
    const std::string kTooLong(800, 'p');
    const std::string kLongLine(200, 'x');
    const SaveCase cases[] = {
        {"appends after the old content, every line with its own line end",
         "earlier\n",
         [](ExtendedSaveTest* t) {
             t->Append({kStamp, "a\nb\r\n", "c\r\n"});
         },
         "previous.txt",
         "file",
         "previous.txt",
         "earlier\n" + std::string(53, '#') + "\n12/07/126 09:05:33\na\nb\nc\n",
         true,
         {},
         kOutcomeDone},
        {"an empty report creates the file and writes nothing",
         nullptr,
         [](ExtendedSaveTest*) {},
         "",
         "file",
         "",
         "",
         true,
         {},
         kOutcomeDone},
        {"a line of more than 127 characters is cut to 127",
         nullptr,
         [&](ExtendedSaveTest* t) { t->Append({kLongLine + "\r\n"}); },
         "",
         "file",
         "",
         std::string(127, 'x') + "\n",
         true,
         {},
         kOutcomeDone},
        {"a file in a missing folder is refused and nothing changes",
         nullptr,
         [](ExtendedSaveTest* t) { t->Append({kStamp}); },
         "previous.txt",
         "missing-folder",
         "previous.txt",
         "<missing>",
         false,
         {"INVALID FILE: <path>"},
         kOutcomeReportNotSaved},
        {"a stored path too long for the buffer is not proposed; cancel does nothing",
         nullptr,
         [](ExtendedSaveTest* t) { t->Append({kStamp}); },
         kTooLong,
         "",
         "",
         "<missing>",
         false,
         {},
         kOutcomeNone},
        {"a report the display had to cut is saved with a line that says so",
         nullptr,
         [](ExtendedSaveTest* t) { t->CheckInto(kStamp.size() + 5); },
         "",
         "file",
         "",
         std::string(53, '#') + "\n12/07/126 09:05:33\n" + kReportCutText + "\n",
         true,
         {},
         kOutcomeReportNotSaved},
        {"a save that fails part-way is cut back, and LastFile stays",
         "earlier\n",
         [](ExtendedSaveTest* t) { t->Append({kStamp}); },
         "previous.txt",
         "unwritable",
         "previous.txt",
         "earlier\n",
         false,
         {"INVALID FILE: <path>"},
         kOutcomeReportNotSaved,
         true},
    };
    for (const SaveCase& c : cases) {
        SCOPED_TRACE(c.szName);
        TearDown();
        SetUp();
        std::string path = TestFilePath(".txt");
        remove(path.c_str());
        if (c.szOldContent != nullptr) {
            FILE* pOld = fopen(path.c_str(), "wb");
            ASSERT_NE(pOld, nullptr);
            fputs(c.szOldContent, pOld);
            fclose(pOld);
        }
        if (!c.storedLastFile.empty()) {
            settings.Put(kSettingsKeyPath, "LastFile", c.storedLastFile);
        }
        std::string answer = c.szAnswer;
        if (answer == "file") {
            answer = path;
        } else if (answer == "missing-folder") {
            answer = TestFilePath("-no-such-folder") + "/report.txt";
            path = answer;
        }
        g_Platform.pfnOpenReport = answer == "unwritable" ? OpenUnwritable : nullptr;
        g_Platform.pfnCutFile = RecordCut;
        g_nCutTo = -1;
        answer = answer == "unwritable" ? path : answer;
        dialog.saveAnswer = answer;
        c.fill(this);
        std::vector<std::string> groupsBefore = dialog.groups;

        ExtendedCommand(kIdSaveButton);

        EXPECT_EQ(dialog.askedWith, std::vector<std::string>{c.proposed});
        EXPECT_EQ(ReadText(path), c.fileText);
        EXPECT_EQ(LastFile(), c.bLastFileIsPath ? path : c.storedLastFile);
        std::vector<std::string> messages;
        for (const std::string& message : c.messages) {
            messages.push_back(message == "INVALID FILE: <path>" ? "INVALID FILE: " + path
                                                                 : message);
        }
        EXPECT_EQ(dialog.messages, messages);
        EXPECT_EQ(dialog.outcome, c.outcome);
        EXPECT_EQ(g_nCutTo, c.bCutBack ? static_cast<int64_t>(strlen(c.szOldContent)) : -1);
        EXPECT_EQ(dialog.writes.back().op == "saved", c.outcome == kOutcomeDone);
        EXPECT_EQ(dialog.groups, groupsBefore) << "Save leaves the report as it is";
        remove(path.c_str());
    }
}

TEST_F(ExtendedSaveTest, DisplayThatCutsTheReportSaysSoInTheStatusLine) {
    CheckInto(10);
    EXPECT_EQ(dialog.text[kIdStatusText], kReportCutText);
    EXPECT_EQ(dialog.TextsOf(kIdStatusText).size(), 2u) << "said once, after \"Searching\"";
}

}  // namespace
