// Adaptive representation: the chirplet against its closed form, the real
// expansion against the one-sided transform evaluated directly, spectrograms
// against the closed-form Wigner-Ville distribution of a Gaussian chirplet,
// the transform on chirplets alone and in noise with the expansion of what it
// finds, unusable atoms, statuses and exhausted memory.

#include "adaptive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <vector>

#include "analysis_support.h"
#include "mornavel.h"

namespace {

using namespace analysis;
constexpr long double kPi = kTwoPi / 2;
constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

struct Atom {
    double alpha, tc, omega, beta;
    double cr = 1, ci = 0;  // coefficient
};

std::vector<double> Params(const std::vector<Atom>& atoms) {
    std::vector<double> p;
    for (const Atom& a : atoms) p.insert(p.end(), {a.alpha, a.tc, a.omega, a.beta});
    return p;
}
std::vector<double> Coefs(const std::vector<Atom>& atoms) {
    std::vector<double> c;
    for (const Atom& a : atoms) c.insert(c.end(), {a.cr, a.ci});
    return c;
}

// The chirplet at t, its coefficient applied.
Complex AtomAt(const Atom& a, long double t) {
    const long double d = t - a.tc, alpha = a.alpha;
    const long double g = std::pow(alpha / kPi, 0.25L) * std::exp(-alpha * d * d / 2);
    const long double phase = d * (a.beta * d / 2 + a.omega);
    return Complex{a.cr, a.ci} * Complex{g * std::cos(phase), g * std::sin(phase)};
}

// ---------------------------------------------------------------- expansions

// The complex expansion of one atom is the closed form on its support and 0
// elsewhere; an atom inside the signal has unit energy (with alpha <= 0.2 the
// sampled sum equals the integral to e^(-pi^2/alpha), and the truncation at
// nine deviations costs e^(-81)).
TEST(AdaptiveAtom, HasUnitEnergyAndTheClosedFormOnItsSupport) {
    const Atom atoms[] = {{0.002, 300.4, 0.7, 0.001, 0.6, -0.8},
                          {0.05, 10.0, -2.0, -0.02, 1.5, 0.5},
                          {0.2, 500.7, 3.0, 0.0, -1.0, 0.0},
                          {1e-4, 1250.0, 1.0, 1e-4, 0.0, 1.0},
                          {0.1, -30.0, 1.0, 0.0},
                          {0.1, 2530.0, 1.0, 0.0}};
    const int n = 2500;
    long double worst = 0;
    for (const Atom& a : atoms) {
        SCOPED_TRACE(testing::Message() << "alpha " << a.alpha << " tc " << a.tc);
        const auto p = Params({a}), c = Coefs({a});
        std::vector<double> out(2 * n, kSentinel);
        ASSERT_EQ(CxAdaptiveExpansion(p.data(), c.data(), 1, n, out.data()), 0);
        const long double w = 9 / std::sqrt(static_cast<long double>(a.alpha));
        const long double first = std::max(0.0L, std::trunc(a.tc - w));
        const long double end = std::min<long double>(n, std::ceil(a.tc + w) + 1);
        // Rounding of the phase d·(β·d/2 + ωc) grows with it.
        const long double scale = std::hypot(a.cr, a.ci) * std::pow(a.alpha / kPi, 0.25L);
        long double energy = 0;
        for (int k = 0; k < n; ++k) {
            const Complex want = k >= first && k < end ? AtomAt(a, k) : Complex{};
            const long double d = k - a.tc;
            const long double phase = std::fabs(d * (a.beta * d / 2 + a.omega));
            const Complex got{out[2 * k], out[2 * k + 1]};
            const long double e = std::abs(got - want) / scale;
            worst = std::max(worst, e / (4 + phase));
            ASSERT_LT(e, 0x1p-52 * (4 + phase)) << "sample " << k;
            energy += std::norm(got) / (static_cast<long double>(a.cr) * a.cr + a.ci * a.ci);
        }
        if (first > 0 && end < n) {
            EXPECT_NEAR(static_cast<double>(energy), 1.0, 1e-13);
        }
    }
    std::printf(
        "[ figures  ] complex expansion against the closed form, error / amplitude / (4 + "
        "|phase|): %.3Le\n",
        worst);
}

// y = the real signal whose spectrum is one side of the spectrum of the atom
// on its support (zero-padded to a power of two), by direct transforms.
std::vector<long double> OneSidedOracle(const Atom& a, int n) {
    long double w = std::floor(9 / std::sqrt(static_cast<long double>(a.alpha)) + 0.5L);
    w = std::min<long double>(w, n - 1);
    const auto first = static_cast<long long>(std::floor(a.tc - w));
    const auto end = static_cast<long long>(std::floor(a.tc + w)) + 1;
    const long long L = end - first;
    long long L2 = 1;
    while (L2 < L) L2 *= 2;
    std::vector<Complex> z(L2), Z(L2);
    for (long long j = 0; j < L; ++j) z[j] = AtomAt(a, first + j);
    for (long long k = 0; k < L2; ++k)
        for (long long j = 0; j < L2; ++j) Z[k] += z[j] * Twiddle(j * k, L2);
    const long double turns = a.omega / kTwoPi;
    const bool positive = turns - std::floor(turns) < 0.5L;
    std::vector<Complex> X(L2);
    X[0] = Z[0].real();
    X[L2 / 2] = Z[L2 / 2].real();
    for (long long k = 1; k < L2 / 2; ++k) {
        X[k] = positive ? Z[k] : std::conj(Z[L2 - k]);
        X[L2 - k] = std::conj(X[k]);
    }
    std::vector<long double> out(n);
    for (long long t = std::max(first, 0LL); t < std::min<long long>(end, n); ++t) {
        Complex sum = 0;
        for (long long k = 0; k < L2; ++k) sum += X[k] * std::conj(Twiddle(k * (t - first), L2));
        out[t] = sum.real() / L2;
    }
    return out;
}

TEST(AdaptiveExpansion, RealIsTheChosenSideOfEachAtomsSpectrum) {
    struct Case {
        const char* name;
        std::vector<Atom> atoms;
        int n;
        bool inBand;  // the spectrum stays clear of zero and half a turn
    };
    const Case cases[] = {
        {"one atom inside", {{0.01, 60.3, 1.0, 0.002, 0.5, 0.25}}, 128, true},
        {"negative frequency", {{0.05, 40.0, -1.0, 0.0, 1.0, -1.0}}, 100, true},
        {"fraction 0.5 and above", {{0.05, 40.0, kTwoPi - 1.0, 0.01}}, 100, true},
        {"just below half a turn", {{0.05, 40.0, kPi - 0.01, 0.0}}, 100, false},
        {"near zero frequency", {{0.02, 50.0, 0.05, 0.0, 0.3, 0.7}}, 120, false},
        {"wider than the signal", {{0.003, 20.0, 0.8, 0.0}}, 40, false},
        {"three, two partly outside",
         {{0.02, -10.0, 2.0, 0.0}, {0.3, 60.0, 0.5, 0.1, 0.0, 1.0}, {0.01, 118.0, 5.5, 0.0}},
         120,
         false}};
    long double worst = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<long double> want(c.n);
        for (const Atom& a : c.atoms) {
            const auto y = OneSidedOracle(a, c.n);
            for (int k = 0; k < c.n; ++k) want[k] += y[k];
        }
        const auto p = Params(c.atoms), q = Coefs(c.atoms);
        std::vector<double> out(c.n + 2, kSentinel);
        ASSERT_EQ(ReAdaptiveExpansion(p.data(), q.data(), static_cast<int32_t>(c.atoms.size()), c.n,
                                      out.data()),
                  0);
        for (int k = 0; k < c.n; ++k) {
            const long double e = std::fabs(out[k] - want[k]);
            worst = std::max(worst, e);
            ASSERT_LT(e, 1e-14) << "sample " << k;
        }
        EXPECT_EQ(out[c.n], kSentinel);
        // Away from zero and half a turn the result is twice the real part of
        // the atom, whichever side its spectrum lies on (the other side would
        // give almost nothing).
        if (c.inBand) {
            for (int k = 0; k < c.n; ++k)
                ASSERT_NEAR(out[k], static_cast<double>(2 * AtomAt(c.atoms[0], k).real()), 1e-5)
                    << "sample " << k;
        }
    }
    std::printf(
        "[ figures  ] real expansion against the one-sided transforms, largest error: %.3Le\n",
        worst);
}

