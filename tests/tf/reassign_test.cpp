// Reassigned spectrograms: where stationary tones, impulses and silence end up,
// the scale of the cells, and bad input.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "analysis_support.h"
#include "mornavel.h"

namespace {

using namespace analysis;

constexpr int32_t kL = 64, kD = 8, kN = 64, kSamples = 224;
constexpr int64_t kFrames = (kSamples - kL) / kD + 1;

// Energy of the frame starting at `start` over bins [0, bins), |X|²/N by direct sums.
long double FrameEnergy(const std::vector<double>& x, bool complexSignal,
                        const std::vector<double>& w, int64_t start, int64_t bins) {
    const auto signal = [&](int64_t t) {
        return complexSignal ? Complex(x[2 * t], x[2 * t + 1]) : Complex(x[t], 0);
    };
    long double sum = 0;
    for (int64_t b = 0; b < bins; ++b) sum += std::norm(FrameBin(signal, w, start, 0, b, kN));
    return sum / kN;
}

TEST(Reassign, AStationaryToneGathersOnItsBinInEveryFrame) {
    const auto w = Bell(kL, kL / 6.0);
    const StftParams p = Params(w, kD, kN);
    for (int32_t bin : {3, 5, 20}) {
        SCOPED_TRACE(bin);
        std::vector<double> real(kSamples), cx(2 * kSamples);
        for (int32_t t = 0; t < kSamples; ++t) {
            const long double a = kTwoPi * bin * t / kN;
            real[t] = static_cast<double>(std::cos(a));
            cx[2 * t] = static_cast<double>(std::cos(-a));  // a tone at bin N − bin
            cx[2 * t + 1] = static_cast<double>(std::sin(-a));
        }
        std::vector<double> re(kFrames * kN / 2), c(kFrames * kN);
        ASSERT_EQ(ReReassignedSTFTSp(real.data(), kSamples, &p, re.data()), 0);
        ASSERT_EQ(CxReassignedSTFTSp(cx.data(), kSamples, &p, c.data()), 0);
        for (int64_t i = 0; i < kFrames; ++i) {
            // Everything the frame holds (below N/2 for the real tone) lands on
            // the tone's bin.
            const long double reTotal = FrameEnergy(real, false, w, i * kD, kN / 2);
            const long double cxTotal = FrameEnergy(cx, true, w, i * kD, kN);
            EXPECT_GE(re[i * kN / 2 + bin], 0.999L * reTotal) << "frame " << i;
            EXPECT_GE(c[i * kN + kN - bin], 0.9999L * cxTotal) << "frame " << i;
            EXPECT_LE(c[i * kN + kN - bin], (1 + 1e-12L) * cxTotal) << "frame " << i;
        }
    }
}

TEST(Reassign, AnImpulseGathersInTheFrameCentredNearestToIt) {
    const auto w = Bell(kL, kL / 4.0);
    const StftParams p = Params(w, kD, kN);
    // Window centres at i·D + 31.5; sample 100 is nearest to frame 9 (103.5).
    const int32_t t0 = 100, target = 9;
    std::vector<double> real(kSamples, 0.0), cx(2 * kSamples, 0.0);
    real[t0] = 1.0;
    cx[2 * t0] = 0.6;
    cx[2 * t0 + 1] = -0.8;
    std::vector<double> re(kFrames * kN / 2), c(kFrames * kN);
    ASSERT_EQ(ReReassignedSTFTSp(real.data(), kSamples, &p, re.data()), 0);
    ASSERT_EQ(CxReassignedSTFTSp(cx.data(), kSamples, &p, c.data()), 0);

    // Every frame covering t0 holds w[t0 − i·D]²/N in every bin (|x| = 1).
    long double gathered = 0;
    for (int64_t i = 0; i < kFrames; ++i)
        if (t0 >= i * kD && t0 < i * kD + kL)
            gathered += static_cast<long double>(w[t0 - i * kD]) * w[t0 - i * kD] / kN;
    for (int64_t i = 0; i < kFrames; ++i) {
        for (int64_t j = 0; j < kN; ++j) {
            const long double want = i == target ? gathered : 0;
            if (j < kN / 2) {
                EXPECT_NEAR(re[i * kN / 2 + j], want, 1e-12L) << i << "," << j;
            }
            EXPECT_NEAR(c[i * kN + j], want, 1e-12L) << i << "," << j;
        }
    }
}

TEST(Reassign, SilenceGivesZerosAndOneFrameForASignalAsLongAsTheWindow) {
    const auto w = Bell(kL, kL / 6.0);
    const StftParams p = Params(w, kD, kN);
    std::vector<double> zeros(2 * kSamples, 0.0);
    std::vector<double> re(kFrames * kN / 2, kSentinel), c(kFrames * kN, kSentinel);
    ASSERT_EQ(ReReassignedSTFTSp(zeros.data(), kSamples, &p, re.data()), 0);
    ASSERT_EQ(CxReassignedSTFTSp(zeros.data(), kSamples, &p, c.data()), 0);
    EXPECT_TRUE(AllEqual(re, 0.0));
    EXPECT_TRUE(AllEqual(c, 0.0));

    // n = L: one frame; a tone keeps its place (no time offset).
    std::vector<double> tone(2 * kL);
    for (int32_t t = 0; t < kL; ++t) {
        tone[2 * t] = std::cos(kTwoPi * 3 * t / kN);
        tone[2 * t + 1] = std::sin(kTwoPi * 3 * t / kN);
    }
    std::vector<double> one(kN + 1, kSentinel);
    ASSERT_EQ(CxReassignedSTFTSp(tone.data(), kL, &p, one.data()), 0);
    EXPECT_GE(one[3], 0.9999L * FrameEnergy(tone, true, w, 0, kN));
    EXPECT_EQ(one[kN], kSentinel);
}

TEST(Reassign, EnergyAtHalfTheSamplingRateIsDropped) {
    // A real tone at bin N/2 moves its energy onto bin N/2, which is not output.
    const auto w = Bell(kL, kL / 6.0);
    const StftParams p = Params(w, kD, kN);
    std::vector<double> x(kSamples);
    for (int32_t t = 0; t < kSamples; ++t) x[t] = t % 2 ? -1.0 : 1.0;
    std::vector<double> re(kFrames * kN / 2);
    ASSERT_EQ(ReReassignedSTFTSp(x.data(), kSamples, &p, re.data()), 0);
    for (int64_t i = 0; i < kFrames; ++i) {
        const long double below = FrameEnergy(x, false, w, i * kD, kN / 2);
        long double kept = 0;
        for (int64_t j = 0; j < kN / 2; ++j) kept += re[i * kN / 2 + j];
        EXPECT_GT(below, 1e-3L);  // the plain spectrogram has energy below N/2
        EXPECT_LE(kept, 1e-3L * below) << "frame " << i;
    }
}

TEST(Reassign, BadArgumentsReturnTheirStatusInOrderAndWriteNothing) {
    struct Case {
        int32_t n, L, D, N, status;
    };
    const Case cases[] = {
        {15, 16, 4, 8, 1},
        {0, 1, 4, 8, 1},
        {15, 16, 0, 12, 1},
        {16, 16, 0, 8, 19},
        {30, 16, -1, 8, 19},
        {30, 16, 4, 0, 19},
        {30, 16, 4, 24, 19},
        {30, 16, 4, -4, 19},
        // A window of fewer than two samples has no derivative.
        {30, 1, 4, 8, 19},
        {30, 0, 4, 8, 19},
        {0, 0, 1, 8, 19},
    };
    const auto x = Random(64, 81);
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << "n=" << c.n << " L=" << c.L << " D=" << c.D << " N=" << c.N);
        const auto w = Random(c.L, 82);
        const StftParams p = Params(w, c.D, c.N);
        std::vector<double> re(256, kSentinel), cx(256, kSentinel);
        EXPECT_EQ(ReReassignedSTFTSp(x.data(), c.n, &p, re.data()), c.status);
        EXPECT_EQ(CxReassignedSTFTSp(x.data(), c.n, &p, cx.data()), c.status);
        EXPECT_TRUE(AllEqual(re, kSentinel));
        EXPECT_TRUE(AllEqual(cx, kSentinel));
    }
}

