// Wigner-Ville and Cohen-class distributions against their defining sums in
// long double (preparation, autocorrelation, smoothing, lag transform), the
// positions of tones and interference terms, the kernels, and bad input.

#include "distribution.h"

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

enum Mode { kComplexMode, kAnalyticMode, kInterpolatedMode };
const Mode kModes[] = {kComplexMode, kAnalyticMode, kInterpolatedMode};
const char* const kModeNames[] = {"complex", "analytic", "interpolated"};

int Grid(Mode m) { return m == kAnalyticMode ? 1 : 2; }
int Lags(Mode m, int B) { return m == kAnalyticMode ? B / 2 : B; }
int Bins(Mode m, int B) { return m == kComplexMode ? B : B / 2; }
int64_t Pow2(int64_t v) {
    int64_t p = 1;
    while (p < v) p <<= 1;
    return p;
}

// A signal handed to the exports in the given mode: im is null for a real one.
struct Signal {
    std::vector<double> re, im;
    Mode mode;
    const double* Im() const { return mode == kComplexMode ? im.data() : nullptr; }
    int32_t Analytic() const { return mode == kAnalyticMode ? 1 : 0; }
    Complex At(int64_t t) const { return {re[t], mode == kComplexMode ? im[t] : 0.0}; }
};

Signal RandomSignal(int32_t n, Mode mode, uint32_t seed) {
    return {Random(n, seed), Random(n, seed + 1), mode};
}

// X[k] = Σ_t x[t]·e^(−2πi·kt/N) of the signal zero-padded to N.
std::vector<Complex> Dft(const Signal& s, int64_t N) {
    std::vector<Complex> X(N);
    for (int64_t k = 0; k < N; ++k)
        for (int64_t t = 0; t < static_cast<int64_t>(s.re.size()); ++t)
            X[k] += s.At(t) * Twiddle(k * t, N);
    return X;
}

// The band-limited signal between the samples: Σ over the frequencies f of the
// circle (−N/2 ≤ f < N/2; without the Nyquist frequency for a real signal) of
// X[f]·e^(2πi·f·(j + ½)/N) / N.
Complex HalfSampleValue(const std::vector<Complex>& X, int64_t j, bool real) {
    const auto N = static_cast<int64_t>(X.size());
    Complex sum = 0;
    for (int64_t k = 0; k < N; ++k) {
        if (real && 2 * k == N) continue;
        const int64_t f = 2 * k < N ? k : k - N;
        sum += X[k] * Twiddle(-f * (2 * j + 1), 2 * N);
    }
    return sum / static_cast<long double>(N);
}

// z[j] = (X[0] + √2·Σ_{0<k<N/2} X[k]·e^(2πi·kj/N) + Re X[N/2]·(−1)^j) / N.
Complex AnalyticValue(const std::vector<Complex>& X, int64_t j) {
    const auto N = static_cast<int64_t>(X.size());
    Complex sum = X[0];
    for (int64_t k = 1; 2 * k < N; ++k) sum += std::sqrt(2.0L) * X[k] * Twiddle(-k * j, N);
    if (N % 2 == 0) sum += X[N / 2].real() * Twiddle(-(N / 2) * j, N);
    return sum / static_cast<long double>(N);
}

// The prepared signal of the mode, by direct sums.
std::vector<Complex> Prepared(const Signal& s) {
    const auto n = static_cast<int64_t>(s.re.size());
    const std::vector<Complex> X = Dft(s, Pow2(n));
    std::vector<Complex> y;
    for (int64_t j = 0; j < n; ++j) {
        if (s.mode == kAnalyticMode) {
            y.push_back(AnalyticValue(X, j));
            continue;
        }
        y.push_back(s.At(j));
        y.push_back(HalfSampleValue(X, j, s.mode == kInterpolatedMode));
    }
    return y;
}

Complex Product(const std::vector<Complex>& y, int64_t c, int64_t tau) {
    if (c - tau < 0 || c + tau >= static_cast<int64_t>(y.size())) return 0;
    return y[c + tau] * std::conj(y[c - tau]);
}

// W[m] = (Re K[0] + 2·Re Σ_{τ=1}^{L−1} K[τ]·e^(−2πi·τm/L)) / L.
long double LagSum(const std::vector<Complex>& K, int64_t m) {
    const auto L = static_cast<int64_t>(K.size());
    long double sum = K[0].real();
    for (int64_t tau = 1; tau < L; ++tau) sum += 2 * (K[tau] * Twiddle(tau * m, L)).real();
    return sum / L;
}

