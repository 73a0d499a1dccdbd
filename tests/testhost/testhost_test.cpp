// The test host's run-time functions and test switches.

#include "testhost.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "host_testing.h"

namespace {

// A handle made through NumericArrayResize, released at the end of the scope.
struct ResizedHandle {
    HostArrayHandle handle = nullptr;
    ~ResizedHandle() {
        if (handle) TestHostDisposeHandle(handle);
    }
};

TEST(TestHost, NumericArrayResizeMakesRoomForSizesAndElements) {
    struct Case {
        int32_t type, dims, count, bytes;
    } const cases[] = {
        {LMRT_TYPE_INT8, 2, 6, 8 + 6},         {LMRT_TYPE_UINT8, 1, 3, 4 + 3},
        {LMRT_TYPE_DOUBLE, 2, 12, 8 + 96},     {LMRT_TYPE_DOUBLE, 1, 0, 4},
        {LMRT_TYPE_COMPLEX128, 4, 5, 16 + 80}, {LMRT_TYPE_COMPLEX128, 1, 1, 4 + 16},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "type " << c.type << ", " << c.dims << " dims");
        ResizedHandle made;
        ASSERT_EQ(NumericArrayResize(c.type, c.dims, &made.handle, c.count), TESTHOST_OK);
        ASSERT_NE(made.handle, nullptr);
        EXPECT_EQ(TestHostHandleSize(made.handle), c.bytes);
    }
}

TEST(TestHost, ResizeKeepsTheHandleAndMovesTheBlock) {
    ResizedHandle made;
    ASSERT_EQ(NumericArrayResize(LMRT_TYPE_DOUBLE, 1, &made.handle, 1), TESTHOST_OK);
    const HostArrayHandle handle = made.handle;
    std::memset(*handle, 0x11, 12);
    const HostArrayBlock* before = *handle;

    ASSERT_EQ(NumericArrayResize(LMRT_TYPE_DOUBLE, 1, &made.handle, 2), TESTHOST_OK);
    EXPECT_EQ(made.handle, handle);
    EXPECT_NE(*handle, before);
    const auto* bytes = reinterpret_cast<const unsigned char*>(*handle);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(bytes[i], 0x11) << i;                 // kept
    for (int i = 12; i < 20; ++i) EXPECT_EQ(bytes[i], TESTHOST_FILL_BYTE) << i;  // added

    ASSERT_EQ(DSSetHandleSize(handle, 6), TESTHOST_OK);
    EXPECT_EQ(TestHostHandleSize(handle), 6);
    EXPECT_EQ(TestHostLiveHandles(), 1);
}

TEST(TestHost, BadResizeArgumentsChangeNothing) {
    ResizedHandle made;
    ASSERT_EQ(NumericArrayResize(LMRT_TYPE_DOUBLE, 1, &made.handle, 2), TESTHOST_OK);
    HostArrayBlock* block = *made.handle;
    HostArrayHandle unknown = &block;  // a master pointer the host did not make
    struct Case {
        const char* what;
        int32_t type, dims;
        HostArrayHandle* variable;
        int32_t count, status;
    } const cases[] = {
        {"type code 9", 9, 1, &made.handle, 1, TESTHOST_BAD_ARGUMENT},
        {"no dimensions", LMRT_TYPE_DOUBLE, 0, &made.handle, 1, TESTHOST_BAD_ARGUMENT},
        {"negative count", LMRT_TYPE_DOUBLE, 1, &made.handle, -1, TESTHOST_BAD_ARGUMENT},
        {"no variable", LMRT_TYPE_DOUBLE, 1, nullptr, 1, TESTHOST_BAD_ARGUMENT},
        {"unknown handle", LMRT_TYPE_DOUBLE, 1, &unknown, 1, TESTHOST_BAD_ARGUMENT},
        {"too many bytes", LMRT_TYPE_COMPLEX128, 1, &made.handle, 0x7fffffff, TESTHOST_MEMORY_FULL},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(NumericArrayResize(c.type, c.dims, c.variable, c.count), c.status);
        EXPECT_EQ(*made.handle, block);
        EXPECT_EQ(TestHostHandleSize(made.handle), 4 + 16);
    }
    EXPECT_EQ(DSSetHandleSize(unknown, 8), TESTHOST_BAD_ARGUMENT);
    EXPECT_EQ(DSSetHandleSize(made.handle, -1), TESTHOST_BAD_ARGUMENT);
    EXPECT_EQ(TestHostLiveHandles(), 1);
}

