// Binding in a plain program that has the host run-time loaded: the run-time
// module serves every host function, each call reaching it unchanged.

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "binding_testing.h"
#include "host_status.h"
#include "host_testing.h"

namespace {

TEST(Binding, FindsTheRuntimeModuleLoadedIntoTheProcess) {
    bindtest::ForgetBinding();
    ASSERT_NE(bindtest::LoadedRuntime(), nullptr);
    EXPECT_EQ(hostbind::Min(7, -3), -3);
    EXPECT_EQ(hostbind::Module(), bindtest::LoadedRuntime());
}

TEST(Binding, EntriesStayUnresolvedUntilTheirFirstCall) {
    bindtest::ForgetBinding();
    EXPECT_EQ(hostbind::kesslingEntries[hostbind::kMin].entryPoint.load(), nullptr);
    EXPECT_EQ(hostbind::Module(), nullptr);
    EXPECT_EQ(hostbind::Min(1, 2), 1);
    EXPECT_NE(hostbind::kesslingEntries[hostbind::kMin].entryPoint.load(), nullptr);
    EXPECT_EQ(hostbind::kesslingEntries[hostbind::kNumericArrayResize].entryPoint.load(), nullptr);
    for (const auto& entry : hostbind::audioletEntries)
        EXPECT_EQ(entry.entryPoint.load(), nullptr) << entry.name;
}

TEST(Binding, NumericArrayResizeReachesTheHost) {
    bindtest::ForgetBinding();
    HostArrayHandle handle = nullptr;
    ASSERT_EQ(hostbind::NumericArrayResize(LMRT_TYPE_COMPLEX128, 3, &handle, 5), TESTHOST_OK);
    EXPECT_EQ(TestHostHandleSize(handle), 12 + 80);
    EXPECT_EQ(hostbind::NumericArrayResize(LMRT_TYPE_DOUBLE, 0, &handle, 5), TESTHOST_BAD_ARGUMENT);
    TestHostDisposeHandle(handle);
}

std::vector<int32_t> cleanedUp;

int32_t LMRT_CALL RecordCleanup(int32_t argument) {
    cleanedUp.push_back(argument);
    return 0;
}

TEST(Binding, EveryAudioletFunctionReachesTheHostWithItsArgumentsAndResult) {
    bindtest::ForgetBinding();

    void* block = hostbind::DSNewPtr(24);
    auto* cleared = static_cast<unsigned char*>(hostbind::DSNewPClr(16));
    ASSERT_NE(block, nullptr);
    ASSERT_NE(cleared, nullptr);
    EXPECT_EQ(TestHostLiveBlocks(), 2);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(cleared[i], 0);
    hostbind::MoveBlock("sound", block, 6);
    EXPECT_STREQ(static_cast<const char*>(block), "sound");
    EXPECT_EQ(hostbind::DSDisposePtr(block), TESTHOST_OK);
    EXPECT_EQ(hostbind::DSDisposePtr(cleared), TESTHOST_OK);
    EXPECT_EQ(hostbind::DSDisposePtr(cleared), TESTHOST_BAD_ARGUMENT);

    const char text[] = "missing-file.wav";
    EXPECT_EQ(hostbind::StrLen(text), 16);
    HostPath path = nullptr;
    ASSERT_EQ(hostbind::FTextToPath(text, 7, &path), TESTHOST_OK);
    EXPECT_STREQ(TestHostPathText(path), "missing");
    EXPECT_EQ(hostbind::FExists(path), TESTHOST_NO_FILE);
    EXPECT_EQ(hostbind::FDisposePath(path), TESTHOST_OK);

    HostArrayHandle handle = TestHostNewHandle(4);
    EXPECT_EQ(hostbind::DSSetHandleSize(handle, 44), TESTHOST_OK);
    EXPECT_EQ(TestHostHandleSize(handle), 44);
    TestHostDisposeHandle(handle);

    const uint32_t occurrence = TestHostNewOccurrence();
    EXPECT_EQ(hostbind::Occur(occurrence), TESTHOST_OK);
    EXPECT_EQ(TestHostOccurrenceCount(occurrence), 1);

    cleanedUp.clear();
    EXPECT_EQ(hostbind::RTSetCleanupProc(RecordCleanup, 6, LMRT_CLEANUP_REGISTER), TESTHOST_OK);
    EXPECT_EQ(hostbind::RTSetCleanupProc(RecordCleanup, 9, LMRT_CLEANUP_REGISTER), TESTHOST_OK);
    EXPECT_EQ(hostbind::RTSetCleanupProc(RecordCleanup, 9, LMRT_CLEANUP_UNREGISTER), TESTHOST_OK);
    EXPECT_EQ(TestHostRunCleanups(), 1);
    EXPECT_EQ(cleanedUp, std::vector<int32_t>{6});

    for (const auto& entry : hostbind::audioletEntries)
        EXPECT_NE(entry.entryPoint.load(), nullptr) << entry.name;
}

TEST(Binding, RacingFirstCallsAllReachTheHost) {
    bindtest::ForgetBinding();
    std::atomic<bool> go{false};
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            while (!go) std::this_thread::yield();
            for (int i = 0; i < 100; ++i)
                if (hostbind::StrLen("abc") != 3 || hostbind::Min(i, 50) != std::min(i, 50))
                    ++wrong;
        });
    }
    go = true;
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(hostbind::Module(), bindtest::LoadedRuntime());
}

TEST(StatusMapping, PositiveCodesMapBelowTheBaseAndOthersPassThrough) {
    struct Case {
        const char* what;
        int32_t internal, returned;
    } const cases[] = {
        {"success", 0, 0},
        {"not a valid reference", 42, -42642},
        {"fitting failure of the core", -20003, -20003},
        {"exhausted memory", -20001, -20001},
        {"positive core status", 17, -42617},
        {"host memory error", 2, -42602},
        {"bad layout of the core", -1, -1},
        {"largest host code", 2147483647, -2147483647 - 1},
    };
    for (const auto& c : cases) EXPECT_EQ(hostbind::MapStatus(c.internal), c.returned) << c.what;
}

}  // namespace
