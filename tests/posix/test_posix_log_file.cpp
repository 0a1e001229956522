// The log file on a device that takes no byte: a full disk must never be reported as done.
#include <string>

#include "serial/serial_port.h"
#include "support/core_fixture.h"
#include "workers/log_worker.h"

namespace {

class FullDiskTest : public CoreTest {};

TEST_F(FullDiskTest, EntryOnAFullDiskIsNotWrittenAndSaysWhy) {
    CreateEvents();
    OpenDialog();
    snprintf(g_App.szLogPath, sizeof g_App.szLogPath, "%s", "/dev/full");
    PlaceArm(1, ArmScenario());
    g_App.hPort = OpenArmPort(1);
    ASSERT_NE(g_App.hPort.load(), nullptr);
    StartLogWorker(&g_App.hPort);
    EXPECT_EQ(dialog.text[kIdStatusText], "Log Not Written: No space left on device");
    EXPECT_EQ(dialog.text[kIdLogPathText], "/dev/full");
    EXPECT_EQ(dialog.outcome, kOutcomeLogNotWritten);
    EXPECT_EQ(dialog.outcomeDetail, "cannot write /dev/full: No space left on device");
}

}  // namespace
