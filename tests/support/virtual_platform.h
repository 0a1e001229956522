// Test doubles of every seam, in virtual time: the clock, inline threads with events that
// advance the clock, settings in memory, a dialog that records every write.
#ifndef ARMLINK_TESTS_SUPPORT_VIRTUAL_PLATFORM_H
#define ARMLINK_TESTS_SUPPORT_VIRTUAL_PLATFORM_H

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "common/dialog_surface.h"
#include "common/platform.h"
#include "common/serial_device.h"
#include "common/settings_backend.h"
#include "shell/report_text.h"

// A clock that moves only when something waits. Actions scheduled with At() run when the
// clock reaches their tick (for example: set StopEvent at 3500 ms).
class VirtualClock : public Clock {
  public:
    explicit VirtualClock(uint32_t nStart = 0);
    uint32_t TickCount() override { return nNow; }
    void GetLocalTime(LocalTime* pTime) override { *pTime = localTime; }
    void Sleep(uint32_t nMs) override { Advance(nMs); }

    // Moves the clock forward by nMs, running every due action in tick order.
    void Advance(uint32_t nMs);
    // Runs fn once the clock has reached nTick (absolute, in the clock's own ticks).
    void At(uint32_t nTick, std::function<void()> fn);
    // Milliseconds since the clock was made (or since Restart).
    uint32_t Elapsed() const { return nNow - nStart; }
    void Restart() { nStart = nNow; }
    // Scheduled actions not yet run.
    size_t PendingActions() const { return actions.size(); }

    uint32_t nNow;
    uint32_t nStart;
    LocalTime localTime;  // what GetLocalTime reports; 12/07/126 09:05:33 by default

  private:
    struct Action {
        uint32_t nTick;
        std::function<void()> fn;
    };
    std::vector<Action> actions;
};

// A manual-reset event whose Wait advances the virtual clock 1 ms at a time until the event is
// set (by a scheduled action) or the time is up.
class VirtualEvent : public Event {
  public:
    explicit VirtualEvent(VirtualClock* pClock) : pClock(pClock), bSet(false) {}
    void Set() override { bSet = true; }
    void Reset() override { bSet = false; }
    bool IsSet() override { return bSet; }
    bool Wait(uint32_t nMs) override;

    VirtualClock* pClock;
    bool bSet;
};

// Threads that run to their end inside CreateThread, after the handle has been stored: the
// whole run of a worker happens in virtual time, deterministically.
class InlineThreads : public ThreadApi {
  public:
    explicit InlineThreads(VirtualClock* pClock) : pClock(pClock) {}
    ~InlineThreads() override;
    Event* CreateEvent() override;
    int CreateThread(ThreadProc pfnProc, void* pArg, bool bAboveNormal,
                     std::atomic<ThreadHandle>* pSlot) override;
    void CloseThread(ThreadHandle hThread) override;
    void AbandonThread(ThreadHandle hThread) override;

    VirtualClock* pClock;
    bool bFailCreate = false;        // CreateThread fails
    bool bFailEvents = false;        // CreateEvent fails
    int nCreated = 0;                // threads started
    int nAboveNormal = 0;            // of those, at raised priority
    int nClosed = 0;                 // handles released
    int nAbandoned = 0;              // workers given up at shutdown
    std::vector<ThreadHandle> live;  // handles not yet released
    uint32_t nLastId = 0;            // id of the latest thread (ids count from 1)

  private:
    // Every handle ever made, kept until the end so that a second close of a released handle
    // is still recognised (its address is never reused by a later thread).
    std::vector<ThreadHandle> made;
};

// Settings in memory: key paths to named values, kept as the bytes given.
class MemorySettings : public SettingsBackend {
  public:
    SettingsKey* OpenKey(const char* szKeyPath, char* szWhyNot, uint32_t cchWhyNot) override;

    // The stored bytes of a value (no terminator), or "" when absent.
    std::string Value(const std::string& keyPath, const std::string& name) const;
    bool Has(const std::string& keyPath, const std::string& name) const;
    void Put(const std::string& keyPath, const std::string& name, const std::string& bytes);

    std::string openFailure;   // not empty: OpenKey fails with this reason
    std::string writeFailure;  // not empty: WriteValue fails with this reason, nothing stored
    int nOpenKeys = 0;         // keys open now
    int nWrites = 0;
    std::map<std::string, std::map<std::string, std::string>> keys;
};

// Opens COMn on a bus; the reason of a failure goes to *pFailure when it is given.
SerialDevice* OpenOn(SerialBus* pBus, unsigned nPort, PortOpenFailure* pFailure = nullptr);

// A dialog that records every write, in order.
class RecordingDialog : public DialogSurface {
  public:
    void SetItemText(int nId, const char* szText) override;
    void ShowItem(int nId) override;
    void EnableItem(int nId, bool bEnable) override;
    bool AppendReport(const char* const* pTexts, size_t nTexts) override;
    uint32_t ReportLineCount() override { return report.LineCount(); }
    uint32_t ReportLine(uint32_t nLine, char* pBuffer, uint32_t nMax) override {
        return report.CopyLine(nLine, pBuffer, nMax);
    }
    bool AskSaveFileName(char* szPath, uint32_t cchPath) override;
    void ShowMessage(const char* szText, const char* szCaption) override;
    void ShowProgress(const char* szText) override;
    void ReportOutcome(RunOutcome outcome, const char* szDetail) override;
    void ShowUnloggedEntry(const char* szEntry) override { unlogged.push_back(szEntry); }
    void ReportPortFailure(unsigned nPort, const char* szDevice, const char* szReason) override;
    void ReportSaved(const char* szPath) override { Record(Write{"saved", 0, szPath}); }
    void PollDone(const PollSample& sample) override;

    struct Write {
        std::string op;  // "text", "show", "enable", "disable", "poll" (the end of a poll)
        int nId;
        std::string text;
    };
    std::vector<Write> writes;
    std::map<int, std::string> text;  // current text of each control
    std::map<int, bool> shown;        // controls made visible
    std::map<int, bool> enabled;      // current enabled state, where set
    // Every text written to one control, in order.
    std::vector<std::string> TextsOf(int nId) const;
    // Called after every write (tests use it to close the dialog at a given text).
    std::function<void(const Write&)> onWrite;

    // Besides the control writes: the report with each appended group (its texts joined),
    // the proposal of every save prompt and the answer the technician gives ("" cancels),
    // messages as "caption: text", progress texts, outcomes, and ports that did not open.
    ReportText report;
    std::vector<std::string> groups;
    size_t nReportRoom = SIZE_MAX;  // the most characters the report holds, as a display's limit
    size_t nReportChars = 0;
    std::vector<std::string> askedWith;
    std::string saveAnswer;
    std::vector<std::string> messages;
    std::vector<std::string> progress;
    std::vector<RunOutcome> outcomes;
    RunOutcome outcome = kOutcomeNone;  // the latest
    std::string outcomeDetail;
    std::vector<std::string> portFailures;
    std::vector<std::string> unlogged;  // entries handed over because no file could take them

  private:
    void Record(const Write& write);
};

#endif
