// Gabor transform and expansion against the defining sums, perfect
// reconstruction with the dual window, block-wise use, and bad input.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <tuple>
#include <vector>

#include "analysis_support.h"
#include "mornavel.h"

namespace {

using namespace analysis;

struct Lattice {
    int32_t n, L, D, N;
};

// n < D, n a multiple of D (no padding), n = 2D + 1, odd n, no overlap or
// folding (L = N = D), windows of several periods for one frame, an odd window.
const Lattice kLattices[] = {
    {5, 16, 8, 8}, {24, 16, 4, 8}, {17, 16, 8, 16}, {33, 32, 4, 16},
    {20, 8, 8, 8}, {3, 32, 4, 8},  {7, 3, 1, 1},    {45, 16, 2, 4},
};

int64_t Frames(const Lattice& c) { return (c.n + c.D - 1) / c.D; }

// x̃: the signal zero-padded to P = D·⌈n/D⌉ and repeated with period P.
std::function<Complex(int64_t)> Periodic(const std::function<Complex(int64_t)>& x, int64_t n,
                                         int64_t P) {
    return [x, n, P](int64_t t) {
        const int64_t r = ((t % P) + P) % P;
        return r < n ? x(r) : Complex(0);
    };
}

// Bin b of frame i: Σ_k w[k]·x̃[i·D + k − h]·e^(−2πi·b·(k + i·D)/N).
Complex GaborBin(const std::function<Complex(int64_t)>& xt, const std::vector<double>& w, int64_t D,
                 int64_t i, int64_t b, int64_t N) {
    return FrameBin(xt, w, i * D - static_cast<int64_t>(w.size()) / 2, i * D, b, N);
}

TEST(Gabor, TransformsAreTheDefiningSumsOnThePeriodicSignal) {
    for (const Lattice& c : kLattices) {
        SCOPED_TRACE(::testing::Message()
                     << "n=" << c.n << " L=" << c.L << " D=" << c.D << " N=" << c.N);
        const auto z = Random(2 * c.n, 101);
        const auto w = Random(c.L, 102);
        const StftParams p = Params(w, c.D, c.N);
        const int64_t M = Frames(c), size = M * c.N;
        std::vector<double> re(size + 1, kSentinel), cx(2 * size + 1, kSentinel);
        std::vector<double> splitRe(size, kSentinel), splitIm(size, kSentinel);
        ASSERT_EQ(ReDGT(z.data(), c.n, &p, re.data()), 0);
        ASSERT_EQ(CxDGT(z.data(), c.n, &p, cx.data()), 0);
        std::vector<double> zRe(c.n), zIm(c.n);
        for (int32_t t = 0; t < c.n; ++t) {
            zRe[t] = z[2 * t];
            zIm[t] = z[2 * t + 1];
        }
        ASSERT_EQ(CxDGTEx(zRe.data(), zIm.data(), 1, c.n, &p, splitRe.data(), splitIm.data(), 1),
                  0);
        EXPECT_EQ(re[size], kSentinel);
        EXPECT_EQ(cx[2 * size], kSentinel);

        const int64_t P = M * c.D;
        const auto real = Periodic([&z](int64_t t) { return Complex(z[t], 0); }, c.n, P);
        const auto complexSignal =
            Periodic([&z](int64_t t) { return Complex(z[2 * t], z[2 * t + 1]); }, c.n, P);
        long double scale = 0;
        for (double v : w) scale += std::abs(v);
        for (int64_t i = 0; i < M; ++i) {
            for (int64_t b = 0; b < c.N; ++b) {
                const int64_t at = i * c.N + b;
                EXPECT_LE(std::abs(HalfComplexBin(&re[i * c.N], b, c.N) -
                                   GaborBin(real, w, c.D, i, b, c.N)),
                          1e-13L * scale)
                    << "frame " << i << " bin " << b;
                const Complex want = GaborBin(complexSignal, w, c.D, i, b, c.N);
                EXPECT_LE(std::abs(Complex(cx[2 * at], cx[2 * at + 1]) - want), 2e-13L * scale);
                // The two input layouts give the same coefficients.
                EXPECT_EQ(splitRe[at], cx[2 * at]);
                EXPECT_EQ(splitIm[at], cx[2 * at + 1]);
            }
        }
    }
}

// The expansion's overlap-add evaluated directly: frame i inverse-transformed,
// its rotation undone, weighted by D·γ and added at positions i·D + m − h
// (modulo T = M·D when periodic; from position 0 without wrap when not).
std::vector<Complex> ExpansionOracle(const std::function<Complex(int64_t, int64_t)>& coef,
                                     int64_t M, int64_t N, const std::vector<double>& gamma,
                                     int64_t D, bool periodic) {
    const int64_t L = static_cast<int64_t>(gamma.size()), T = M * D;
    std::vector<Complex> out(periodic ? T : T + L - D);
    std::vector<Complex> y(N);
    for (int64_t i = 0; i < M; ++i) {
        for (int64_t k = 0; k < N; ++k) {
            Complex sum = 0;
            for (int64_t b = 0; b < N; ++b) sum += coef(i, b) * std::conj(Twiddle(b * k, N));
            y[k] = sum / static_cast<long double>(N);
        }
        for (int64_t m = 0; m < L; ++m) {
            int64_t at = i * D + m;
            if (periodic) at = ((at - L / 2) % T + T) % T;
            out[at] += static_cast<long double>(D) * gamma[m] * y[(m + i * D) % N];
        }
    }
    return out;
}

TEST(Gabor, ExpansionsAreTheOverlapAddOnThePeriod) {
    struct Case {
        int32_t M, L, D, N, outLength;
    };
    // outLength below, at and above T; several wraps of a long window over a short period.
    const Case cases[] = {{5, 16, 4, 8, 20}, {5, 16, 4, 8, 13}, {3, 16, 8, 16, 30},
                          {1, 64, 8, 8, 8},  {2, 32, 2, 4, 4},  {4, 8, 8, 8, 32},
                          {6, 3, 1, 1, 6},   {3, 48, 4, 16, 12}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "M=" << c.M << " L=" << c.L << " D=" << c.D
                                          << " N=" << c.N << " outLength=" << c.outLength);
        const auto gamma = Random(c.L, 111);
        const StftParams p = Params(gamma, c.D, c.N);
        const int64_t size = int64_t{c.M} * c.N, T = int64_t{c.M} * c.D;
        const auto coef = Random(2 * size, 112);
        std::vector<double> re(c.outLength + 1, kSentinel), cx(2 * c.outLength + 1, kSentinel);
        ASSERT_EQ(ReDGE(coef.data(), c.M, c.N, &p, re.data(), c.outLength), 0);
        ASSERT_EQ(CxDGE(coef.data(), c.M, c.N, &p, cx.data(), c.outLength), 0);
        // Split arrays (stride 1) and strided arrays (stride 3) carry the same samples.
        std::vector<double> coefRe(size), coefIm(size);
        for (int64_t k = 0; k < size; ++k) {
            coefRe[k] = coef[2 * k];
            coefIm[k] = coef[2 * k + 1];
        }
        std::vector<double> sRe(c.outLength, kSentinel), sIm(c.outLength, kSentinel);
        std::vector<double> tRe(3 * c.outLength, kSentinel), tIm(3 * c.outLength, kSentinel);
        ASSERT_EQ(CxDGEEx(coefRe.data(), coefIm.data(), 1, c.M, c.N, &p, sRe.data(), sIm.data(), 1,
                          c.outLength),
                  0);
        ASSERT_EQ(CxDGEEx(coef.data(), coef.data() + 1, 2, c.M, c.N, &p, tRe.data(), tIm.data(), 3,
                          c.outLength),
                  0);
        EXPECT_EQ(re[c.outLength], kSentinel);
        EXPECT_EQ(cx[2 * c.outLength], kSentinel);

        const auto wantRe = ExpansionOracle(
            [&](int64_t i, int64_t b) { return HalfComplexBin(&coef[i * c.N], b, c.N); }, c.M, c.N,
            gamma, c.D, true);
        const auto wantCx = ExpansionOracle(
            [&](int64_t i, int64_t b) {
                return Complex(coef[2 * (i * c.N + b)], coef[2 * (i * c.N + b) + 1]);
            },
            c.M, c.N, gamma, c.D, true);
        long double scale = 0;
        for (double g : gamma) scale += std::abs(g) * c.D;
        for (int64_t t = 0; t < c.outLength; ++t) {
            const Complex want = t < T ? wantCx[t] : Complex(0);
            const long double wantReal = t < T ? wantRe[t].real() : 0;
            EXPECT_NEAR(re[t], wantReal, 1e-13L * scale) << t;
            EXPECT_NEAR(cx[2 * t], want.real(), 1e-13L * scale) << t;
            EXPECT_NEAR(cx[2 * t + 1], want.imag(), 1e-13L * scale) << t;
            EXPECT_EQ(sRe[t], cx[2 * t]);
            EXPECT_EQ(sIm[t], cx[2 * t + 1]);
            EXPECT_EQ(tRe[3 * t], cx[2 * t]);
            EXPECT_EQ(tIm[3 * t], cx[2 * t + 1]);
            EXPECT_EQ(tRe[3 * t + 1], kSentinel);
        }
    }
}

