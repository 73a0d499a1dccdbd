// One reference used from two threads through the exports: every read sees one
// whole write, and parameter reads never meet a released record.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "host_testing.h"
#include "kessling.h"
#include "rhombel.h"
#include "rhombel_testing.h"

namespace {

using hosttest::HostArray;

TEST(ReferenceThreads, ReadsSeeWholeWritesWhileAnotherThreadWrites) {
    int32_t ref = 0;
    ASSERT_EQ(SptCreateRefH(&ref), 0);
    std::atomic<bool> writing{true};
    std::atomic<int> torn{0};

    std::thread writer([&] {
        HostArray empty = HostArray::Empty(2);
        for (int i = 0; i < 300; ++i) {
            // Shapes 1 x 6 and 3 x 2, every value equal to the write's number, which
            // is also recorded as the signal length.
            const int32_t rows = i % 2 ? 1 : 3;
            HostArray in = HostArray::Doubles({rows, 6 / rows}, std::vector<double>(6, i));
            const SptInfoCluster info{0, i, SPT_LAYOUT_REAL, 1, 6 / rows, 0, -1};
            EXPECT_EQ(SptSetDataH(ref, 0, in.handle(), empty.handle(), &info), 0);
        }
        writing = false;
    });
    std::thread reader([&] {
        HostArray realOut = HostArray::Empty(2);
        HostArray complexOut = HostArray::Empty(2);
        while (writing) {
            if (SptGetDataH(ref, 0, realOut.handle(), complexOut.handle()) != 0) continue;
            const auto sizes = realOut.Sizes(2);
            const auto values = realOut.Values(2);
            if (sizes[0] * sizes[1] != static_cast<int32_t>(values.size())) ++torn;
            for (const double v : values)
                if (v != values.front()) ++torn;
            int32_t rows = 0, columns = 0;
            SptParamCluster params{};
            if (SptGetParamH(ref, 0, &rows, &columns, &params) == 0 && rows * columns != 0 &&
                params.frequencyBins != columns)
                ++torn;
        }
    });
    writer.join();
    reader.join();
    EXPECT_EQ(torn.load(), 0);
    EXPECT_EQ(SptDisposeRefH(ref), 0);
}

}  // namespace