// ------------------------------------------------------------- spectrograms

struct SpCase {
    const char* name;
    std::vector<Atom> atoms;
    int32_t dT, Nf, t0, f0, rows, cols;
    bool complex, centre = false;
};

std::vector<double> Sp(const SpCase& c, int32_t t0) {
    const auto p = Params(c.atoms), q = Coefs(c.atoms);
    const auto M = static_cast<int32_t>(c.atoms.size());
    std::vector<double> out(int64_t{c.rows} * c.cols + 4, kSentinel);
    const int32_t status =
        c.complex
            ? CxAdaptiveSp(q.data(), p.data(), M, c.dT, c.Nf, t0, c.f0, c.rows, c.cols, out.data(),
                           c.centre ? 0x301 : 0x300)
            : ReAdaptiveSp(q.data(), p.data(), M, c.dT, c.Nf, t0, c.f0, c.rows, c.cols, out.data());
    EXPECT_EQ(status, 0);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(out[out.size() - 1 - k], kSentinel);
    out.resize(out.size() - 4);
    return out;
}

// 2|c|²·e^(−α(t − tc)² − (ω − ωc − β(t − tc))²/α)/Nf, summed over the turns of
// the circle (the real version folds ωc into 0 … π and takes one turn).
long double WignerVille(const SpCase& c, int r, int q) {
    long double sum = 0;
    const long double dw = kTwoPi / c.Nf;
    for (const Atom& a : c.atoms) {
        const long double dt = std::max(c.t0, 0) + static_cast<long double>(r) * c.dT - a.tc;
        const long double E = 2 * (static_cast<long double>(a.cr) * a.cr + a.ci * a.ci);
        long double omega = a.omega;
        if (!c.complex) omega = std::fabs(omega - kTwoPi * std::floor(omega / kTwoPi + 0.5L));
        const int turns = c.complex ? 3 : 0;
        for (int j = -turns; j <= turns; ++j) {
            long double w = (c.f0 + q + static_cast<long double>(j) * c.Nf) * dw;
            if (c.centre) w -= kPi;
            const long double u = w - omega - a.beta * dt;
            sum += E * std::exp(-a.alpha * dt * dt - u * u / a.alpha);
        }
    }
    return sum / c.Nf;
}