TEST(Reassign, ShortestWindowAndSmallestTransformsWork) {
    // L = 2 uses only the end formulas of the derivative window; N = 2 has one
    // real bin, N = 1 none.
    const auto x = Random(40, 91);
    const std::vector<double> w = {0.5, 1.0};
    for (int32_t N : {1, 2, 4}) {
        SCOPED_TRACE(N);
        const StftParams p = Params(w, 1, N);
        std::vector<double> re(39 * (N / 2) + 1, kSentinel), cx(39 * N + 1, kSentinel);
        ASSERT_EQ(ReReassignedSTFTSp(x.data(), 40, &p, re.data()), 0);
        ASSERT_EQ(CxReassignedSTFTSp(x.data(), 20, &p, cx.data()), 0);
        EXPECT_EQ(re.back(), kSentinel);
        EXPECT_EQ(cx[19 * N], kSentinel);
        for (size_t k = 0; k + 1 < re.size(); ++k) EXPECT_TRUE(std::isfinite(re[k]));
        for (int64_t k = 0; k < 19 * N; ++k) EXPECT_TRUE(std::isfinite(cx[k]));
    }
}

TEST(Reassign, ExhaustedMemoryReturnsTheStatusAndWritesNothing) {
    const auto x = Random(2 * kSamples, 101);
    const auto w = Bell(kL, 10);
    const StftParams p = Params(w, kD, kN);
    std::vector<double> out(kFrames * kN, kSentinel);
    const int allocations = 1 + PlanAllocations(kN);
    const auto reset = [&] { std::fill(out.begin(), out.end(), kSentinel); };
    const auto check = [&](int32_t status) {
        EXPECT_EQ(status, -20001);
        EXPECT_TRUE(AllEqual(out, kSentinel));
    };
    WalkEveryAllocation(
        allocations,
        [&] {
            reset();
            return ReReassignedSTFTSp(x.data(), kSamples, &p, out.data());
        },
        check);
    WalkEveryAllocation(
        allocations,
        [&] {
            reset();
            return CxReassignedSTFTSp(x.data(), kSamples, &p, out.data());
        },
        check);
}

}  // namespace
