// The scratch allocator: blocks released by one call serve the next, and must
// never be handed to two owners, come back smaller than asked, or get past the
// fault injector.

#include "scratch.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

namespace {

TEST(Scratch, ThreadsNeverShareABlockAndEveryByteIsTheirs) {
    // Sizes on both sides of the kept minimum and of each other's doubles.
    const std::size_t sizes[] = {100, 40 << 10, 64 << 10, 100 << 10, 1 << 20, 3 << 20};
    // Each thread counts what went wrong; the test checks the counts.
    std::vector<int> faults(4, 0);
    const auto work = [&](int thread) {
        struct Held {
            unsigned char* p;
            std::size_t bytes;
            unsigned char mark;
        };
        std::vector<Held> held;
        for (int i = 0; i < 300; ++i) {
            const std::size_t bytes = sizes[(i * 7 + thread) % 6];
            auto* p = static_cast<unsigned char*>(scratch::Allocate(bytes));
            if (!p) {
                ++faults[thread];
                continue;
            }
            const auto mark = static_cast<unsigned char>(thread * 64 + i % 64);
            std::memset(p, mark, bytes);
            held.push_back({p, bytes, mark});
            if (held.size() > 3 || i % 5 == 0) {
                const Held h = held.front();
                held.erase(held.begin());
                for (std::size_t k = 0; k < h.bytes; k += 4093) faults[thread] += h.p[k] != h.mark;
                faults[thread] += h.p[h.bytes - 1] != h.mark;
                scratch::Release(h.p);
            }
        }
        for (const Held& h : held) scratch::Release(h.p);
    };
    const std::int64_t before = scratch::LiveBlocks();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) threads.emplace_back(work, t);
    for (auto& t : threads) t.join();
    EXPECT_EQ(faults, std::vector<int>(4, 0));
    EXPECT_EQ(scratch::LiveBlocks(), before);
}

TEST(Scratch, TheInjectedFailureComesBeforeAKeptBlock) {
    const std::size_t bytes = 2 << 20;
    scratch::Release(scratch::Allocate(bytes));  // now kept, where blocks are kept
    scratch::FailAllocation(1);
    EXPECT_EQ(scratch::Allocate(bytes), nullptr);
    EXPECT_TRUE(scratch::AllocationFailed());
    scratch::ClearAllocationFailure();
    void* again = scratch::Allocate(bytes);
    ASSERT_NE(again, nullptr);
    std::memset(again, 1, bytes);
    scratch::Release(again);
}

}  // namespace