TEST(AdaptiveSp, IsTheWignerVilleDistributionOfEachAtom) {
    const SpCase cases[] = {
        {"real, one chirplet", {{0.01, 40.3, 1.0, 0.004, 0.6, -0.8}}, 2, 64, 0, 0, 48, 32, false},
        {"real, f0 + cols = Nf", {{0.02, 20.0, 2.5, -0.01}}, 1, 64, 0, 16, 40, 48, false},
        {"real, folded frequency", {{0.05, 30.0, kTwoPi - 1.0, 0.0}}, 3, 32, 6, 0, 12, 32, false},
        {"real, three atoms",
         {{0.01, 20.0, 0.5, 0.0}, {0.2, 50.0, 2.0, 0.05, 0.0, 2.0}, {0.002, 70.0, 1.0, 0.002}},
         2,
         128,
         0,
         0,
         50,
         128,
         false},
        {"complex, wraps below zero", {{0.02, 25.0, -0.1, 0.0}}, 1, 64, 0, 0, 50, 64, true},
        {"complex, centred", {{0.02, 25.0, -0.1, 0.0}}, 1, 64, 0, 0, 50, 64, true, true},
        {"complex, chirp across zero", {{0.01, 40.0, 0.2, -0.01}}, 2, 64, 0, 3, 40, 50, true, true},
        {"complex, f0 beyond the circle", {{0.01, 40.0, 1.0, 0.0}}, 2, 32, 0, 36, 40, 20, true},
        {"complex, negative f0", {{0.01, 40.0, -0.5, 0.0}}, 2, 32, 0, -10, 40, 20, true},
        {"complex, narrow atom over turns", {{1.5, 10.0, 1.0, 0.0}}, 1, 32, 0, 0, 20, 32, true},
    };
    long double worst = 0;
    for (const SpCase& c : cases) {
        SCOPED_TRACE(c.name);
        const auto out = Sp(c, c.t0);
        long double peak = 0;
        for (int r = 0; r < c.rows; ++r)
            for (int q = 0; q < c.cols; ++q) peak = std::max(peak, WignerVille(c, r, q));
        ASSERT_GT(peak, 0);
        for (int r = 0; r < c.rows; ++r)
            for (int q = 0; q < c.cols; ++q) {
                const long double e = std::fabs(out[r * c.cols + q] - WignerVille(c, r, q)) / peak;
                worst = std::max(worst, e);
                ASSERT_LT(e, 1e-13) << "row " << r << " column " << q;
            }
        // A negative t0 is the same as 0.
        if (c.t0 == 0) {
            EXPECT_EQ(Sp(c, -7), out);
        }
    }
    std::printf(
        "[ figures  ] adaptive spectrograms against the Wigner-Ville closed form, error / "
        "peak: %.3Le\n",
        worst);
}

