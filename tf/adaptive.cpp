// The Gaussian chirplet, the signal rebuilt from a set of chirplets, and the
// adaptive spectrogram: the sum of the atoms' closed-form Wigner-Ville
// distributions, free of cross terms.

#include "adaptive.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "status.h"
#include "stft.h"

namespace tf {
namespace {

constexpr int64_t kMaxCount = std::numeric_limits<int32_t>::max();

// exp(x) is exactly 0 below about −745.13; beyond this many units of α·d²/2
// an atom has no sample left.
constexpr double kEnvelopeLimit = 750.0;

// The complex product (a + ib)(c + id) added to out[0], out[1].
inline void AddProduct(double a, double b, double c, double d, double* out) {
    out[0] += a * c - b * d;
    out[1] += a * d + b * c;
}

// Support of an atom in the real expansion: samples first … end−1, clipped
// to the signal as lo … hi−1; false when nothing of it falls inside.
struct RealSupport {
    int64_t first, end, lo, hi;
};

bool ExpansionSupport(const AtomParams& a, int32_t n, RealSupport& s) {
    double w = std::floor(9 / std::sqrt(a.alpha) + 0.5);
    if (w > n - 1) w = n - 1;
    const double first = std::floor(a.centerTime - w), end = std::floor(a.centerTime + w) + 1;
    if (!(first < n && end > 0 && w >= 0)) return false;  // outside, or not a number
    s.first = static_cast<int64_t>(first);
    s.end = static_cast<int64_t>(end);
    s.lo = std::max<int64_t>(s.first, 0);
    s.hi = std::min<int64_t>(s.end, n);
    return s.first < s.end;
}

// Bins k … of the circle visited by one row of the complex spectrogram are
// limited to this many turns around the atom's ridge: more happen only for
// atoms narrower than a twentieth of a sample, whose rows are flat.
constexpr int64_t kMaxTurns = 64;
// Ridges beyond this many bins from zero are not resolved by doubles.
constexpr double kMaxRidgeBin = 0x1p50;

struct SpGrid {
    int32_t M, dT, Nf, t0, f0, rows, cols;
    bool complex, centre;
};

int32_t AdaptiveSp(const double* coefs, const double* params, const SpGrid& g, double* out) {
    if (g.M < 1 || g.rows < 1 || g.cols < 1) return status::kShortSignal;
    if (g.dT < 1) return status::kBadRowStep;
    if (g.Nf < 1) return status::kBadBinCount;
    if (!g.complex && (g.f0 < 0 || g.f0 >= g.Nf || int64_t{g.f0} + g.cols > g.Nf))
        return status::kBadFrequencyRange;
    const int64_t size = int64_t{g.rows} * g.cols;
    if (size > kMaxCount) return status::kNoMemory;

    std::fill_n(out, size, 0.0);
    const int64_t t0 = std::max(g.t0, 0);
    const double dw = kAdaptiveTwoPi / g.Nf;
    for (int64_t m = 0; m < g.M; ++m) {
        const AtomParams a = LoadAtom(params + 4 * m);
        const double cr = coefs[2 * m], ci = coefs[2 * m + 1];
        const double E = 2 * (cr * cr + ci * ci);
        const double ws = 6.3 / std::sqrt(a.alpha);
        const double tc = a.centerTime - static_cast<double>(t0);
        const int64_t rLo = ClampIndex(std::trunc((tc - ws) / g.dT), 0, g.rows);
        const int64_t rHi = ClampIndex(std::ceil((tc + ws) / g.dT) + 1, 0, g.rows);
        double omega = a.centerFrequency;
        if (!g.complex)
            omega = std::fabs(omega - kAdaptiveTwoPi * std::floor(omega * kInverseTwoPi + 0.5));
        else if (g.centre)
            omega -= kAdaptivePi;
        for (int64_t r = rLo; r < rHi; ++r) {
            const double dt = static_cast<double>(t0 + r * g.dT) - a.centerTime;
            const double K = -a.alpha * (dt * dt);
            const double B = std::sqrt(a.alpha * (39.69 - K));
            double* row = out + r * g.cols;
            if (!g.complex) {
                const double D = a.chirpRate * dt + omega - g.f0 * dw;
                const int64_t qLo = ClampIndex(std::trunc((D - B) / dw), 0, g.cols);
                const int64_t qHi = ClampIndex(std::ceil((D + B) / dw) + 1, 0, g.cols);
                for (int64_t q = qLo; q < qHi; ++q) {
                    const double u = static_cast<double>(q) * dw - D;
                    row[q] += E * std::exp(K - u * u / a.alpha);
                }
                continue;
            }
            const double D = a.chirpRate * dt + omega;
            const double ridge = std::floor(D / dw + 0.5);
            if (!(std::fabs(ridge) <= kMaxRidgeBin)) continue;
            const double reach = static_cast<double>(kMaxTurns / 2 * g.Nf);
            double kLo = std::trunc((D - B) / dw), kHi = std::ceil((D + B) / dw);
            if (!(kLo >= ridge - reach)) kLo = ridge - reach;
            if (!(kHi <= ridge + reach)) kHi = ridge + reach;
            // Column q shows bin (f0 + q) mod Nf, whatever f0 and cols.
            for (auto k = static_cast<int64_t>(kLo); k <= static_cast<int64_t>(kHi); ++k) {
                int64_t column = PositiveModulo(k - g.f0, g.Nf);
                if (column >= g.cols) continue;
                const double u = static_cast<double>(k) * dw - D;
                const double value = E * std::exp(K - u * u / a.alpha);
                for (; column < g.cols; column += g.Nf) row[column] += value;
            }
        }
    }
    for (int64_t i = 0; i < size; ++i) out[i] /= g.Nf;
    return status::kOk;
}

}  // namespace

void ChirpletAtom(const AtomParams& atom, int64_t first, int64_t count, double* out) {
    const double amplitude = AtomAmplitude(atom.alpha);
    for (int64_t i = 0; i < count; ++i) {
        const double d = static_cast<double>(first + i) - atom.centerTime;
        const double g = AtomEnvelopeAt(amplitude, atom.alpha, d);
        const double phase = AtomPhaseAt(atom.chirpRate, atom.centerFrequency, d);
        out[2 * i] = g * std::cos(phase);
        out[2 * i + 1] = g * std::sin(phase);
    }
}

SampleRange AtomEnvelope(const AtomParams& atom, int64_t n) {
    const double reach = std::sqrt(2 * kEnvelopeLimit / atom.alpha);
    const double tc = atom.centerTime;
    if (!(std::isfinite(reach) && std::isfinite(tc))) return {0, n};
    return {ClampIndex(std::ceil(tc - reach), 0, n), ClampIndex(std::floor(tc + reach) + 1, 0, n)};
}

bool PositiveSide(double omega) {
    const double turns = omega * kInverseTwoPi;
    return turns - std::floor(turns) < 0.5;
}

void ReOneSided(engine::FftPlan* plan, const double* z, int32_t L, double* y, bool positive,
                double* work) {
    double* re = work;
    double* im = work + L;
    double* hc = work + 2 * int64_t{L};
    engine::CxFftForward(plan, z, z + 1, re, im, 2, 1, L);
    const int32_t half = L / 2;
    hc[0] = re[0];
    hc[half] = re[half];
    for (int32_t k = 1; k < half; ++k) {
        hc[k] = positive ? re[k] : re[L - k];
        hc[L - k] = positive ? im[k] : -im[L - k];
    }
    engine::ReFftInverse(plan, hc, y, 1, 1, L);
}

PowerOfTwoPlans::~PowerOfTwoPlans() {
    for (engine::FftPlan* plan : plans_) engine::FftPlanRelease(plan);
}

engine::FftPlan* PowerOfTwoPlans::Get(int32_t L) {
    int bit = 0;
    while ((int32_t{1} << bit) < L) ++bit;
    if (!plans_[bit]) plans_[bit] = engine::FftPlanGet(L);
    return plans_[bit];
}

}  // namespace tf

