// The bridge's quadratic distributions: what each stores, the order of its
// checks, and exhausted memory.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

#include "bridge_testing.h"
#include "fault_walk.h"
#include "host_testing.h"
#include "kessling.h"
#include "mornavel.h"
#include "rhombel.h"
#include "rhombel_testing.h"

namespace {

using namespace bridgetest;
using hosttest::HostArray;

const uint8_t kYes = 1, kNo = 0;
constexpr int32_t kSamples = 1000;

std::vector<double> Split(const std::vector<double>& z) {
    std::vector<double> split(z.size());
    for (std::size_t i = 0; i < z.size() / 2; ++i) {
        split[i] = z[2 * i];
        split[z.size() / 2 + i] = z[2 * i + 1];
    }
    return split;
}

// A kernel of `lags` rows and `width` columns that smooths a little along Doppler.
std::vector<double> Kernel(int32_t lags, int32_t width) {
    std::vector<double> phi(static_cast<std::size_t>(lags) * width);
    for (int32_t t = 0; t < lags; ++t)
        for (int32_t j = 0; j < width; ++j)
            phi[static_cast<std::size_t>(t) * width + j] =
                std::exp(-1e-6 * t * t * (j - width / 2.0) * (j - width / 2.0));
    return phi;
}

struct Distribution {
    const char* what;
    bool complex;
    std::function<int32_t(int32_t ref, HostArrayHandle signal)> bridge;
    std::function<int32_t(const double* re, const double* im, double* out)> core;
    int32_t rows, columns, step, recordedBins;
};

std::vector<Distribution> Distributions(const HostArray& kernel, const std::vector<double>& phi) {
    const int32_t n = kSamples;
    return {
        {"real WVD, interpolated", false,
         [](int32_t r, HostArrayHandle x) { return SptReWVDH(r, x, 128, 4, &kNo); },
         [=](const double* re, const double* im, double* out) {
             return WVD(re, im, n, 128, 4, 0, out);
         },
         250, 64, 4, 128},
        {"real WVD, analytic", false,
         [](int32_t r, HostArrayHandle x) { return SptReWVDH(r, x, 128, 4, &kYes); },
         [=](const double* re, const double* im, double* out) {
             return WVD(re, im, n, 128, 4, 1, out);
         },
         250, 64, 4, 128},
        {"complex WVD", true, [](int32_t r, HostArrayHandle x) { return SptCxWVDH(r, x, 128, 4); },
         [=](const double* re, const double* im, double* out) {
             return WVD(re, im, n, 128, 4, 0, out);
         },
         250, 128, 4, 128},
        {"real Cohen records the columns it stores", false,
         [&](int32_t r, HostArrayHandle x) { return SptReCohenH(r, x, kernel.handle(), 2, &kYes); },
         [&, n](const double* re, const double* im, double* out) {
             return Cohen(re, im, n, phi.data(), 64, 1024, 2, 1, out);
         },
         500, 32, 2, 32},
        {"complex Cohen", true,
         [&](int32_t r, HostArrayHandle x) { return SptCxCohenH(r, x, kernel.handle(), 2); },
         [&, n](const double* re, const double* im, double* out) {
             return Cohen(re, im, n, phi.data(), 64, 1024, 2, 0, out);
         },
         500, 64, 2, 64},
        {"real Choi-Williams", false,
         [](int32_t r, HostArrayHandle x) {
             return SptReConeAndCWDH(r, x, 0.5, 64, 4, &kNo, &kNo);
         },
         [=](const double* re, const double* im, double* out) {
             return CWD(re, im, n, 64, 4, 0.5, 0, out);
         },
         250, 32, 4, 64},
        {"complex cone", true,
         [](int32_t r, HostArrayHandle x) { return SptCxConeAndCWDH(r, x, 0.01, 64, 4, &kYes); },
         [=](const double* re, const double* im, double* out) {
             return CSD(re, im, n, 64, 4, 0.01, 0, out);
         },
         250, 64, 4, 64},
    };
}

class DistributionExports : public ::testing::Test {
  protected:
    std::vector<double> x = Samples(kSamples, 1), z = Samples(2 * kSamples, 2);
    HostArray real = HostArray::Doubles({kSamples}, x);
    HostArray complex = HostArray::Doubles({kSamples}, z);
    std::vector<double> phi = Kernel(64, 1024);
    HostArray kernel = HostArray::Doubles({64, 1024}, phi);
};

TEST_F(DistributionExports, StoreTheirAnalysisWithItsShapeAndRecord) {
    const std::vector<double> zSplit = Split(z);
    for (const Distribution& d : Distributions(kernel, phi)) {
        SCOPED_TRACE(d.what);
        BridgeRef ref;
        ASSERT_EQ(d.bridge(ref.number, (d.complex ? complex : real).handle()), 0);
        const Stored stored = ReadStored(ref.number);
        EXPECT_EQ(stored.rows, d.rows);
        EXPECT_EQ(stored.columns, d.columns);
        std::vector<double> expected(stored.values.size());
        ASSERT_EQ(d.complex ? d.core(zSplit.data(), zSplit.data() + kSamples, expected.data())
                            : d.core(x.data(), nullptr, expected.data()),
                  0);
        EXPECT_EQ(stored.values, expected);
        int32_t rows, columns;
        SptParamCluster p;
        ASSERT_EQ(SptGetParamH(ref.number, 0, &rows, &columns, &p), 0);
        EXPECT_EQ(p.layout, SPT_LAYOUT_REAL);
        EXPECT_EQ(p.signalLength, kSamples);
        EXPECT_EQ(p.timeStep, d.step);
        EXPECT_EQ(p.frequencyBins, d.recordedBins);
        EXPECT_EQ(p.firstFrequency, 0);
    }
}

TEST_F(DistributionExports, RefuseArgumentsInTheirOrderAndLeaveTheReference) {
    HostArray none = HostArray::Empty(1);
    HostArray narrowKernel = HostArray::Doubles({64, 512}, Kernel(64, 512));
    HostArray oddKernel = HostArray::Doubles({48, 1024}, std::vector<double>(48 * 1024, 1.0));
    const int32_t foreign = SptRefCreate();
    BridgeRef ref;
    ASSERT_EQ(SptReWVDH(ref.number, real.handle(), 16, 8, &kNo), 0);
    const Stored before = ReadStored(ref.number);
    const int32_t r = ref.number;
    const HostArrayHandle xs = real.handle(), zs = complex.handle(), k = kernel.handle();

    struct Case {
        const char* what;
        std::function<int32_t()> call;
        int32_t status;
    } const cases[] = {
        {"WVD, foreign first", [&] { return SptReWVDH(foreign, none.handle(), 100, 0, &kNo); },
         kInvalidReference},
        {"WVD, no samples", [&] { return SptCxWVDH(r, none.handle(), 100, 4); }, kMissingArgument},
        {"WVD, 100 bins", [&] { return SptReWVDH(r, xs, 100, 4, &kNo); }, -42603},
        {"WVD, time step 0", [&] { return SptCxWVDH(r, zs, 128, 0); }, -42612},
        {"Cohen, no samples first",
         [&] { return SptReCohenH(foreign, none.handle(), narrowKernel.handle(), 3, &kNo); },
         kMissingArgument},
        {"Cohen, step 3", [&] { return SptCxCohenH(foreign, zs, narrowKernel.handle(), 3); },
         -42612},
        {"Cohen, 64 x 512 kernel for 1000 samples",
         [&] { return SptReCohenH(foreign, xs, narrowKernel.handle(), 2, &kNo); }, -42618},
        {"Cohen, 48 lags", [&] { return SptCxCohenH(r, zs, oddKernel.handle(), 2); }, -42618},
        {"Cohen, foreign last", [&] { return SptCxCohenH(foreign, zs, k, 2); }, kInvalidReference},
        {"cone, step 0", [&] { return SptReConeAndCWDH(foreign, xs, 1.0, 100, 0, &kNo, &kNo); },
         -42612},
        {"cone, 100 bins", [&] { return SptCxConeAndCWDH(foreign, zs, 1.0, 100, 2, &kNo); },
         -42603},
        {"cone, foreign last", [&] { return SptCxConeAndCWDH(foreign, zs, 1.0, 64, 2, &kNo); },
         kInvalidReference},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.call(), c.status);
        EXPECT_EQ(ReadStored(r).values, before.values);
    }
    SptRefDispose(foreign);
}

TEST_F(DistributionExports, ExhaustedMemoryLeavesTheReferenceEmpty) {
    for (const Distribution& d : Distributions(kernel, phi)) {
        SCOPED_TRACE(d.what);
        BridgeRef ref;
        const auto run = [&] {
            return d.bridge(ref.number, (d.complex ? complex : real).handle());
        };
        const auto empty = [&](int32_t expected) {
            return [&, expected](int, int32_t status) {
                EXPECT_EQ(status, expected);
                EXPECT_EQ(ReadStored(ref.number).rows, 0);
            };
        };
        EXPECT_GE(testsupport::WalkAllocationFailures(run, empty(kNoMemory)), 2);
        SptRefInitBuf(ref.number, RHOMBEL_TYPE_DOUBLE);
        RhombelTestFailResize(1);
        const int32_t status = run();
        RhombelTestFailResize(0);
        empty(kReferenceNotMade)(0, status);
    }
}

}  // namespace