// A Gaussian analysis window and its mode-1 dual.
struct WindowPair {
    std::vector<double> window, dual;
};

WindowPair GaussianPair(int32_t L, int32_t D, int32_t N) {
    WindowPair pair{std::vector<double>(L), std::vector<double>(L)};
    EXPECT_EQ(Gaussian(L, (L - 1) / 2.0, L * L / 40.0, pair.window.data()), 0);
    EXPECT_EQ(FastDual(pair.window.data(), L, D, N, 1, pair.dual.data()), 0);
    return pair;
}

long double RelativeError(const double* got, const double* want, int64_t count,
                          int64_t stride = 1) {
    long double error = 0, norm = 0;
    for (int64_t t = 0; t < count; ++t) {
        error = std::max(error, std::abs(static_cast<long double>(got[t * stride]) - want[t]));
        norm = std::max(norm, std::abs(static_cast<long double>(want[t])));
    }
    return error / norm;
}

TEST(Gabor, TransformThenExpansionWithTheDualRestoresTheSignal) {
    struct Case {
        int32_t L, D, N;
    };
    for (const Case c : {Case{32, 4, 8}, Case{64, 8, 16}, Case{16, 2, 4}, Case{64, 8, 32}}) {
        const WindowPair pair = GaussianPair(c.L, c.D, c.N);
        const StftParams analysis = Params(pair.window, c.D, c.N);
        const StftParams synthesis = Params(pair.dual, c.D, c.N);
        // Shorter than a step, multiples of it, odd, and longer than the window.
        for (int32_t n : {1, c.D - 1, c.D + 1, 2 * c.D, 2 * c.D + 1, 37, c.L + 3 * c.D, 101}) {
            if (n <= 0 || n == c.D) continue;
            SCOPED_TRACE(::testing::Message()
                         << "L=" << c.L << " D=" << c.D << " N=" << c.N << " n=" << n);
            const int32_t M = (n + c.D - 1) / c.D;
            const auto z = Random(2 * n, 120 + n);
            std::vector<double> coef(M * c.N), back(n + 1, kSentinel);
            ASSERT_EQ(ReDGT(z.data(), n, &analysis, coef.data()), 0);
            ASSERT_EQ(ReDGE(coef.data(), M, c.N, &synthesis, back.data(), n), 0);
            EXPECT_LE(RelativeError(back.data(), z.data(), n), 1e-10L);
            EXPECT_EQ(back[n], kSentinel);

            std::vector<double> cxCoef(2 * M * c.N), cxBack(2 * n);
            ASSERT_EQ(CxDGT(z.data(), n, &analysis, cxCoef.data()), 0);
            ASSERT_EQ(CxDGE(cxCoef.data(), M, c.N, &synthesis, cxBack.data(), n), 0);
            EXPECT_LE(RelativeError(cxBack.data(), z.data(), 2 * n), 1e-10L);

            // Up to T the padding comes back as zeros.
            std::vector<double> whole(M * c.D, kSentinel);
            ASSERT_EQ(ReDGE(coef.data(), M, c.N, &synthesis, whole.data(), M * c.D), 0);
            for (int32_t t = n; t < M * c.D; ++t) EXPECT_NEAR(whole[t], 0.0, 1e-10) << t;
        }
    }
}