long double PeakPower(const std::vector<Complex>& y) {
    long double peak = 0;
    for (const Complex& v : y) peak = std::max(peak, std::norm(v));
    return peak;
}

// The largest |out − want| over T rows of F bins, relative to the prepared
// signal's peak power; every element must be within `bound` of that.
long double CompareRows(const std::vector<double>& out, int64_t T, int64_t F,
                        const std::vector<std::vector<Complex>>& lagsOfRow, long double peak,
                        long double bound) {
    long double worst = 0;
    for (int64_t r = 0; r < T; ++r)
        for (int64_t m = 0; m < F; ++m) {
            const long double e = std::abs(out[r * F + m] - LagSum(lagsOfRow[r], m)) / peak;
            worst = std::max(worst, e);
            EXPECT_LE(e, bound) << "row " << r << " bin " << m;
        }
    return worst;
}

void PrintWorst(const char* what, const long double worst[3]) {
    std::printf(
        "[ figures  ] %s against the closed form, error / peak power: complex %.3Le, "
        "analytic %.3Le, interpolated %.3Le\n",
        what, worst[0], worst[1], worst[2]);
}

TEST(Distribution, HalfSampleInterpolationIsBandLimited) {
    long double worst = 0;
    for (int32_t n : {1, 2, 3, 5, 8, 13, 16, 31, 300}) {
        SCOPED_TRACE(n);
        for (Mode mode : {kComplexMode, kInterpolatedMode}) {
            const Signal s = RandomSignal(n, mode, 100 + n);
            std::vector<double> yRe(2 * n, kSentinel), yIm(2 * n, kSentinel);
            if (mode == kComplexMode)
                ASSERT_EQ(
                    tf::CxHalfSampleInterp(s.re.data(), s.im.data(), n, yRe.data(), yIm.data()), 0);
            else
                ASSERT_EQ(tf::ReHalfSampleInterp(s.re.data(), n, yRe.data()), 0);
            const std::vector<Complex> want = Prepared(s);
            for (int32_t j = 0; j < 2 * n; ++j) {
                const Complex got(yRe[j], mode == kComplexMode ? yIm[j] : 0.0);
                if (j % 2 == 0) {
                    EXPECT_EQ(got, want[j]) << "the samples themselves are kept";
                }
                worst = std::max(worst, std::abs(got - want[j]));
                EXPECT_LE(std::abs(got - want[j]), 1e-14L * n) << kModeNames[mode] << " " << j;
            }
        }
    }
    std::printf("[ figures  ] half-sample interpolation: largest error %.3Le\n", worst);
}

TEST(Distribution, AnalyticSignalHasGainRootTwoAndNoNegativeFrequencies) {
    for (int32_t n : {1, 3, 7, 12, 16, 64}) {
        SCOPED_TRACE(n);
        const Signal s = RandomSignal(n, kAnalyticMode, 200 + n);
        std::vector<double> zRe(n), zIm(n);
        ASSERT_EQ(tf::ReAnalytic(s.re.data(), n, zRe.data(), zIm.data()), 0);
        const std::vector<Complex> want = Prepared(s);
        for (int32_t j = 0; j < n; ++j)
            EXPECT_LE(std::abs(Complex(zRe[j], zIm[j]) - want[j]), 1e-14L * n) << j;
        if (Pow2(n) != n) continue;
        // A whole circle: the spectrum itself, bin by bin.
        const std::vector<Complex> X = Dft(s, n);
        const Signal z{zRe, zIm, kComplexMode};
        const std::vector<Complex> Z = Dft(z, n);
        for (int32_t k = 0; k < n; ++k) {
            Complex expected = 0;
            if (k == 0)
                expected = X[0];
            else if (2 * k < n)
                expected = std::sqrt(2.0L) * X[k];
            else if (2 * k == n)
                expected = X[k].real();
            EXPECT_LE(std::abs(Z[k] - expected), 1e-13L * n) << "bin " << k;
        }
    }
}

struct Size {
    int32_t n, B, S;
};

