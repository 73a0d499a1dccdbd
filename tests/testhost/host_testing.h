#pragma once
// Host arrays for tests, a walk of injected host resize failures, and the
// after-each-test check that the test host has nothing left alive.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "after_each_test.h"
#include "testhost.h"

namespace hosttest {

// A host array handle owned by the test, released at the end of its scope.
class HostArray {
  public:
    // An array with the given dimension sizes and elements (complex elements
    // interleaved); the block is exactly the sizes followed by the elements.
    static HostArray Doubles(const std::vector<int32_t>& sizes, const std::vector<double>& values) {
        const std::size_t sizeBytes = sizes.size() * sizeof(int32_t);
        HostArray array(TestHostNewHandle(static_cast<int32_t>(sizeBytes + values.size() * 8)));
        std::memcpy(*array.handle_, sizes.data(), sizeBytes);
        if (!values.empty())
            std::memcpy(reinterpret_cast<char*>(*array.handle_) + sizeBytes, values.data(),
                        values.size() * sizeof(double));
        return array;
    }
    // A valid empty array: all numDims sizes 0.
    static HostArray Empty(int32_t numDims) {
        return Doubles(std::vector<int32_t>(numDims, 0), {});
    }

    HostArray(HostArray&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    HostArray& operator=(HostArray&&) = delete;
    ~HostArray() {
        if (handle_) TestHostDisposeHandle(handle_);
    }

    HostArrayHandle handle() const { return handle_; }
    // Size of the block in bytes.
    int32_t Bytes() const { return TestHostHandleSize(handle_); }
    std::vector<int32_t> Sizes(int32_t numDims) const {
        std::vector<int32_t> sizes(numDims);
        if (numDims > 0) std::memcpy(sizes.data(), *handle_, numDims * sizeof(int32_t));
        return sizes;
    }
    // Everything after the sizes, read as doubles.
    std::vector<double> Values(int32_t numDims) const {
        const std::size_t offset = numDims * sizeof(int32_t);
        std::vector<double> values((Bytes() - offset) / sizeof(double));
        if (!values.empty())
            std::memcpy(values.data(), reinterpret_cast<const char*>(*handle_) + offset,
                        values.size() * sizeof(double));
        return values;
    }

  private:
    explicit HostArray(HostArrayHandle handle) : handle_(handle) {}
    HostArrayHandle handle_;
};

// Runs `call()` with the k-th host resize failing with `code`, for k = 1, 2, ...
// until a run in which the failure is never reached; `check(k, status)` verifies
// each run that did fail. Returns the number of resizes of the call.
template <class Call, class Check>
int WalkResizeFailures(int32_t code, Call&& call, Check&& check) {
    for (int32_t k = 1; k < 1000; ++k) {
        TestHostFailResize(k, code);
        const auto status = call();
        const bool failed = TestHostInjectedFailureHappened() != 0;
        TestHostFailResize(0, 0);
        if (!failed) return k - 1;
        SCOPED_TRACE(::testing::Message() << "host resize " << k << " failed");
        check(k, status);
    }
    ADD_FAILURE() << "the call never stops resizing";
    return 0;
}

inline const bool hostChecksRegistered = testsupport::RegisterAfterEachTest([]() -> std::string {
    std::string problem;
    const auto report = [&](int32_t count, const char* what) {
        if (count != 0) problem += std::to_string(count) + " " + what + " left in the test host. ";
    };
    report(TestHostLiveHandles(), "handle(s)");
    report(TestHostLiveBlocks(), "pointer block(s)");
    report(TestHostLivePaths(), "path(s)");
    report(TestHostCleanupCount(), "clean-up routine(s)");
    return problem;
});

}  // namespace hosttest
