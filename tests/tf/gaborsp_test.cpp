// Gabor spectrogram against the sums that define it (pair products smoothed by
// untruncated Gaussians in long double) and the closed form of one atom; its
// order ranges and the approach to the Wigner-Ville distribution; the mean
// instantaneous frequency of tones and chirps; the repair of instantaneous
// frequencies; statuses and exhausted memory.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

#include "analysis_support.h"
#include "mornavel.h"

namespace {

using namespace analysis;
constexpr long double kPi = kTwoPi / 2;

struct SpArgs {
    int32_t M, N, centre, dM;
    double v;
    int32_t lo, hi, P, G, h, Q;
    int64_t Size() const { return int64_t{M} * P * Q; }
};

std::vector<double> Spectrogram(const std::vector<double>& coef, const SpArgs& a) {
    std::vector<double> out(a.Size(), kSentinel);
    EXPECT_EQ(CxGaborSp(coef.data(), a.M, a.N, a.centre, a.dM, a.v, a.lo, a.hi, a.P, a.G, a.h, a.Q,
                        out.data()),
              0);
    return out;
}

Complex Coef(const std::vector<double>& c, int64_t i) { return {c[2 * i], c[2 * i + 1]}; }

// Whether channels k and k + Δk lie on one side of the Nyquist frequency.
bool SameSide(int k, int dk, int N) {
    if (2 * k == N) return true;
    const int to = k + dk;
    if (dk > 0) return 2 * k < N ? 2 * to < N : 2 * to <= 3 * N;
    return 2 * k < N ? 2 * to >= -N : 2 * to >= N;
}

// The spectrogram of the pairs whose order is in `orders`: each product
// conj(C[m][k])·C[m+Δm][k+Δk] with its phase, smoothed by the cross term of
// the two atoms (a Gaussian of variance 1/(2v) around their mean frequency and
// one of variance v/2 around their mean time, with their linear phases),
// twice the real part over the offsets with Δm > 0 or Δk > 0 plus the auto terms.
std::vector<long double> OracleSp(const std::vector<double>& coef, const SpArgs& a,
                                  const std::vector<int>& orders) {
    const int M = a.M, N = a.N, L = N * a.G;
    const long double v = a.v, dM = a.dM, dw = kTwoPi / L, dt = dM / a.P;
    std::vector<Complex> acc(a.Size());
    for (int order : orders)
        for (int dm = 0; dm <= order; ++dm)
            for (int sign : {1, -1}) {
                const int dk = sign * (order - dm);
                if (sign < 0 && (dm == 0 || dk == 0)) continue;  // conjugates, or counted
                const long double half = (dm == 0 && dk == 0) ? 0.5L : 1.0L;
                const long double w0 = kPi * dk / N, tau0 = -dM * dm;
                const long double w1 = kTwoPi * dk / N, t0 = dM * dm / 2;
                std::vector<Complex> kf(L);
                for (int d = 0; d < L; ++d)
                    for (int j = -3; j <= 3; ++j) {
                        const long double u = (d + j * L) * dw - w0;
                        kf[d] +=
                            std::exp(-v * u * u) * Complex{std::cos(tau0 * u), std::sin(tau0 * u)};
                    }
                for (int m = 0; m + dm < M; ++m) {
                    std::vector<Complex> f(L);
                    const long double phi = kPi * dM * dk * (dm + 2 * m) / N;
                    for (int k = 0; k < N; ++k) {
                        if (!SameSide(k, dk, N)) continue;
                        const Complex p = std::conj(Coef(coef, m * N + k)) *
                                          Coef(coef, (m + dm) * N + ((k + dk) % N + N) % N) *
                                          Complex{std::cos(phi), std::sin(phi)};
                        for (int c = 0; c < L; ++c) f[c] += p * kf[((c - k * a.G) % L + L) % L];
                    }
                    for (int l = 0; l < M; ++l)
                        for (int s = 0; s < a.P; ++s) {
                            const long double u = ((l - m) * a.P + s) * dt - t0;
                            const Complex kt = half * std::exp(-u * u / v) *
                                               Complex{std::cos(w1 * u), std::sin(w1 * u)};
                            for (int q = 0; q < a.Q; ++q) {
                                const int c = a.centre ? ((a.h + q - L / 2) % L + L) % L : a.h + q;
                                acc[(int64_t{l} * a.P + s) * a.Q + q] += f[c] * kt;
                            }
                        }
                }
            }
    std::vector<long double> out(a.Size());
    const long double scale = 4 * dM * dM / (static_cast<long double>(N) * N * N * a.G);
    for (size_t i = 0; i < out.size(); ++i) out[i] = acc[i].real() * scale;
    return out;
}

long double Peak(const std::vector<long double>& x) {
    long double p = 0;
    for (long double y : x) p = std::max(p, std::fabs(y));
    return p;
}

TEST(GaborSp, MatchesThePairSumsForEveryOrderRangeAndGrid) {
    struct Case {
        SpArgs a;
        std::vector<int> orders;  // the orders the call must sum
    };
    const Case cases[] = {
        {{6, 8, 0, 4, 12.0, 0, 0, 2, 2, 0, 16}, {0}},
        {{6, 8, 0, 4, 12.0, 0, 2, 2, 2, 0, 16}, {0, 1, 2}},
        {{5, 8, 1, 2, 6.0, 1, 3, 4, 1, 1, 6}, {1, 2, 3}},
        {{6, 8, 0, 4, 20.0, -3, 1, 1, 3, 5, 19}, {0, 1}},
        {{4, 8, 0, 4, 12.0, 2, 50, 2, 2, 0, 16}, {2, 3}},  // limited to min(M, N) − 1
        {{3, 4, 0, 4, 8.0, 4, 9, 2, 2, 0, 8}, {4}},        // orderLow above the limit
        {{3, 4, 1, 4, 8.0, 6, 1, 2, 2, 3, 5}, {6}},
        {{4, 1, 0, 2, 4.0, 0, 3, 2, 4, 0, 4}, {0}},  // one channel
    };
    long double worst = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "M " << c.a.M << " N " << c.a.N << " orders " << c.a.lo << ".." << c.a.hi);
        const auto coef = Random(2 * int64_t{c.a.M} * c.a.N, 7 + c.a.M + c.a.lo);
        const auto got = Spectrogram(coef, c.a);
        const auto want = OracleSp(coef, c.a, c.orders);
        const long double peak = Peak(want);
        ASSERT_GT(peak, 0);
        for (size_t i = 0; i < got.size(); ++i) {
            const long double e = std::fabs(got[i] - want[i]) / peak;
            worst = std::max(worst, e);
            ASSERT_LT(e, 1e-12) << "value " << i;
        }
    }
    std::printf("[ figures  ] Gabor spectrogram against the pair sums, error / peak: %.3Le\n",
                worst);
}

