// Long transforms against FFTW (native builds): powers of 2, 3 and 5, mixed
// products of the fixed radices, the general radix, Rader's algorithm with
// long sub-plans, products of distinct primes; strided arrays.

#if HAVE_FFTW

#include <fftw3.h>
#include <gtest/gtest.h>

#include <vector>

#include "accuracy.h"
#include "fft.h"
#include "oracle.h"

namespace {

using engine::PlanRef;

std::vector<int> Lengths() {
    std::vector<int> lengths;
    for (int n = 1; n <= (1 << 20); n *= 2) lengths.push_back(n);
    for (int n = 3; n <= 531441; n *= 3) lengths.push_back(n);
    for (int n = 5; n <= 390625; n *= 5) lengths.push_back(n);
    for (const int n :
         {86,    129,  172,  215,  301,  344,  387,  430,   473,   559,   602,  688,  731,  774,
          817,   1247, 1333, 1376, 1591, 1763, 1849, 840,   12240, 30030, 4004, 2146, 6232, 2976,
          44100, 46,   47,   53,   106,  1009, 2018, 65537, 1081,  3127,  2809, 643})
        lengths.push_back(n);
    return lengths;
}

// FFTW's forward transform of the sequence (contiguous copies).
oracle::Spectrum Reference(const std::vector<double>& re, const std::vector<double>& im) {
    const int n = static_cast<int>(re.size());
    std::vector<double> inRe = re, inIm = im, outRe(n), outIm(n);
    fftw_iodim dim{n, 1, 1};
    fftw_plan plan = fftw_plan_guru_split_dft(1, &dim, 0, nullptr, inRe.data(), inIm.data(),
                                              outRe.data(), outIm.data(), FFTW_ESTIMATE);
    fftw_execute(plan);
    fftw_destroy_plan(plan);
    return {{outRe.begin(), outRe.end()}, {outIm.begin(), outIm.end()}};
}

TEST(Fftw, LongTransformsMatchFftwWithStrides) {
    accuracy::Worst complexWorst("complex forward against FFTW");
    accuracy::Worst realWorst("real forward against FFTW");
    accuracy::Worst complexTrip("complex round trip, long");
    accuracy::Worst realTrip("real round trip, long");
    constexpr int kIn = 2, kOut = 3;
    for (const int n : Lengths()) {
        SCOPED_TRACE(n);
        const auto re = oracle::Random(n, 13 * n + 1), im = oracle::Random(n, 13 * n + 2);
        const auto want = Reference(re, im);
        std::vector<double> inRe(static_cast<size_t>(n) * kIn), inIm(inRe.size());
        for (int k = 0; k < n; ++k) inRe[k * kIn] = re[k], inIm[k * kIn] = im[k];
        PlanRef plan(n);
        ASSERT_TRUE(plan);
        std::vector<double> outRe(static_cast<size_t>(n) * kOut), outIm(outRe.size()),
            hc(outRe.size());
        ASSERT_EQ(engine::CxFftForward(plan.get(), inRe.data(), inIm.data(), outRe.data(),
                                       outIm.data(), kIn, kOut, n),
                  0);
        ASSERT_EQ(engine::ReFftForward(plan.get(), inRe.data(), hc.data(), kIn, kOut, n), 0);
        accuracy::ExpectForwardAccurate(oracle::Compare(outRe.data(), outIm.data(), kOut, want), n,
                                        complexWorst);
        accuracy::ExpectForwardAccurate(
            oracle::CompareHalfComplex(hc.data(), kOut, oracle::RealPart(want)), n, realWorst);

        std::vector<double> backRe(inRe.size()), backIm(inRe.size()), back(inRe.size());
        ASSERT_EQ(engine::CxFftInverse(plan.get(), outRe.data(), outIm.data(), backRe.data(),
                                       backIm.data(), kOut, kIn, n),
                  0);
        ASSERT_EQ(engine::ReFftInverse(plan.get(), hc.data(), back.data(), kOut, kIn, n), 0);
        const oracle::Spectrum original{{re.begin(), re.end()}, {im.begin(), im.end()}};
        const double scale = accuracy::RoundTripElementScale(*plan.get());
        accuracy::ExpectRoundTripAccurate(
            oracle::Compare(backRe.data(), backIm.data(), kIn, original), n, complexTrip, scale);
        accuracy::ExpectRoundTripAccurate(oracle::CompareReal(back.data(), kIn, re), n, realTrip,
                                          scale);
    }
}

TEST(Fftw, RealTransformMatchesFftwHalfComplexLayout) {
    for (const int n : {8, 9, 15, 23, 53, 100, 1009}) {
        SCOPED_TRACE(n);
        auto x = oracle::Random(n, 17);
        std::vector<double> ours(n), ref(n);
        PlanRef plan(n);
        ASSERT_EQ(engine::ReFftForward(plan.get(), x.data(), ours.data(), 1, 1, n), 0);
        fftw_plan p = fftw_plan_r2r_1d(n, x.data(), ref.data(), FFTW_R2HC, FFTW_ESTIMATE);
        fftw_execute(p);
        fftw_destroy_plan(p);
        double scale = 0;
        for (const double v : ref) scale = std::max(scale, std::abs(v));
        for (int k = 0; k < n; ++k) EXPECT_NEAR(ours[k], ref[k], 1e-14 * scale) << k;
    }
}

}  // namespace

#endif