// Atoms whose support misses the signal, or whose parameters are not usable,
// leave the expansions zero, and no atom makes a spectrogram reach beyond its
// output or run without end.
TEST(AdaptiveSp, UnusableAtomsStayWithinTheOutputs) {
    const std::vector<Atom> outside = {
        {0.1, -40.0, 1.0, 0.0}, {0.1, 90.0, 1.0, 0.0},     {kNan, 30.0, 1.0, 0.0},
        {0.1, kNan, 1.0, 0.0},  {-1.0, 30.0, 1.0, 0.0},    {0.1, 1e300, 1.0, 0.0},
        {0.1, kInf, 1.0, 0.0},  {1e-300, 1e300, 1.0, 0.0}, {0.0, 30.0, 1.0, 0.0},
    };
    const int n = 50;
    const auto p = Params(outside), c = Coefs(outside);
    for (bool complex : {false, true}) {
        const int width = complex ? 2 : 1;
        std::vector<double> out(width * n + 8, kSentinel);
        const auto M = static_cast<int32_t>(outside.size());
        ASSERT_EQ(complex ? CxAdaptiveExpansion(p.data(), c.data(), M, n, out.data())
                          : ReAdaptiveExpansion(p.data(), c.data(), M, n, out.data()),
                  0);
        for (int k = 0; k < width * n; ++k) ASSERT_EQ(out[k], 0.0) << "value " << k;
        for (int k = width * n; k < width * n + 8; ++k) ASSERT_EQ(out[k], kSentinel);
    }
    const std::vector<Atom> unusable = {
        {kNan, 10.0, 1.0, 0.0},  {0.1, kNan, 1.0, 0.0},   {0.1, 10.0, kNan, 0.0},
        {-1.0, 10.0, 1.0, 0.0},  {0.0, 10.0, 1.0, 0.0},   {0.1, 1e300, 1.0, 0.0},
        {0.1, 10.0, 1e300, 0.0}, {0.1, 10.0, 1.0, 1e300}, {1e12, 10.0, 1.0, 0.0},
        {kInf, 10.0, 1.0, 0.0},
    };
    for (bool complex : {false, true})
        for (const Atom& a : unusable) {
            SCOPED_TRACE(testing::Message() << "complex " << complex << " alpha " << a.alpha
                                            << " tc " << a.tc << " omega " << a.omega);
            Sp({"", {a}, 1, 64, 0, 0, 20, 32, complex, true}, 0);  // checks the guard values
        }
}