// One coefficient c at (m0, k0): 2ΔM²|c|²/(N³G)·e^(−(t − m0ΔM)²/v)·e^(−v(ω − 2πk0/N)²),
// a Gaussian of variance v/2 in time and 1/(2v) in frequency; with the centring
// flag column q is frequency h + q − N·G/2.
TEST(GaborSp, OneCoefficientIsTheGaussianBlobOfItsAtom) {
    struct Case {
        int m0, k0, centre, h, Q;
    };
    const Case cases[] = {{3, 5, 0, 0, 32}, {2, 0, 1, 0, 32}, {4, 0, 1, 6, 20}, {1, 12, 0, 17, 15}};
    const int M = 8, N = 16, dM = 4, P = 4, G = 2, L = N * G;
    const double v = 30.0;
    long double worst = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "coefficient " << c.m0 << ", " << c.k0 << " centre " << c.centre);
        std::vector<double> coef(2 * M * N, 0.0);
        coef[2 * (c.m0 * N + c.k0)] = 0.6;
        coef[2 * (c.m0 * N + c.k0) + 1] = -0.8;
        const SpArgs a{M, N, c.centre, dM, v, 0, 0, P, G, c.h, c.Q};
        const auto got = Spectrogram(coef, a);
        const long double peak = 2.0L * dM * dM / (static_cast<long double>(N) * N * N * G);
        for (int row = 0; row < M * P; ++row) {
            const long double dt = row * static_cast<long double>(dM) / P - c.m0 * dM;
            int best = 0;
            for (int q = 0; q < c.Q; ++q) {
                const int column = c.h + q - (c.centre ? L / 2 : 0);
                const int bins = ((column - c.k0 * G) % L + L + L / 2) % L - L / 2;
                const long double dw = kTwoPi * bins / L;
                const long double want = peak * std::exp(-dt * dt / v) * std::exp(-v * dw * dw);
                const long double e = std::fabs(got[row * c.Q + q] - want) / peak;
                worst = std::max(worst, e);
                ASSERT_LT(e, 1e-13) << "row " << row << " column " << q;
                if (got[row * c.Q + q] > got[row * c.Q + best]) best = q;
            }
            if (c.k0 == 0 && c.centre) {
                EXPECT_EQ(best, L / 2 - c.h) << "row " << row;
            }
        }
    }
    std::printf("[ figures  ] one coefficient against its Gaussian blob, error / peak: %.3Le\n",
                worst);
}

