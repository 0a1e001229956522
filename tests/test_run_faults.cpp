// Whole runs of the error-log retrieval in virtual time, from the search to the shutdown, with
// the arm failing at each exchange: what the dialog shows, the outcome, the entry in the log and
// the line settings stored.
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "settings/settings_store.h"
#include "shell/controller.h"
#include "support/core_fixture.h"
#include "support/fake_host.h"

namespace {

const char kBareStamp[] = "STAMP: BY: Error Log, DATE: 12-07-126, TIME: 09:05:33\r\n";
const char kFirstLine[] =
    "STAMP: BY: Error Log, DATE: 12-07-126, TIME: 09:05:33, ARM: ARM01, CALIBRATED: YES, "
    "VERSION: 4.60\r\n";
const char kError1[] = "ERROR: 00000104 00000002 00000000 0000001A 00000000 00000000 00000000\r\n";
const char kError2[] = "ERROR: 00020008 00000001 00000010 00000000 00000000 00000000 00000000\r\n";
const char kStatsLine[] =
    "STATS: 00001F40 00000003 00000000 00000001 00000002 00000000 00000000 000000FA "
    "00000000\r\n";
const char kOldFirmware[] = "VERSION OF FIRMWARE DOES NOT SUPPORT EXTENDED ERROR REPORTING:\r\n";
const char kLine[] = "2 9600 n 8 1";

class RunFaultTest : public CoreTest {
  protected:
    RunFaultTest() : host(&dialog) {}

    void SetUp() override {
        CoreTest::SetUp();
        snprintf(g_App.szLogPath, sizeof g_App.szLogPath, "%s", TestFilePath(".zlg").c_str());
    }
    void TearDown() override {
        remove(g_App.szLogPath);
        CoreTest::TearDown();
    }

    // An arm on COM2 at the stored line, with two pending error records, as the scenario
    // changes it; the technician starts the program, and closes it once the dialog rests.
    void Run(const std::function<void(ArmScenario*)>& change) {
        remove(g_App.szLogPath);
        for (unsigned n = 1; n <= 4; ++n) {
            RemoveDevice(n);
        }
        settings.Put(kSettingsKeyPath, "CommParam", kLine);
        ArmScenario scenario;
        scenario.errorRecords = {"104 2 0 1A 0 0 0", "20008 1 10 0 0 0 0"};
        change(&scenario);
        PlaceArm(2, scenario);
        host.scene = [&] {
            ControllerActivateApp(true);
            for (int i = 0; i < 40 && host.bTimer; ++i) {
                clock.Advance(kSearchTimerMs);
                ControllerTimer();
            }
        };
        int nWritesBefore = settings.nWrites;
        ControllerCreate(&host);
        nStores = settings.nWrites - nWritesBefore;
    }