// Statuses in their order, and exhausted memory, leave the output untouched.
TEST(AdaptiveSp, FailuresLeaveTheOutputsUntouched) {
    struct Case {
        int32_t M, dT, Nf, f0, rows, cols;
        int32_t real, complex;  // the two statuses
    };
    const Case cases[] = {{0, 0, 0, -1, 4, 4, 1, 1},
                          {1, 1, 64, 0, 0, 4, 1, 1},
                          {1, 1, 64, 0, 4, -2, 1, 1},
                          {1, 0, 0, -1, 4, 4, 11, 11},
                          {1, 1, 0, -1, 4, 4, 3, 3},
                          {1, 1, 64, -1, 4, 4, 20, 0},
                          {1, 1, 64, 64, 4, 1, 20, 0},
                          {1, 1, 64, 60, 4, 5, 20, 0},
                          {1, 1, 64, 60, 4, 4, 0, 0},
                          {1, 1, 64, 0x7fffffff, 4, 4, 20, 0},
                          {1, 1, 1 << 17, 0, 1 << 16, 1 << 16, -20001, -20001}};
    const auto p = Params({{0.1, 1.0, 1.0, 0.0}}), q = Coefs({{0.1, 1.0, 1.0, 0.0}});
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "M " << c.M << " dT " << c.dT << " Nf " << c.Nf << " f0 "
                                        << c.f0 << " " << c.rows << "x" << c.cols);
        const int64_t size = int64_t{c.rows} * c.cols;
        std::vector<double> re(c.real == 0 ? size : 4, kSentinel),
            cx(c.complex == 0 ? size : 4, kSentinel);
        EXPECT_EQ(
            ReAdaptiveSp(q.data(), p.data(), c.M, c.dT, c.Nf, 0, c.f0, c.rows, c.cols, re.data()),
            c.real);
        EXPECT_EQ(CxAdaptiveSp(q.data(), p.data(), c.M, c.dT, c.Nf, 0, c.f0, c.rows, c.cols,
                               cx.data(), 1),
                  c.complex);
        EXPECT_TRUE(c.real == 0 || AllEqual(re, kSentinel));
        EXPECT_TRUE(c.complex == 0 || AllEqual(cx, kSentinel));
    }
    std::vector<double> out(128, kSentinel);
    EXPECT_EQ(CxAdaptiveExpansion(p.data(), q.data(), 0, 2, out.data()), 1);
    EXPECT_EQ(CxAdaptiveExpansion(p.data(), q.data(), 1, 0, out.data()), 1);
    EXPECT_EQ(ReAdaptiveExpansion(p.data(), q.data(), 0, 2, out.data()), 1);
    EXPECT_EQ(ReAdaptiveExpansion(p.data(), q.data(), 1, -1, out.data()), 1);
    EXPECT_TRUE(AllEqual(out, kSentinel));

    // Exhausted memory: the work block, then the plans of 128 (twice one
    // support) and 64, all before the output is touched.
    const std::vector<Atom> atoms = {
        {0.01, 30.0, 1.0, 0.0}, {0.2, 60.0, 2.0, 0.0}, {0.01, 90.0, 1.0, 0.0}};
    const auto pa = Params(atoms), ca = Coefs(atoms);
    WalkEveryAllocation(
        1 + PlanAllocations(128) + PlanAllocations(64),
        [&] { return ReAdaptiveExpansion(pa.data(), ca.data(), 3, 128, out.data()); },
        [&](int32_t status) {
            EXPECT_EQ(status, -20001);
            EXPECT_TRUE(AllEqual(out, kSentinel));
        });
}

// ---------------------------------------------------------------- transform

struct Result {
    int32_t status = 0, count = -1;
    double percent = kSentinel;
    std::vector<Atom> atoms;  // with their coefficients
    std::vector<double> residual;
};

struct Run {
    bool complex = false;
    int32_t mode = 0, extType = 0, maxWindow = 0;
    double support = 0;
    int32_t iterations = 0, maxAtoms = 1;
};

Result Transform(const std::vector<double>& x, const Run& r) {
    const int width = r.complex ? 2 : 1;
    const auto n = static_cast<int32_t>(x.size() / width);
    Result out;
    const int slots = std::max(r.maxAtoms, 1);
    std::vector<double> coefs(2 * slots, kSentinel), params(4 * slots, kSentinel);
    out.residual.assign(x.size(), kSentinel);
    auto* call = r.complex ? CxAdaptiveTransform : ReAdaptiveTransform;
    out.status =
        call(x.data(), n, r.mode, r.extType, r.maxWindow, r.support, r.iterations, r.maxAtoms,
             &out.count, &out.percent, coefs.data(), params.data(), out.residual.data());
    for (int i = 0; i < out.count; ++i)
        out.atoms.push_back({params[4 * i], params[4 * i + 1], params[4 * i + 2], params[4 * i + 3],
                             coefs[2 * i], coefs[2 * i + 1]});
    return out;
}