TEST(Wvd, EveryPreparationIsTheClosedForm) {
    // Lag windows longer than the signal, steps that do not divide n, a single
    // sample, non-powers of two, and longer signals with many rows, whose
    // inner rows go eight at a time (with rows left over).
    const Size sizes[] = {{1, 1, 1},  {1, 2, 1},   {7, 2, 1},    {5, 4, 1},    {8, 8, 2},
                          {13, 8, 3}, {16, 16, 4}, {20, 4, 7},   {9, 32, 2},   {24, 16, 5},
                          {77, 4, 1}, {70, 8, 2},  {300, 32, 3}, {140, 64, 1}, {144, 64, 2}};
    long double worst[3] = {};
    for (const Size& c : sizes) {
        for (Mode mode : kModes) {
            if (mode == kAnalyticMode && c.B == 1) continue;  // no lags
            SCOPED_TRACE(::testing::Message()
                         << kModeNames[mode] << " n=" << c.n << " B=" << c.B << " S=" << c.S);
            const Signal s = RandomSignal(c.n, mode, 300 + c.n);
            const int64_t T = c.n / c.S, F = Bins(mode, c.B), L = Lags(mode, c.B);
            std::vector<double> out(T * F + 4, kSentinel);
            ASSERT_EQ(WVD(s.re.data(), s.Im(), c.n, c.B, c.S, s.Analytic(), out.data()), 0);
            for (int k = 0; k < 4; ++k) EXPECT_EQ(out[T * F + k], kSentinel);

            const std::vector<Complex> y = Prepared(s);
            std::vector<std::vector<Complex>> rows(T, std::vector<Complex>(L));
            for (int64_t r = 0; r < T; ++r)
                for (int64_t tau = 0; tau < L; ++tau)
                    rows[r][tau] = Product(y, r * Grid(mode) * c.S, tau);
            worst[mode] =
                std::max(worst[mode], CompareRows(out, T, F, rows, PeakPower(y), 1e-14L * c.B));
        }
    }
    PrintWorst("WVD", worst);
}

TEST(Cohen, ARandomKernelGivesTheSmoothedClosedForm) {
    // n = 9, S = 2: NF = 8 leaves the products at instant 8 out; S = 1 has no
    // fold; n = 5, S = 1 transforms 3 instants that have no products; n = 40
    // has rows enough for sixteen at a time (and rows left over).
    const Size sizes[] = {{9, 8, 2},  {5, 4, 1},  {16, 8, 4}, {13, 16, 1}, {1, 2, 1},
                          {20, 4, 8}, {12, 2, 2}, {31, 8, 8}, {40, 32, 2}};
    long double worst[3] = {};
    for (const Size& c : sizes) {
        for (Mode mode : kModes) {
            SCOPED_TRACE(::testing::Message()
                         << kModeNames[mode] << " n=" << c.n << " B=" << c.B << " S=" << c.S);
            const Signal s = RandomSignal(c.n, mode, 400 + c.n);
            const int64_t T = c.n / c.S, F = Bins(mode, c.B), L = Lags(mode, c.B);
            const int64_t NF = c.S * Pow2(T), H = NF;
            const std::vector<double> kernel = Random(c.B * H, 401);
            std::vector<double> out(T * F + 4, kSentinel);
            ASSERT_EQ(Cohen(s.re.data(), s.Im(), c.n, kernel.data(), c.B, static_cast<int32_t>(H),
                            c.S, s.Analytic(), out.data()),
                      0);
            for (int k = 0; k < 4; ++k) EXPECT_EQ(out[T * F + k], kSentinel);

            // The autocorrelation at the instants k < min(n, NF), its spectrum
            // weighted by the kernel (both Doppler signs averaged for a real
            // autocorrelation), evaluated at the instants r·S.
            const std::vector<Complex> y = Prepared(s);
            std::vector<std::vector<Complex>> rows(T, std::vector<Complex>(L));
            for (int64_t tau = 0; tau < L; ++tau) {
                std::vector<Complex> u(NF);
                for (int64_t k = 0; k < std::min<int64_t>(NF, c.n); ++k)
                    u[k] = Product(y, Grid(mode) * k, tau);
                const double* phi = &kernel[tau * H];
                for (int64_t p = 0; p < NF; ++p) {
                    Complex A = 0;
                    for (int64_t k = 0; k < NF; ++k) A += u[k] * Twiddle(p * k, NF);
                    long double weight = phi[(p + NF / 2) % NF];
                    if (mode == kInterpolatedMode)
                        weight = 0.5L * (weight + phi[(NF / 2 - p + NF) % NF]);
                    for (int64_t r = 0; r < T; ++r)
                        rows[r][tau] +=
                            weight * A * Twiddle(-p * r * c.S, NF) / static_cast<long double>(NF);
                }
            }
            worst[mode] =
                std::max(worst[mode], CompareRows(out, T, F, rows, PeakPower(y), 1e-14L * c.B));
        }
    }
    PrintWorst("Cohen", worst);
}

