// The host's test clock: time passes only while every thread that uses it
// waits, and then at once.
#include "platform/sync.h"
#include "test_thread.h"
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

TEST(TestClock, AnHourPassesAtOnceButNotWhileAThreadWorks) {
    uint32_t start = PlatTickCount();
    PlatSleep(3600u * 1000u); // would time the test out on a real clock
    EXPECT_EQ(PlatTickCount() - start, 3600u * 1000u);

    // A thread of the seam that works (here: sleeps on the real clock, which
    // the test clock does not see) holds the time still until it waits.
    std::atomic<uint32_t> seenByWorker{0};
    start = PlatTickCount();
    auto realStart = std::chrono::steady_clock::now();
    {
        TestThread worker([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            seenByWorker.store(PlatTickCount() - start);
            PlatSleep(10);
        });
        PlatSleep(1000);
        EXPECT_EQ(seenByWorker.load(), 0u) << "no time passed while the worker worked";
    }
    EXPECT_GE(std::chrono::steady_clock::now() - realStart, std::chrono::milliseconds(100));
    EXPECT_EQ(PlatTickCount() - start, 1000u);
}

TEST(TestClock, ASignalEndsAWaitWithoutMovingTheClock) {
    PlatEvent event = PlatCreateEvent(nullptr);
    uint32_t start = PlatTickCount();
    {
        TestThread setter([event] { PlatSetEvent(event); });
        EXPECT_TRUE(PlatWaitEvent(event, 5000));
    }
    EXPECT_EQ(PlatTickCount() - start, 0u);
    PlatCloseEvent(event);
}
