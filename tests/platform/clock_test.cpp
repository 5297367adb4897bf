#include <gtest/gtest.h>

#include <vector>

#include "platform/clock.h"

namespace {

using platform::VirtualClock;

TEST(VirtualTime, MovesOnlyThroughSleepsAndSteps) {
    VirtualClock clock(500);
    EXPECT_EQ(clock.now(), 500u);
    EXPECT_EQ(clock.now(), 500u);
    clock.sleep(30);
    clock.advance(20);
    EXPECT_EQ(clock.now(), 550u);
}

TEST(VirtualTime, WrapsLikeThe32BitTimer) {
    VirtualClock clock(0xFFFFFFF0u);
    uint32_t before = clock.now();
    clock.advance(0x20);
    EXPECT_EQ(clock.now(), 0x10u);
    EXPECT_EQ(clock.now() - before, 0x20u);  // differences stay right across the wrap
}

TEST(VirtualTime, PeriodicCallbacksFireAtExactInstants) {
    VirtualClock clock(1000);
    std::vector<uint32_t> instants;
    clock.addPeriodic(100, [&] { instants.push_back(clock.now()); });
    clock.advance(99);
    EXPECT_TRUE(instants.empty());
    clock.advance(1);
    clock.advance(250);  // one step across two instants
    clock.sleep(50);
    EXPECT_EQ(instants, (std::vector<uint32_t>{1100, 1200, 1300, 1400}));
    EXPECT_EQ(clock.now(), 1400u);
}

TEST(VirtualTime, CallbacksInterleaveInInstantOrder) {
    VirtualClock clock(0);
    std::vector<int> order;
    clock.addPeriodic(30, [&] { order.push_back(30); });
    clock.addPeriodic(50, [&] { order.push_back(50); });
    clock.advance(100);
    // 30, 50, 60, 90, 100: ties never happen here; order follows time.
    EXPECT_EQ(order, (std::vector<int>{30, 50, 30, 30, 50}));
}

TEST(VirtualTime, RemovedCallbackStopsEvenFromInsideItself) {
    VirtualClock clock(0);
    int calls = 0;
    int id = 0;
    id = clock.addPeriodic(10, [&] {
        if (++calls == 3) clock.removePeriodic(id);
    });
    clock.advance(100);
    EXPECT_EQ(calls, 3);
}

TEST(VirtualTime, RunsRepeatExactly) {
    auto run = [] {
        VirtualClock clock(42);
        std::vector<uint32_t> trace;
        clock.addPeriodic(100, [&] { trace.push_back(clock.now()); });
        for (int i = 0; i < 40; ++i) {
            clock.sleep(1 + (i * 7) % 31);
            trace.push_back(clock.now());
        }
        return trace;
    };
    EXPECT_EQ(run(), run());
}

TEST(VirtualTime, CalendarFollowsVirtualMilliseconds) {
    VirtualClock clock(0);
    platform::DateTime start = clock.localTime();
    EXPECT_EQ(start.year, 2000);
    EXPECT_EQ(start.month, 1);
    EXPECT_EQ(start.day, 1);
    clock.advance((31u * 86400 + 3600 + 61) * 1000);
    platform::DateTime later = clock.localTime();
    EXPECT_EQ(later.month, 2);
    EXPECT_EQ(later.day, 1);
    EXPECT_EQ(later.hour, 1);
    EXPECT_EQ(later.minute, 1);
    EXPECT_EQ(later.second, 1);
}

TEST(VirtualTime, ProcessClockCanBeSwitched) {
    VirtualClock clock(777);
    platform::setClock(&clock);
    EXPECT_TRUE(platform::clock().isVirtual());
    EXPECT_EQ(platform::clock().now(), 777u);
    platform::setClock(nullptr);
    EXPECT_FALSE(platform::clock().isVirtual());
}

}  // namespace