TEST(TestHost, OnlyTheArmedResizeFailsAndItChangesNothing) {
    ResizedHandle made;
    ASSERT_EQ(NumericArrayResize(LMRT_TYPE_DOUBLE, 1, &made.handle, 1), TESTHOST_OK);
    TestHostFailResize(3, 42);
    const int32_t results[] = {
        NumericArrayResize(LMRT_TYPE_DOUBLE, 1, &made.handle, 2),
        DSSetHandleSize(made.handle, 40),
        NumericArrayResize(LMRT_TYPE_DOUBLE, 1, &made.handle, 7),
        NumericArrayResize(LMRT_TYPE_DOUBLE, 1, &made.handle, 3),
    };
    EXPECT_EQ(results[0], TESTHOST_OK);
    EXPECT_EQ(results[1], TESTHOST_OK);
    EXPECT_EQ(results[2], 42);
    EXPECT_EQ(results[3], TESTHOST_OK);
    EXPECT_EQ(TestHostHandleSize(made.handle), 4 + 24);
    EXPECT_EQ(TestHostInjectedFailureHappened(), 1);

    // A failing first resize makes no handle.
    HostArrayHandle none = nullptr;
    TestHostFailResize(1, 5);
    EXPECT_EQ(NumericArrayResize(LMRT_TYPE_DOUBLE, 2, &none, 4), 5);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(TestHostLiveHandles(), 1);
}

TEST(TestHost, PointerBlocksAreCountedClearedAndInjectable) {
    void* plain = DSNewPtr(24);
    auto* cleared = static_cast<unsigned char*>(DSNewPClr(32));
    ASSERT_NE(plain, nullptr);
    ASSERT_NE(cleared, nullptr);
    EXPECT_EQ(TestHostLiveBlocks(), 2);
    for (int i = 0; i < 32; ++i) EXPECT_EQ(cleared[i], 0) << i;

    TestHostFailAllocation(2);
    void* first = DSNewPtr(8);
    EXPECT_EQ(DSNewPClr(8), nullptr);
    EXPECT_EQ(TestHostInjectedFailureHappened(), 1);
    EXPECT_EQ(DSNewPtr(-1), nullptr);

    EXPECT_EQ(DSDisposePtr(first), TESTHOST_OK);
    EXPECT_EQ(DSDisposePtr(plain), TESTHOST_OK);
    EXPECT_EQ(DSDisposePtr(cleared), TESTHOST_OK);
    EXPECT_EQ(DSDisposePtr(cleared), TESTHOST_BAD_ARGUMENT);  // already released
}

TEST(TestHost, MoveBlockCopiesOverlappingBytes) {
    char text[] = "abcdefgh";
    MoveBlock(text, text + 2, 5);
    EXPECT_STREQ(text, "ababcdeh");
    MoveBlock(text + 2, text, 0);
    EXPECT_STREQ(text, "ababcdeh");
}

TEST(TestHost, OccurWakesAThreadWaitingOnTheOccurrence) {
    const uint32_t occurrence = TestHostNewOccurrence();
    EXPECT_NE(occurrence, 0u);
    EXPECT_NE(TestHostNewOccurrence(), occurrence);
    std::atomic<int32_t> seen{-1};
    std::thread waiter([&] { seen = TestHostWaitOccurrence(occurrence, 0, 20000); });
    EXPECT_EQ(Occur(occurrence), TESTHOST_OK);
    waiter.join();
    EXPECT_EQ(seen.load(), 1);
    EXPECT_EQ(TestHostOccurrenceCount(occurrence), 1);
    // A wait for a firing that does not come ends at its time-out.
    EXPECT_EQ(TestHostWaitOccurrence(occurrence, 1, 10), 1);
}

std::vector<int32_t> cleanedUp;

int32_t LMRT_CALL RecordCleanup(int32_t argument) {
    cleanedUp.push_back(argument);
    return 0;
}

