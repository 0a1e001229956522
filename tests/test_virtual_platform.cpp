// Tests of the virtual-time doubles: clock and scheduled actions, events, inline threads,
// settings in memory and the recording dialog.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/virtual_platform.h"

TEST(VirtualPlatformClock, ActionsRunAtTheirTicksInOrder) {
    VirtualClock clock(1000);
    std::vector<std::string> log;
    clock.At(1300, [&] { log.push_back("b@" + std::to_string(clock.nNow)); });
    clock.At(1100, [&] { log.push_back("a@" + std::to_string(clock.nNow)); });
    clock.At(1300, [&] { log.push_back("c@" + std::to_string(clock.nNow)); });
    clock.At(5000, [&] { log.push_back("late"); });
    clock.Advance(300);
    const std::vector<std::string> expected = {"a@1100", "b@1300", "c@1300"};
    EXPECT_EQ(log, expected);
    EXPECT_EQ(clock.nNow, 1300u);
    EXPECT_EQ(clock.Elapsed(), 300u);
    EXPECT_EQ(clock.PendingActions(), 1u);
    clock.Sleep(3699);
    EXPECT_EQ(log.size(), 3u);
    clock.Sleep(1);
    EXPECT_EQ(log.back(), "late");
    clock.Restart();
    EXPECT_EQ(clock.Elapsed(), 0u);
}

TEST(VirtualPlatformClock, KeepsOrderAcrossTheWrap) {
    VirtualClock clock(0xFFFFFFF0u);
    std::vector<uint32_t> ticks;
    clock.At(5, [&] { ticks.push_back(clock.TickCount()); });
    clock.At(0xFFFFFFFAu, [&] { ticks.push_back(clock.TickCount()); });
    clock.Advance(0x20);
    const std::vector<uint32_t> expected = {0xFFFFFFFAu, 5u};
    EXPECT_EQ(ticks, expected);
    EXPECT_EQ(clock.nNow, 0x10u);
    EXPECT_EQ(clock.Elapsed(), 0x20u);
}

TEST(VirtualPlatformClock, PassedActionRunsAtTheNextAdvance) {
    VirtualClock clock(50);
    int nRuns = 0;
    clock.At(10, [&] { ++nRuns; });
    EXPECT_EQ(nRuns, 0);
    clock.Advance(0);
    EXPECT_EQ(nRuns, 1);
    EXPECT_EQ(clock.nNow, 50u);
    LocalTime t;
    clock.GetLocalTime(&t);
    EXPECT_EQ(t.nYear, 126);
    EXPECT_EQ(t.nMonth, 12);
    EXPECT_EQ(t.nDay, 7);
    EXPECT_EQ(t.nHour, 9);
    EXPECT_EQ(t.nMinute, 5);
    EXPECT_EQ(t.nSecond, 33);
}

TEST(VirtualPlatformEvent, WaitAdvancesTheClockAndEndsWhenSet) {
    VirtualClock clock;
    VirtualEvent event(&clock);
    EXPECT_FALSE(event.Wait(500));
    EXPECT_EQ(clock.nNow, 500u);
    EXPECT_FALSE(event.Wait(0));
    EXPECT_EQ(clock.nNow, 500u);

    clock.At(620, [&] { event.Set(); });
    EXPECT_TRUE(event.Wait(2000));
    EXPECT_EQ(clock.nNow, 620u);
    // Manual reset: it stays set, and a wait on it costs no time.
    EXPECT_TRUE(event.IsSet());
    EXPECT_TRUE(event.Wait(2000));
    EXPECT_EQ(clock.nNow, 620u);
    event.Reset();
    EXPECT_FALSE(event.IsSet());
}

namespace {

struct ThreadProbe {
    InlineThreads* pThreads;
    std::atomic<ThreadHandle>* pSlot;
    ThreadHandle hSeen;
    bool bCloseOwn;
    int nRuns;
};

uint32_t ProbeProc(void* pArg) {
    ThreadProbe* p = static_cast<ThreadProbe*>(pArg);
    p->hSeen = p->pSlot->load();
    p->nRuns++;
    if (p->bCloseOwn) {
        // As a worker does at its end: close its own handle and clear the slot.
        p->pThreads->CloseThread(p->pSlot->exchange(nullptr));
    }
    return 0;
}

}  // namespace