TEST(Gabor, BlockWiseTransformGivesTheFramesOfOneCallOnTheSameGrid) {
    struct Case {
        int32_t L, D, N;
    };
    const int32_t sizes[] = {3, 20, 1, 37, 9, 50, 30, 16, 4};
    int32_t total = 0;
    for (int32_t s : sizes) total += s;
    const auto x = Random(total, 131);
    for (const Case c : {Case{16, 4, 8}, Case{8, 8, 8}, Case{32, 2, 16}}) {
        SCOPED_TRACE(::testing::Message() << "L=" << c.L << " D=" << c.D << " N=" << c.N);
        const auto w = Random(c.L, 132);
        const StftParams p = Params(w, c.D, c.N);
        const int64_t group = c.N / c.D, capacity = c.L + c.N - c.D - 1;
        const int64_t wholeFrames = (total - c.L) / c.D + 1;
        std::vector<double> stft(wholeFrames * c.N);
        ASSERT_EQ(ReSTFT(x.data(), total, &p, stft.data()), 0);
        std::vector<double> once(wholeFrames * c.N, kSentinel), onceState(capacity);
        int32_t onceLength = 0;
        ASSERT_EQ(ReDGTWithIC(x.data(), total, onceState.data(), &onceLength, &p, once.data()), 0);

        std::vector<double> state(capacity, kSentinel);
        int32_t stateLength = 0, offset = 0;
        int64_t done = 0;
        for (int32_t size : sizes) {
            const int64_t joined = stateLength + size;
            const int64_t most = joined >= c.L ? (joined - c.L) / c.D + 1 : 0;
            std::vector<double> out(most * c.N + 1, kSentinel);
            ASSERT_EQ(ReDGTWithIC(&x[offset], size, state.data(), &stateLength, &p, out.data()), 0);
            const int64_t frames = (joined - stateLength) / c.D;
            EXPECT_EQ(frames % group, 0);
            EXPECT_LE(stateLength, capacity);
            EXPECT_EQ(joined - stateLength, frames * c.D);
            // The state holds the samples that are not yet consumed.
            for (int32_t k = 0; k < stateLength; ++k)
                ASSERT_EQ(state[k], x[offset + size - stateLength + k]);
            for (int64_t k = 0; k < frames * c.N; ++k) {
                ASSERT_EQ(out[k], stft[done * c.N + k]) << "frame " << done + k / c.N;
                ASSERT_EQ(out[k], once[done * c.N + k]) << "frame " << done + k / c.N;
            }
            EXPECT_EQ(out[frames * c.N], kSentinel);
            done += frames;
            offset += size;
        }
        EXPECT_EQ(done, wholeFrames / group * group);
        EXPECT_EQ(stateLength, onceLength);
    }
}

