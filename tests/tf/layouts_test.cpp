// Layout conversions: unpacking, packing the Hermitian part, and split copies.

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "mornavel.h"

namespace {

constexpr double kSentinel = -777.0;

// The full spectrum that a half-complex array of length n stands for.
std::vector<double> Expected(const std::vector<double>& hc) {
    const int n = static_cast<int>(hc.size());
    std::vector<double> cx(2 * n);
    for (int k = 0; k < n; ++k) {
        const int f = k <= n / 2 ? k : n - k;  // the stored frequency
        const double re = hc[f];
        double im = 0.0;
        if (f != 0 && !(n % 2 == 0 && f == n / 2)) im = k <= n / 2 ? hc[n - k] : -hc[k];
        cx[2 * k] = re;
        cx[2 * k + 1] = im;
    }
    return cx;
}

TEST(Layouts, UnpackingGivesTheHermitianSpectrum) {
    std::mt19937 rng(1);
    std::uniform_real_distribution<double> u(-1, 1);
    for (int n = 1; n <= 17; ++n) {
        SCOPED_TRACE(n);
        std::vector<double> hc(n);
        for (auto& v : hc) v = u(rng);
        const auto want = Expected(hc);
        std::vector<double> cx(2 * n + 1, kSentinel), re(n + 1, kSentinel), im(n + 1, kSentinel);
        _Hc2Cx(hc.data(), cx.data(), n);
        _Hc2ReIm(hc.data(), re.data(), im.data(), n);
        for (int k = 0; k < 2 * n; ++k) EXPECT_EQ(cx[k], want[k]) << k;
        for (int k = 0; k < n; ++k) {
            EXPECT_EQ(re[k], want[2 * k]);
            EXPECT_EQ(im[k], want[2 * k + 1]);
        }
        EXPECT_EQ(cx[2 * n], kSentinel);
        EXPECT_EQ(re[n], kSentinel);
        EXPECT_EQ(im[n], kSentinel);
    }
}

TEST(Layouts, PackingAfterUnpackingIsTheIdentity) {
    std::mt19937 rng(2);
    std::uniform_real_distribution<double> u(-1, 1);
    for (int n = 1; n <= 17; ++n) {
        SCOPED_TRACE(n);
        std::vector<double> hc(n);
        for (auto& v : hc) v = u(rng);
        std::vector<double> cx(2 * n), re(n), im(n), back1(n + 1, kSentinel),
            back2(n + 1, kSentinel);
        _Hc2Cx(hc.data(), cx.data(), n);
        _Hc2ReIm(hc.data(), re.data(), im.data(), n);
        _Cx2Hc(cx.data(), back1.data(), n);
        _ReIm2Hc(re.data(), im.data(), back2.data(), n);
        for (int k = 0; k < n; ++k) {
            EXPECT_EQ(back1[k], hc[k]);
            EXPECT_EQ(back2[k], hc[k]);
        }
        EXPECT_EQ(back1[n], kSentinel);
        EXPECT_EQ(back2[n], kSentinel);
    }
}

TEST(Layouts, PackingKeepsTheHermitianPartOfAnyComplexSequence) {
    // z[1] = 1 + i, all else zero, n = 4: hc = (0, 0.5, 0, 0.5).
    const double cx[8] = {0, 0, 1, 1, 0, 0, 0, 0};
    double hc[4];
    _Cx2Hc(cx, hc, 4);
    EXPECT_EQ(hc[0], 0.0);
    EXPECT_EQ(hc[1], 0.5);
    EXPECT_EQ(hc[2], 0.0);
    EXPECT_EQ(hc[3], 0.5);

    // The imaginary parts of DC and Nyquist are ignored; odd n has no Nyquist.
    const double re[7] = {1, 2, 3, 4, 5, 6, 7}, im[7] = {9, 1, 2, 3, 4, 5, 6};
    double hc7[7];
    _ReIm2Hc(re, im, hc7, 7);
    const double want7[7] = {1, 4.5, 4.5, 4.5, -0.5, -1.5, -2.5};
    for (int k = 0; k < 7; ++k) EXPECT_EQ(hc7[k], want7[k]) << k;
    double hc2[2];
    _ReIm2Hc(re, im, hc2, 2);
    EXPECT_EQ(hc2[0], 1.0);
    EXPECT_EQ(hc2[1], 2.0);
}

TEST(Layouts, SplitAndInterleavedCopiesAreExactAndIgnoreEmptyLengths) {
    const double cx[6] = {1, -1, 2, -2, 3, -3};
    double re[3], im[3], back[6];
    _Cx2ReIm(cx, re, im, 3);
    _ReIm2Cx(re, im, back, 3);
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(re[k], k + 1.0);
        EXPECT_EQ(im[k], -(k + 1.0));
    }
    for (int k = 0; k < 6; ++k) EXPECT_EQ(back[k], cx[k]);

    double untouched[2] = {kSentinel, kSentinel};
    for (int n : {0, -3}) {
        _Cx2ReIm(cx, untouched, untouched + 1, n);
        _ReIm2Cx(re, im, untouched, n);
    }
    EXPECT_EQ(untouched[0], kSentinel);
    EXPECT_EQ(untouched[1], kSentinel);
}

TEST(Layouts, HalfComplexConversionsIgnoreLengthsBelowOne) {
    // Callers must not pass such lengths; if they do, nothing is read or written.
    double out[4] = {kSentinel, kSentinel, kSentinel, kSentinel};
    for (int n : {0, -1, -1000}) {
        _Hc2Cx(nullptr, out, n);
        _Cx2Hc(nullptr, out, n);
        _Hc2ReIm(nullptr, out, out + 2, n);
        _ReIm2Hc(nullptr, nullptr, out, n);
    }
    for (double v : out) EXPECT_EQ(v, kSentinel);
}

}  // namespace