TEST(VirtualPlatformThreads, HandleIsStoredBeforeTheProcedureRuns) {
    VirtualClock clock;
    InlineThreads threads(&clock);
    std::atomic<ThreadHandle> hSlot(nullptr);
    ThreadProbe probe = {&threads, &hSlot, nullptr, true, 0};
    ASSERT_EQ(threads.CreateThread(ProbeProc, &probe, true, &hSlot), 1);
    EXPECT_EQ(probe.nRuns, 1);
    EXPECT_NE(probe.hSeen, nullptr);
    EXPECT_EQ(hSlot.load(), nullptr);  // cleared by the thread itself
    EXPECT_TRUE(threads.live.empty());
    EXPECT_EQ(threads.nCreated, 1);
    EXPECT_EQ(threads.nAboveNormal, 1);
    EXPECT_EQ(threads.nClosed, 1);

    ThreadProbe second = {&threads, &hSlot, nullptr, false, 0};
    ASSERT_EQ(threads.CreateThread(ProbeProc, &second, false, &hSlot), 1);
    EXPECT_NE(second.hSeen, probe.hSeen);
    EXPECT_EQ(threads.nAboveNormal, 1);
    ASSERT_EQ(threads.live.size(), 1u);  // a leak the test can see
    threads.AbandonThread(hSlot);
    EXPECT_EQ(threads.nAbandoned, 1);
    EXPECT_TRUE(threads.live.empty());
}

TEST(VirtualPlatformThreads, FailedCreateLeavesTheSlot) {
    VirtualClock clock;
    InlineThreads threads(&clock);
    threads.bFailCreate = true;
    std::atomic<ThreadHandle> hSlot(reinterpret_cast<ThreadHandle>(0x1234));
    ThreadProbe probe = {&threads, &hSlot, nullptr, false, 0};
    EXPECT_EQ(threads.CreateThread(ProbeProc, &probe, false, &hSlot), 0);
    EXPECT_EQ(probe.nRuns, 0);
    EXPECT_EQ(hSlot.load(), reinterpret_cast<ThreadHandle>(0x1234));
    EXPECT_EQ(threads.nCreated, 0);

    threads.bFailEvents = true;
    EXPECT_EQ(threads.CreateEvent(), nullptr);
    threads.bFailEvents = false;
    Event* pEvent = threads.CreateEvent();
    ASSERT_NE(pEvent, nullptr);
    EXPECT_FALSE(pEvent->IsSet());
    EXPECT_FALSE(pEvent->Wait(30));
    EXPECT_EQ(clock.nNow, 30u);
    delete pEvent;
}

TEST(VirtualPlatformThreads, DoubleAndUnknownClosesFailTheTest) {
    VirtualClock clock;
    InlineThreads threads(&clock);
    std::atomic<ThreadHandle> hSlot(nullptr);
    ThreadProbe probe = {&threads, &hSlot, nullptr, true, 0};
    ASSERT_EQ(threads.CreateThread(ProbeProc, &probe, false, &hSlot), 1);
    ThreadHandle hClosed = probe.hSeen;
    EXPECT_NONFATAL_FAILURE(threads.CloseThread(hClosed), "closed twice");
    int nOther = 0;
    EXPECT_NONFATAL_FAILURE(threads.CloseThread(&nOther), "unknown thread handle");
    EXPECT_NONFATAL_FAILURE(threads.AbandonThread(hClosed), "not open");
    EXPECT_EQ(threads.nClosed, 1);
}

// Reads a value through the key: its bytes, or "<why not>" when the read fails.
std::string ReadThrough(SettingsKey* pKey, const char* szName, uint32_t cbText = 16) {
    char buffer[32];
    memset(buffer, 'x', sizeof buffer);
    uint32_t nLength = 99;
    char szWhyNot[32] = "untouched";
    if (!pKey->ReadValue(szName, buffer, cbText, &nLength, szWhyNot, sizeof szWhyNot)) {
        EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(sizeof buffer, 'x'));
        return "<" + std::string(szWhyNot) + ">";
    }
    EXPECT_STREQ(szWhyNot, "untouched");
    EXPECT_EQ(buffer[nLength], 'x') << "no terminator added";
    return std::string(buffer, nLength);
}