// A stationary signal of n = 256 samples, whole periods on the circle, so
// that every preparation is exact.
std::vector<double> Tone(int32_t n, double cyclesPerSample, bool sine) {
    std::vector<double> x(n);
    for (int32_t t = 0; t < n; ++t) {
        const long double a = kTwoPi * cyclesPerSample * t;
        x[t] = static_cast<double>(sine ? std::sin(a) : std::cos(a));
    }
    return x;
}

int32_t PeakBin(const double* row, int32_t first, int32_t F) {
    return static_cast<int32_t>(std::max_element(row + first, row + F) - row);
}

TEST(Wvd, ComplexTonesPeakAtTheirBinAwayFromTheEnds) {
    const int32_t n = 256, B = 32, S = 4, T = n / S;
    for (int32_t m0 : {5, -5, 12, -1}) {
        SCOPED_TRACE(m0);
        const double f0 = static_cast<double>(m0) / B;
        const auto re = Tone(n, f0, false), im = Tone(n, f0, true);
        std::vector<double> out(T * B);
        ASSERT_EQ(WVD(re.data(), im.data(), n, B, S, 0, out.data()), 0);
        for (int32_t r = B / 2 / S; r < T - B / 2 / S; ++r)
            EXPECT_EQ(PeakBin(&out[r * B], 0, B), (m0 + B) % B) << "row " << r;
    }
}

TEST(Wvd, ARealCosinePeaksAtItsBinAndOnlyInterpolationInterferesAtZero) {
    const int32_t n = 256, B = 64, m0 = 8, F = B / 2;
    const auto x = Tone(n, static_cast<double>(m0) / B, false);
    double swing[2] = {};
    for (int32_t analytic : {0, 1}) {
        SCOPED_TRACE(analytic);
        std::vector<double> out(n * F);
        ASSERT_EQ(WVD(x.data(), nullptr, n, B, 1, analytic, out.data()), 0);
        double low = 1e300, high = -1e300;
        for (int32_t r = B / 2; r < n - B / 2; ++r) {
            // Bin 0 of the interpolated mode carries the interference (2·f0 in time).
            EXPECT_EQ(PeakBin(&out[r * F], 1, F), m0) << "row " << r;
            low = std::min(low, out[r * F]);
            high = std::max(high, out[r * F]);
        }
        swing[analytic] = high - low;
    }
    // cos(2·2π·f0·t) at bin 0, peak ±(2B − 1)/(2B); none for the analytic signal.
    EXPECT_GT(swing[0], 1.9);
    EXPECT_LT(swing[1], 1e-12);
}

TEST(Wvd, OneBinOfAComplexSignalIsItsPower) {
    const Signal s = RandomSignal(11, kComplexMode, 500);
    for (int32_t S : {1, 3}) {
        std::vector<double> out(11 / S);
        ASSERT_EQ(WVD(s.re.data(), s.im.data(), 11, 1, S, 0, out.data()), 0);
        for (int32_t r = 0; r < 11 / S; ++r)
            EXPECT_EQ(out[r], s.re[r * S] * s.re[r * S] + s.im[r * S] * s.im[r * S]);
    }
}

TEST(Cwd, SigmaZeroIsTheWignerVilleDistributionAndNegativeParametersCountAsZero) {
    for (const Size& c : {Size{37, 16, 2}, Size{64, 32, 1}, Size{50, 8, 8}}) {
        for (Mode mode : kModes) {
            SCOPED_TRACE(::testing::Message() << kModeNames[mode] << " n=" << c.n);
            const Signal s = RandomSignal(c.n, mode, 600);
            const int64_t size = c.n / c.S * Bins(mode, c.B);
            std::vector<double> wvd(size), cwd(size), negative(size), csd(size), csdNeg(size);
            ASSERT_EQ(WVD(s.re.data(), s.Im(), c.n, c.B, c.S, s.Analytic(), wvd.data()), 0);
            ASSERT_EQ(CWD(s.re.data(), s.Im(), c.n, c.B, c.S, 0.0, s.Analytic(), cwd.data()), 0);
            ASSERT_EQ(CWD(s.re.data(), s.Im(), c.n, c.B, c.S, -2.5, s.Analytic(), negative.data()),
                      0);
            ASSERT_EQ(CSD(s.re.data(), s.Im(), c.n, c.B, c.S, 0.0, s.Analytic(), csd.data()), 0);
            ASSERT_EQ(CSD(s.re.data(), s.Im(), c.n, c.B, c.S, -1.0, s.Analytic(), csdNeg.data()),
                      0);
            double peak = 0;
            for (double v : wvd) peak = std::max(peak, std::abs(v));
            for (int64_t k = 0; k < size; ++k) EXPECT_NEAR(cwd[k], wvd[k], 1e-13 * peak) << k;
            EXPECT_EQ(negative, cwd);
            EXPECT_EQ(csdNeg, csd);
        }
    }
}

