// Test doubles of the platform seams in virtual time: clock, events, inline threads, settings in
// memory and the recording dialog.
#include "support/virtual_platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "common/app_state.h"

// ---- VirtualClock -------------------------------------------------------------------------

VirtualClock::VirtualClock(uint32_t nStart) : nNow(nStart), nStart(nStart) {
    localTime.nYear = 126;
    localTime.nMonth = 12;
    localTime.nDay = 7;
    localTime.nHour = 9;
    localTime.nMinute = 5;
    localTime.nSecond = 33;
}

void VirtualClock::At(uint32_t nTick, std::function<void()> fn) {
    actions.push_back(Action{nTick, std::move(fn)});
}

void VirtualClock::Advance(uint32_t nMs) {
    // Ticks are compared as distances from now, so a run across the counter's wrap keeps its
    // order; an action whose tick has passed already runs first, at the present tick.
    // An action may itself wait and so move the clock; the clock never goes back.
    uint32_t nTarget = nNow + nMs;
    for (;;) {
        int64_t nLeft = static_cast<int32_t>(nTarget - nNow);
        if (nLeft < 0) {
            nLeft = 0;
        }
        size_t nBest = actions.size();
        int64_t nBestAhead = 0;
        for (size_t i = 0; i < actions.size(); ++i) {
            int64_t nAhead = static_cast<int32_t>(actions[i].nTick - nNow);
            if (nAhead < 0) {
                nAhead = 0;
            }
            if (nAhead > nLeft) {
                continue;
            }
            if (nBest == actions.size() || nAhead < nBestAhead) {
                nBest = i;
                nBestAhead = nAhead;
            }
        }
        if (nBest == actions.size()) {
            break;
        }
        nNow += static_cast<uint32_t>(nBestAhead);
        std::function<void()> fn = std::move(actions[nBest].fn);
        actions.erase(actions.begin() + static_cast<std::ptrdiff_t>(nBest));
        fn();
    }
    if (static_cast<int32_t>(nTarget - nNow) > 0) {
        nNow = nTarget;
    }
}

// ---- VirtualEvent -------------------------------------------------------------------------

bool VirtualEvent::Wait(uint32_t nMs) {
    for (uint32_t i = 0; i < nMs && !bSet; ++i) {
        pClock->Advance(1);
    }
    return bSet;
}

// ---- InlineThreads ------------------------------------------------------------------------

namespace {

struct InlineThreadToken {
    uint32_t nId;
};

}  // namespace

InlineThreads::~InlineThreads() {
    for (ThreadHandle h : made) {
        delete static_cast<InlineThreadToken*>(h);
    }
}

Event* InlineThreads::CreateEvent() {
    if (bFailEvents) {
        return nullptr;
    }
    return new VirtualEvent(pClock);
}

int InlineThreads::CreateThread(ThreadProc pfnProc, void* pArg, bool bAboveNormal,
                                std::atomic<ThreadHandle>* pSlot) {
    if (bFailCreate || pfnProc == nullptr || pSlot == nullptr) {
        return 0;
    }
    InlineThreadToken* pToken = new InlineThreadToken{++nLastId};
    made.push_back(pToken);
    live.push_back(pToken);
    nCreated++;
    if (bAboveNormal) {
        nAboveNormal++;
    }
    // The handle is in place before the thread's first step, as the seam promises.
    pSlot->store(pToken);
    pfnProc(pArg);
    return 1;
}

void InlineThreads::CloseThread(ThreadHandle hThread) {
    auto it = std::find(live.begin(), live.end(), hThread);
    if (it == live.end()) {
        bool bKnown = std::find(made.begin(), made.end(), hThread) != made.end();
        ADD_FAILURE() << (bKnown ? "thread handle closed twice" : "unknown thread handle closed")
                      << " (" << hThread << ")";
        return;
    }
    live.erase(it);
    nClosed++;
}

void InlineThreads::AbandonThread(ThreadHandle hThread) {
    auto it = std::find(live.begin(), live.end(), hThread);
    if (it == live.end()) {
        ADD_FAILURE() << "abandon of a thread handle that is not open (" << hThread << ")";
        return;
    }
    // An inline thread has run to its end already; only its handle is left to release.
    live.erase(it);
    nAbandoned++;
}

// ---- MemorySettings -----------------------------------------------------------------------

namespace {

// One key of the settings in memory, open while it lives.
class MemoryKey : public SettingsKey {
  public:
    MemoryKey(MemorySettings* pOwner, const std::string& keyPath)
        : pSettings(pOwner), path(keyPath) {
        pSettings->nOpenKeys++;
    }
    ~MemoryKey() override { pSettings->nOpenKeys--; }