int32_t LMRT_CALL OtherCleanup(int32_t argument) {
    cleanedUp.push_back(-argument);
    return 0;
}

TEST(TestHost, RegisteredCleanupRoutinesRunOnceUnlessUnregistered) {
    cleanedUp.clear();
    EXPECT_EQ(RTSetCleanupProc(RecordCleanup, 3, LMRT_CLEANUP_REGISTER), TESTHOST_OK);
    EXPECT_EQ(RTSetCleanupProc(RecordCleanup, 3, LMRT_CLEANUP_REGISTER), TESTHOST_OK);
    EXPECT_EQ(RTSetCleanupProc(RecordCleanup, 4, LMRT_CLEANUP_REGISTER), TESTHOST_OK);
    EXPECT_EQ(RTSetCleanupProc(OtherCleanup, 5, LMRT_CLEANUP_REGISTER), TESTHOST_OK);
    EXPECT_EQ(RTSetCleanupProc(RecordCleanup, 4, LMRT_CLEANUP_UNREGISTER), TESTHOST_OK);
    EXPECT_EQ(RTSetCleanupProc(RecordCleanup, 9, 7), TESTHOST_BAD_ARGUMENT);
    EXPECT_EQ(TestHostCleanupCount(), 2);

    EXPECT_EQ(TestHostRunCleanups(), 2);
    EXPECT_EQ(cleanedUp, (std::vector<int32_t>{3, -5}));
    EXPECT_EQ(TestHostRunCleanups(), 0);
    EXPECT_EQ(cleanedUp.size(), 2u);
}

TEST(TestHost, PathsNameFilesFoldersAndNothing) {
    const auto folder = std::filesystem::temp_directory_path() / "testhost_paths";
    std::filesystem::create_directories(folder);
    const auto file = folder / "sound.wav";
    std::ofstream(file) << "RIFF";
    struct Case {
        std::string text;
        int32_t exists;
    } const cases[] = {
        {file.string(), TESTHOST_FILE},
        {folder.string(), TESTHOST_FOLDER},
        {(folder / "missing.wav").string(), TESTHOST_NO_FILE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const std::string padded = c.text + "tail";
        HostPath path = nullptr;
        ASSERT_EQ(FTextToPath(padded.c_str(), StrLen(c.text.c_str()), &path), TESTHOST_OK);
        EXPECT_STREQ(TestHostPathText(path), c.text.c_str());
        EXPECT_EQ(FExists(path), c.exists);
        EXPECT_EQ(FDisposePath(path), TESTHOST_OK);
        EXPECT_EQ(FDisposePath(path), TESTHOST_BAD_ARGUMENT);
        EXPECT_EQ(TestHostPathText(path), nullptr);
    }
    std::filesystem::remove_all(folder);

    HostPath path = nullptr;
    EXPECT_EQ(FTextToPath("x", -1, &path), TESTHOST_BAD_ARGUMENT);
    TestHostFailAllocation(1);
    EXPECT_EQ(FTextToPath("x", 1, &path), TESTHOST_MEMORY_FULL);
    EXPECT_EQ(path, nullptr);
}

TEST(TestHost, MinAndStrLen) {
    EXPECT_EQ(Min(3, 5), 3);
    EXPECT_EQ(Min(5, -3), -3);
    EXPECT_EQ(Min(-2147483647 - 1, 0), -2147483647 - 1);
    EXPECT_EQ(StrLen(""), 0);
    EXPECT_EQ(StrLen("abc"), 3);
}

TEST(TestHost, LiveCountsCatchWhatATestLeaves) {
    HostArrayHandle handle = TestHostNewHandle(8);
    EXPECT_EQ(TestHostLiveHandles(), 1);
    EXPECT_EQ(TestHostHandleSize(handle), 8);
    EXPECT_EQ(TestHostDisposeHandle(handle), TESTHOST_OK);
    EXPECT_EQ(TestHostLiveHandles(), 0);
    EXPECT_EQ(TestHostHandleSize(handle), -1);
    EXPECT_EQ(TestHostDisposeHandle(handle), TESTHOST_BAD_ARGUMENT);
}

}  // namespace