TEST(Gabor, BlockWiseExpansionContinuesOneCallOverTheJoinedCoefficients) {
    const int32_t L = 32, D = 4, N = 8;
    const auto gamma = Random(L, 141);
    const StftParams p = Params(gamma, D, N);
    // Blocks of whole groups of N/D frames keep the rotation of the joined call.
    for (const int32_t first : {6, 5}) {
        SCOPED_TRACE(first);
        const int32_t second = 7, M = first + second;
        const auto coef = Random(M * N, 142);
        std::vector<double> joined(M * D), joinedState(L - D);
        int32_t joinedLength = 0;
        ASSERT_EQ(
            ReDGEWithIC(coef.data(), M, N, &p, joined.data(), joinedState.data(), &joinedLength),
            0);
        EXPECT_EQ(joinedLength, L - D);
        const auto want = ExpansionOracle(
            [&](int64_t i, int64_t b) { return HalfComplexBin(&coef[i * N], b, N); }, M, N, gamma,
            D, false);
        for (int32_t t = 0; t < M * D; ++t) EXPECT_NEAR(joined[t], want[t].real(), 1e-13) << t;
        for (int32_t t = 0; t < L - D; ++t)
            EXPECT_NEAR(joinedState[t], want[M * D + t].real(), 1e-13) << t;

        std::vector<double> a(first * D), b(second * D), state(L - D + 1, kSentinel);
        int32_t stateLength = 0;
        ASSERT_EQ(ReDGEWithIC(coef.data(), first, N, &p, a.data(), state.data(), &stateLength), 0);
        EXPECT_EQ(stateLength, L - D);
        EXPECT_EQ(state[L - D], kSentinel);
        ASSERT_EQ(
            ReDGEWithIC(&coef[first * N], second, N, &p, b.data(), state.data(), &stateLength), 0);
        for (int32_t t = 0; t < first * D; ++t) EXPECT_EQ(a[t], joined[t]) << t;
        if (first % (N / D) != 0) continue;
        for (int32_t t = 0; t < second * D; ++t)
            EXPECT_NEAR(b[t], joined[first * D + t], 1e-13) << t;
        for (int32_t t = 0; t < L - D; ++t) EXPECT_NEAR(state[t], joinedState[t], 1e-13) << t;
    }
}

