// Transforms: small exact cases, round trips, strided arrays, the real inverse's
// use of its input, and agreement of the instruction-set variants.

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <vector>

#include "accuracy.h"
#include "fft.h"
#include "kernel_entry.h"
#include "oracle.h"

namespace {

using engine::PlanRef;

TEST(Transforms, LengthOneCopiesTheElement) {
    PlanRef plan(1);
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan.get()->factorCount, 0);
    const double re = 3.25, im = -2.5;
    double outRe = 0, outIm = 0;
    ASSERT_EQ(engine::CxFftForward(plan.get(), &re, &im, &outRe, &outIm, 1, 1, 1), 0);
    EXPECT_EQ(outRe, re);
    EXPECT_EQ(outIm, im);
    ASSERT_EQ(engine::CxFftInverse(plan.get(), &re, &im, &outRe, &outIm, 1, 1, 1), 0);
    EXPECT_EQ(outRe, re);
    EXPECT_EQ(outIm, im);
    double x = 0;
    ASSERT_EQ(engine::ReFftForward(plan.get(), &re, &x, 1, 1, 1), 0);
    EXPECT_EQ(x, re);
    double hc = 7.5;
    ASSERT_EQ(engine::ReFftInverse(plan.get(), &hc, &x, 1, 1, 1), 0);
    EXPECT_EQ(x, 7.5);
}

TEST(Transforms, SmallRealTransformsAreExact) {
    PlanRef two(2), four(4);
    const double pair[] = {3, 5};
    double out[4];
    ASSERT_EQ(engine::ReFftForward(two.get(), pair, out, 1, 1, 2), 0);
    EXPECT_EQ(out[0], 8);
    EXPECT_EQ(out[1], -2);
    // Re X0, Re X1, Re X2, Im X1
    const double x[] = {1, 2, 3, 4};
    ASSERT_EQ(engine::ReFftForward(four.get(), x, out, 1, 1, 4), 0);
    EXPECT_EQ(std::vector<double>(out, out + 4), (std::vector<double>{10, -2, -2, 2}));
    const double zero[4] = {};
    double re[4], im[4];
    ASSERT_EQ(engine::CxFftForward(four.get(), x, zero, re, im, 1, 1, 4), 0);
    EXPECT_EQ(std::vector<double>(re, re + 4), (std::vector<double>{10, -2, -2, -2}));
    EXPECT_EQ(std::vector<double>(im, im + 4), (std::vector<double>{0, 2, 0, -2}));
    double hc[] = {10, -2, -2, 2}, back[4];
    ASSERT_EQ(engine::ReFftInverse(four.get(), hc, back, 1, 1, 4), 0);
    EXPECT_EQ(std::vector<double>(back, back + 4), (std::vector<double>{1, 2, 3, 4}));
}

