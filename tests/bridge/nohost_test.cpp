// Kessling in a process without any host run-time: the reference exports need
// no host function, and the first export that does ends the process with the
// fatal message.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "binding_testing.h"
#include "kessling.h"
#include "rhombel_testing.h"

namespace {

// A host array block made by hand, as no host is there to make one.
struct HandMadeMatrix {
    HandMadeMatrix(int32_t rows, int32_t columns, const std::vector<double>& values)
        : storage(1 + values.size()) {
        const int32_t sizes[2] = {rows, columns};
        std::memcpy(storage.data(), sizes, sizeof sizes);
        if (!values.empty())
            std::memcpy(storage.data() + 1, values.data(), values.size() * sizeof(double));
        block = reinterpret_cast<HostArrayBlock*>(storage.data());
    }
    HostArrayHandle handle() { return &block; }
    std::vector<double> storage;  // 8 bytes of sizes, then the elements
    HostArrayBlock* block;
};

TEST(NoHost, ReferenceExportsWorkWithoutTheRuntime) {
    int32_t ref = 0;
    ASSERT_EQ(SptCreateRefH(&ref), 0);
    HandMadeMatrix matrix(1, 2, {1.0, 2.0, 3.0, 4.0});
    HandMadeMatrix none(0, 0, {});
    // A fresh reference has nothing to read: refused before any host call.
    EXPECT_EQ(SptGetDataH(ref, 0, none.handle(), none.handle()), -42643);
    const SptInfoCluster info{0, 2, SPT_LAYOUT_COMPLEX, 1, 2, 0, -1};
    EXPECT_EQ(SptSetDataH(ref, 1, none.handle(), matrix.handle(), &info), 0);
    int32_t rows = 0, columns = 0;
    SptParamCluster params{};
    EXPECT_EQ(SptGetSizeH(ref, &rows, &columns), 0);
    EXPECT_EQ(rows * 10 + columns, 12);
    EXPECT_EQ(SptGetParamH(ref, 1, &rows, &columns, &params), 0);
    EXPECT_EQ(params.firstFrequency, -1);
    int32_t copy = 0;
    EXPECT_EQ(SptCopyRefH(ref, &copy), 0);
    EXPECT_EQ(SptDisposeRefH(copy), 0);
    EXPECT_EQ(SptDisposeRefH(ref), 0);
}

TEST(NoHostDeathTest, TheFirstExportThatNeedsTheHostEndsTheProcess) {
    bindtest::SendFatalMessagesToStderr();
    int32_t ref = 0;
    ASSERT_EQ(SptCreateRefH(&ref), 0);
    HandMadeMatrix matrix(1, 1, {5.0});
    HandMadeMatrix none(0, 0, {});
    const SptInfoCluster info{0, 1, SPT_LAYOUT_REAL, 1, 2, 0, -1};
    ASSERT_EQ(SptSetDataH(ref, 0, matrix.handle(), none.handle(), &info), 0);
    EXPECT_EXIT(SptGetDataH(ref, 0, matrix.handle(), none.handle()), ::testing::ExitedWithCode(1),
                ::testing::StrEq("LUMAVISE.LIB was not called from a Lumavise process.\n"));
    SptDisposeRefH(ref);
}

}  // namespace
