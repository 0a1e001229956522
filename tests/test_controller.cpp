// The controller in virtual time: search series, "Connected" and "No Arm Found", the mode
// worker, activations, and the shutdown with and without an open port.
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "settings/settings_store.h"
#include "shell/controller.h"
#include "support/core_fixture.h"
#include "support/fake_host.h"

namespace {

// Threads that are held: created, but run only when the test lets them, as a worker that is
// still busy when the shutdown comes.
class HeldThreads : public ThreadApi {
  public:
    explicit HeldThreads(VirtualClock* pClock) : pClock(pClock) {}
    Event* CreateEvent() override { return new VirtualEvent(pClock); }
    int CreateThread(ThreadProc pfnProc, void* pArg, bool,
                     std::atomic<ThreadHandle>* pSlot) override {
        pSlot->store(new int(++nCreated));
        this->pfnProc = pfnProc;
        this->pArg = pArg;
        return 1;
    }
    void CloseThread(ThreadHandle hThread) override { delete static_cast<int*>(hThread); }
    void AbandonThread(ThreadHandle hThread) override {
        ++nAbandoned;
        delete static_cast<int*>(hThread);
    }
    void RunHeld() {
        ThreadProc pfn = pfnProc;
        pfnProc = nullptr;
        if (pfn != nullptr) {
            pfn(pArg);
        }
    }

    VirtualClock* pClock;
    ThreadProc pfnProc = nullptr;
    void* pArg = nullptr;
    int nCreated = 0;
    int nAbandoned = 0;
};

class ControllerTest : public CoreTest {
  protected:
    ControllerTest() : host(&dialog) {}

    void SetUp() override {
        CoreTest::SetUp();
        snprintf(g_App.szLogPath, sizeof g_App.szLogPath, "%s", TestFilePath(".zlg").c_str());
        remove(g_App.szLogPath);
    }
    void TearDown() override {
        remove(g_App.szLogPath);
        CoreTest::TearDown();
    }

    // Ticks every 500 ms of virtual time while the timer runs, at most nMax times.
    void TickWhileSearching(int nMax = 20) {
        for (int i = 0; i < nMax && host.bTimer; ++i) {
            clock.Advance(kSearchTimerMs);
            ControllerTimer();
        }
    }

    // The status texts without the search's per-try texts.
    std::vector<std::string> Statuses() const {
        std::vector<std::string> statuses;
        for (const std::string& text : dialog.TextsOf(kIdStatusText)) {
            if (text.compare(0, 3, "COM") != 0) {
                statuses.push_back(text);
            }
        }
        return statuses;
    }

    std::string StoredCommParam() const { return settings.Value(kSettingsKeyPath, "CommParam"); }

    void RemoveAllDevices() {
        for (unsigned n = 1; n <= 4; ++n) {
            RemoveDevice(n);
        }
    }