struct BadCase {
    int32_t n, L, D, N, status;
};

TEST(Gabor, BadTransformArgumentsReturnTheirStatusInOrderAndWriteNothing) {
    const BadCase cases[] = {
        {0, 16, 4, 8, 1},    {-3, 16, 4, 8, 1},  {0, 0, 0, 0, 1},     {10, 0, 4, 8, 19},
        {10, 16, 0, 8, 19},  {10, 16, 4, 0, 19}, {10, 16, 3, 8, 19},  {10, 12, 4, 8, 19},
        {10, 24, 4, 12, 19}, {10, 16, 8, 4, 19}, {10, 16, -4, 8, 19}, {10, -16, 4, 8, 19},
        {4, 16, 4, 8, 1},    {4, 16, 3, 8, 19},
    };
    const auto x = Random(64, 151);
    for (const BadCase& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << "n=" << c.n << " L=" << c.L << " D=" << c.D << " N=" << c.N);
        const auto w = Random(std::max(c.L, 0), 152);
        StftParams p = Params(w, c.D, c.N);
        p.windowLength = c.L;
        std::vector<double> re(256, kSentinel), cx(512, kSentinel), a(256, kSentinel),
            b(256, kSentinel);
        EXPECT_EQ(ReDGT(x.data(), c.n, &p, re.data()), c.status);
        EXPECT_EQ(CxDGT(x.data(), c.n, &p, cx.data()), c.status);
        EXPECT_EQ(CxDGTEx(x.data(), x.data() + 32, 1, c.n, &p, a.data(), b.data(), 1), c.status);
        for (const auto* v : {&re, &cx, &a, &b}) EXPECT_TRUE(AllEqual(*v, kSentinel));
    }
    // The layout is checked after the sizes and the lattice, before the transform's own checks.
    const auto w = Random(16, 153);
    const StftParams good = Params(w, 4, 8);
    const StftParams bad = Params(w, 3, 8);
    std::vector<double> a(256, kSentinel), b(256, kSentinel);
    for (const int32_t layout : {0, 3, -1}) {
        EXPECT_EQ(CxDGTEx(x.data(), x.data() + 1, layout, 10, &good, a.data(), b.data(), 1), -1);
        EXPECT_EQ(CxDGTEx(x.data(), x.data() + 1, layout, 4, &good, a.data(), b.data(), 1), -1);
        EXPECT_EQ(CxDGTEx(x.data(), x.data() + 1, layout, 0, &good, a.data(), b.data(), 1), 1);
        EXPECT_EQ(CxDGTEx(x.data(), x.data() + 1, layout, 10, &bad, a.data(), b.data(), 1), 19);
    }
    EXPECT_EQ(CxDGTEx(x.data(), x.data() + 2, 2, 10, &good, a.data(), b.data(), 1), -1);
    EXPECT_TRUE(AllEqual(a, kSentinel));
    EXPECT_TRUE(AllEqual(b, kSentinel));
}

