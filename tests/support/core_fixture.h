// A fixture that puts the whole core on the virtual platform: a virtual clock, inline threads,
// settings in memory, four simulated ports and a recording dialog.
#ifndef ARMLINK_TESTS_SUPPORT_CORE_FIXTURE_H
#define ARMLINK_TESTS_SUPPORT_CORE_FIXTURE_H

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/app_state.h"
#include "support/virtual_platform.h"
#include "tools/armsim/arm_model.h"
#include "tools/armsim/sim_device.h"

class CoreTest : public ::testing::Test {
  protected:
    CoreTest() : clock(100000), threads(&clock), bus(&clock) {}

    void SetUp() override {
        ResetAppState();
        g_Platform.pClock = &clock;
        g_Platform.pThreads = &threads;
        g_Platform.pBus = &bus;
        g_Platform.pSettings = &settings;
    }

    void TearDown() override {
        if (g_App.hPort != nullptr) {
            delete g_App.hPort;
            g_App.hPort = nullptr;
        }
        for (Event** ppEvent : {&g_App.SearchDoneEvent, &g_App.ConnectedEvent, &g_App.StopEvent,
                                &g_App.WorkerExitedEvent}) {
            delete *ppEvent;
            *ppEvent = nullptr;
        }
        g_App.hDialog.store(nullptr);
        g_Platform = Platform();
    }

    // Creates the four events as the controller does.
    void CreateEvents() {
        g_App.SearchDoneEvent = threads.CreateEvent();
        g_App.ConnectedEvent = threads.CreateEvent();
        g_App.StopEvent = threads.CreateEvent();
        g_App.WorkerExitedEvent = threads.CreateEvent();
    }

    // Puts an arm on COMn; the model lives as long as the test.
    ArmModel* PlaceArm(unsigned nPort, const ArmScenario& scenario) {
        arms.emplace_back(new ArmModel(scenario));
        bus.lines[nPort].pArm = arms.back().get();
        bus.lines[nPort].bPresent = true;
        return arms.back().get();
    }

    // No device at all on COMn.
    void RemoveDevice(unsigned nPort) { bus.lines[nPort].bPresent = false; }

    void OpenDialog() { g_App.hDialog.store(&dialog); }

    static ArmScenario ArmAt(uint32_t nBaud, int nDataBits, char cParity) {
        ArmScenario scenario;
        scenario.nBaud = nBaud;
        scenario.nDataBits = nDataBits;
        scenario.cParity = cParity;
        return scenario;
    }

    VirtualClock clock;
    InlineThreads threads;
    SimBus bus;
    MemorySettings settings;
    RecordingDialog dialog;
    std::vector<std::unique_ptr<ArmModel>> arms;
};

// A file path in the test directory named after the running test and a count, so that the
// files of tests running side by side in other processes never collide.
std::string TestFilePath(const char* szSuffix);

// The whole content of a file, byte for byte; "<missing>" when it cannot be read.
std::string FileBytes(const char* szPath);

// The line settings of every command a line has seen, as "9600 8n1 _I".
std::vector<std::string> TriesOf(const SimLine& line);

#endif