TEST(Kernels, TheConeIsTheLagWeightOnRowZeroAndInTheCentreColumn) {
    const int32_t B = 16;
    for (int32_t H : {1, 2, 8, 64}) {
        SCOPED_TRACE(H);
        std::vector<double> cone(B * H);
        for (int32_t tau = 0; tau < B; ++tau) tf::ConeKernel(tau, H, 0.03, cone.data() + tau * H);
        for (int32_t j = 0; j < H; ++j) EXPECT_EQ(cone[j], 1.0) << j;
        for (int32_t tau = 0; tau < B; ++tau) {
            const double tau2 = static_cast<double>(tau) * tau;
            EXPECT_EQ(cone[tau * H + H / 2], std::exp(-0.03 * tau2)) << tau;
        }
    }
}

TEST(Kernels, ChoiWilliamsRowsAreTheirExponentialsToAnUlp) {
    // The exponent x = −τ²σ·θ² in doubles; e^x evaluated in long double. Results
    // in the subnormal range are held to their own spacing, 2^−1074.
    const double kSubnormalUlp = std::numeric_limits<double>::denorm_min();
    for (int32_t H : {1, 2, 6, 64, 4096}) {
        for (int32_t tau : {0, 1, 2, 5, 127, 254, 1000}) {
            for (double sigma : {0.0, 1e-3, 0.05, 0.7, 40.0}) {
                SCOPED_TRACE(::testing::Message()
                             << "H " << H << " tau " << tau << " sigma " << sigma);
                std::vector<double> row(H);
                tf::ChoiWilliamsKernel(tau, H, sigma, row.data());
                const double scale = -(static_cast<double>(tau) * tau) * sigma;
                for (int32_t j = 0; j <= H / 2; ++j) {
                    const double w = 6.283185307179586 / H * (j - H / 2);
                    const long double exact = std::exp(static_cast<long double>(scale * (w * w)));
                    const long double bound =
                        std::max<long double>(exact * 0x1p-52L, kSubnormalUlp);
                    EXPECT_LE(std::abs(row[j] - exact), bound) << "column " << j;
                }
                EXPECT_EQ(row[H / 2], 1.0);
                for (int32_t j = H / 2 + 1; j < H; ++j) EXPECT_EQ(row[j], row[H - j]) << j;
                if (tau % 2 == 0 && H % 2 == 0) {  // built from row τ/2: the same bits
                    std::vector<double> halfLag(H), derived(H);
                    tf::ChoiWilliamsKernel(tau / 2, H, sigma, halfLag.data());
                    tf::ChoiWilliamsKernelFromHalfLag(tau, H, sigma, halfLag.data(),
                                                      derived.data());
                    for (int32_t j = 0; j < H; ++j) EXPECT_EQ(derived[j], row[j]) << j;
                }
            }
        }
    }
}