using namespace tf;

extern "C" {

int32_t CxAdaptiveExpansion(const double* params, const double* coefs, int32_t M, int32_t n,
                            double* out) {
    if (M < 1 || n < 1) return status::kShortSignal;
    std::fill_n(out, 2 * int64_t{n}, 0.0);
    for (int64_t m = 0; m < M; ++m) {
        const AtomParams a = LoadAtom(params + 4 * m);
        const double w = 9 / std::sqrt(a.alpha);
        const int64_t first = ClampIndex(std::trunc(a.centerTime - w), 0, n);
        const int64_t end = ClampIndex(std::ceil(a.centerTime + w) + 1, 0, n);
        if (first >= end) continue;
        // The atom from `first` on, multiplied by its coefficient as it goes.
        const double tc = a.centerTime - static_cast<double>(first);
        const double amplitude = AtomAmplitude(a.alpha);
        for (int64_t i = 0; i < end - first; ++i) {
            const double d = static_cast<double>(i) - tc;
            const double g = AtomEnvelopeAt(amplitude, a.alpha, d);
            const double phase = AtomPhaseAt(a.chirpRate, a.centerFrequency, d);
            AddProduct(coefs[2 * m], coefs[2 * m + 1], g * std::cos(phase), g * std::sin(phase),
                       out + 2 * (first + i));
        }
    }
    return status::kOk;
}

int32_t ReAdaptiveExpansion(const double* params, const double* coefs, int32_t M, int32_t n,
                            double* out) {
    if (M < 1 || n < 1) return status::kShortSignal;
    // Every atom's transform length and plan before the output is touched.
    int64_t longest = 0;
    for (int64_t m = 0; m < M; ++m) {
        RealSupport s{};
        if (ExpansionSupport(LoadAtom(params + 4 * m), n, s))
            longest = std::max(longest, s.end - s.first);
    }
    int64_t L2max = 1;
    while (L2max < longest) L2max <<= 1;
    if (L2max > kMaxCount) return status::kNoMemory;
    // z (complex), y and the work of the one-sided part.
    scratch::Array<double> work = ScratchArray<double>(6 * L2max);
    if (!work) return status::kNoMemory;
    PowerOfTwoPlans plans;
    for (int64_t m = 0; m < M; ++m) {
        RealSupport s{};
        if (ExpansionSupport(LoadAtom(params + 4 * m), n, s) &&
            !plans.Get(engine::NextPowerOfTwo(static_cast<int32_t>(s.end - s.first))))
            return status::kNoMemory;
    }

    std::fill_n(out, n, 0.0);
    double* z = work.get();
    double* y = z + 2 * L2max;
    double* oneSidedWork = y + L2max;
    for (int64_t m = 0; m < M; ++m) {
        AtomParams a = LoadAtom(params + 4 * m);
        RealSupport s{};
        if (!ExpansionSupport(a, n, s)) continue;
        const auto L = static_cast<int32_t>(s.end - s.first);
        const int32_t L2 = engine::NextPowerOfTwo(L);
        const bool positive = PositiveSide(a.centerFrequency);
        a.centerTime -= static_cast<double>(s.first);
        ChirpletAtom(a, 0, L, z);
        const double cr = coefs[2 * m], ci = coefs[2 * m + 1];
        for (int32_t j = 0; j < L; ++j) {
            const double hr = z[2 * j], hi = z[2 * j + 1];
            z[2 * j] = cr * hr - ci * hi;
            z[2 * j + 1] = cr * hi + ci * hr;
        }
        std::fill(z + 2 * int64_t{L}, z + 2 * int64_t{L2}, 0.0);
        ReOneSided(plans.Get(L2), z, L2, y, positive, oneSidedWork);
        for (int64_t k = s.lo; k < s.hi; ++k) out[k] += y[k - s.first];
    }
    return status::kOk;
}

int32_t ReAdaptiveSp(const double* coefs, const double* params, int32_t M, int32_t dT, int32_t Nf,
                     int32_t t0, int32_t f0, int32_t rows, int32_t cols, double* out) {
    return AdaptiveSp(coefs, params, {M, dT, Nf, t0, f0, rows, cols, false, false}, out);
}

int32_t CxAdaptiveSp(const double* coefs, const double* params, int32_t M, int32_t dT, int32_t Nf,
                     int32_t t0, int32_t f0, int32_t rows, int32_t cols, double* out,
                     int32_t centre) {
    return AdaptiveSp(coefs, params, {M, dT, Nf, t0, f0, rows, cols, true, (centre & 0xFF) != 0},
                      out);
}

}  // extern "C"
