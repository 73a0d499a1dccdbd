// Where a frame is a plain transform (window as long as the transform and the
// step, so nothing is folded or rotated), FFTW is the oracle; also the size
// guards of the Gabor transforms.

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <vector>

#include "analysis_support.h"
#include "mornavel.h"

#ifdef HAVE_FFTW
#include <fftw3.h>
#endif

namespace {

using namespace analysis;

#ifdef HAVE_FFTW

constexpr int kN = 256, kFrames = 3;

TEST(StftFftw, UnfoldedFramesAreFftwTransformsOfTheWindowedSegments) {
    const auto x = Random(2 * kN * kFrames + 2, 301);  // one more sample: n > L
    const auto w = Random(kN, 302);
    const StftParams p = Params(w, kN, kN);
    std::vector<double> re(kN * kFrames), cx(2 * kN * kFrames);
    ASSERT_EQ(ReSTFT(x.data(), kN * kFrames + 1, &p, re.data()), 0);
    ASSERT_EQ(CxSTFT(x.data(), kN * kFrames + 1, &p, cx.data()), 0);

    std::vector<double> in(kN), hc(kN);
    fftw_complex* zin = fftw_alloc_complex(kN);
    fftw_complex* zout = fftw_alloc_complex(kN);
    fftw_plan real = fftw_plan_r2r_1d(kN, in.data(), hc.data(), FFTW_R2HC, FFTW_ESTIMATE);
    fftw_plan complexPlan = fftw_plan_dft_1d(kN, zin, zout, FFTW_FORWARD, FFTW_ESTIMATE);
    for (int i = 0; i < kFrames; ++i) {
        double scaleRe = 0, scaleCx = 0;
        for (int k = 0; k < kN; ++k) {
            in[k] = w[k] * x[i * kN + k];
            zin[k][0] = w[k] * x[2 * (i * kN + k)];
            zin[k][1] = w[k] * x[2 * (i * kN + k) + 1];
            scaleRe += std::abs(in[k]);
            scaleCx += std::abs(zin[k][0]) + std::abs(zin[k][1]);
        }
        fftw_execute(real);
        fftw_execute(complexPlan);
        for (int b = 0; b < kN; ++b) {
            EXPECT_NEAR(re[i * kN + b], hc[b], 1e-14 * scaleRe) << i << "," << b;
            EXPECT_NEAR(cx[2 * (i * kN + b)], zout[b][0], 1e-14 * scaleCx) << i << "," << b;
            EXPECT_NEAR(cx[2 * (i * kN + b) + 1], zout[b][1], 1e-14 * scaleCx) << i << "," << b;
        }
    }
    fftw_destroy_plan(real);
    fftw_destroy_plan(complexPlan);
    fftw_free(zin);
    fftw_free(zout);
}

TEST(StftFftw, UnfoldedExpansionIsTheFftwInverseWeightedAndCentred) {
    // L = N = D: frame i is inverse-transformed, weighted by D·γ and placed at
    // samples i·D − h … i·D − h + L − 1 of the period T.
    const auto coef = Random(kN * kFrames, 311);
    const auto gamma = Random(kN, 312);
    const StftParams p = Params(gamma, kN, kN);
    const int T = kN * kFrames, h = kN / 2;
    std::vector<double> out(T);
    ASSERT_EQ(ReDGE(coef.data(), kFrames, kN, &p, out.data(), T), 0);

    std::vector<double> hc(kN), y(kN);
    fftw_plan inverse = fftw_plan_r2r_1d(kN, hc.data(), y.data(), FFTW_HC2R, FFTW_ESTIMATE);
    for (int i = 0; i < kFrames; ++i) {
        std::copy_n(&coef[i * kN], kN, hc.begin());
        fftw_execute(inverse);
        double scale = 0;
        for (double v : hc) scale += std::abs(v);
        for (int k = 0; k < kN; ++k) {
            const int t = ((i * kN + k - h) % T + T) % T;
            EXPECT_NEAR(out[t], kN * gamma[k] * y[k] / kN, 1e-14 * kN * std::abs(gamma[k]) * scale)
                << i << "," << k;
        }
    }
    fftw_destroy_plan(inverse);
}

#endif  // HAVE_FFTW

TEST(GaborSizes, SignalsWhoseExtensionLeavesThe32BitRangeAreRefused) {
    // Nothing is read: the sizes are refused before the signal is touched.
    const std::vector<double> x(4, 0.0);
    const auto w = Random(16, 321);
    const StftParams p = Params(w, 8, 8);
    std::vector<double> out(8, kSentinel), state(32, kSentinel);
    EXPECT_EQ(ReDGT(x.data(), INT32_MAX, &p, out.data()), -20001);
    EXPECT_EQ(CxDGT(x.data(), INT32_MAX, &p, out.data()), -20001);
    int32_t stateLength = 10;
    EXPECT_EQ(ReDGTWithIC(x.data(), INT32_MAX - 5, state.data(), &stateLength, &p, out.data()),
              -20001);
    EXPECT_EQ(stateLength, 10);
    EXPECT_TRUE(AllEqual(out, kSentinel));
    EXPECT_TRUE(AllEqual(state, kSentinel));
}

}  // namespace
