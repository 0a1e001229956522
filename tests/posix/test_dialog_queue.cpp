// The queued dialog surface: a worker's writes reach the main thread in the order they were made,
// the worker waits only for calls that answer, and it wakes the loop only when needed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "common/app_state.h"
#include "platform/posix/dialog_queue.h"
#include "support/virtual_platform.h"

namespace {

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
        RecordingDialog target;
        // The progress texts and outcomes handled when the status text was.
        std::pair<size_t, size_t> seenAtText;
        target.onWrite = [&](const RecordingDialog::Write&) {
            seenAtText = {target.progress.size(), target.outcomes.size()};
        };
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
        EXPECT_TRUE(target.progress.empty() && target.writes.empty());
        // A call that answers waits for the main thread, after what was queued before it.
        std::atomic<uint32_t> nLines(UINT32_MAX);
        std::thread asker([&] { nLines = surface.ReportLineCount(); });
        while (nLines == UINT32_MAX) {
            surface.DeliverPending();
            std::this_thread::yield();
        }
        asker.join();
        EXPECT_EQ(nLines.load(), 1u);  // the empty report's one line
        EXPECT_EQ(target.TextsOf(kIdStatusText), std::vector<std::string>({"Done"}));
        EXPECT_EQ(seenAtText, std::make_pair(size_t{1}, size_t{0}));
        EXPECT_EQ(target.outcomes, std::vector<RunOutcome>({kOutcomeDone}));
        surface.Close();
        close(fds[0]), close(fds[1]);
    }
}

}  // namespace
