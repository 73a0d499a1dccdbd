// References shared between threads: exclusion, waiting writers, disposal
// under waiters, and a mixed load that must leave nothing behind.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <random>
#include <thread>
#include <vector>

#include "rhombel.h"
#include "rhombel_testing.h"

namespace {

using namespace std::chrono_literals;

TEST(RhombelThreads, ALockGivesOneThreadAtATimeTheReference) {
    const int32_t ref = SptRefCreate();
    ASSERT_EQ(SptRefInitAndResize(ref, RHOMBEL_TYPE_DOUBLE, 1, 1), RHOMBEL_OK);
    constexpr int kThreads = 4;
    constexpr int kRounds = 500;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([ref] {
            for (int i = 0; i < kRounds; ++i) {
                ASSERT_EQ(SptRefLock(ref), RHOMBEL_OK);
                // Not atomic: only the lock keeps the increments apart.
                auto* value = static_cast<double*>(SptRefGetDataPtr(ref));
                const double seen = *value;
                std::this_thread::yield();
                *value = seen + 1.0;
                ASSERT_EQ(SptRefUnlock(ref), RHOMBEL_OK);
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(*static_cast<const double*>(SptRefGetDataPtr(ref)), kThreads * kRounds);
    SptRefDispose(ref);
}

TEST(RhombelThreads, WritersWaitForTheHolder) {
    const int32_t ref = SptRefCreate();
    ASSERT_EQ(SptRefLock(ref), RHOMBEL_OK);
    std::atomic<bool> resized{false};
    std::thread writer([&] {
        EXPECT_EQ(SptRefInitAndResize(ref, RHOMBEL_TYPE_DOUBLE, 8, 8), RHOMBEL_OK);
        resized = true;
    });
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(resized.load());
    int32_t rows = -1;
    SptRefGetDim(ref, &rows, nullptr);  // readers do not wait
    EXPECT_EQ(rows, 0);
    SptRefUnlock(ref);
    writer.join();
    EXPECT_TRUE(resized.load());
    SptRefDispose(ref);
}

TEST(RhombelThreads, DisposalWakesThreadsWaitingForTheLock) {
    const int32_t ref = SptRefCreate();
    ASSERT_EQ(SptRefLock(ref), RHOMBEL_OK);
    std::atomic<int32_t> lockStatus{-1};
    std::thread waiter([&] { lockStatus = SptRefLock(ref); });
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(lockStatus.load(), -1);
    EXPECT_EQ(SptRefDispose(ref), RHOMBEL_OK);
    waiter.join();
    EXPECT_EQ(lockStatus.load(), RHOMBEL_NOT_A_REFERENCE);
}

TEST(RhombelThreads, MixedUseFromManyThreadsLeavesNothingBehind) {
    // A few shared references that every thread locks in pairs (always in the
    // same order), copies between and resizes, while it also makes and disposes
    // of references of its own.
    constexpr int kShared = 3;
    int32_t shared[kShared];
    for (auto& ref : shared) ref = SptRefCreate();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&shared, t] {
            std::mt19937 rng(t);
            for (int i = 0; i < 300; ++i) {
                const int first = rng() % kShared;
                const int second = (first + 1 + rng() % (kShared - 1)) % kShared;
                const int32_t a = shared[std::min(first, second)];
                const int32_t b = shared[std::max(first, second)];
                SptRefLock(a);
                SptRefLock(b);
                SptRefInitAndResize(a, RHOMBEL_TYPE_DOUBLE, 1 + rng() % 4, 1 + rng() % 4);
                int32_t target = b;
                SptRefReplicate(a, &target);
                SptRefUnlock(b);
                SptRefUnlock(a);

                int32_t own = SptRefCreate();
                SptRefReplicate(a, &own);
                int32_t copy = 0;
                SptRefReplicate(own, &copy);
                SptRefDispose(own);
                SptRefDispose(copy);
            }
        });
    }
    for (auto& thread : threads) thread.join();
    for (const int32_t ref : shared) {
        int32_t rows = 0, columns = 0;
        SptRefGetDim(ref, &rows, &columns);
        EXPECT_GE(rows, 1);
        EXPECT_GE(columns, 1);
        SptRefDispose(ref);
    }
}

}  // namespace