TEST(VirtualPlatformSettings, KeysValuesAndTheirErrors) {
    MemorySettings settings;
    char szWhyNot[32];
    SettingsKey* pKey = settings.OpenKey("SOFTWARE\\A", szWhyNot, sizeof szWhyNot);
    ASSERT_NE(pKey, nullptr);
    EXPECT_EQ(settings.keys.count("SOFTWARE\\A"), 1u) << "created on opening";
    EXPECT_EQ(settings.nOpenKeys, 1);
    EXPECT_EQ(ReadThrough(pKey, "CommParam"), "<no value CommParam>");

    // Exactly the bytes given, a NUL among them included, and no terminator added.
    ASSERT_TRUE(pKey->WriteValue("CommParam", "2 19200 e 7 1\0zz", 15, szWhyNot, sizeof szWhyNot));
    EXPECT_EQ(settings.Value("SOFTWARE\\A", "CommParam"), std::string("2 19200 e 7 1\0z", 15));
    EXPECT_EQ(settings.nWrites, 1);
    ASSERT_TRUE(pKey->WriteValue("CommParam", "2 19200 e 7 1", 13, szWhyNot, sizeof szWhyNot));
    EXPECT_EQ(ReadThrough(pKey, "CommParam"), "2 19200 e 7 1");
    EXPECT_EQ(ReadThrough(pKey, "CommParam", 12), "<CommParam does not fit>");
    EXPECT_EQ(ReadThrough(pKey, "CommParam", 13), "2 19200 e 7 1") << "exactly the size: fits";

    SettingsKey* pSecond = settings.OpenKey("SOFTWARE\\A", szWhyNot, sizeof szWhyNot);
    ASSERT_NE(pSecond, nullptr);
    EXPECT_EQ(settings.nOpenKeys, 2);
    EXPECT_EQ(ReadThrough(pSecond, "CommParam"), "2 19200 e 7 1");
    delete pSecond;
    delete pKey;
    EXPECT_EQ(settings.nOpenKeys, 0);
}

TEST(VirtualPlatformSettings, InjectedFailuresAndPresetValues) {
    MemorySettings settings;
    settings.Put("K", "LastFile", "C:\\report.txt");
    EXPECT_TRUE(settings.Has("K", "LastFile"));
    EXPECT_FALSE(settings.Has("K", "CommParam"));
    EXPECT_FALSE(settings.Has("L", "LastFile"));

    char szWhyNot[32];
    SettingsKey* pKey = settings.OpenKey("K", szWhyNot, sizeof szWhyNot);
    ASSERT_NE(pKey, nullptr);
    settings.writeFailure = "Access is denied.";
    EXPECT_FALSE(pKey->WriteValue("LastFile", "x", 1, szWhyNot, sizeof szWhyNot));
    EXPECT_STREQ(szWhyNot, "Access is denied.");
    EXPECT_EQ(settings.Value("K", "LastFile"), "C:\\report.txt");
    EXPECT_EQ(settings.nWrites, 0);
    delete pKey;

    settings.openFailure = "Access is denied.";
    szWhyNot[0] = '\0';
    EXPECT_EQ(settings.OpenKey("M", szWhyNot, sizeof szWhyNot), nullptr);
    EXPECT_STREQ(szWhyNot, "Access is denied.");
    EXPECT_EQ(settings.keys.count("M"), 0u);
    EXPECT_EQ(settings.nOpenKeys, 0);
}

TEST(VirtualPlatformSettings, WhyNotIsBoundedAndTerminated) {
    MemorySettings settings;
    settings.openFailure = "Access is denied.";
    char szText[32];
    memset(szText, 'x', sizeof szText);
    EXPECT_EQ(settings.OpenKey("K", szText, 5), nullptr);
    EXPECT_STREQ(szText, "Acce");
    EXPECT_EQ(szText[5], 'x');
    szText[0] = 'q';
    EXPECT_EQ(settings.OpenKey("K", szText, 0), nullptr);
    EXPECT_EQ(szText[0], 'q');
}

TEST(VirtualPlatformDialog, RecordsEveryWriteInOrder) {
    RecordingDialog dialog;
    std::vector<std::string> seen;
    dialog.onWrite = [&](const RecordingDialog::Write& w) {
        seen.push_back(w.op + ":" + std::to_string(w.nId) + ":" + w.text);
    };
    dialog.SetItemText(1028, "Searching");
    dialog.SetItemText(1028, "COM1: 9600 n 8 1");
    dialog.ShowItem(1030);
    dialog.EnableItem(1, false);
    dialog.SetItemText(1, "Close");
    dialog.EnableItem(1, true);
    const std::vector<std::string> expected = {"text:1028:Searching", "text:1028:COM1: 9600 n 8 1",
                                               "show:1030:",          "disable:1:",
                                               "text:1:Close",        "enable:1:"};
    EXPECT_EQ(seen, expected);
    ASSERT_EQ(dialog.writes.size(), 6u);
    EXPECT_EQ(dialog.text[1028], "COM1: 9600 n 8 1");
    EXPECT_TRUE(dialog.shown[1030]);
    EXPECT_TRUE(dialog.enabled[1]);
    const std::vector<std::string> status = {"Searching", "COM1: 9600 n 8 1"};
    EXPECT_EQ(dialog.TextsOf(1028), status);
    EXPECT_TRUE(dialog.TextsOf(1031).empty());
}
