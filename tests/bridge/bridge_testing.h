#pragma once
// Bridge references and window clusters for the bridge's tests.

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "host_testing.h"
#include "kessling.h"
#include "rhombel.h"

namespace bridgetest {

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