TEST(GaborSp, OrderZeroIsNonNegativeAndDisjointRangesAdd) {
    const SpArgs a{7, 8, 1, 2, 5.0, 0, 0, 3, 2, 0, 16};
    const auto coef = Random(2 * a.M * a.N, 21);
    for (double x : Spectrogram(coef, a)) ASSERT_GE(x, 0.0);
    auto with = [&](int lo, int hi) {
        SpArgs b = a;
        b.lo = lo;
        b.hi = hi;
        return Spectrogram(coef, b);
    };
    const auto low = with(0, 1), high = with(2, 3), all = with(0, 3);
    double peak = 0;
    for (double x : all) peak = std::max(peak, std::fabs(x));
    for (size_t i = 0; i < all.size(); ++i)
        ASSERT_NEAR(low[i] + high[i], all[i], 1e-13 * peak) << "value " << i;
}

// The spectrogram of a two-tone signal's coefficients against its pseudo
// Wigner-Ville distribution on the same grid (one row per sample, 64 bins),
// away from the ends, as the order grows: the relative L2 difference after the
// best common scale.
TEST(GaborSp, ApproachesTheWignerVilleDistributionAsTheOrderGrows) {
    const int n = 256, dM = 8, N = 32, L = 64, B = 64, M = n / dM;
    const double v = dM * N / kTwoPi;
    std::vector<double> z(2 * n), re(n), im(n);
    for (int t = 0; t < n; ++t) {
        const double a = kTwoPi * 8.0 / B * t, b = kTwoPi * 20.0 / B * t;
        re[t] = std::cos(a) + std::cos(b);
        im[t] = std::sin(a) + std::sin(b);
        z[2 * t] = re[t];
        z[2 * t + 1] = im[t];
    }
    std::vector<double> window(L);
    ASSERT_EQ(Gaussian(L, L / 2.0, v, window.data()), 0);
    const StftParams p = Params(window, dM, N);
    std::vector<double> coef(2 * M * N);
    ASSERT_EQ(CxDGT(z.data(), n, &p, coef.data()), 0);
    std::vector<double> wvd(int64_t{n} * B);
    ASSERT_EQ(WVD(re.data(), im.data(), n, B, 1, 0, wvd.data()), 0);
    std::printf("[ figures  ] Gabor spectrogram against WVD, relative difference by order:");
    double previous = 2;
    for (int order = 0; order <= 12; ++order) {
        const SpArgs a{M, N, 0, dM, v, 0, order, dM, B / N, 0, B};
        const auto sp = Spectrogram(coef, a);
        long double ab = 0, bb = 0, aa = 0;
        for (int t = n / 4; t < 3 * n / 4; ++t)
            for (int q = 0; q < B; ++q) {
                const long double x = wvd[t * B + q], y = sp[t * B + q];
                ab += x * y;
                bb += y * y;
                aa += x * x;
            }
        const long double s = ab / bb;
        const auto difference = static_cast<double>(std::sqrt((aa - 2 * s * ab + s * s * bb) / aa));
        std::printf(" %d: %.4f;", order, difference);
        EXPECT_LT(difference, previous) << "order " << order;
        previous = difference;
    }
    std::printf("\n");
    EXPECT_LT(previous, 0.35);
}

