// The terminal faces of the three dialogs: what a sequence of dialog writes makes each print in
// the plain line mode, or draw on an ncurses screen, and the keys each takes.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "common/app_state.h"
#include "platform/posix/curses_screen.h"
#include "platform/posix/frontend.h"

namespace {

// One dialog write: t text, s show, e enable, d disable, p progress, o outcome (nId), a append,
// S saved, f port nId failed (szText: why), P end of a poll (szText: the rate, min and max).
struct Call {
    char cOp;
    int nId;
    const char* szText;
};

struct Case {
    const char* szName;
    std::vector<Call> calls;
    const char* szKeys;  // typed after the writes (ncurses faces)
    // Plain faces: the lines printed. Curses faces: "row|text" for a text drawn on that row.
    std::vector<std::string> shown;
    std::vector<int> commands;  // the technician's commands, in the order the face gives them
    CloseRequest close;
};

void Play(FrontEnd* pFace, const std::vector<Call>& calls) {
    for (const Call& c : calls) {
        PollSample sample = {0, 0, 0};
        switch (c.cOp) {
            case 't':
                pFace->SetItemText(c.nId, c.szText);
                break;
            case 's':
                pFace->ShowItem(c.nId);
                break;
            case 'e':
            case 'd':
                pFace->EnableItem(c.nId, c.cOp == 'e');
                break;
            case 'p':
                pFace->ShowProgress(c.szText);
                break;
            case 'o':
                pFace->ReportOutcome(static_cast<RunOutcome>(c.nId), c.szText);
                break;
            case 'a':
                pFace->AppendReport(&c.szText, 1);
                break;
            case 'S':
                pFace->ReportSaved(c.szText);
                break;
            case 'f':
                pFace->ReportPortFailure(static_cast<unsigned>(c.nId), "/dev/ttyUSB0", c.szText);
                break;
            default:
                sscanf(c.szText, "%lf %lf %lf", &sample.fPointRate, &sample.fMinRate,
                       &sample.fMaxRate);
                pFace->PollDone(sample);
                break;
        }
    }
}

void CheckCommands(FrontEnd* pFace, const Case& c) {
    std::vector<int> commands;
    for (int nId = pFace->TakeCommand(); nId != 0; nId = pFace->TakeCommand()) {
        commands.push_back(nId);
    }
    EXPECT_EQ(commands, c.commands) << c.szName;
    EXPECT_EQ(pFace->TakeCloseRequest(), c.close) << c.szName;
}

void RunPlain(FrontEnd* (*pfnCreate)(FILE*), const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        FILE* pOut = tmpfile();
        FrontEnd* pFace = pfnCreate(pOut);
        char szReason[64];
        ASSERT_TRUE(pFace->Open(szReason, sizeof szReason));
        Play(pFace, c.calls);
        CheckCommands(pFace, c);
        pFace->Close();
        rewind(pOut);
        std::vector<std::string> lines;
        char szLine[512];
        while (fgets(szLine, sizeof szLine, pOut) != nullptr) {
            lines.push_back(std::string(szLine, strcspn(szLine, "\n")));
        }
        EXPECT_EQ(lines, c.shown) << c.szName;
        fclose(pOut);
        delete pFace;
    }
}

// The faces draw on an 80 x 24 xterm whose output goes nowhere; the screen is read back.
void RunCurses(FrontEnd* (*pfnCreate)(), const std::vector<Case>& cases) {
    setenv("TERM", "xterm", 1);
    setenv("COLUMNS", "80", 1);
    setenv("LINES", "24", 1);
    for (const Case& c : cases) {
        int fdKeys[2];
        ASSERT_EQ(pipe(fdKeys), 0);
        FILE* pOut = fopen("/dev/null", "w");
        FILE* pIn = fdopen(fdKeys[0], "r");
        UseCursesTerminal(pOut, pIn);
        FrontEnd* pFace = pfnCreate();
        char szReason[64];
        ASSERT_TRUE(pFace->Open(szReason, sizeof szReason)) << szReason;
        Play(pFace, c.calls);
        ASSERT_EQ(write(fdKeys[1], c.szKeys, strlen(c.szKeys)),
                  static_cast<ssize_t>(strlen(c.szKeys)));
        pFace->ReadInput();
        for (const std::string& shown : c.shown) {
            char szRow[256] = "";
            mvinnstr(atoi(shown.c_str()), 0, szRow, COLS);
            std::string text = shown.substr(shown.find('|') + 1);
            EXPECT_NE(std::string(szRow).find(text), std::string::npos)
                << c.szName << ": " << szRow;
        }
        CheckCommands(pFace, c);
        pFace->Close();
        UseCursesTerminal(nullptr, nullptr);
        delete pFace;
        fclose(pIn);
        fclose(pOut);
        close(fdKeys[1]);
    }
}