    FakeHost host;
    int nStores = 0;  // writes to the settings in the last run
};

// The arm serves the first n commands of the run ("_I" of the search, "_G", seven "_Y1",
// "_G STATS") and then drops the line. The entry holds the whole lines read before, the outcome
// names the first request left unanswered, the dialog ends in "Entry Incomplete", and the line
// settings of the connection are stored.
TEST_F(RunFaultTest, ArmHangingUpAfterEachCommandOfTheRun) {
    const std::string first = kFirstLine;
    struct Case {
        int nServed;
        std::string log;
        const char* szDetail;
    } cases[] = {
        {1, std::string(kBareStamp) + kOldFirmware, "the arm did not answer the identity request"},
        {2, first, "the arm did not answer the request for error record 1 of 7 (and 7 later)"},
        {3, first + kError1,
         "the arm did not answer the request for error record 2 of 7 (and 6 later)"},
        {4, first + kError1 + kError2,
         "the arm did not answer the request for error record 3 of 7 (and 5 later)"},
        {5, first + kError1 + kError2,
         "the arm did not answer the request for error record 4 of 7 (and 4 later)"},
        {6, first + kError1 + kError2,
         "the arm did not answer the request for error record 5 of 7 (and 3 later)"},
        {7, first + kError1 + kError2,
         "the arm did not answer the request for error record 6 of 7 (and 2 later)"},
        {8, first + kError1 + kError2,
         "the arm did not answer the request for error record 7 of 7 (and 1 later)"},
        {9, first + kError1 + kError2, "the arm did not answer the counters request"},
        {10, first + kError1 + kError2 + kStatsLine, ""},
    };
    for (const Case& c : cases) {
        Run([&](ArmScenario* s) { s->nHangupAfter = c.nServed; });
        EXPECT_EQ(FileBytes(g_App.szLogPath), c.log) << c.nServed;
        EXPECT_EQ(dialog.outcome, c.szDetail[0] != '\0' ? kOutcomeIncomplete : kOutcomeDone)
            << c.nServed;
        EXPECT_EQ(dialog.outcomeDetail, c.szDetail);
        EXPECT_EQ(dialog.text[kIdStatusText], c.szDetail[0] != '\0' ? "Entry Incomplete" : "Done")
            << c.nServed;
        EXPECT_EQ(settings.Value(kSettingsKeyPath, "CommParam"), kLine) << c.nServed;
        EXPECT_EQ(nStores, 1) << "stored at the shutdown, the port being open";
        EXPECT_EQ(host.notSaved.size(), 0u);
    }
}

// At each exchange the arm is silent, answers noise, or dribbles its reply so slowly that the
// read's deadline cuts it. A search that hears no usable echo gives up ("No Arm Found", no
// entry); an entry keeps the lines it could read, in their forms, and the outcome names the
// first request without a usable reply.
TEST_F(RunFaultTest, SilentGarbledAndDribbledRepliesAtEachExchange) {
    const std::string first = kFirstLine;
    const std::string both = kError1 + std::string(kError2);
    struct Case {
        const char* szRow;
        std::function<void(ArmScenario*)> change;
        RunOutcome outcome;
        std::string log;  // "<missing>": no entry, the file never made
        const char* szDetail;
    } cases[] = {
        {"echo silent", [](ArmScenario* s) { s->unanswered = {"_I"}; }, kOutcomeNoArm, "<missing>",
         ""},
        // An arm at a rate the search does not try answers every setting with noise.
        {"echo garbled",
         [](ArmScenario* s) {
             s->nBaud = 1200;
             s->bGarbageOnMismatch = true;
         },
         kOutcomeNoArm, "<missing>", ""},
        // 12 bytes 120 ms apart outlast the echo's 1072 ms at 9600 baud.
        {"echo dribbled",
         [](ArmScenario* s) {
             s->dribbled = {"_I"};
             s->nByteGapMs = 120;
         },
         kOutcomeNoArm, "<missing>", ""},
        {"identity silent", [](ArmScenario* s) { s->unanswered = {"_G"}; }, kOutcomeIncomplete,
         std::string(kBareStamp) + kOldFirmware, "the arm did not answer the identity request"},
        {"identity garbled", [](ArmScenario* s) { s->identityReply = "##garbage##\r\n"; },
         kOutcomeIncomplete,
         "STAMP: BY: Error Log, DATE: 12-07-126, TIME: 09:05:33, ARM: , CALIBRATED: , VERSION: "
         "0.00\r\n" +
             std::string(kOldFirmware),
         "the arm's reply to the identity request was not understood"},
        // 100 ms a byte: the 4 s of the read end inside the arm's token.
        {"identity dribbled",
         [](ArmScenario* s) {
             s->dribbled = {"_G"};
             s->nByteGapMs = 100;
         },
         kOutcomeIncomplete,
         "STAMP: BY: Error Log, DATE: 12-07-126, TIME: 09:05:33, ARM: ARM, CALIBRATED: , VERSION: "
         "4.60\r\n" +
             both + kStatsLine,
         "the arm's reply to the identity request was cut short"},
        {"record silent", [](ArmScenario* s) { s->unanswered = {"_Y1"}; }, kOutcomeIncomplete,
         first + kStatsLine,
         "the arm did not answer the request for error record 1 of 7 (and 6 later)"},
        {"record garbled",
         [](ArmScenario* s) {
             s->errorRecords = {"##garbage##", "20008 1 10 0 0 0 0"};
         },
         kOutcomeIncomplete, first + kError2 + kStatsLine,
         "the arm's reply to the request for error record 1 of 7 was not understood"},
        // 300 ms a byte: no record reply arrives whole within its 4 s.
        {"record dribbled",
         [](ArmScenario* s) {
             s->dribbled = {"_Y1"};
             s->nByteGapMs = 300;
         },
         kOutcomeIncomplete, first + kStatsLine,
         "the arm's reply to the request for error record 1 of 7 was cut short (and 6 later)"},
        {"counters silent", [](ArmScenario* s) { s->unanswered = {"_G STATS"}; },
         kOutcomeIncomplete, first + both, "the arm did not answer the counters request"},
        {"counters garbled", [](ArmScenario* s) { s->statsReplies = {"##garbage##\r\n"}; },
         kOutcomeIncomplete, first + both,
         "the arm's reply to the counters request was not understood"},
        // 25 bytes 100 ms apart outlast the counters' 2 s.
        {"counters dribbled",
         [](ArmScenario* s) {
             s->dribbled = {"_G STATS"};
             s->nByteGapMs = 100;
         },
         kOutcomeIncomplete, first + both, "the arm's reply to the counters request was cut short"},
        // Slow, but within the deadlines: nothing is missing.
        {"everything dribbled within the deadlines", [](ArmScenario* s) { s->nByteGapMs = 40; },
         kOutcomeDone, first + both + kStatsLine, ""},
    };
    for (const Case& c : cases) {
        dialog = RecordingDialog();
        Run(c.change);
        EXPECT_EQ(dialog.outcome, c.outcome) << c.szRow;
        EXPECT_EQ(dialog.outcomeDetail, c.szDetail) << c.szRow;
        EXPECT_EQ(FileBytes(g_App.szLogPath), c.log) << c.szRow;
        EXPECT_EQ(dialog.text[kIdStatusText], c.outcome == kOutcomeNoArm  ? "No Arm Found"
                                              : c.outcome == kOutcomeDone ? "Done"
                                                                          : "Entry Incomplete")
            << c.szRow;
        // Stored at the shutdown while the port is open; a search that found nothing leaves
        // the stored value as it was.
        EXPECT_EQ(settings.Value(kSettingsKeyPath, "CommParam"), kLine) << c.szRow;
        EXPECT_EQ(nStores, c.outcome == kOutcomeNoArm ? 0 : 1) << c.szRow;
    }
}

}  // namespace