// The signal of a set of atoms: complex, or twice the real part.
std::vector<double> Signal(const std::vector<Atom>& atoms, int n, bool complex) {
    std::vector<double> x(complex ? 2 * n : n);
    for (int k = 0; k < n; ++k) {
        Complex z = 0;
        for (const Atom& a : atoms) z += AtomAt(a, k);
        if (complex) {
            x[2 * k] = static_cast<double>(z.real());
            x[2 * k + 1] = static_cast<double>(z.imag());
        } else {
            x[k] = static_cast<double>(2 * z.real());
        }
    }
    return x;
}

double EnergyOf(const std::vector<double>& x) {
    double e = 0;
    for (double v : x) e += v * v;
    return e;
}

// Largest errors of the found atoms against the true ones, each true atom
// matched with the found atom nearest to it in time and frequency: alpha
// relative, tc, omega, beta, the coefficient relative (its phase follows the
// error of tc) and its magnitude relative.
struct Errors {
    double e[6] = {};
    void Add(const std::vector<Atom>& found, const Atom& want) {
        auto distance = [&](const Atom& a) {
            return std::fabs(a.tc - want.tc) * std::sqrt(want.alpha) +
                   std::fabs(a.omega - want.omega) / std::sqrt(want.alpha);
        };
        const Atom got = *std::min_element(found.begin(), found.end(), [&](auto& a, auto& b) {
            return distance(a) < distance(b);
        });
        const double c = std::hypot(want.cr, want.ci);
        const double now[6] = {std::fabs(got.alpha / want.alpha - 1),
                               std::fabs(got.tc - want.tc),
                               std::fabs(got.omega - want.omega),
                               std::fabs(got.beta - want.beta),
                               std::hypot(got.cr - want.cr, got.ci - want.ci) / c,
                               std::fabs(std::hypot(got.cr, got.ci) / c - 1)};
        for (int i = 0; i < 6; ++i) e[i] = std::max(e[i], now[i]);
    }
};