    FakeHost host;
};

TEST_F(ControllerTest, NoArmGivesThreeSearchesThenNoArmFound) {
    RemoveAllDevices();
    host.scene = [&] {
        ControllerActivateApp(true);
        TickWhileSearching();
        EXPECT_FALSE(host.bTimer);
        EXPECT_EQ(g_App.bSearching, 0);
        EXPECT_EQ(threads.nCreated, 3);
        EXPECT_EQ(g_App.nSearchAttempts, 3);
        // Coming back to the program starts a new series of three.
        ControllerActivateApp(false);
        EXPECT_EQ(threads.nCreated, 3);
        ControllerActivateApp(true);
        TickWhileSearching();
        EXPECT_EQ(threads.nCreated, 6);
    };
    EXPECT_EQ(ControllerCreate(&host), 0);

    EXPECT_EQ(Statuses(), std::vector<std::string>({"Searching", "Searching", "Searching",
                                                    "Searching", "No Arm Found", "Searching",
                                                    "Searching", "Searching", "No Arm Found"}));
    EXPECT_TRUE(host.bDestroyed);
    EXPECT_EQ(host.nQuit, 0);
    EXPECT_FALSE(settings.Has(kSettingsKeyPath, "CommParam")) << "no port open: nothing saved";
    EXPECT_EQ(g_App.SearchDoneEvent, nullptr) << "events closed";
    EXPECT_EQ(threads.nClosed, threads.nCreated);
}

TEST_F(ControllerTest, ArmFoundOnTheSecondSearchLogsAndSavesTheLine) {
    RemoveAllDevices();
    host.scene = [&] {
        ControllerActivateApp(true);
        // The arm is plugged in on COM2 while the first search is reported.
        PlaceArm(2, ArmAt(19200, 8, 'n'));
        TickWhileSearching();
        EXPECT_EQ(g_App.nSearchAttempts, 1);
        EXPECT_FALSE(host.bTimer);
        EXPECT_EQ(dialog.text[kIdStatusText], "Done");
        EXPECT_EQ(dialog.text[kIdLogPathText], g_App.szLogPath);
    };
    ControllerCreate(&host);

    EXPECT_EQ(Statuses(), std::vector<std::string>({"Searching", "Searching", "Searching",
                                                    "Connected", "Logging Errors", "Done"}));
    EXPECT_EQ(StoredCommParam(), "2 19200 n 8 1");
    EXPECT_EQ(g_App.hPort, nullptr) << "the port is closed at shutdown";
    EXPECT_FALSE(bus.lines[2].bOpen);
    FILE* pLog = fopen(g_App.szLogPath, "rb");
    ASSERT_NE(pLog, nullptr) << "the entry was written";
    fclose(pLog);
}

TEST_F(ControllerTest, StoredSettingsAreTriedFirstAndTheNegotiatedOnesSaved) {
    settings.Put(kSettingsKeyPath, "CommParam", "2 19200 e 7 1");
    PlaceArm(2, ArmAt(9600, 8, 'n'));
    host.scene = [&] {
        ControllerActivateApp(true);
        TickWhileSearching();
    };
    ControllerCreate(&host);
    std::vector<std::string> tries;
    for (const std::string& line : TriesOf(bus.lines[2])) {
        if (line.size() > 3 && line.compare(line.size() - 3, 3, " _I") == 0) {
            tries.push_back(line);
        }
    }
    ASSERT_FALSE(tries.empty());
    EXPECT_EQ(tries.front(), "19200 7e1 _I");
    EXPECT_EQ(tries.back(), "9600 8n1 _I");
    EXPECT_EQ(StoredCommParam(), "2 9600 n 8 1");
}

TEST_F(ControllerTest, ActivationWhileConnectedOnlyRereadsTheLine) {
    PlaceArm(1, ArmAt(9600, 8, 'n'));
    host.scene = [&] {
        ControllerActivateApp(true);
        TickWhileSearching();
        int nThreads = threads.nCreated;
        settings.Put(kSettingsKeyPath, "CommParam", "3 4800 n 8 1");
        ControllerActivateApp(true);
        EXPECT_EQ(threads.nCreated, nThreads) << "no new search";
        EXPECT_EQ(g_App.Line.nPort, 3u);
        EXPECT_EQ(g_App.Line.nBaud, 4800);
    };
    ControllerCreate(&host);
    EXPECT_EQ(StoredCommParam(), "3 4800 n 8 1") << "the settings just read are saved";
}

TEST_F(ControllerTest, DeactivationAndIdleTicksChangeNothing) {
    host.scene = [&] {
        size_t nWrites = dialog.writes.size();
        ControllerActivateApp(false);
        ControllerTimer();
        EXPECT_EQ(threads.nCreated, 0);
        EXPECT_EQ(dialog.writes.size(), nWrites);
        EXPECT_FALSE(host.bTimer);
    };
    ControllerCreate(&host);
    EXPECT_EQ(host.nDialogMode, kRunModeLog);
}

TEST_F(ControllerTest, GarbageStoredSettingsStartFromSafeOnes) {
    const char* kStored[] = {"0 0 x 0 0", "garbage", ""};
    for (const char* szStored : kStored) {
        settings.Put(kSettingsKeyPath, "CommParam", szStored);
        g_App.Line = kInitialLine;
        host.scene = [&] {
            EXPECT_EQ(g_App.Line.nPort, 1u) << szStored;
            EXPECT_EQ(g_App.Line.nBaud, 9600) << szStored;
            EXPECT_EQ(g_App.Line.cParity, 'n') << szStored;
            EXPECT_EQ(g_App.Line.nDataBits, 8) << szStored;
            EXPECT_EQ(g_App.Line.nStopBits, 1) << szStored;
        };
        ControllerCreate(&host);
    }
    // Too long for the read: the stored text fails the read and leaves the initial settings.
    settings.Put(kSettingsKeyPath, "CommParam", "3 19200 e 7 1" + std::string(300, ' '));
    host.scene = [&] { EXPECT_EQ(g_App.Line.nPort, 1u); };
    ControllerCreate(&host);
}

// A store that cannot be opened changes nothing the dialog shows; the save that fails at
// shutdown is handed to the host (with the store's reason) to name it where it can.
TEST_F(ControllerTest, SettingsStoreThatCannotOpenLeavesTheDialogAlone) {
    settings.openFailure = "Access is denied.";
    PlaceArm(1, ArmAt(9600, 8, 'n'));
    host.scene = [&] {
        ControllerActivateApp(true);
        TickWhileSearching();
        EXPECT_TRUE(host.notSaved.empty());
    };
    ControllerCreate(&host);
    EXPECT_EQ(dialog.text[kIdStatusText], "Done");
    EXPECT_TRUE(settings.keys.empty());
    ASSERT_EQ(host.notSaved.size(), 1u);
    EXPECT_FALSE(host.notSaved[0].empty());
}

struct IdentityCase {
    const char* szVersion;
    const char* szStatus;
};

TEST_F(ControllerTest, ExtendedModeShowsTheIdentityAndEnablesTheButtons) {
    const IdentityCase cases[] = {
        {"4.6", "Arm: ARM01, v4.60, Calibrated: YES\n"},
        {"4.75", "Arm: ARM01, v4.75, Calibrated: YES\n"},
        {"4.59", "VERSION OF FIRMWARE DOES NOT SUPPORT EXTENDED ERROR REPORTING"},
    };
    g_App.nRunMode = kRunModeExtended;
    for (const IdentityCase& c : cases) {
        ArmScenario scenario = ArmAt(9600, 8, 'n');
        scenario.version = c.szVersion;
        PlaceArm(1, scenario);
        dialog = RecordingDialog();
        int nThreads = threads.nCreated;
        host.scene = [&] {
            ControllerActivateApp(true);
            TickWhileSearching();
        };
        ControllerCreate(&host);
        EXPECT_EQ(dialog.text[kIdStatusText], c.szStatus) << c.szVersion;
        EXPECT_TRUE(dialog.enabled[kIdButton]);
        EXPECT_TRUE(dialog.enabled[kIdSaveButton]);
        EXPECT_EQ(threads.nCreated, nThreads + 1) << "no mode worker in the extended display";
    }
}

TEST_F(ControllerTest, ExtendedModeWithoutIdentityKeepsConnected) {
    g_App.nRunMode = kRunModeExtended;
    ArmScenario scenario = ArmAt(9600, 8, 'n');
    scenario.unanswered.push_back("_G");
    PlaceArm(1, scenario);
    host.scene = [&] {
        ControllerActivateApp(true);
        TickWhileSearching();
    };
    ControllerCreate(&host);
    EXPECT_EQ(dialog.text[kIdStatusText], "Connected");
    EXPECT_TRUE(dialog.enabled[kIdButton]);
    EXPECT_TRUE(dialog.enabled[kIdSaveButton]);
}

TEST_F(ControllerTest, ExtendedModeDisablesTheButtonsWhenNoArmIsFound) {
    g_App.nRunMode = kRunModeExtended;
    RemoveAllDevices();
    host.scene = [&] {
        ControllerActivateApp(true);
        TickWhileSearching();
    };
    ControllerCreate(&host);
    EXPECT_EQ(dialog.text[kIdStatusText], "No Arm Found");
    EXPECT_FALSE(dialog.enabled[kIdButton]);
    EXPECT_FALSE(dialog.enabled[kIdSaveButton]);
}

class ShutdownTest : public ControllerTest {
  protected:
    ShutdownTest() : held(&clock) {}
    void SetUp() override {
        ControllerTest::SetUp();
        g_Platform.pThreads = &held;
    }
    HeldThreads held;
};

TEST_F(ShutdownTest, TicksWaitForTheSearchWorkerToFinishItsExit) {
    RemoveAllDevices();
    host.scene = [&] {
        ControllerActivateApp(true);
        TickWhileSearching(3);
        EXPECT_EQ(held.nCreated, 1);
        // The worker has reported its search done but not yet its exit: no restart yet.
        g_App.SearchDoneEvent->Set();
        ControllerTimer();
        EXPECT_EQ(held.nCreated, 1);
        EXPECT_EQ(g_App.nSearchAttempts, 0);
        held.RunHeld();
        ControllerTimer();
        EXPECT_EQ(held.nCreated, 2);
        EXPECT_EQ(g_App.nSearchAttempts, 1);
        held.RunHeld();
    };
    ControllerCreate(&host);
    EXPECT_EQ(held.nAbandoned, 0);
}

TEST_F(ShutdownTest, ClosingDuringTheSearchWaitsForTheWorker) {
    RemoveAllDevices();
    uint32_t nClosedAt = 0;
    host.scene = [&] {
        ControllerActivateApp(true);
        TickWhileSearching(2);
        nClosedAt = clock.TickCount();
        // The worker notices the stop request 1200 ms into the wait.
        clock.At(nClosedAt + 1200, [&] { held.RunHeld(); });
    };
    ControllerCreate(&host);
    EXPECT_EQ(held.nAbandoned, 0);
    uint32_t nWaited = clock.TickCount() - nClosedAt;
    EXPECT_GE(nWaited, 1200u);
    EXPECT_LT(nWaited, 1210u);
    EXPECT_EQ(host.nQuit, 0);
    EXPECT_EQ(g_App.WorkerExitedEvent, nullptr) << "events closed after the worker ended";
}

// A worker still running 5000 ms into the shutdown: closed during the search, the search worker
// is abandoned; closed while the statistics run, that worker is not, and keeps its handle.
TEST_F(ShutdownTest, WorkerThatDoesNotEndIsWaitedForFiveSeconds) {
    for (int32_t nMode : {kRunModeLog, kRunModeStats}) {
        SCOPED_TRACE(nMode);
        TearDown();
        SetUp();
        g_App.nRunMode = nMode;
        PlaceArm(1, ArmAt(9600, 8, 'n'));
        int nAbandoned = held.nAbandoned;
        uint32_t nClosedAt = 0;
        host.scene = [&] {
            ControllerActivateApp(true);
            if (nMode == kRunModeStats) {
                held.RunHeld();  // the search finds the arm on COM1
                TickWhileSearching();
            }
            nClosedAt = clock.TickCount();
        };
        ControllerCreate(&host);
        EXPECT_EQ(held.nAbandoned - nAbandoned, nMode == kRunModeLog ? 1 : 0);
        EXPECT_EQ(g_App.hSearchThread.load(), nullptr);
        ThreadHandle hWorker = g_App.hWorkerThread.exchange(nullptr);
        EXPECT_EQ(hWorker != nullptr, nMode == kRunModeStats);
        held.CloseThread(hWorker);
        uint32_t nWaited = clock.TickCount() - nClosedAt;
        EXPECT_GE(nWaited, kShutdownWaitMs);
        EXPECT_LT(nWaited, kShutdownWaitMs + 5);
        EXPECT_EQ(host.nQuit, 0);
        held.pfnProc = nullptr;
    }
}

TEST_F(ShutdownTest, StatisticsRunUntilTheShutdownStopsThem) {
    g_App.nRunMode = kRunModeStats;
    PlaceArm(1, ArmAt(9600, 8, 'n'));
    uint32_t nClosedAt = 0;
    host.scene = [&] {
        ControllerActivateApp(true);
        held.RunHeld();  // the search finds the arm on COM1
        TickWhileSearching();
        EXPECT_EQ(held.nCreated, 2) << "the statistics worker was launched";
        nClosedAt = clock.TickCount();
        // The worker is still reading the identity when the dialog closes.
        clock.At(nClosedAt + 300, [&] { held.RunHeld(); });
    };
    ControllerCreate(&host);

    // The worker's identity line came after the dialog had closed: nothing more is shown.
    EXPECT_EQ(Statuses(), std::vector<std::string>(
                              {"Searching", "Searching", "Connected", "Current Statistics"}));
    EXPECT_EQ(held.nAbandoned, 0);
    // The shutdown waited for the worker: 300 ms, then its 1000 ms identity read.
    uint32_t nWaited = clock.TickCount() - nClosedAt;
    EXPECT_GE(nWaited, 1300u);
    EXPECT_LT(nWaited, 1400u);
    EXPECT_EQ(g_App.hPort, nullptr);
    EXPECT_EQ(StoredCommParam(), "1 9600 n 8 1");
}

TEST_F(ShutdownTest, NoWorkerEverStartedMeansNoWait) {
    uint32_t nStart = clock.TickCount();
    ControllerCreate(&host);
    EXPECT_EQ(clock.TickCount(), nStart);
    EXPECT_EQ(host.nQuit, 0);
}

}  // namespace