// The status line and one sample, as the statistics worker writes them.
const std::vector<Call> kFirstSample = {{'t', kIdStatusText, "Current Statistics"},
                                        {'t', IDC_CAPTURES, "263"},
                                        {'t', IDC_CHANGE_CAPTURES, "(+7)"},
                                        {'t', IDC_POINTS_PER_SECOND, "384.62"},
                                        {'P', 0, "384.615385 384.615385 400"}};

std::vector<Call> Then(std::vector<Call> calls, const std::vector<Call>& more) {
    calls.insert(calls.end(), more.begin(), more.end());
    return calls;
}

FrontEnd* CreateStatsPlainOf3(FILE* pOut) {
    return CreateStatsPlainFrontEnd(pOut, 3);
}

FrontEnd* CreateExtendedPlainOf2(FILE* pOut) {
    return CreateExtendedPlainFrontEnd(pOut, 2, "/tmp/report.txt");
}

FrontEnd* CreateStatsCursesOf2() {
    return CreateStatsCursesFace(2);
}

TEST(Faces, LogDialogInPlainLines) {
    RunPlain(CreatePlainFrontEnd,
             {{"entry written",
               {{'t', kIdStatusText, "Searching"},
                {'t', kIdStatusText, "Searching"},
                {'t', kIdStatusText, "Arm: A1, v2.10, Calibrated: 01/02/03\r\n"},
                {'p', 0, "record 1 of 7"},
                {'t', kIdButton, "Close"},
                {'t', kIdLogPathText, "/tmp/ErrorLog.zlg"},
                {'s', kIdLogPathText, ""},
                {'o', kOutcomeDone, ""}},
               "",
               {"status: Searching", "status: Arm: A1, v2.10, Calibrated: 01/02/03",
                "log: /tmp/ErrorLog.zlg"},
               {},
               kCloseAfterWorker},
              {"entry kept, and one not written: the label names the field",
               {{'t', kIdStatusText, "Log Not Written"},
                {'t', kIdLogPathLabel, "Kept In:"},
                {'t', kIdLogPathText, "/s/ErrorLog-unsaved-20261207-090533.zlg"},
                {'t', kIdLogPathLabel, "Not Written:"},
                {'t', kIdLogPathText, "/tmp/ErrorLog.zlg: Is a directory"}},
               "",
               {"status: Log Not Written", "kept: /s/ErrorLog-unsaved-20261207-090533.zlg",
                "not written: /tmp/ErrorLog.zlg: Is a directory"},
               {},
               kCloseNone},
              {"still searching",
               {{'t', kIdStatusText, "COM2: 9600 n 8 1"}},
               "",
               {"status: COM2: 9600 n 8 1"},
               {},
               kCloseNone}});
}

TEST(Faces, StatisticsInPlainLines) {
    RunPlain(CreateStatsPlainOf3,
             {{"a sample, a poll without one, a logging pass",
               Then(kFirstSample, {{'P', 0, "0 0 0"},
                                   {'t', IDC_LAST_ERROR, "1"},
                                   {'t', IDC_LAST_EXTENDED, "0"},
                                   {'t', IDC_ERRORS_LOGGED, "1"},
                                   {'P', 0, "0 0 0"}}),
               "",
               {"status: Current Statistics",
                "sample: captures=263 (+7) async=0 0 crc=0 0 stall=0 0 retry=0 0 bounces=0 0 "
                "sda_scl=0 0 address=0 0 rate=384.62 min=384.62 max=400.00",
                "errors: error=1 ext=0 logged=1"},
               {},
               kCloseNow},
              {"contact lost once, then back",
               {{'t', kIdStatusText, "No Reply Since 14:02:10"},
                {'o', kOutcomeContactLost, "14:02:10"},
                {'o', kOutcomeContactLost, "14:02:10"},
                {'t', kIdStatusText, "Arm: A1, v4.60, Calibrated: YES"},
                {'o', kOutcomeDone, "14:02:13"}},
               "",
               {"status: No Reply Since 14:02:10", "lost: no reply since 14:02:10",
                "status: Arm: A1, v4.60, Calibrated: YES", "back: 14:02:13"},
               {},
               kCloseNone},
              {"firmware too old",
               {{'o', kOutcomeDone, ""}, {'o', kOutcomeVersionNotSupported, ""}},
               "",
               {},
               {},
               kCloseAfterWorker},
              {"no identity: the firmware gate still closes, the outcome stays incomplete",
               {{'o', kOutcomeIncomplete, "no identity"}, {'o', kOutcomeVersionNotSupported, ""}},
               "",
               {},
               {},
               kCloseAfterWorker}});
}