// Each case: the atoms found near the true ones (bounds as in Errors), the
// residual percentage below its bound and equal to the residual's energy,
// and the expansion of the found atoms plus the residual equal to the
// signal: to rounding for the complex transform, whose projection is the
// atom itself; for the real one to the difference between the projection's
// support (9/sqrt(alpha) around tc, truncated outwards) and the expansion's
// (rounded to whole samples), which changes the one-sided transform only by
// what an atom has across zero and half a turn.
TEST(AdaptiveTransform, FindsChirpletsAloneAndInNoiseAndTheirExpansionRestoresTheSignal) {
    constexpr double kClean[] = {1e-9, 1e-9, 1e-11, 1e-12, 1e-9, 1e-9};
    constexpr double kNoisy[] = {0.15, 1.0, 0.01, 1e-3, 0.6, 0.1};
    struct Case {
        const char* name;
        std::vector<Atom> atoms;
        int n, maxAtoms;
        double snr;  // dB; 0 for none, below 0 for noise alone
        const double* bounds;
        double percent, real;  // bounds of the percentage and of the real expansion
    };
    const Atom chirplet{0.002, 300.0, 1.2, 0.002, 3.0, 1.0};
    const Case cases[] = {
        {"one chirplet", {chirplet}, 512, 1, 0, kClean, 1e-15, 1e-12},
        {"three chirplets",
         {{0.003, 200.0, 0.6, 0.001, 2.0, 0.0},
          {0.01, 600.0, 2.0, -0.002, 0.0, 1.5},
          {0.001, 900.0, 1.3, 0.0, 1.0, 1.0}},
         1200,
         4,
         0,
         kClean,
         1e-15,
         1e-12},
        {"one chirplet in noise at 10 dB", {chirplet}, 512, 1, 10, kNoisy, 12, 1e-9},
        {"noise alone", {}, 256, 12, -1, nullptr, 99, 1e-9},
    };
    for (bool complex : {false, true})
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << c.name << (complex ? ", complex" : ", real"));
            const int width = complex ? 2 : 1;
            std::vector<double> x =
                c.snr < 0 ? Random(width * c.n, 23) : Signal(c.atoms, c.n, complex);
            if (c.snr > 0) {
                std::mt19937 rng(17);
                std::normal_distribution<double> noise(
                    0, std::sqrt(EnergyOf(x) / x.size() / std::pow(10, c.snr / 10)));
                for (double& v : x) v += noise(rng);
            }
            const Result r = Transform(x, {complex, 0, 1, 0, 0, 0, c.maxAtoms});
            ASSERT_EQ(r.status, 0);
            ASSERT_GE(r.count, std::min<int>(1, static_cast<int>(c.atoms.size())));
            Errors e;
            for (const Atom& want : c.atoms) e.Add(r.atoms, want);
            const auto p = Params(r.atoms), q = Coefs(r.atoms);
            std::vector<double> y(x.size());
            ASSERT_EQ(complex ? CxAdaptiveExpansion(p.data(), q.data(), r.count, c.n, y.data())
                              : ReAdaptiveExpansion(p.data(), q.data(), r.count, c.n, y.data()),
                      0);
            double peak = 0, error = 0;
            for (size_t k = 0; k < x.size(); ++k) {
                peak = std::max(peak, std::fabs(x[k]));
                error = std::max(error, std::fabs(y[k] + r.residual[k] - x[k]));
            }
            error /= peak;
            std::printf(
                "[ figures  ] %s (%s): %d atoms, residual %.4g %%; errors: alpha %.3g "
                "(relative), tc %.3g, omega %.3g, beta %.3g, coefficient %.3g, its "
                "magnitude %.3g (relative); expansion + residual - signal %.3g of the "
                "peak\n",
                c.name, complex ? "complex" : "real", r.count, r.percent, e.e[0], e.e[1], e.e[2],
                e.e[3], e.e[4], e.e[5], error);
            for (int i = 0; c.bounds && i < 6; ++i) EXPECT_LT(e.e[i], c.bounds[i]) << "error " << i;
            EXPECT_LT(r.percent, c.percent);
            EXPECT_NEAR(r.percent, 100 * EnergyOf(r.residual) / EnergyOf(x), 1e-9 * r.percent);
            EXPECT_LT(error, complex ? 1e-14 : c.real);
        }
}

// No atoms asked for, a zero signal, an atom at zero frequency (taken as the
// search finds it), windows too short for any level, mode 1, every extension
// type, and the defaults of support and iterations.
TEST(AdaptiveTransform, EdgeCases) {
    for (bool complex : {false, true}) {
        SCOPED_TRACE(complex ? "complex" : "real");
        const int n = 256;
        const auto x = Signal({{0.004, 100.0, 1.0, 0.003, 2.0, -1.0}}, n, complex);

        Result r = Transform(x, {complex, 0, 0, 0, 0, 0, 0});
        EXPECT_TRUE(r.status == 0 && r.count == 0 && r.percent == 100.0 && r.residual == x);
        r = Transform(std::vector<double>(x.size(), 0.0), {complex, 0, 0, 0, 0, 0, 3});
        EXPECT_TRUE(r.status == 0 && r.count == 0 && AllEqual(r.residual, 0.0));
        EXPECT_EQ(r.percent, 100.0);  // nothing explained, not 0/0

        // A Gaussian bump at zero frequency keeps the parameters of its cell.
        r = Transform(Signal({{0.01, 128.0, 0.0, 0.0}}, n, complex), {complex, 0, 0, 64});
        ASSERT_EQ(r.count, 1);
        const double HL = kTwoPi / r.atoms[0].alpha;  // H·L of the level
        EXPECT_TRUE(HL == 64 * 8 || HL == 32 * 4 || HL == 16 * 2) << HL;
        EXPECT_TRUE(r.atoms[0].tc == 128 && r.atoms[0].omega == 0 && r.atoms[0].beta == 0);

        // maxWindow 8: no level, the atom (2π/8, 0, 0, 0); 9 … 16: one level of 16.
        std::vector<double> coefs(2), params(4), residual(x.size()), nine;
        int32_t count = -1;
        double percent = 0;
        auto* call = complex ? CxAdaptiveTransform : ReAdaptiveTransform;
        for (int32_t window : {8, 9, 16}) {
            ASSERT_EQ(call(x.data(), n, 0, 0, window, 0, 0, 1, &count, &percent, coefs.data(),
                           params.data(), residual.data()),
                      0);
            if (window == 8) {
                EXPECT_EQ(params, (std::vector<double>{static_cast<double>(kTwoPi) / 8, 0, 0, 0}));
                continue;
            }
            EXPECT_NEAR(params[1], 100.0, 0.1) << "window " << window;
            if (window == 16) {
                EXPECT_EQ(params, nine);
            }
            nine = params;
        }

        r = Transform(x, {complex, 1, 0, 0, 0, 0, 1});  // keeps the chirp rate of the search
        EXPECT_TRUE(r.count == 1 && r.atoms[0].beta == 0.0);

        const Result reference = Transform(x, {complex, 0, 0, 0, 4.0, 10, 2});
        for (int32_t type : {1, 2, 3, 5, 6})
            EXPECT_GE(Transform(x, {complex, 0, type, 0, 4.0, 10, 2}).count, 1) << type;
        for (double support : {0.0, -1.0, kNan}) {
            const Result other = Transform(x, {complex, 0, 0, 0, support, -3, 2});
            EXPECT_TRUE(other.count == reference.count && other.residual == reference.residual);
            EXPECT_EQ(Params(other.atoms), Params(reference.atoms));
        }
    }
}