TEST(GaborSp, StatusesInOrderLeaveTheOutputUntouched) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const SpArgs base{4, 8, 0, 4, 16.0, 0, 1, 2, 2, 0, 16};
    struct Case {
        SpArgs a;
        int32_t status;
        bool readsCoefficients;
    };
    auto with = [&](auto change) {
        SpArgs a = base;
        change(a);
        return a;
    };
    const Case cases[] = {
        {with([](SpArgs& a) { a.M = 0, a.dM = 3, a.hi = -1, a.v = 0, a.P = -1; }), 1, false},
        {with([](SpArgs& a) { a.N = 6, a.dM = 0; }), 1, false},
        {with([](SpArgs& a) { a.dM = 3, a.hi = -1, a.v = -1; }), 19, false},
        {with([](SpArgs& a) { a.hi = -1, a.v = 0, a.P = -1; }), 13, false},
        {with([](SpArgs& a) { a.v = 0, a.P = -1, a.h = -1; }), 17, false},
        {with([&](SpArgs& a) { a.v = nan; }), 17, false},
        {with([](SpArgs& a) { a.P = -1, a.Q = 0; }), 21, false},
        {with([](SpArgs& a) { a.G = -1; }), 21, false},
        {with([](SpArgs& a) { a.G = 0; }), 20, false},
        {with([](SpArgs& a) { a.h = -1; }), 20, false},
        {with([](SpArgs& a) { a.h = 16, a.Q = 1; }), 20, false},
        {with([](SpArgs& a) { a.Q = 0; }), 20, false},
        {with([](SpArgs& a) { a.Q = 17; }), 20, false},
        {with([](SpArgs& a) { a.h = 3, a.Q = 14; }), 20, false},
        {with([](SpArgs& a) { a.h = 3, a.Q = 13; }), 0, true},
        {with([](SpArgs& a) { a.P = 0; }), 0, false},  // no rows
        {with([](SpArgs& a) { a.M = 1 << 20, a.N = 1 << 11, a.Q = 1; }), -20001, false},
        {with([](SpArgs& a) { a.v = 1e30; }), -20001, false},
        {with([](SpArgs& a) { a.v = 1e-300; }), -20001, false},
        {with([](SpArgs& a) { a.v = std::numeric_limits<double>::infinity(); }), -20001, false},
        {with([](SpArgs& a) { a.M = 1 << 16, a.P = 1 << 10, a.Q = 16; }), -20001, false},
    };
    const auto coef = Random(2 * 4 * 8, 3);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "expected " << c.status);
        std::vector<double> out(4 * 2 * 16, kSentinel);
        EXPECT_EQ(CxGaborSp(c.readsCoefficients ? coef.data() : nullptr, c.a.M, c.a.N, c.a.centre,
                            c.a.dM, c.a.v, c.a.lo, c.a.hi, c.a.P, c.a.G, c.a.h, c.a.Q, out.data()),
                  c.status);
        if (c.status != 0 || c.a.P == 0) {
            EXPECT_TRUE(AllEqual(out, kSentinel));
        }
    }
}

TEST(GaborSp, EveryExhaustedMemoryPathLeavesTheOutputUntouched) {
    const SpArgs a{4, 8, 1, 4, 16.0, 0, 2, 2, 2, 1, 12};  // T4 = 16
    const auto coef = Random(2 * 4 * 8, 5);
    std::vector<double> out(a.Size(), kSentinel);
    WalkEveryAllocation(
        11 + PlanAllocations(8) + PlanAllocations(16),
        [&] {
            return CxGaborSp(coef.data(), a.M, a.N, a.centre, a.dM, a.v, a.lo, a.hi, a.P, a.G, a.h,
                             a.Q, out.data());
        },
        [&](int32_t status) {
            EXPECT_EQ(status, -20001);
            EXPECT_TRUE(AllEqual(out, kSentinel));
        });
}