// Forward then inverse, complex and real, with the given strides (elements of
// the gaps must stay as they were).
void CheckRoundTrip(int n, int inStride, int outStride, accuracy::Worst& complexWorst,
                    accuracy::Worst& realWorst) {
    SCOPED_TRACE(testing::Message()
                 << "n = " << n << ", strides " << inStride << ", " << outStride);
    constexpr double kGap = -777.0;
    const auto re = oracle::Random(n, 5 * n + 1), im = oracle::Random(n, 5 * n + 2);
    std::vector<double> inRe(n * inStride, kGap), inIm(n * inStride, kGap);
    for (int k = 0; k < n; ++k) inRe[k * inStride] = re[k], inIm[k * inStride] = im[k];
    PlanRef plan(n);
    ASSERT_TRUE(plan);
    std::vector<double> specRe(n * outStride, kGap), specIm(n * outStride, kGap);
    std::vector<double> backRe(n * inStride, kGap), backIm(n * inStride, kGap);
    ASSERT_EQ(engine::CxFftForward(plan.get(), inRe.data(), inIm.data(), specRe.data(),
                                   specIm.data(), inStride, outStride, n),
              0);
    ASSERT_EQ(engine::CxFftInverse(plan.get(), specRe.data(), specIm.data(), backRe.data(),
                                   backIm.data(), outStride, inStride, n),
              0);
    const oracle::Spectrum original{{re.begin(), re.end()}, {im.begin(), im.end()}};
    accuracy::ExpectRoundTripAccurate(
        oracle::Compare(backRe.data(), backIm.data(), inStride, original), n, complexWorst);

    std::vector<double> hc(n * outStride, kGap), back(n * inStride, kGap);
    ASSERT_EQ(engine::ReFftForward(plan.get(), inRe.data(), hc.data(), inStride, outStride, n), 0);
    ASSERT_EQ(engine::ReFftInverse(plan.get(), hc.data(), back.data(), outStride, inStride, n), 0);
    accuracy::ExpectRoundTripAccurate(oracle::CompareReal(back.data(), inStride, re), n, realWorst);
    for (int k = 0; k < n * outStride; ++k) {
        if (k % outStride == 0) continue;
        ASSERT_EQ(specRe[k], kGap) << k;
        ASSERT_EQ(specIm[k], kGap) << k;
        ASSERT_EQ(hc[k], kGap) << k;
    }
    for (int k = 0; k < n * inStride; ++k) {
        if (k % inStride == 0) continue;
        ASSERT_EQ(backRe[k], kGap) << k;
        ASSERT_EQ(back[k], kGap) << k;
    }
}

TEST(RoundTrip, InverseRestoresTheInputForEveryLengthUpTo2048) {
    accuracy::Worst complexWorst("complex round trip, n <= 2048");
    accuracy::Worst realWorst("real round trip, n <= 2048");
    for (int n = 1; n <= 2048; ++n) CheckRoundTrip(n, 1, 1, complexWorst, realWorst);
}

// Lengths that put every fixed radix at the leaf of a longer plan and at an
// outer level, the general radix and Rader's algorithm at both places, and
// nested Rader plans.
const std::vector<int> kCoverage = {
    2,    6,   12,  15,   35,   24,   45,   30,   33,   39,   48,   51,   57,   87,
    93,   111, 123, 126,  86,   129,  172,  215,  301,  344,  387,  430,  473,  559,
    602,  688, 731, 774,  817,  1247, 1333, 1376, 1591, 1763, 1849, 840,  4004, 2146,
    2976, 46,  47,  2209, 1081, 53,   106,  107,  643,  1009, 2809, 3127, 1286, 2 * 23 * 53};

TEST(Strides, CoverageListReachesEveryRadixAtEveryPlace) {
    std::set<int> leaf, outer, kindsAtLeaf, kindsOuter;
    for (const int n : kCoverage) {
        PlanRef plan(n);
        const engine::FftPlan& p = *plan.get();
        if (p.factorCount < 2) continue;
        leaf.insert(p.factors[p.factorCount - 1]);
        kindsAtLeaf.insert(p.kinds[p.factorCount - 1]);
        for (int d = 0; d + 1 < p.factorCount; ++d) {
            outer.insert(p.factors[d]);
            kindsOuter.insert(p.kinds[d]);
        }
    }
    // Radix 2 is a leaf only alone: 2*2 is radix 4.
    for (const int r : {3, 4, 5, 7, 8, 9, 10, 11, 13, 14, 16, 17, 18, 19, 29, 31, 32, 37, 41, 43})
        EXPECT_TRUE(leaf.count(r)) << r;
    for (const int r :
         {2, 3, 4, 5, 7, 8, 9, 10, 11, 13, 14, 16, 17, 18, 19, 29, 31, 32, 37, 41, 43})
        EXPECT_TRUE(outer.count(r)) << r;
    EXPECT_EQ(kindsAtLeaf.size(), 3u);
    EXPECT_EQ(kindsOuter.size(), 3u);
}

