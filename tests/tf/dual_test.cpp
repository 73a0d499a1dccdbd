// Gaussian window against its closed form; the dual window against the
// biorthogonality equations, independent least-norm solutions and a round trip
// through a directly evaluated Gabor transform and expansion.

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "fault_walk.h"
#include "mornavel.h"

namespace {

constexpr double kSentinel = -777.0;
constexpr long double kPiL = 3.14159265358979323846264338327950288L;

TEST(Gaussian, FollowsTheClosedForm) {
    struct Case {
        int L;
        double center, variance;
    };
    for (const Case c : {Case{1, 0, 1}, Case{64, 31.5, 40}, Case{100, 12.25, 3}, Case{33, -4, 0.5},
                         Case{256, 128, 1e4}}) {
        SCOPED_TRACE(::testing::Message()
                     << "L " << c.L << " center " << c.center << " variance " << c.variance);
        std::vector<double> w(c.L + 1, kSentinel);
        ASSERT_EQ(Gaussian(c.L, c.center, c.variance, w.data()), 0);
        for (int i = 0; i < c.L; ++i) {
            const long double d = c.center - i, exponent = d * d / (2.0L * c.variance);
            const long double want = std::pow(kPiL * c.variance, -0.25L) * std::exp(-exponent);
            // exp(x) taken as 2^(x·log2 e): the rounded product carries an error
            // proportional to |x|.
            // Subnormal results are rounded to whole multiples of the least one.
            const long double bound = (4 + 2 * exponent) * DBL_EPSILON * want +
                                      2 * std::numeric_limits<double>::denorm_min();
            EXPECT_NEAR(w[i], static_cast<double>(want), static_cast<double>(bound)) << i;
        }
        EXPECT_EQ(w[c.L], kSentinel);
    }
}

TEST(Gaussian, CenteredWindowIsSymmetricWithUnitEnergy) {
    const int L = 1024;
    std::vector<double> w(L);
    ASSERT_EQ(Gaussian(L, (L - 1) / 2.0, 900, w.data()), 0);
    long double energy = 0;
    for (int i = 0; i < L; ++i) {
        EXPECT_EQ(w[i], w[L - 1 - i]) << i;
        energy += static_cast<long double>(w[i]) * w[i];
    }
    EXPECT_NEAR(static_cast<double>(energy), 1.0, 1e-13);
}

TEST(Gaussian, EmptyLengthsWriteNothing) {
    double w = kSentinel;
    EXPECT_EQ(Gaussian(0, 0, 1, &w), 0);
    EXPECT_EQ(Gaussian(-5, 0, 1, &w), 0);
    EXPECT_EQ(w, kSentinel);
}

struct Lattice {
    int L, D, N, mode;
};

std::vector<double> GaussianWindow(int L) {
    std::vector<double> w(L);
    Gaussian(L, L / 2.0, (L / 5.0) * (L / 5.0), w.data());
    return w;
}

// The matrix of one phase i: A[j][r] = w̃[(i + j·D + r·N) mod g], w̃ the window
// zero-extended to g samples.
struct PhaseSystem {
    int n, e;
    std::vector<long double> a;  // n×e
    long double at(int j, int r) const { return a[j * e + r]; }
};

PhaseSystem Phase(const std::vector<double>& w, const Lattice& t, int i) {
    const long long g = t.mode == 0 ? t.L : 2LL * t.L - t.N;
    PhaseSystem s{t.L / t.D, t.mode == 0 ? t.L / t.N : 2 * t.L / t.N - 1, {}};
    s.a.resize(static_cast<size_t>(s.n) * s.e);
    for (int j = 0; j < s.n; ++j)
        for (int r = 0; r < s.e; ++r) {
            const long long k =
                (i + static_cast<long long>(j) * t.D + static_cast<long long>(r) * t.N) % g;
            s.a[j * s.e + r] = k < t.L ? w[k] : 0.0;
        }
    return s;
}

// Solves the symmetric positive definite system m·y = b (size×size) by
// Gaussian elimination in long double.
std::vector<long double> Solve(std::vector<long double> m, std::vector<long double> b, int size) {
    for (int c = 0; c < size; ++c) {
        for (int r = c + 1; r < size; ++r) {
            const long double f = m[r * size + c] / m[c * size + c];
            for (int l = c; l < size; ++l) m[r * size + l] -= f * m[c * size + l];
            b[r] -= f * b[c];
        }
    }
    std::vector<long double> y(size);
    for (int r = size - 1; r >= 0; --r) {
        long double sum = b[r];
        for (int l = r + 1; l < size; ++l) sum -= m[r * size + l] * y[l];
        y[r] = sum / m[r * size + r];
    }
    return y;
}

// The least-norm (least-squares when overdetermined) solution of Aᵀ·γ = e1 by
// normal equations: γ = A·(AᵀA)⁻¹·e1 when A has full column rank, else
// γ = (AAᵀ)⁻¹·A·e1 for full row rank.
std::vector<long double> LeastNorm(const PhaseSystem& s) {
    std::vector<long double> gamma(s.n);
    if (s.n >= s.e) {
        std::vector<long double> m(s.e * s.e), b(s.e, 0.0L);
        for (int p = 0; p < s.e; ++p)
            for (int q = 0; q < s.e; ++q)
                for (int j = 0; j < s.n; ++j) m[p * s.e + q] += s.at(j, p) * s.at(j, q);
        b[0] = 1;
        const auto y = Solve(m, b, s.e);
        for (int j = 0; j < s.n; ++j)
            for (int r = 0; r < s.e; ++r) gamma[j] += s.at(j, r) * y[r];
    } else {
        std::vector<long double> m(s.n * s.n), b(s.n);
        for (int p = 0; p < s.n; ++p) {
            for (int q = 0; q < s.n; ++q)
                for (int r = 0; r < s.e; ++r) m[p * s.n + q] += s.at(p, r) * s.at(q, r);
            b[p] = s.at(p, 0);
        }
        gamma = Solve(m, b, s.n);
    }
    return gamma;
}

const Lattice kConsistent[] = {
    {16, 4, 8, 0},  {16, 4, 8, 1},    {32, 4, 16, 0},   {32, 4, 16, 1},   {24, 3, 8, 1},
    {96, 8, 32, 1}, {128, 16, 64, 0}, {128, 16, 64, 1}, {256, 16, 64, 1}, {64, 8, 16, 1},
};

TEST(FastDual, SatisfiesTheBiorthogonalityEquations) {
    for (const auto& t : kConsistent) {
        SCOPED_TRACE(::testing::Message()
                     << "L " << t.L << " D " << t.D << " N " << t.N << " mode " << t.mode);
        const auto w = GaussianWindow(t.L);
        std::vector<double> dual(t.L + 1, kSentinel);
        ASSERT_EQ(FastDual(w.data(), t.L, t.D, t.N, t.mode, dual.data()), 0);
        EXPECT_EQ(dual[t.L], kSentinel);
        for (int i = 0; i < t.D; ++i) {
            const auto s = Phase(w, t, i);
            for (int r = 0; r < s.e; ++r) {
                long double sum = 0;
                for (int j = 0; j < s.n; ++j) sum += s.at(j, r) * dual[i + j * t.D];
                EXPECT_NEAR(static_cast<double>(sum), r == 0 ? 1.0 / t.D : 0.0, 1e-13 / t.D)
                    << "phase " << i << " shift " << r;
            }
        }
    }
}

TEST(FastDual, IsTheLeastNormSolutionOfEveryPhase) {
    // Consistent systems, and overdetermined ones (more shifts than samples per
    // phase) whose least-squares solution is unique.
    std::vector<Lattice> lattices(std::begin(kConsistent), std::end(kConsistent));
    lattices.insert(lattices.end(), {{16, 4, 4, 1}, {40, 5, 8, 1}, {64, 16, 16, 1}});
    for (const auto& t : lattices) {
        SCOPED_TRACE(::testing::Message()
                     << "L " << t.L << " D " << t.D << " N " << t.N << " mode " << t.mode);
        const auto w = GaussianWindow(t.L);
        std::vector<double> dual(t.L);
        ASSERT_EQ(FastDual(w.data(), t.L, t.D, t.N, t.mode, dual.data()), 0);
        for (int i = 0; i < t.D; ++i) {
            const auto gamma = LeastNorm(Phase(w, t, i));
            long double scale = 0;
            for (long double v : gamma) scale = std::max(scale, std::fabs(v) / t.D);
            for (int j = 0; j < t.L / t.D; ++j)
                EXPECT_NEAR(dual[i + j * t.D], static_cast<double>(gamma[j] / t.D),
                            static_cast<double>(1e-12L * scale))
                    << "phase " << i << " sample " << j;
        }
    }
}

TEST(FastDual, WithoutRedundancyInvertsTheWindowSampleBySample) {
    // L = N = D: every system is 1×1; samples at or below 1e-10 have no inverse.
    const std::vector<double> w = {0.5, -2, 1e-10, 0, 3e-10, 7, -1e-12, 1};
    const int L = static_cast<int>(w.size());
    for (int mode : {0, 1}) {
        SCOPED_TRACE(mode);
        std::vector<double> dual(L, kSentinel);
        ASSERT_EQ(FastDual(w.data(), L, L, L, mode, dual.data()), 0);
        for (int k = 0; k < L; ++k) {
            const long double want =
                std::fabs(w[k]) > 1e-10 ? 1.0L / (static_cast<long double>(L) * w[k]) : 0;
            EXPECT_NEAR(dual[k], static_cast<double>(want),
                        4 * DBL_EPSILON * std::fabs(static_cast<double>(want)))
                << k;
        }
    }
}

TEST(FastDual, ModesCoincideWhenTheWindowSpansOneFrame) {
    for (const Lattice t : {Lattice{16, 4, 16, 0}, Lattice{64, 8, 64, 0}, Lattice{32, 32, 32, 0}}) {
        const auto w = GaussianWindow(t.L);
        std::vector<double> periodic(t.L), extended(t.L);
        ASSERT_EQ(FastDual(w.data(), t.L, t.D, t.N, 0, periodic.data()), 0);
        ASSERT_EQ(FastDual(w.data(), t.L, t.D, t.N, 1, extended.data()), 0);
        EXPECT_EQ(periodic, extended);
    }
}

TEST(FastDual, PhasesWithoutWindowSamplesGetAZeroDual) {
    // Phase 1 of the lattice sees only zeros: its singular values are all
    // dropped and the other phases are unaffected.
    const Lattice t{32, 4, 8, 1};
    auto w = GaussianWindow(t.L);
    for (int k = 1; k < t.L; k += t.D) w[k] = 0;
    std::vector<double> dual(t.L);
    ASSERT_EQ(FastDual(w.data(), t.L, t.D, t.N, t.mode, dual.data()), 0);
    for (int k = 0; k < t.L; ++k) {
        ASSERT_TRUE(std::isfinite(dual[k])) << k;
        if (k % t.D == 1) {
            EXPECT_EQ(dual[k], 0.0) << k;
        }
    }
    for (int i : {0, 2, 3}) {
        const auto gamma = LeastNorm(Phase(w, t, i));
        for (int j = 0; j < t.L / t.D; ++j)
            EXPECT_NEAR(dual[i + j * t.D], static_cast<double>(gamma[j] / t.D), 1e-12);
    }
}

// Gabor transform then expansion of the zero-padded signal taken as periodic
// (period P, frames centred on multiples of D), evaluated directly in the time
// domain in long double: frame i's inverse DFT, un-rotated, is the window times
// the signal folded modulo N; the expansion's accumulator is folded onto the
// period as a whole, so that windows longer than the period are covered too.
std::vector<long double> GaborRoundTrip(const std::vector<double>& x, const std::vector<double>& w,
                                        const std::vector<double>& dual, int D, int N) {
    const int n = static_cast<int>(x.size()), L = static_cast<int>(w.size());
    const int P = D * ((n + D - 1) / D), M = P / D, h = L / 2;
    const auto signal = [&](long long t) -> long double {
        const long long q = ((t % P) + P) % P;
        return q < n ? x[q] : 0.0;
    };
    std::vector<long double> out(P, 0.0L);
    for (int i = 0; i < M; ++i) {
        for (int m = 0; m < L; ++m) {
            long double folded = 0;
            for (int k = m % N; k < L; k += N)
                folded += w[k] * signal(static_cast<long long>(i) * D + k - h);
            out[((i * D + m - h) % P + P) % P] += static_cast<long double>(D) * dual[m] * folded;
        }
    }
    out.resize(n);
    return out;
}

TEST(FastDual, ModeOneDualInvertsTheGaborTransformForAnyLength) {
    struct Case {
        int L, D, N;
    };
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> u(-1, 1);
    for (const Case c : {Case{32, 4, 16}, Case{64, 8, 32}, Case{48, 6, 16}, Case{64, 16, 32}}) {
        const auto w = GaussianWindow(c.L);
        std::vector<double> dual(c.L);
        ASSERT_EQ(FastDual(w.data(), c.L, c.D, c.N, 1, dual.data()), 0);
        for (int n : {1, c.D - 1, c.D, c.D + 1, 2 * c.D, 2 * c.D + 1, c.L, 3 * c.L + 5, 401}) {
            SCOPED_TRACE(::testing::Message()
                         << "L " << c.L << " D " << c.D << " N " << c.N << " n " << n);
            std::vector<double> x(n);
            for (auto& v : x) v = u(rng);
            const auto y = GaborRoundTrip(x, w, dual, c.D, c.N);
            long double worst = 0;
            for (int t = 0; t < n; ++t) worst = std::max(worst, std::fabs(y[t] - x[t]));
            EXPECT_LT(static_cast<double>(worst), 1e-12);
        }
    }
}

TEST(FastDual, RejectsBadArgumentsInOrderWritingNothing) {
    struct Case {
        int L, D, N, mode;
        int32_t status;
    };
    const Case cases[] = {
        {16, 0, 8, 0, 19},     {16, -4, 8, 0, 19},     {16, 4, 0, 0, 19},
        {16, 4, -8, 0, 19},    {24, 4, 12, 0, 19},     {0, 0, 8, 5, 19},  // the lattice comes first
        {0, 4, 8, 0, 1},       {-16, 4, 8, 0, 1},      {18, 4, 2, 0, 1},  // before N < D
        {12, 4, 8, 0, 1},      {12, 4, 8, 7, 1},                          // before the mode
        {16, 8, 4, 0, 19},     {16, 8, 4, 2, 19},                         // N < D before the mode
        {16, 4, 8, 2, -20061}, {16, 4, 8, -1, -20061},
    };
    const auto w = GaussianWindow(32);
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << "L " << c.L << " D " << c.D << " N " << c.N << " mode " << c.mode);
        std::vector<double> dual(32, kSentinel);
        EXPECT_EQ(FastDual(w.data(), c.L, c.D, c.N, c.mode, dual.data()), c.status);
        for (double v : dual) ASSERT_EQ(v, kSentinel);
    }
}