TEST(Gabor, BadBlockWiseArgumentsReturnTheirStatusAndKeepTheState) {
    const auto x = Random(64, 161);
    struct Case {
        int32_t n, L, D, N, stateLength, status;
    };
    const Case cases[] = {
        {0, 16, 4, 8, 0, 1},    {10, 16, 3, 8, 0, 19},         {10, 24, 6, 8, 0, 19},
        {10, 16, 4, 8, -1, 1},  {10, 16, 4, 8, 16 + 8 - 4, 1}, {-1, 16, 4, 8, -1, 1},
        {10, 16, 3, 8, -1, 19},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "n=" << c.n << " L=" << c.L << " D=" << c.D
                                          << " N=" << c.N << " state=" << c.stateLength);
        const auto w = Random(c.L, 162);
        const StftParams p = Params(w, c.D, c.N);
        std::vector<double> out(256, kSentinel), state(64, kSentinel);
        int32_t stateLength = c.stateLength;
        EXPECT_EQ(ReDGTWithIC(x.data(), c.n, state.data(), &stateLength, &p, out.data()), c.status);
        EXPECT_EQ(stateLength, c.stateLength);
        EXPECT_TRUE(AllEqual(out, kSentinel));
        EXPECT_TRUE(AllEqual(state, kSentinel));
    }
}

TEST(Gabor, BadExpansionArgumentsReturnTheirStatusInOrderAndWriteNothing) {
    struct Case {
        int32_t M, N, L, D, bins, outLength, status;
    };
    const Case cases[] = {
        {2, 8, 16, 4, 8, 0, 1},    {0, 8, 16, 4, 8, 8, 1},  {2, 0, 16, 4, 8, 8, 1},
        {2, -8, 16, 3, 8, 8, 1},   {2, 8, 0, 4, 8, 8, 19},  {2, 8, 16, 0, 8, 8, 19},
        {2, 8, 16, 3, 8, 8, 19},   {2, 8, 12, 4, 8, 8, 19}, {2, 8, 16, 4, 16, 8, 19},
        {2, 12, 24, 4, 12, 8, 19}, {2, 4, 16, 8, 4, 8, 19},
    };
    const auto coef = Random(256, 171);
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << "M=" << c.M << " N=" << c.N << " L=" << c.L << " D=" << c.D
                     << " bins=" << c.bins << " outLength=" << c.outLength);
        const auto gamma = Random(std::max(c.L, 1), 172);
        StftParams p = Params(gamma, c.D, c.bins);
        p.windowLength = c.L;
        std::vector<double> re(64, kSentinel), cx(128, kSentinel), s(64, kSentinel),
            state(64, kSentinel);
        EXPECT_EQ(ReDGE(coef.data(), c.M, c.N, &p, re.data(), c.outLength), c.status);
        EXPECT_EQ(CxDGE(coef.data(), c.M, c.N, &p, cx.data(), c.outLength), c.status);
        EXPECT_EQ(CxDGEEx(coef.data(), coef.data() + 1, 2, c.M, c.N, &p, cx.data(), s.data(), 1,
                          c.outLength),
                  c.status);
        if (c.outLength > 0) {  // the block-wise expansion has no output length
            int32_t stateLength = 0;
            EXPECT_EQ(ReDGEWithIC(coef.data(), c.M, c.N, &p, re.data(), state.data(), &stateLength),
                      c.status);
            EXPECT_EQ(stateLength, 0);
        }
        for (const auto* v : {&re, &cx, &s, &state}) EXPECT_TRUE(AllEqual(*v, kSentinel));
    }
    // The block-wise expansion also needs a power-of-two step and a state it can hold.
    const auto gamma = Random(24, 173);
    const StftParams sixes = Params(gamma, 6, 8), fours = Params(gamma, 4, 8);
    std::vector<double> out(64, kSentinel), state(64, kSentinel);
    for (const auto& [p, stateLength, status] :
         {std::tuple{&sixes, 0, 19}, std::tuple{&fours, -1, 1}, std::tuple{&fours, 21, 1},
          std::tuple{&sixes, 99, 19}}) {
        int32_t length = stateLength;
        EXPECT_EQ(ReDGEWithIC(coef.data(), 2, 8, p, out.data(), state.data(), &length), status);
        EXPECT_EQ(length, stateLength);
    }
    EXPECT_TRUE(AllEqual(out, kSentinel));
    EXPECT_TRUE(AllEqual(state, kSentinel));
}