TEST(InstantaneousFrequency, RepairsInvalidRowsLinearly) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* name;
        std::vector<double> means;  // the row means put into the matrix; < 0: an empty row
        std::vector<double> want;
    };
    const Case cases[] = {
        {"all in bin 5", {5, 5, 5}, {5, 5, 5}},
        {"leading gap", {-1, -1, -1, 6, 7}, {1.5, 3, 4.5, 6, 7}},
        {"inner gap", {2, -1, -1, 8}, {2, 4, 6, 8}},
        {"trailing gap",
         {1, 1, 1, 1, 1, 1, 1, 8, -1, -1},
         {1, 1, 1, 1, 1, 1, 1, 8, 16.0 / 3, 8.0 / 3}},
        {"mean 0 is invalid", {4, 0, 2}, {4, 3, 2}},
        {"not a number", {3, nan, 5}, {3, 4, 5}},
        {"all invalid", {-1, 0, nan}, {0, 0, 0}},
    };
    const int cols = 10;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto rows = static_cast<int32_t>(c.means.size());
        std::vector<double> tfd(rows * cols, 0.0), freq(rows), energy(rows);
        for (int i = 0; i < rows; ++i) {
            const double f = c.means[i];
            if (std::isnan(f)) {
                tfd[i * cols + 1] = nan;
            } else if (f >= 0) {  // two bins around the mean, 3 of energy
                const int b = static_cast<int>(f);
                tfd[i * cols + b] += 3 * (1 - (f - b));
                if (f > b) tfd[i * cols + b + 1] += 3 * (f - b);
            }
        }
        ASSERT_EQ(InstantaneousFrequency(tfd.data(), rows, cols, 7, -7, freq.data(), energy.data()),
                  0);
        for (int i = 0; i < rows; ++i) {
            EXPECT_NEAR(freq[i], c.want[i], 1e-12) << "row " << i;
            if (std::isnan(c.means[i]))
                EXPECT_TRUE(std::isnan(energy[i]));
            else
                EXPECT_EQ(energy[i], c.means[i] >= 0 ? 3.0 : 0.0) << "row " << i;
        }
    }
    std::vector<double> freq(2, kSentinel), energy(2, kSentinel);
    EXPECT_EQ(InstantaneousFrequency(nullptr, 0, 3, 0, 0, freq.data(), energy.data()), 1);
    EXPECT_EQ(InstantaneousFrequency(nullptr, 2, 0, 0, 0, freq.data(), energy.data()), 1);
    EXPECT_EQ(InstantaneousFrequency(nullptr, 1 << 16, 1 << 16, 0, 0, freq.data(), energy.data()),
              -20001);
    EXPECT_TRUE(AllEqual(freq, kSentinel) && AllEqual(energy, kSentinel));
}

// Coefficients of x(t) = e^(i·(a·t + b·t²/2)), whose frequency at t is a + b·t.
struct Chirp {
    int n = 512, dM = 8, N = 64, L = 128, M = 64;
    double v = 8 * 64 / kTwoPi;
    std::vector<double> coef;
    Chirp(double a, double b) : coef(2 * M * N) {
        std::vector<double> z(2 * n), window(L);
        for (int t = 0; t < n; ++t) {
            const double phase = a * t + b * t * t / 2;
            z[2 * t] = std::cos(phase);
            z[2 * t + 1] = std::sin(phase);
        }
        EXPECT_EQ(Gaussian(L, L / 2.0, v, window.data()), 0);
        const StftParams p = Params(window, dM, N);
        EXPECT_EQ(CxDGT(z.data(), n, &p, coef.data()), 0);
    }
    std::vector<double> Mif(int order, int P) const {
        std::vector<double> out(P * (M - 1), kSentinel);
        EXPECT_EQ(MIFOfGaborSp(coef.data(), M, N, dM, v, order, P, out.data()), 0);
        return out;
    }
};