    bool ReadValue(const char* szName, char* pText, uint32_t cbText, uint32_t* pnLength,
                   char* szWhyNot, uint32_t cchWhyNot) override {
        const std::map<std::string, std::string>& values = pSettings->keys[path];
        auto it = values.find(szName);
        if (it == values.end() || it->second.size() > cbText) {
            snprintf(szWhyNot, cchWhyNot, it == values.end() ? "no value %s" : "%s does not fit",
                     szName);
            return false;
        }
        memcpy(pText, it->second.data(), it->second.size());
        *pnLength = static_cast<uint32_t>(it->second.size());
        return true;
    }

    bool WriteValue(const char* szName, const char* pText, uint32_t nLength, char* szWhyNot,
                    uint32_t cchWhyNot) override {
        if (!pSettings->writeFailure.empty()) {
            snprintf(szWhyNot, cchWhyNot, "%s", pSettings->writeFailure.c_str());
            return false;
        }
        pSettings->keys[path][szName] = nLength == 0 ? std::string() : std::string(pText, nLength);
        pSettings->nWrites++;
        return true;
    }

  private:
    MemorySettings* pSettings;
    std::string path;
};

}  // namespace

SettingsKey* MemorySettings::OpenKey(const char* szKeyPath, char* szWhyNot, uint32_t cchWhyNot) {
    if (!openFailure.empty()) {
        snprintf(szWhyNot, cchWhyNot, "%s", openFailure.c_str());
        return nullptr;
    }
    keys[szKeyPath];  // created when absent, as a registry key is
    return new MemoryKey(this, szKeyPath);
}

std::string MemorySettings::Value(const std::string& keyPath, const std::string& name) const {
    auto key = keys.find(keyPath);
    if (key == keys.end()) {
        return std::string();
    }
    auto value = key->second.find(name);
    return value == key->second.end() ? std::string() : value->second;
}

bool MemorySettings::Has(const std::string& keyPath, const std::string& name) const {
    auto key = keys.find(keyPath);
    return key != keys.end() && key->second.find(name) != key->second.end();
}

void MemorySettings::Put(const std::string& keyPath, const std::string& name,
                         const std::string& bytes) {
    keys[keyPath][name] = bytes;
}

SerialDevice* OpenOn(SerialBus* pBus, unsigned nPort, PortOpenFailure* pFailure) {
    PortOpenFailure failure;
    return pBus->Open(nPort, pFailure != nullptr ? pFailure : &failure);
}

// ---- RecordingDialog ----------------------------------------------------------------------

void RecordingDialog::Record(const Write& write) {
    writes.push_back(write);
    if (onWrite) {
        onWrite(write);
    }
}

void RecordingDialog::SetItemText(int nId, const char* szText) {
    Write write{"text", nId, szText != nullptr ? szText : ""};
    text[nId] = write.text;
    Record(write);
}

void RecordingDialog::ShowItem(int nId) {
    shown[nId] = true;
    Record(Write{"show", nId, std::string()});
}

void RecordingDialog::EnableItem(int nId, bool bEnable) {
    enabled[nId] = bEnable;
    Record(Write{bEnable ? "enable" : "disable", nId, std::string()});
}

bool RecordingDialog::AppendReport(const char* const* pTexts, size_t nTexts) {
    std::string group;
    bool bWhole = true;
    for (size_t i = 0; i < nTexts; ++i) {
        // A full display takes what still fits of a text and drops the rest.
        std::string text = pTexts[i];
        size_t nRoom = nReportRoom > nReportChars ? nReportRoom - nReportChars : 0;
        if (text.size() > nRoom) {
            text.resize(nRoom);
            bWhole = false;
        }
        nReportChars += text.size();
        report.Append(text.c_str());
        group += text;
    }
    groups.push_back(group);
    return bWhole;
}

bool RecordingDialog::AskSaveFileName(char* szPath, uint32_t cchPath) {
    askedWith.push_back(szPath);
    if (saveAnswer.empty() || saveAnswer.size() >= cchPath) {
        return false;
    }
    memcpy(szPath, saveAnswer.c_str(), saveAnswer.size() + 1);
    return true;
}

void RecordingDialog::ShowMessage(const char* szText, const char* szCaption) {
    messages.push_back(std::string(szCaption) + ": " + szText);
}

void RecordingDialog::ShowProgress(const char* szText) {
    progress.push_back(szText);
}

void RecordingDialog::ReportOutcome(RunOutcome newOutcome, const char* szDetail) {
    outcome = NextOutcome(outcome, newOutcome);
    outcomeDetail = outcome == newOutcome ? szDetail : outcomeDetail;
    outcomes.push_back(newOutcome);
}

void RecordingDialog::ReportPortFailure(unsigned nPort, const char* szDevice,
                                        const char* szReason) {
    portFailures.push_back("COM" + std::to_string(nPort) + " (" + szDevice + "): " + szReason);
}

void RecordingDialog::PollDone(const PollSample&) {
    Record(Write{"poll", 0, std::string()});
}

std::vector<std::string> RecordingDialog::TextsOf(int nId) const {
    std::vector<std::string> texts;
    for (const Write& write : writes) {
        if (write.op == "text" && write.nId == nId) {
            texts.push_back(write.text);
        }
    }
    return texts;
}