TEST(Strides, StridedTransformsMatchDirectSumsAndKeepTheGaps) {
    accuracy::Worst complexWorst("complex forward, strided");
    accuracy::Worst realWorst("real forward, strided");
    accuracy::Worst complexTrip("complex round trip, strided");
    accuracy::Worst realTrip("real round trip, strided");
    constexpr double kGap = -777.0;
    for (const int n : kCoverage) {
        for (const auto& [inStride, outStride] : {std::pair{3, 2}, std::pair{1, 5}}) {
            SCOPED_TRACE(testing::Message()
                         << "n = " << n << ", strides " << inStride << ", " << outStride);
            const auto re = oracle::Random(n, 7 * n + 1), im = oracle::Random(n, 7 * n + 2);
            const auto want = oracle::DirectDft(re, im);
            std::vector<double> inRe(n * inStride, kGap), inIm(n * inStride, kGap);
            for (int k = 0; k < n; ++k) inRe[k * inStride] = re[k], inIm[k * inStride] = im[k];
            PlanRef plan(n);
            std::vector<double> outRe(n * outStride, kGap), outIm(n * outStride, kGap),
                hc(n * outStride, kGap);
            ASSERT_EQ(engine::CxFftForward(plan.get(), inRe.data(), inIm.data(), outRe.data(),
                                           outIm.data(), inStride, outStride, n),
                      0);
            ASSERT_EQ(
                engine::ReFftForward(plan.get(), inRe.data(), hc.data(), inStride, outStride, n),
                0);
            accuracy::ExpectForwardAccurate(
                oracle::Compare(outRe.data(), outIm.data(), outStride, want), n, complexWorst);
            accuracy::ExpectForwardAccurate(
                oracle::CompareHalfComplex(hc.data(), outStride, oracle::RealPart(want)), n,
                realWorst);
            CheckRoundTrip(n, inStride, outStride, complexTrip, realTrip);
        }
    }
}

TEST(RealInverse, UsesItsInputAsWorkingStorage) {
    accuracy::Worst worst("real inverse");
    for (const int n : {16, 15, 53}) {
        PlanRef plan(n);
        const auto x = oracle::Random(n, 3);
        std::vector<double> hc(n), back(n);
        ASSERT_EQ(engine::ReFftForward(plan.get(), x.data(), hc.data(), 1, 1, n), 0);
        const std::vector<double> spectrum = hc;
        ASSERT_EQ(engine::ReFftInverse(plan.get(), hc.data(), back.data(), 1, 1, n), 0);
        EXPECT_NE(hc, spectrum) << n;
        accuracy::ExpectRoundTripAccurate(oracle::CompareReal(back.data(), 1, x), n, worst);
    }
}

// The baseline and the faster instruction-set kernels do the same operations
// in the same order: results agree to the bit, whichever the processor runs.
TEST(Variants, BaselineAndFasterKernelsAgreeToTheBit) {
    using engine::KernelVariant;
    if (!engine::UseBaselineKernels(false)) GTEST_SKIP() << "no faster variant on this processor";
    for (const int n : {64, 100, 1008, 2048, 4096, 1376, 840, 46, 106}) {
        SCOPED_TRACE(n);
        const auto re = oracle::Random(n, 1), im = oracle::Random(n, 2);
        std::vector<double> outs[3][3];
        const KernelVariant variants[] = {KernelVariant::kBaseline, KernelVariant::kAvx2,
                                          KernelVariant::kAvx512};
        for (int v = 0; v < 3; ++v) {
            if (!engine::UseKernelVariant(variants[v])) continue;
            PlanRef plan(n);
            auto& o = outs[v];
            for (auto& x : o) x.assign(n, 0.0);
            engine::CxFftForward(plan.get(), re.data(), im.data(), o[0].data(), o[1].data(), 1, 1,
                                 n);
            engine::ReFftForward(plan.get(), re.data(), o[2].data(), 1, 1, n);
        }
        engine::UseBaselineKernels(false);
        for (int v = 1; v < 3; ++v) {
            if (outs[v][0].empty()) continue;
            SCOPED_TRACE(v);
            for (int a = 0; a < 3; ++a)
                EXPECT_EQ(std::memcmp(outs[0][a].data(), outs[v][a].data(), n * sizeof(double)), 0);
        }
    }
}

}  // namespace