TEST(Faces, ExtendedDisplayInPlainLines) {
    RunPlain(CreateExtendedPlainOf2,
             {{"found: two Checks, then Save",
               {{'d', kIdButton, ""},
                {'e', kIdButton, ""},
                {'e', kIdSaveButton, ""},
                {'a', 0, "12/09/26 10:00:00\r\nERROR 3\n"},
                {'a', 0, "ARM\x1b[2J\x9b\tX\n"},
                {'S', 0, "/tmp/report.txt"}},
               "",
               {"12/09/26 10:00:00\r", "ERROR 3", "ARM\\x1B[2J\\x9B\tX", "saved: /tmp/report.txt"},
               {kIdButton, kIdButton, kIdSaveButton},
               kCloseNow},
              {"no arm", {{'o', kOutcomeNoArm, ""}}, "", {}, {}, kCloseAfterWorker}});
}

TEST(Faces, LogDialogOnTheScreen) {
    RunCurses(CreateLogCursesFace, {{"an entry the arm did not complete",
                                     {{'t', kIdStatusText, "Done"},
                                      {'t', kIdButton, "Close"},
                                      {'t', kIdLogPathText, "/tmp/ErrorLog.zlg"},
                                      {'s', kIdLogPathText, ""},
                                      {'s', kIdLogPathLabel, ""},
                                      {'o', kOutcomeIncomplete, "no reply to _G STATS"}},
                                     "q",
                                     {"0| ZOLM Log ", "2|Done", "3|no reply to _G STATS",
                                      "4|Log Saved In:", "6|/tmp/ErrorLog.zlg", "9|[ Close ]"},
                                     {},
                                     kCloseNow},
                                    {"searching",
                                     {{'p', 0, "identity"}},
                                     "r",
                                     {"2|", "3|identity", "9|[ Cancel ]"},
                                     {},
                                     kCloseNone}});
}

TEST(Faces, StatisticsOnTheScreen) {
    RunCurses(CreateStatsCursesOf2,
              {{"one sample, then the poll limit",
                Then(kFirstSample, {{'p', 0, "record 1 of 7"}, {'P', 0, "0 0 0"}}),
                "",
                {"1|Current Statistics", "2|record 1 of 7", "3|CAPTURES:", "3|263", "3|(+7)",
                 "11|384.62", "14|POINTS/SECOND over the last 2 polls", "15|384.62"},
                {},
                kCloseNow},
               {"closed with Enter", {}, "\n", {"23|[ Cancel ]"}, {}, kCloseNow},
               {"no arm: each port's reason; escapes shown",
                {{'f', 2, "busy"}, {'t', kIdStatusText, "No \x1b[2J"}, {'o', kOutcomeNoArm, ""}},
                "",
                {"1|No \\x1B[2J", "15|ttyUSB0): busy"},
                {},
                kCloseNone}});
}

TEST(Faces, ExtendedDisplayOnTheScreen) {
    RunCurses(CreateExtendedCursesFace,
              {{"found, then Check and Save pressed",
                {{'t', kIdStatusText, "Connected"},
                 {'e', kIdButton, ""},
                 {'e', kIdSaveButton, ""},
                 {'a', 0, "12/09/26 10:00:00\r\nERROR 3\r\n"},
                 {'p', 0, "record 2 of 7"}},
                "cs",
                {"0|Extended Error Display", "1|Connected", "3|12/09/26 10:00:00", "4|ERROR 3",
                 "21|Checking: record 2 of 7"},
                {kIdButton, kIdSaveButton},
                kCloseNone},
               {"Check not yet enabled", {}, "cq", {"1|Error Display"}, {}, kCloseNow}});
}

}  // namespace
