#pragma once
// Bridge references and window clusters for the bridge's tests.

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "host_testing.h"
#include "kessling.h"
#include "rhombel.h"

namespace bridgetest {

// Statuses of the bridge as the host sees them.
inline constexpr int32_t kMissingArgument = -42601;  // also an empty or too short input
inline constexpr int32_t kHostMemoryFull = -42602;
inline constexpr int32_t kBinsBelowStep = -42614;
inline constexpr int32_t kBadWindow = -42619;
inline constexpr int32_t kReferenceNotMade = -42641;
inline constexpr int32_t kInvalidReference = -42642;
inline constexpr int32_t kUnsupportedData = -42643;
inline constexpr int32_t kNoMemory = -20001;

// Deterministic values in [-1, 1).
inline std::vector<double> Samples(std::size_t count, uint32_t seed) {
    std::vector<double> x(count);
    for (double& v : x) {
        seed = seed * 1664525u + 1013904223u;
        v = static_cast<double>(seed >> 8) / static_cast<double>(1u << 23) - 1.0;
    }
    return x;
}

// A bridge reference, ended at the end of the scope however the test left it.
struct BridgeRef {
    int32_t number = 0;
    BridgeRef() { EXPECT_EQ(SptCreateRefH(&number), 0); }
    BridgeRef(const BridgeRef&) = delete;
    BridgeRef& operator=(const BridgeRef&) = delete;
    ~BridgeRef() {
        if (SptRefIsValid(number)) SptRefDispose(number);
    }
};

// A window cluster over a host array of the window's samples.
struct HostWindow {
    hosttest::HostArray samples;
    SptWindowCluster cluster;
    HostWindow(const std::vector<double>& window, int32_t timeStep, int32_t bins)
        : samples(hosttest::HostArray::Doubles({static_cast<int32_t>(window.size())}, window)),
          cluster{samples.handle(), timeStep, bins} {}
    const SptWindowCluster* get() const { return &cluster; }
};

// Rows, columns and elements (as doubles) stored in a reference.
struct Stored {
    int32_t rows = -1, columns = -1;
    std::vector<double> values;
};

inline Stored ReadStored(int32_t ref) {
    Stored s;
    SptRefGetDim(ref, &s.rows, &s.columns);
    const std::size_t perElement = SptRefGetDataType(ref) == RHOMBEL_TYPE_COMPLEX128 ? 2 : 1;
    s.values.resize(static_cast<std::size_t>(s.rows) * s.columns * perElement);
    if (!s.values.empty())
        std::memcpy(s.values.data(), SptRefGetDataPtr(ref), s.values.size() * sizeof(double));
    return s;
}

}  // namespace bridgetest
