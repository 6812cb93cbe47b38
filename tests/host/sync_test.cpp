// The sync seam: auto-reset events, timed waits and threads behave alike on
// both platforms (this file also runs under Wine against the Win32 seam).
#include "platform/sync.h"
#include <atomic>
#include <gtest/gtest.h>

TEST(SyncSeam, EventIsAutoResetAndWaitTimesOut) {
    PlatEvent event = PlatCreateEvent(nullptr);
    ASSERT_NE(event, nullptr);
    EXPECT_FALSE(PlatWaitEvent(event, 20));
    PlatSetEvent(event);
    EXPECT_TRUE(PlatWaitEvent(event, 0));
    EXPECT_FALSE(PlatWaitEvent(event, 0)) << "one wait consumes the signal";
    PlatSetEvent(event);
    PlatResetEvent(event);
    uint32_t start = PlatTickCount();
    EXPECT_FALSE(PlatWaitEvent(event, 50));
    EXPECT_GE(PlatTickCount() - start, 40u);
    PlatCloseEvent(event);
}

namespace {
std::atomic<int> ran{0};
void Body(void* argument) {
    ran.store(*static_cast<int*>(argument));
}
} // namespace

TEST(SyncSeam, ThreadRunsBodyWithArgument) {
    static int value = 42;
    PlatThread thread = PlatStartThread(Body, &value);
    ASSERT_NE(thread, nullptr);
    for (int i = 0; i < 200 && ran.load() == 0; ++i) {
        PlatSleep(5);
    }
    EXPECT_EQ(ran.load(), 42);
    PlatReleaseThread(thread);
}

namespace {
std::atomic<bool> leave{false};
void WaitToLeave(void*) {
    while (!leave.load()) {
        PlatSleep(5);
    }
}
} // namespace

TEST(SyncSeam, WaitForAThreadEndsWhenItEnds) {
    PlatThread thread = PlatStartThread(WaitToLeave, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_FALSE(PlatWaitThread(thread, 30)) << "still running";
    leave.store(true);
    EXPECT_TRUE(PlatWaitThread(thread, 5000));
    EXPECT_TRUE(PlatWaitThread(thread, 0)) << "an ended thread stays ended";
    PlatReleaseThread(thread);
}