TEST(Cwd, TheCrossTermOfTwoTonesShrinksAsSigmaGrows) {
    // Tones at bins 3 and 11 of 32: the cross term sits at bin 7 and turns with
    // the Doppler 8/32 per sample; the auto terms have none.
    const int32_t n = 256, B = 32, T = n;
    auto re = Tone(n, 3.0 / B, false), im = Tone(n, 3.0 / B, true);
    const auto re2 = Tone(n, 11.0 / B, false), im2 = Tone(n, 11.0 / B, true);
    for (int32_t t = 0; t < n; ++t) {
        re[t] += re2[t];
        im[t] += im2[t];
    }
    const double sigmas[] = {0, 1e-4, 1e-3, 1e-2, 1e-1, 1};
    double previous = 1e300;
    std::printf("[ figures  ] CWD cross term / auto term:");
    for (double sigma : sigmas) {
        std::vector<double> out(T * B);
        ASSERT_EQ(CWD(re.data(), im.data(), n, B, 1, sigma, 0, out.data()), 0);
        // The cross term is what varies at bin 7; the tones' side lobes there do not.
        double low = 1e300, high = -1e300, autoTerm = 0;
        for (int32_t r = B; r < T - B; ++r) {
            low = std::min(low, out[r * B + 7]);
            high = std::max(high, out[r * B + 7]);
            autoTerm = std::max(autoTerm, out[r * B + 3]);
        }
        const double ratio = (high - low) / 2 / autoTerm;
        std::printf(" sigma %g: %.4f;", sigma, ratio);
        EXPECT_LT(ratio, previous) << "sigma " << sigma;
        previous = ratio;
    }
    std::printf("\n");
    EXPECT_LT(previous, 0.05);  // lag 0 is never smoothed
}

// The four exports behind one signature, for the tables below.
struct Call {
    const char* name;
    int32_t n, B, H, S;
    Mode mode;
    int32_t status;
};

int32_t CallExport(const Call& c, const double* re, const double* im, const double* kernel,
                   double* out) {
    const double* imag = c.mode == kComplexMode ? im : nullptr;
    const int32_t analytic = c.mode == kAnalyticMode;
    const std::string name = c.name;
    if (name == "WVD") return WVD(re, imag, c.n, c.B, c.S, analytic, out);
    if (name == "Cohen") return Cohen(re, imag, c.n, kernel, c.B, c.H, c.S, analytic, out);
    if (name == "CWD") return CWD(re, imag, c.n, c.B, c.S, 0.5, analytic, out);
    return CSD(re, imag, c.n, c.B, c.S, 0.5, analytic, out);
}

TEST(Distributions, BadArgumentsReturnTheirStatusInOrderAndWriteNothing) {
    const Call calls[] = {
        {"WVD", 0, 3, 0, 0, kComplexMode, 1},
        {"WVD", -4, 8, 0, 1, kInterpolatedMode, 1},
        {"WVD", 16, 0, 0, 0, kComplexMode, 3},
        {"WVD", 16, -8, 0, 1, kComplexMode, 3},
        {"WVD", 16, 6, 0, 1, kInterpolatedMode, 3},
        {"WVD", 16, 8, 0, 0, kComplexMode, 12},
        {"WVD", 16, 8, 0, -3, kAnalyticMode, 12},
        {"WVD", 16, 1, 0, 0, kAnalyticMode, 12},
        {"WVD", 16, 1, 0, 2, kAnalyticMode, 3},  // a real signal, analytic: no lags
        {"WVD", 5, 4, 0, 6, kComplexMode, 0},    // S > n: no rows, nothing written
        {"WVD", 5, 4, 0, 6, kAnalyticMode, 0},
        {"WVD", 5, 4, 0, 6, kInterpolatedMode, 0},
        {"Cohen", 0, 6, 8, 3, kComplexMode, 1},
        {"Cohen", 16, 6, 16, 1, kComplexMode, 18},
        {"Cohen", 16, 0, 16, 1, kComplexMode, 18},
        {"Cohen", 16, 8, 12, 1, kInterpolatedMode, 18},
        {"Cohen", 16, 8, 0, 3, kAnalyticMode, 18},
        {"Cohen", 16, 8, 16, 3, kComplexMode, 12},
        {"Cohen", 16, 8, 16, 0, kInterpolatedMode, 12},
        {"Cohen", 16, 1, 16, 3, kAnalyticMode, 12},
        {"Cohen", 16, 1, 16, 1, kAnalyticMode, 3},
        // H one power of two away from NF = 16, found after the preparation.
        {"Cohen", 16, 8, 32, 1, kComplexMode, 18},
        {"Cohen", 16, 8, 8, 1, kAnalyticMode, 18},
        {"Cohen", 9, 8, 16, 2, kInterpolatedMode, 18},
        {"Cohen", 5, 4, 8, 8, kComplexMode, 18},  // S > n: NF = 0
        {"CWD", 0, 6, 0, 3, kComplexMode, 1},
        {"CWD", 16, 6, 0, 3, kComplexMode, 12},
        {"CWD", 16, 8, 0, 0, kInterpolatedMode, 12},
        {"CWD", 16, 6, 0, 2, kComplexMode, 3},
        {"CWD", 16, -2, 0, 2, kAnalyticMode, 3},
        {"CWD", 5, 8, 0, 8, kComplexMode, 18},
        {"CWD", 16, 0, 0, 2, kInterpolatedMode, 18},
        {"CWD", 16, 1, 0, 2, kAnalyticMode, 3},
        {"CSD", -1, 8, 0, 2, kComplexMode, 1},
        {"CSD", 16, 8, 0, 6, kComplexMode, 12},
        {"CSD", 16, 12, 0, 2, kInterpolatedMode, 3},
        {"CSD", 4, 8, 0, 8, kAnalyticMode, 18},
        {"CSD", 16, 0, 0, 4, kComplexMode, 18},
    };
    const auto re = Random(64, 700), im = Random(64, 701), kernel = Random(32 * 32, 702);
    for (const Call& c : calls) {
        SCOPED_TRACE(::testing::Message() << c.name << " " << kModeNames[c.mode] << " n=" << c.n
                                          << " B=" << c.B << " H=" << c.H << " S=" << c.S);
        std::vector<double> out(256, kSentinel);
        EXPECT_EQ(CallExport(c, re.data(), im.data(), kernel.data(), out.data()), c.status);
        EXPECT_TRUE(AllEqual(out, kSentinel));
    }
}