// Statuses in their order leave everything but the count (0) untouched; so
// does every exhausted-memory path of the call.
TEST(AdaptiveTransform, FailuresWriteNothingButTheCount) {
    struct Case {
        int32_t n, extType, maxWindow, maxAtoms, status;
    };
    const Case cases[] = {
        {7, 4, 0, -1, 1},
        {0, 0, 0, 1, 1},
        {8, 4, 0, -1, 15},
        {8, 0, 0, -1, 15},
        {8, 4, 0, 0, 4},
        {8, -1, 0, 1, 4},
        {8, 7, 0, 1, 4},
        {8, 0x7fffffff, 0, 1, 4},
        {16, 0, 0x7fffffff, 1, -20001},  // windows beyond the transforms of 32 bits
    };
    const std::vector<Atom> atoms = {{0.01, 60.0, 1.0, 0.01, 1.0, 0.0},
                                     {0.004, 180.0, 2.0, 0.0, 0.0, 1.0},
                                     {0.3, 120.0, 2.8, 0.0, 0.5, 0.0}};
    for (bool complex : {false, true}) {
        const int n = 256;
        const auto x = Signal(atoms, n, complex);
        std::vector<double> coefs(8, kSentinel), params(16, kSentinel),
            residual(x.size(), kSentinel);
        int32_t count = 99;
        double percent = kSentinel;
        auto* call = complex ? CxAdaptiveTransform : ReAdaptiveTransform;
        auto untouched = [&] {
            EXPECT_EQ(count, 0);
            EXPECT_EQ(percent, kSentinel);
            EXPECT_TRUE(AllEqual(residual, kSentinel));
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << "complex " << complex << " n " << c.n << " type "
                                            << c.extType << " atoms " << c.maxAtoms);
            EXPECT_EQ(call(x.data(), c.n, 0, c.extType, c.maxWindow, 0, 0, c.maxAtoms, &count,
                           &percent, coefs.data(), params.data(), residual.data()),
                      c.status);
            untouched();
            EXPECT_TRUE(AllEqual(coefs, kSentinel) && AllEqual(params, kSentinel));
        }
        // The work blocks and the plans of the levels, and for the real
        // projection its buffers and plans.
        const int allocations = testsupport::WalkAllocationFailures(
            [&] {
                return call(x.data(), n, 0, 0, 64, 0, 0, 4, &count, &percent, coefs.data(),
                            params.data(), residual.data());
            },
            [&](int64_t, int32_t status) {
                EXPECT_EQ(status, -20001);
                untouched();
            });
        EXPECT_GE(allocations, 2 + PlanAllocations(64) + PlanAllocations(32) + PlanAllocations(16) +
                                   (complex ? 0 : 1));
        EXPECT_GE(count, 3);  // the last run did not fail
    }
}

}  // namespace