TEST(MIFOfGaborSp, FollowsTheFrequencyOfTonesAndChirps) {
    struct Case {
        const char* name;
        double a, b;
        int order, P;
        double bound;  // radians per sample
    };
    const Case cases[] = {
        {"tone", kTwoPi * 9.3 / 64, 0, 0, 2, 1e-3},
        {"tone, order 3", kTwoPi * 20.6 / 64, 0, 3, 4, 1e-3},
        {"chirp", kTwoPi * 4 / 64, kTwoPi * 24 / 64 / 512, 0, 2, 0.02},
        {"chirp, order 2", kTwoPi * 4 / 64, kTwoPi * 24 / 64 / 512, 2, 2, 0.02},
    };
    std::printf(
        "[ figures  ] MIF against the true frequency away from the ends, radians per sample:");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Chirp x(c.a, c.b);
        const auto mif = x.Mif(c.order, c.P);
        double worst = 0;
        for (int t = 8 * c.P; t < c.P * (x.M - 9); ++t) {
            const double time = static_cast<double>(t) / c.P * x.dM;
            worst = std::max(worst, std::fabs(mif[t] - (c.a + c.b * time)));
        }
        std::printf(" %s %.2e;", c.name, worst);
        EXPECT_LT(worst, c.bound);
    }
    std::printf("\n");
}

TEST(MIFOfGaborSp, OrderAboveTheLimitAndEmptyCoefficients) {
    const int M = 5, N = 8, dM = 4, P = 2;
    const double v = 12;
    const auto coef = Random(2 * M * N, 11);
    auto mif = [&](const std::vector<double>& c, int order) {
        std::vector<double> out(P * (M - 1), kSentinel);
        EXPECT_EQ(MIFOfGaborSp(c.data(), M, N, dM, v, order, P, out.data()), 0);
        return out;
    };
    EXPECT_EQ(mif(coef, 4), mif(coef, 40));
    EXPECT_NE(mif(coef, 3), mif(coef, 4));
    // No energy anywhere: a defined 0 instead of 0/0.
    EXPECT_TRUE(AllEqual(mif(std::vector<double>(2 * M * N, 0.0), 2), 0.0));
}

TEST(MIFOfGaborSp, StatusesInOrderAndExhaustedMemory) {
    struct Case {
        int32_t M, N, dM;
        double v;
        int32_t order, P, status;
    };
    const Case cases[] = {
        {0, 8, 3, 0, -1, -1, 1},
        {4, 3, 4, 16, 0, 1, 1},
        {4, 8, 3, 0, -1, -1, 17},
        {4, 8, 3, 16, -1, -1, 19},
        {4, 8, 4, 16, -1, -1, 13},
        {4, 8, 4, 16, 0, -1, 21},
        {1 << 24, 1 << 8, 4, 16, 0, 1, -20001},
        {4, 8, 4, 1e30, 0, 1, -20001},
        {4, 8, 4, std::numeric_limits<double>::infinity(), 0, 1, -20001},
        {4, 8, 4, 16, 0, 0, 0},
        {1, 8, 4, 16, 0, 3, 0},  // nothing to write
    };
    std::vector<double> out(16, kSentinel);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "expected " << c.status);
        EXPECT_EQ(MIFOfGaborSp(nullptr, c.M, c.N, c.dM, c.v, c.order, c.P, out.data()), c.status);
        EXPECT_TRUE(AllEqual(out, kSentinel));
    }
    const auto coef = Random(2 * 4 * 8, 13);  // T4 = 32
    WalkEveryAllocation(
        8 + PlanAllocations(32),
        [&] { return MIFOfGaborSp(coef.data(), 4, 8, 4, 16.0, 2, 2, out.data()); },
        [&](int32_t status) {
            EXPECT_EQ(status, -20001);
            EXPECT_TRUE(AllEqual(out, kSentinel));
        });
}

}  // namespace