TEST(Distributions, SizesBeyond32BitsReturnNoMemoryBeforeReadingTheSignal) {
    const int32_t big = (1 << 30) + 5;
    const Call calls[] = {
        {"WVD", big, 2, 0, 1, kComplexMode, -20001},             // 2n prepared samples
        {"WVD", big, 4, 0, 3, kInterpolatedMode, -20001},        // 2n prepared samples
        {"WVD", big, 8, 0, 1, kAnalyticMode, -20001},            // the circle, 2^31
        {"WVD", 1 << 28, 64, 0, 1, kAnalyticMode, -20001},       // T·F and the lag matrix
        {"WVD", 1 << 25, 256, 0, 2, kComplexMode, -20001},       // T·F
        {"Cohen", big, 2, 1, 1, kAnalyticMode, -20001},          // NF = 2^31
        {"CWD", 1 << 28, 16, 0, 1, kAnalyticMode, -20001},       // the B·H kernel
        {"CSD", (1 << 30) + 1, 2, 0, 1, kAnalyticMode, -20001},  // H = 2^31
    };
    const std::vector<double> tiny(4, 1.0);
    for (const Call& c : calls) {
        SCOPED_TRACE(::testing::Message() << c.name << " " << kModeNames[c.mode] << " n=" << c.n);
        std::vector<double> out(4, kSentinel);
        EXPECT_EQ(CallExport(c, tiny.data(), tiny.data(), tiny.data(), out.data()), c.status);
        EXPECT_TRUE(AllEqual(out, kSentinel));
    }
}

TEST(Distributions, ExhaustedMemoryReturnsTheStatusAndWritesNothing) {
    // The second size has rows enough for the lag transform sixteen rows at a time.
    struct Sizes {
        int32_t n, B, S, H;
    };
    for (const Sizes z : {Sizes{13, 8, 2, 16}, Sizes{80, 32, 2, 128}}) {
        const auto re = Random(z.n, 800), im = Random(z.n, 801), kernel = Random(z.B * z.H, 802);
        for (const char* name : {"WVD", "Cohen", "CWD", "CSD"}) {
            for (Mode mode : kModes) {
                SCOPED_TRACE(::testing::Message()
                             << name << " " << kModeNames[mode] << " n=" << z.n);
                const Call c{name, z.n, z.B, z.H, z.S, mode, 0};
                std::vector<double> out(z.n / z.S * z.B + 2, kSentinel);
                const int walked = testsupport::WalkAllocationFailures(
                    [&] { return CallExport(c, re.data(), im.data(), kernel.data(), out.data()); },
                    [&](int64_t, int32_t status) {
                        EXPECT_EQ(status, -20001);
                        EXPECT_TRUE(AllEqual(out, kSentinel));
                    });
                EXPECT_GE(walked, 4)
                    << "the preparation, the matrix, the lag stage and their plans";
                EXPECT_EQ(CallExport(c, re.data(), im.data(), kernel.data(), out.data()), 0);
            }
        }
    }
}

}  // namespace