TEST(Gabor, ExhaustedMemoryReturnsTheStatusAndWritesNothing) {
    const auto x = Random(128, 181);
    const auto w = Random(16, 182);
    const StftParams p = Params(w, 4, 8);
    const int plan = PlanAllocations(8);
    std::vector<double> out(256, kSentinel), other(256, kSentinel), state(64, kSentinel);
    int32_t stateLength = 5;
    const auto reset = [&] {
        for (auto* v : {&out, &other, &state}) std::fill(v->begin(), v->end(), kSentinel);
        stateLength = 5;
    };
    const auto untouched = [&](int32_t status) {
        EXPECT_EQ(status, -20001);
        for (const auto* v : {&out, &other, &state}) EXPECT_TRUE(AllEqual(*v, kSentinel));
        EXPECT_EQ(stateLength, 5);
    };
    // The extended signal, the frame buffers, the plan.
    WalkEveryAllocation(
        2 + plan,
        [&] {
            reset();
            return ReDGT(x.data(), 30, &p, out.data());
        },
        untouched);
    WalkEveryAllocation(
        2 + plan,
        [&] {
            reset();
            return CxDGT(x.data(), 30, &p, out.data());
        },
        untouched);
    WalkEveryAllocation(
        2 + plan,
        [&] {
            reset();
            return CxDGTEx(x.data(), x.data() + 40, 1, 30, &p, out.data(), other.data(), 1);
        },
        untouched);
    // The joined samples, the frame buffer, the plan.
    WalkEveryAllocation(
        2 + plan,
        [&] {
            reset();
            return ReDGTWithIC(x.data(), 30, state.data(), &stateLength, &p, out.data());
        },
        untouched);
    // The accumulator with the window and frame work, the plan.
    WalkEveryAllocation(
        1 + plan,
        [&] {
            reset();
            return ReDGE(x.data(), 4, 8, &p, out.data(), 16);
        },
        untouched);
    WalkEveryAllocation(
        1 + plan,
        [&] {
            reset();
            return CxDGE(x.data(), 4, 8, &p, out.data(), 16);
        },
        untouched);
    WalkEveryAllocation(
        1 + plan,
        [&] {
            reset();
            return CxDGEEx(x.data(), x.data() + 1, 2, 4, 8, &p, out.data(), other.data(), 1, 16);
        },
        untouched);
    WalkEveryAllocation(
        1 + plan,
        [&] {
            reset();
            return ReDGEWithIC(x.data(), 4, 8, &p, out.data(), state.data(), &stateLength);
        },
        untouched);
}

}  // namespace