TEST(FastDual, ExhaustedMemoryWritesNothing) {
    const Lattice t{64, 8, 16, 1};
    const auto w = GaussianWindow(t.L);
    std::vector<double> dual(t.L);
    const int allocations = testsupport::WalkAllocationFailures(
        [&] {
            std::fill(dual.begin(), dual.end(), kSentinel);
            return FastDual(w.data(), t.L, t.D, t.N, t.mode, dual.data());
        },
        [&](int64_t, int32_t status) {
            EXPECT_EQ(status, -20001);
            for (double v : dual) ASSERT_EQ(v, kSentinel);
        });
    EXPECT_EQ(allocations, 5);
}

TEST(FastDual, UnaddressableSystemsReportExhaustedMemory) {
    // g = 2L - N and the phase matrices exceed any address space: the sizes are
    // checked before anything is allocated or read.
    double w = 1, dual = kSentinel;
    for (const Lattice t :
         {Lattice{1 << 30, 1, 1, 1}, Lattice{2147483646, 1, 2, 1}, Lattice{2147483646, 1, 2, 0}}) {
        EXPECT_EQ(FastDual(&w, t.L, t.D, t.N, t.mode, &dual), -20001);
        EXPECT_EQ(dual, kSentinel);
    }
}

TEST(FastDual, NonConvergenceStopsAtTheFailingPhase) {
    // A non-finite sample in phase 2: phases 0 and 1 are written, 2 and 3 are not.
    const Lattice t{32, 4, 8, 1};
    auto w = GaussianWindow(t.L);
    w[2 + 4 * t.D] = std::numeric_limits<double>::quiet_NaN();
    std::vector<double> dual(t.L, kSentinel);
    EXPECT_EQ(FastDual(w.data(), t.L, t.D, t.N, t.mode, dual.data()), -20062);
    for (int k = 0; k < t.L; ++k) {
        const bool written = k % t.D < 2;
        EXPECT_EQ(dual[k] != kSentinel, written) << k;
    }
}

}  // namespace
