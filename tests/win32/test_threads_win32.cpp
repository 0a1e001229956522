// The Win32 thread and event seam: the slot filled before the thread's first step, the raised
// priority, the exit code, the end of an abandoned worker, and manual-reset events.
#include <gtest/gtest.h>
#include <windows.h>

// windows.h names CreateEventA CreateEvent; the seam's own CreateEvent is meant here.
#undef CreateEvent

#include <atomic>

#include "common/platform.h"
#include "platform/win32/win32_platform.h"

namespace {

// What a thread saw at its first step.
struct FirstStep {
    std::atomic<ThreadHandle>* pSlot;
    DWORD dwSlotThreadId;  // the id of the thread whose handle stood in the slot
    DWORD dwOwnId;
    int nPriority;
};

uint32_t RecordFirstStep(void* pArg) {
    FirstStep* pStep = static_cast<FirstStep*>(pArg);
    HANDLE hSlot = static_cast<HANDLE>(pStep->pSlot->load());
    pStep->dwSlotThreadId = hSlot != nullptr ? GetThreadId(hSlot) : 0;
    pStep->dwOwnId = GetCurrentThreadId();
    pStep->nPriority = GetThreadPriority(GetCurrentThread());
    return 7;
}

TEST(Win32Threads, SlotIsInPlaceAtTheFirstStep) {
    ThreadApi* pThreads = Win32Threads();
    // A thread that ran before its slot was filled would show up in some of these runs.
    for (int nRun = 0; nRun < 20; ++nRun) {
        for (bool bAboveNormal : {false, true}) {
            std::atomic<ThreadHandle> hSlot(nullptr);
            FirstStep step = {&hSlot, 0, 0, 0};
            ASSERT_EQ(pThreads->CreateThread(RecordFirstStep, &step, bAboveNormal, &hSlot), 1);
            ASSERT_NE(hSlot.load(), nullptr);
            ASSERT_EQ(WaitForSingleObject(static_cast<HANDLE>(hSlot.load()), 5000), WAIT_OBJECT_0);
            EXPECT_EQ(step.dwSlotThreadId, step.dwOwnId);
            EXPECT_EQ(step.nPriority,
                      bAboveNormal ? THREAD_PRIORITY_ABOVE_NORMAL : THREAD_PRIORITY_NORMAL);
            DWORD dwExit = 0;
            ASSERT_TRUE(GetExitCodeThread(static_cast<HANDLE>(hSlot.load()), &dwExit));
            EXPECT_EQ(dwExit, 7u) << "the routine's result is the thread's exit code";
            pThreads->CloseThread(hSlot.load());
        }
    }
}

struct Blocked {
    Event* pEvent;
    std::atomic<int> nStarted;
};

uint32_t WaitForever(void* pArg) {
    Blocked* pBlocked = static_cast<Blocked*>(pArg);
    pBlocked->nStarted.store(1);
    pBlocked->pEvent->Wait(INFINITE);
    return 5;
}

TEST(Win32Threads, AbandonEndsTheThreadWithExitCodeZero) {
    ThreadApi* pThreads = Win32Threads();
    Blocked blocked;
    blocked.pEvent = pThreads->CreateEvent();
    blocked.nStarted.store(0);
    ASSERT_NE(blocked.pEvent, nullptr);
    std::atomic<ThreadHandle> hSlot(nullptr);
    ASSERT_EQ(pThreads->CreateThread(WaitForever, &blocked, true, &hSlot), 1);
    for (int i = 0; i < 500 && blocked.nStarted.load() == 0; ++i) {
        Sleep(1);
    }
    ASSERT_EQ(blocked.nStarted.load(), 1);

    HANDLE hWatch = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), static_cast<HANDLE>(hSlot.load()),
                                GetCurrentProcess(), &hWatch, 0, FALSE, DUPLICATE_SAME_ACCESS));
    pThreads->AbandonThread(hSlot.load());
    EXPECT_EQ(WaitForSingleObject(hWatch, 2000), WAIT_OBJECT_0);
    DWORD dwExit = 99;
    EXPECT_TRUE(GetExitCodeThread(hWatch, &dwExit));
    EXPECT_EQ(dwExit, 0u);
    CloseHandle(hWatch);
    delete blocked.pEvent;
}

TEST(Win32Threads, CreateFailsWithoutRoutineAndLeavesTheSlot) {
    std::atomic<ThreadHandle> hSlot(reinterpret_cast<ThreadHandle>(0x1234));
    EXPECT_EQ(Win32Threads()->CreateThread(nullptr, nullptr, false, &hSlot), 0);
    EXPECT_EQ(hSlot.load(), reinterpret_cast<ThreadHandle>(0x1234));
}

TEST(Win32Events, ManualResetStaysSetForEveryWaitUntilReset) {
    Event* pEvent = Win32Threads()->CreateEvent();
    ASSERT_NE(pEvent, nullptr);
    EXPECT_FALSE(pEvent->IsSet()) << "created not set";
    DWORD dwStart = GetTickCount();
    EXPECT_FALSE(pEvent->Wait(60));
    EXPECT_GE(GetTickCount() - dwStart, 45u) << "a wait on an unset event runs its time";

    pEvent->Set();
    EXPECT_TRUE(pEvent->IsSet());
    EXPECT_TRUE(pEvent->IsSet()) << "a wait does not reset it";
    EXPECT_TRUE(pEvent->Wait(0));
    EXPECT_TRUE(pEvent->Wait(1000));

    pEvent->Reset();
    EXPECT_FALSE(pEvent->IsSet());
    EXPECT_FALSE(pEvent->Wait(0));
    delete pEvent;
}

struct SetLater {
    Event* pEvent;
};

uint32_t SetAfterAWhile(void* pArg) {
    Sleep(100);
    static_cast<SetLater*>(pArg)->pEvent->Set();
    return 0;
}

TEST(Win32Events, SetFromAnotherThreadEndsTheWaitEarly) {
    ThreadApi* pThreads = Win32Threads();
    SetLater later = {pThreads->CreateEvent()};
    ASSERT_NE(later.pEvent, nullptr);
    std::atomic<ThreadHandle> hSlot(nullptr);
    DWORD dwStart = GetTickCount();
    ASSERT_EQ(pThreads->CreateThread(SetAfterAWhile, &later, false, &hSlot), 1);
    EXPECT_TRUE(later.pEvent->Wait(5000));
    DWORD dwElapsed = GetTickCount() - dwStart;
    EXPECT_GE(dwElapsed, 80u);
    EXPECT_LT(dwElapsed, 3000u);
    WaitForSingleObject(static_cast<HANDLE>(hSlot.load()), 5000);
    pThreads->CloseThread(hSlot.load());
    delete later.pEvent;
}

}  // namespace
