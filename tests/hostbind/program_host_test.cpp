// A program that is a host itself: it exports the run-time's version name (or,
// built with EXPORT_HANDLE_FUNCTION, its handle function) and two host
// functions of its own, while the test host run-time is loaded as well. The
// binding must pick the program unless the host named the run-time module.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "binding_testing.h"
#include "host_testing.h"

#if defined(_WIN32)
#define PROGRAM_EXPORT __declspec(dllexport)
#else
#define PROGRAM_EXPORT __attribute__((visibility("default")))
#endif

namespace {

constexpr int32_t kProgramResizeResult = 77;

int programMinCalls = 0;
struct {
    int32_t type = 0, dims = 0, count = 0;
    HostArrayHandle* variable = nullptr;
} programResize;

}  // namespace

extern "C" {

#if defined(EXPORT_HANDLE_FUNCTION)
PROGRAM_EXPORT void* AZNewHandle(int32_t) { return nullptr; }
#elif defined(_WIN32)
PROGRAM_EXPORT extern const uint32_t gLMRTVersion = 0x02000000;
#else
const uint32_t gLMRTVersion = 0x02000000;  // exported as testhost.h declares it
#endif

PROGRAM_EXPORT int32_t LMRT_CALL Min(int32_t a, int32_t b) {
    ++programMinCalls;
    return a < b ? a : b;
}

PROGRAM_EXPORT int32_t LMRT_CALL NumericArrayResize(int32_t typeCode, int32_t numDims,
                                                    HostArrayHandle* handle, int32_t total) {
    programResize = {typeCode, numDims, total, handle};
    return kProgramResizeResult;
}

}  // extern "C"

namespace {

TEST(ProgramHost, TheProgramServesEvenWithTheRuntimeLoaded) {
    bindtest::ForgetBinding();
    ASSERT_NE(bindtest::LoadedRuntime(), nullptr);
    programMinCalls = 0;
    EXPECT_EQ(hostbind::Min(4, -1), -1);
    EXPECT_EQ(programMinCalls, 1);
    EXPECT_EQ(hostbind::Module(), bindtest::MainProgram());

    HostArrayHandle handle = nullptr;
    EXPECT_EQ(hostbind::NumericArrayResize(LMRT_TYPE_COMPLEX128, 2, &handle, 12),
              kProgramResizeResult);
    EXPECT_EQ(programResize.type, LMRT_TYPE_COMPLEX128);
    EXPECT_EQ(programResize.dims, 2);
    EXPECT_EQ(programResize.count, 12);
    EXPECT_EQ(programResize.variable, &handle);
    EXPECT_EQ(handle, nullptr);
}

TEST(ProgramHost, AfterSetModuleTheProgramIsNotConsidered) {
    bindtest::ForgetBinding();
    const LMRTModule runtime = bindtest::LoadedRuntime();
    EXPECT_EQ(hostbind::SetModule(runtime), runtime);
    programMinCalls = 0;
    EXPECT_EQ(hostbind::Min(4, -1), -1);
    HostArrayHandle handle = nullptr;
    EXPECT_EQ(hostbind::NumericArrayResize(LMRT_TYPE_DOUBLE, 1, &handle, 2), TESTHOST_OK);
    EXPECT_EQ(programMinCalls, 0);
    EXPECT_EQ(TestHostHandleSize(handle), 4 + 16);
    EXPECT_EQ(hostbind::Module(), runtime);
    TestHostDisposeHandle(handle);
}

TEST(ProgramHostDeathTest, AFunctionTheHostLacksEndsTheProcessNamingIt) {
    // The run-time library has these functions, but the host is the program.
    bindtest::SendFatalMessagesToStderr();
    bindtest::ForgetBinding();
    EXPECT_EXIT(hostbind::Occur(1), ::testing::ExitedWithCode(1),
                ::testing::StrEq("LUMAVISE.LIB could not locate \"Occur\".\n"));
    EXPECT_EXIT(hostbind::MoveBlock("a", nullptr, 0), ::testing::ExitedWithCode(1),
                ::testing::StrEq("LUMAVISE.LIB could not locate \"MoveBlock\".\n"));
}

}  // namespace
