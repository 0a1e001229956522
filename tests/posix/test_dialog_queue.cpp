// The queued dialog surface: a worker's writes reach the main thread in the order they were made,
// the worker waits only for calls that answer, and it wakes the loop only when needed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "common/app_state.h"
#include "platform/posix/dialog_queue.h"

namespace {

// Notes each call it handles; the report has 7 lines.
class Recorder : public DialogSurface {
  public:
    std::vector<std::string> calls;
    void SetItemText(int nId, const char* szText) override {
        calls.push_back(std::to_string(nId) + "=" + szText);
    }
    void ShowItem(int) override {}
    void EnableItem(int, bool) override {}
    bool AppendReport(const char* const*, size_t) override { return true; }
    uint32_t ReportLineCount() override {
        calls.push_back("count");
        return 7;
    }
    uint32_t ReportLine(uint32_t, char*, uint32_t) override { return 0; }
    bool AskSaveFileName(char*, uint32_t) override { return false; }
    void ShowMessage(const char*, const char*) override {}
    void ShowProgress(const char* szText) override { calls.push_back(std::string("p:") + szText); }
    void ReportOutcome(RunOutcome outcome, const char*) override {
        calls.push_back("outcome " + std::to_string(outcome));
    }
    void ShowUnloggedEntry(const char*) override {}
    void ReportSaved(const char*) override {}
    void ReportPortFailure(unsigned, const char*, const char*) override {}
    void PollDone(const PollSample&) override {}
};

int WakeBytes(int fd) {
    char szBytes[16];
    ssize_t n = read(fd, szBytes, sizeof szBytes);
    return n > 0 ? static_cast<int>(n) : 0;
}

TEST(QueuedDialog, WritesKeepTheirOrderAndOnlyAnswersAreWaitedFor) {
    for (bool bDrawsProgress : {true, false}) {
        SCOPED_TRACE(bDrawsProgress ? "progress drawn" : "progress not drawn");
        int fds[2];
        ASSERT_EQ(pipe2(fds, O_NONBLOCK), 0);
        QueuedDialogSurface surface;
        Recorder target;
        surface.Open(&target, fds[1], bDrawsProgress);
        // The worker goes on at once: nothing is handled until the main thread delivers.
        std::thread([&surface] { surface.ShowProgress("record 1 of 7"); }).join();
        EXPECT_EQ(WakeBytes(fds[0]), bDrawsProgress ? 1 : 0);
        std::thread([&surface] {
            char szText[] = "Done";
            surface.SetItemText(kIdStatusText, szText);
            szText[0] = 'X';  // the write holds a copy of its own
            surface.ReportOutcome(kOutcomeDone, "");
        }).join();
        // One wake-up in all, until the loop delivers: the first write that needs one makes it.
        EXPECT_EQ(WakeBytes(fds[0]), bDrawsProgress ? 0 : 1);
        EXPECT_TRUE(target.calls.empty());
        // A call that answers waits for the main thread, after what was queued before it.
        uint32_t nLines = 0;
        std::atomic<bool> bAnswered(false);
        std::thread asker([&] {
            nLines = surface.ReportLineCount();
            bAnswered = true;
        });
        while (!bAnswered) {
            surface.DeliverPending();
            std::this_thread::yield();
        }
        asker.join();
        EXPECT_EQ(nLines, 7u);
        const std::vector<std::string> expected = {
            "p:record 1 of 7", std::to_string(kIdStatusText) + "=Done", "outcome 1", "count"};
        EXPECT_EQ(target.calls, expected);
        surface.Close();
        std::thread([&surface] { surface.SetItemText(kIdStatusText, "late"); }).join();
        surface.DeliverPending();
        EXPECT_EQ(target.calls.size(), expected.size());
        close(fds[0]);
        close(fds[1]);
    }
}

}  // namespace
