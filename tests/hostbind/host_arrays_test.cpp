// Sizing, emptying and reading host arrays through the host's memory manager.

#include "host_arrays.h"

#include <gtest/gtest.h>

#include <vector>

#include "host_status.h"
#include "host_testing.h"

namespace {

using hosttest::HostArray;

TEST(HostArrays, ResizingWritesTheSizesRightBeforeTheElements) {
    struct Case {
        int32_t type;
        std::vector<int32_t> sizes;
        int32_t bytes;
    } const cases[] = {
        {LMRT_TYPE_DOUBLE, {3, 4}, 8 + 96},     {LMRT_TYPE_DOUBLE, {5}, 4 + 40},
        {LMRT_TYPE_COMPLEX128, {2, 3}, 8 + 96}, {LMRT_TYPE_COMPLEX128, {2, 1, 3, 2}, 16 + 192},
        {LMRT_TYPE_UINT8, {3, 5}, 8 + 15},      {LMRT_TYPE_INT8, {7}, 4 + 7},
        {LMRT_TYPE_DOUBLE, {0, 4}, 8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << "type " << c.type << ", " << c.sizes.size() << " dims");
        const auto dims = static_cast<int32_t>(c.sizes.size());
        HostArray array = HostArray::Empty(dims);
        HostArrayHandle handle = array.handle();
        int32_t status = 0;
        switch (dims) {
            case 1:
                status = hostbind::ResizeArray(&handle, c.type, {c.sizes[0]});
                break;
            case 2:
                status = hostbind::ResizeArray(&handle, c.type, {c.sizes[0], c.sizes[1]});
                break;
            default:
                status = hostbind::ResizeArray(&handle, c.type,
                                               {c.sizes[0], c.sizes[1], c.sizes[2], c.sizes[3]});
        }
        ASSERT_EQ(status, 0);
        EXPECT_EQ(handle, array.handle());
        EXPECT_EQ(array.Bytes(), c.bytes);
        EXPECT_EQ(array.Sizes(dims), c.sizes);
        EXPECT_EQ(hostbind::Elements(handle, dims) - reinterpret_cast<std::byte*>(*handle),
                  4 * dims);
    }
}

TEST(HostArrays, ResizingCreatesAnArrayForAnEmptyHandleVariable) {
    HostArrayHandle handle = nullptr;
    ASSERT_EQ(hostbind::ResizeArray(&handle, LMRT_TYPE_DOUBLE, {3, 4}), 0);
    EXPECT_EQ(TestHostHandleSize(handle), 104);
    int32_t sizes[2] = {};
    EXPECT_TRUE(hostbind::ReadSizes(handle, 2, sizes));
    EXPECT_EQ(sizes[0], 3);
    EXPECT_EQ(sizes[1], 4);
    TestHostDisposeHandle(handle);
}

TEST(HostArrays, FailedResizesReportTheHostCodeAndChangeNothing) {
    HostArray array = HostArray::Doubles({2}, {1.5, 2.5});
    HostArrayHandle handle = array.handle();
    TestHostFailResize(1, 2);
    EXPECT_EQ(hostbind::ResizeArray(&handle, LMRT_TYPE_DOUBLE, {9}), 2);
    EXPECT_EQ(hostbind::MapStatus(2), -42602);
    EXPECT_EQ(array.Sizes(1), std::vector<int32_t>{2});
    EXPECT_EQ(array.Values(1), (std::vector<double>{1.5, 2.5}));

    // Counts the host cannot represent are refused before the host is asked.
    TestHostFailResize(1, 99);
    EXPECT_EQ(hostbind::ResizeArray(&handle, LMRT_TYPE_DOUBLE, {65536, 65536}),
              hostbind::kHostMemoryFull);
    EXPECT_EQ(hostbind::ResizeArray(&handle, LMRT_TYPE_DOUBLE, {-1, 4}), hostbind::kHostMemoryFull);
    EXPECT_EQ(TestHostInjectedFailureHappened(), 0);
    TestHostFailResize(0, 0);
    EXPECT_EQ(array.Bytes(), 4 + 16);
}

TEST(HostArrays, EmptyingSetsEverySizeToZeroEvenWhenTheResizeFails) {
    for (const bool failing : {false, true}) {
        for (int32_t dims = 1; dims <= 4; ++dims) {
            SCOPED_TRACE(::testing::Message() << dims << " dims, resize failing: " << failing);
            std::vector<int32_t> sizes(dims, 3);
            int32_t count = 1;
            for (const int32_t size : sizes) count *= size;
            HostArray array = HostArray::Doubles(sizes, std::vector<double>(2 * count, 1.0));
            HostArrayHandle handle = array.handle();
            if (failing) TestHostFailResize(1, 2);
            hostbind::EmptyArray(&handle, LMRT_TYPE_COMPLEX128, dims);
            TestHostFailResize(0, 0);
            EXPECT_EQ(array.Sizes(dims), std::vector<int32_t>(dims, 0));
            if (!failing) {
                EXPECT_EQ(array.Bytes(), 4 * dims);
            }
        }
    }
}

TEST(HostArrays, AMissingArrayReadsAsEmpty) {
    int32_t sizes[2] = {7, 7};
    EXPECT_FALSE(hostbind::ReadSizes(nullptr, 2, sizes));
    EXPECT_EQ(sizes[0], 0);
    EXPECT_EQ(sizes[1], 0);
    HostArrayBlock* noBlock = nullptr;
    sizes[0] = 7;
    EXPECT_FALSE(hostbind::ReadSizes(&noBlock, 2, sizes));
    EXPECT_EQ(sizes[0], 0);
    EXPECT_EQ(hostbind::Elements(&noBlock, 2), nullptr);

    // Emptying an array the host cannot make touches nothing.
    HostArrayHandle none = nullptr;
    TestHostFailResize(1, 2);
    hostbind::EmptyArray(&none, LMRT_TYPE_DOUBLE, 2);
    TestHostFailResize(0, 0);
    EXPECT_EQ(none, nullptr);
}

}  // namespace
