// Matching pursuit with Gaussian chirplets. Each atom starts from the
// strongest cell of Gaussian short-time spectra at several scales, is refined
// from the inner products of the residual with six probing atoms (three
// frequencies at two instants: the peak frequency and the curvature at each
// instant give the atom's chirp rate, width and centre), and is projected out
// of the residual. The scale tables are recomputed only around the last atom.

#include <algorithm>
#include <cmath>
#include <limits>

#include "adaptive.h"
#include "status.h"
#include "stft.h"

namespace tf {
namespace {

constexpr int64_t kMaxCount = std::numeric_limits<int32_t>::max();
constexpr int64_t kMaxTransform = int64_t{1} << 30;
constexpr int32_t kDefaultIterations = 10;
constexpr double kDefaultSupport = 4.0;
// Below this centre frequency an atom is taken as it is found.
constexpr double kZeroFrequency = 1e-8;

// c_s = Σ x[k]·conj(h_s(k)) for the atoms p with the centre frequencies
// omegas[s], s < kCount: one envelope, kCount phases. Samples where the
// envelope is exactly zero add nothing and are skipped.
template <int kWidth, int kCount>
void InnerProducts(const double* x, int64_t n, const AtomParams& p, const double* omegas,
                   double* re, double* im) {
    const SampleRange range = AtomEnvelope(p, n);
    const double amplitude = AtomAmplitude(p.alpha);
    double sr[kCount] = {}, si[kCount] = {};
    for (int64_t k = range.lo; k < range.hi; ++k) {
        const double d = static_cast<double>(k) - p.centerTime;
        const double g = AtomEnvelopeAt(amplitude, p.alpha, d);
        for (int s = 0; s < kCount; ++s) {
            const double phase = AtomPhaseAt(p.chirpRate, omegas[s], d);
            const double hr = g * std::cos(phase), hi = g * std::sin(phase);
            if constexpr (kWidth == 1) {
                sr[s] += x[k] * hr;
                si[s] += -(x[k] * hi);
            } else {
                const double zr = x[2 * k], zi = x[2 * k + 1];
                sr[s] += zr * hr + zi * hi;
                si[s] += zi * hr - zr * hi;
            }
        }
    }
    for (int s = 0; s < kCount; ++s) {
        re[s] = sr[s];
        im[s] = si[s];
    }
}

// Σ |x[k] − y[k]|² over n samples of `width` doubles (y may be null).
double Energy(const double* x, const double* y, int64_t n, int64_t width) {
    double e = 0;
    for (int64_t k = 0; k < n; ++k) {
        double sample = 0;
        for (int64_t part = 0; part < width; ++part) {
            const double v = y ? x[width * k + part] - y[width * k + part] : x[width * k + part];
            sample += v * v;
        }
        e += sample;
    }
    return e;
}

}  // namespace

int32_t AdaptiveState::Prepare(const double* signal, int32_t length, bool isComplex, int32_t ext,
                               int32_t maxWindow) {
    n = length;
    complex = isComplex;
    extType = ext;
    int64_t window = maxWindow;
    if (maxWindow < 8)
        window =
            int64_t{1} << static_cast<int>(std::floor(std::log2(static_cast<double>(n)) + 0.5));
    Lmax = 1;
    while (Lmax < window) Lmax <<= 1;
    if (Lmax > kMaxTransform || n + Lmax > kMaxCount) return status::kNoMemory;

    // Levels while the hop is at least 2: L = Lmax/2^l, H = Lmax/2^(l+3).
    levelCount = 0;
    int64_t windows = 0, entries = 0;
    for (int64_t L = Lmax, H = Lmax / 8; H >= 2; L /= 2, H /= 2) {
        AdaptiveLevel& level = levels[levelCount++];
        level.L = static_cast<int32_t>(L);
        level.H = static_cast<int32_t>(H);
        level.count = (n + H - 1) / H;
        windows += L;
        entries += level.count;
    }
    const int64_t w = Width();
    work_ = ScratchArray<double>(w * (3 * int64_t{n} + 2 * Lmax) + 2 * Lmax + windows + entries);
    bins_ = ScratchArray<int32_t>(entries);
    if (!work_ || !bins_) return status::kNoMemory;
    residual = work_.get();
    contribution = residual + w * n;
    extended = contribution + w * n;
    segment = extended + w * (n + Lmax);
    spectrum = segment + w * Lmax;
    double* next = spectrum + 2 * Lmax;
    int32_t* nextBin = bins_.get();
    double variance = static_cast<double>(Lmax) * static_cast<double>(Lmax / 8) / kAdaptiveTwoPi;
    for (int32_t l = 0; l < levelCount; ++l) {
        AdaptiveLevel& level = levels[l];
        level.window = next;
        level.power = next + level.L;
        level.bin = nextBin;
        next = level.power + level.count;
        nextBin += level.count;
        std::fill_n(level.power, level.count, 0.0);
        std::fill_n(level.bin, level.count, 0);
        Gaussian(level.L, (level.L - 1) / 2.0, variance, level.window);
        variance *= 0.25;
        level.plan = plans.Get(level.L);
        if (!level.plan) return status::kNoMemory;
    }
    std::copy_n(signal, w * n, residual);
    return status::kOk;
}

void AdaptiveSearchUpdate(AdaptiveState& s, int64_t start, int64_t end) {
    const int64_t w = s.Width(), n = s.n, half = s.Lmax / 2;
    double* x = s.extended + w * half;  // sample 0 of the residual
    std::copy_n(s.residual, w * n, x);
    const auto extLen = static_cast<int32_t>(half);
    if (s.complex)
        CxExtension(s.residual, s.n, s.extType, extLen, s.extended, x + w * n);
    else
        ReExtension(s.residual, s.n, s.extType, extLen, s.extended, x + w * n);

    for (int32_t l = 0; l < s.levelCount; ++l) {
        const AdaptiveLevel& level = s.levels[l];
        const int64_t L = level.L, H = level.H;
        const int64_t jLo = std::max<int64_t>(start - L / 2, 0) / H;
        const int64_t jHi = (std::min<int64_t>(end + L / 2, n) + H - 1) / H;
        for (int64_t j = jLo; j < jHi; ++j) {
            const double* from = x + w * (j * H - L / 2);
            double best = 0;
            int32_t bestBin = 0;
            if (!s.complex) {
                for (int64_t i = 0; i < L; ++i) s.segment[i] = level.window[i] * from[i];
                engine::ReFftForward(level.plan, s.segment, s.spectrum, 1, 1, level.L);
                const double* hc = s.spectrum;
                for (int64_t k = 0; k < L / 2; ++k) {
                    const double p = k == 0 ? hc[0] * hc[0] : hc[k] * hc[k] + hc[L - k] * hc[L - k];
                    if (k == 0 || p > best) {
                        best = p;
                        bestBin = static_cast<int32_t>(k);
                    }
                }
            } else {
                for (int64_t i = 0; i < 2 * L; ++i) s.segment[i] = level.window[i / 2] * from[i];
                double* re = s.spectrum;
                double* im = s.spectrum + L;
                engine::CxFftForward(level.plan, s.segment, s.segment + 1, re, im, 2, 1, level.L);
                for (int64_t k = 0; k < L; ++k) {
                    const double p = re[k] * re[k] + im[k] * im[k];
                    if (k == 0 || p > best) {
                        best = p;
                        bestBin = static_cast<int32_t>(k);
                    }
                }
            }
            level.power[j] = best;
            level.bin[j] = bestBin;
        }
    }
}

AtomParams AdaptiveStartPoint(const AdaptiveState& s) {
    AtomParams a{kAdaptiveTwoPi / static_cast<double>(s.Lmax), 0.0, 0.0, 0.0};
    double best = 0;
    for (int32_t l = 0; l < s.levelCount; ++l) {
        const AdaptiveLevel& level = s.levels[l];
        for (int64_t j = 0; j < level.count; ++j) {
            if (!(level.power[j] > best)) continue;
            best = level.power[j];
            a.alpha = kAdaptiveTwoPi / static_cast<double>(int64_t{level.H} * level.L);
            a.centerTime = static_cast<double>(j * level.H);
            a.centerFrequency = kAdaptiveTwoPi * level.bin[j] / level.L;
        }
    }
    return a;
}

SampleRange AdaptiveRegion(const AtomParams& a, double support, int64_t n) {
    const double r = support / std::sqrt(a.alpha / 2);
    const double start = std::floor(a.centerTime - r),
                 end = std::ceil(r + std::trunc(a.centerTime));
    if (std::isnan(start) || std::isnan(end)) return {0, n};
    return {ClampIndex(start, 0, n), ClampIndex(end, 0, n)};
}

bool AdaptiveFreqPeak(const AdaptiveState& s, const AtomParams& p, double dw, FreqPeak& peak) {
    const double omega = p.centerFrequency;
    const double omegas[3] = {omega - dw, omega, omega + dw};
    double re[3], im[3];
    if (s.complex)
        InnerProducts<2, 3>(s.residual, s.n, p, omegas, re, im);
    else
        InnerProducts<1, 3>(s.residual, s.n, p, omegas, re, im);
    for (int i = 0; i < 3; ++i) peak.power[i] = re[i] * re[i] + im[i] * im[i];
    const double D = std::log(peak.power[0] * peak.power[2] / (peak.power[1] * peak.power[1]));
    peak.kappa = -D / (4 * (dw * dw));
    peak.omegaStar = omega + 0.5 * dw * std::log(peak.power[0] / peak.power[2]) / D;
    return peak.kappa > 0;
}

bool AdaptiveEstimate(const AtomParams& p, double T1, double T2, const FreqPeak& peak1,
                      const FreqPeak& peak2, int32_t mode, AtomParams& estimate, double& slope) {
    const double alpha0 = p.alpha, beta = p.chirpRate, omega0 = p.centerFrequency;
    const double c = (peak1.omegaStar - peak2.omegaStar) / (T1 - T2);
    const double kappas = peak1.kappa + peak2.kappa;
    double alpha, rate;
    if (std::fabs(c) >= 1e-8 && std::fabs((beta - c) / c) >= 0.001 && mode != 1) {
        const double f = alpha0 / (c - beta);
        rate = beta + alpha0 / kappas / (f * f + 1) / (c - beta);
        alpha = f * (rate - c);
    } else {
        alpha = 1 / kappas - alpha0;
        rate = beta;
    }
    // The logarithm of each instant's peak magnitude.
    const double d1 = peak1.omegaStar - omega0, d2 = peak2.omegaStar - omega0;
    const double lambda1 = 0.5 * std::log(peak1.power[1]) + peak1.kappa * (d1 * d1);
    const double lambda2 = 0.5 * std::log(peak2.power[1]) + peak2.kappa * (d2 * d2);
    const double t = (1 / alpha0 + 1 / alpha) * (lambda1 - lambda2) / (T1 - T2) + (T1 + T2) / 2;
    estimate = {alpha, t, (t - T1) * c + peak1.omegaStar, rate};
    slope = c;
    // An estimate that is not a number or infinite is no estimate either.
    return alpha > 0 && std::isfinite(alpha) && std::isfinite(t) &&
           std::isfinite(estimate.centerFrequency) && std::isfinite(rate);
}

bool AdaptiveProbe(const AdaptiveState& s, const AtomParams& p, double dt, double dw, int32_t mode,
                   ProbeResult& result) {
    if (std::fabs(p.centerFrequency) < kZeroFrequency) {
        result = {p, p, 0.0, 0.0};
        return true;
    }
    const double T[2] = {p.centerTime - dt, p.centerTime + dt};
    FreqPeak peaks[2];
    bool found = true;
    for (int i = 0; i < 2; ++i) {
        AtomParams at = p;
        at.centerTime = T[i];
        found = AdaptiveFreqPeak(s, at, dw, peaks[i]) && found;
    }
    const bool estimated =
        AdaptiveEstimate(p, T[0], T[1], peaks[0], peaks[1], mode, result.estimate, result.slope);
    result.bestPower = peaks[0].power[0];
    result.best = {p.alpha, T[0], p.centerFrequency - dw, p.chirpRate};
    for (int i = 0; i < 2; ++i)
        for (int f = 0; f < 3; ++f)
            if (peaks[i].power[f] > result.bestPower) {
                result.bestPower = peaks[i].power[f];
                result.best = {p.alpha, T[i], p.centerFrequency + (f - 1) * dw, p.chirpRate};
            }
    return found && estimated;
}

int32_t AdaptiveRefine(const AdaptiveState& s, AtomParams& p, int32_t iterations, int32_t mode) {
    if (iterations <= 0) iterations = kDefaultIterations;
    const double dt = 0.1 / std::sqrt(p.alpha), dw = 0.1 * std::sqrt(p.alpha);
    AtomParams probe = p, best = p;
    double bestPower = 0;
    for (int32_t attempt = 1; attempt <= iterations; ++attempt) {
        ProbeResult r{};
        const bool ok = AdaptiveProbe(s, probe, dt, dw, mode, r);
        p = r.estimate;
        if (ok) return attempt;
        if (r.bestPower > bestPower) {
            bestPower = r.bestPower;
            best = r.best;
        }
        probe.chirpRate = r.slope;
    }
    p = best;
    return iterations;
}

int32_t ReAtomProject(AdaptiveState& s, const AtomParams& p, double coef[2]) {
    const int64_t n = s.n;
    coef[0] = coef[1] = 0.0;
    std::fill_n(s.contribution, n, 0.0);
    const double w = std::min(9 / std::sqrt(p.alpha), static_cast<double>(n - 1));
    const double firstAt = std::trunc(p.centerTime - w), endAt = std::ceil(p.centerTime + w) + 1;
    if (!(firstAt < static_cast<double>(n) && endAt >= 0 && w >= 0)) return status::kOk;
    // The support is at most 2n samples long.
    const auto first = static_cast<int64_t>(firstAt), end = static_cast<int64_t>(endAt);
    const int64_t L = end - first;
    int64_t L2 = 1;
    while (L2 < L) L2 <<= 1;
    if (L2 > kMaxTransform) return status::kNoMemory;
    if (L2 > s.oneSidedLength) {
        if (!s.oneSided.Reset(6 * static_cast<std::size_t>(L2))) return status::kNoMemory;
        s.oneSidedLength = L2;
    }
    engine::FftPlan* plan = s.plans.Get(static_cast<int32_t>(L2));
    if (!plan) return status::kNoMemory;

    double* z = s.oneSided.get();
    double* y = z + 2 * L2;
    AtomParams shifted = p;
    shifted.centerTime -= static_cast<double>(first);
    ChirpletAtom(shifted, 0, L, z);
    const int64_t inFrom = std::max<int64_t>(first, 0), inTo = std::min(end, n);
    double cr = 0, ci = 0;
    for (int64_t k = inFrom; k < inTo; ++k) {
        cr += s.residual[k] * z[2 * (k - first)];
        ci += -(s.residual[k] * z[2 * (k - first) + 1]);
    }
    for (int64_t j = 0; j < L; ++j) {
        const double hr = z[2 * j], hi = z[2 * j + 1];
        z[2 * j] = cr * hr - ci * hi;
        z[2 * j + 1] = cr * hi + ci * hr;
    }
    std::fill(z + 2 * L, z + 2 * L2, 0.0);
    ReOneSided(plan, z, static_cast<int32_t>(L2), y, PositiveSide(p.centerFrequency), y + L2);
    for (int64_t k = inFrom; k < inTo; ++k) s.contribution[k] = y[k - first];
    coef[0] = cr;
    coef[1] = ci;
    return status::kOk;
}

void CxAtomProject(AdaptiveState& s, const AtomParams& p, double coef[2]) {
    const int64_t n = s.n;
    double* h = s.contribution;
    std::fill_n(h, 2 * n, 0.0);
    // The atom where its envelope is not zero; c = Σ z·conj(h).
    const SampleRange range = AtomEnvelope(p, n);
    ChirpletAtom(p, range.lo, range.hi - range.lo, h + 2 * range.lo);
    double cr = 0, ci = 0;
    for (int64_t k = range.lo; k < range.hi; ++k) {
        const double zr = s.residual[2 * k], zi = s.residual[2 * k + 1];
        cr += zr * h[2 * k] + zi * h[2 * k + 1];
        ci += zi * h[2 * k] - zr * h[2 * k + 1];
    }
    for (int64_t k = range.lo; k < range.hi; ++k) {
        const double hr = h[2 * k], hi = h[2 * k + 1];
        h[2 * k] = cr * hr - ci * hi;
        h[2 * k + 1] = cr * hi + ci * hr;
    }
    coef[0] = cr;
    coef[1] = ci;
}

int32_t AdaptiveTransform(const double* signal, int32_t n, bool complex, int32_t mode,
                          int32_t extType, int32_t maxWindow, double support, int32_t iterations,
                          int32_t maxAtoms, int32_t* numAtoms, double* residualPercent,
                          double* coefs, double* params, double* residual, AdaptiveStats* stats) {
    *numAtoms = 0;
    if (n < 8) return status::kShortSignal;
    if (maxAtoms < 0) return status::kBadAtomCount;
    // The extension's own check of its type, with nothing to write.
    const int32_t extension = complex ? CxExtension(signal, n, extType, 0, nullptr, nullptr)
                                      : ReExtension(signal, n, extType, 0, nullptr, nullptr);
    if (extension != status::kOk) return extension;
    if (!(support > 0)) support = kDefaultSupport;

    AdaptiveState s;
    if (const int32_t code = s.Prepare(signal, n, complex, extType, maxWindow); code != status::kOk)
        return code;
    const int64_t values = s.Width() * n;
    const double E0 = Energy(s.residual, nullptr, n, s.Width());
    double Eprev = E0;
    int32_t count = 0;
    SampleRange region{0, n};
    for (int32_t i = 0; i < maxAtoms; ++i) {
        AdaptiveSearchUpdate(s, region.lo, region.hi);
        AtomParams atom = AdaptiveStartPoint(s);
        StoreAtom(atom, params + 4 * int64_t{i});
        const int32_t attempts = AdaptiveRefine(s, atom, iterations, mode);
        if (stats) stats->attempts += attempts;
        StoreAtom(atom, params + 4 * int64_t{i});
        double* coef = coefs + 2 * int64_t{i};
        if (complex)
            CxAtomProject(s, atom, coef);
        else if (ReAtomProject(s, atom, coef) != status::kOk)
            return status::kNoMemory;
        // The residual keeps the subtraction only when it lowers its energy,
        // so that it always equals the signal less the counted atoms.
        const double E = Energy(s.residual, s.contribution, n, s.Width());
        if (!(E < Eprev)) break;
        for (int64_t k = 0; k < values; ++k) s.residual[k] -= s.contribution[k];
        Eprev = E;
        ++count;
        region = AdaptiveRegion(atom, support, n);
    }
    std::copy_n(s.residual, values, residual);
    *residualPercent = E0 == 0 ? 100.0 : Eprev / E0 * 100;
    *numAtoms = count;
    return status::kOk;
}

}  // namespace tf

extern "C" {

int32_t ReAdaptiveTransform(const double* signal, int32_t n, int32_t mode, int32_t extType,
                            int32_t maxWindow, double support, int32_t iterations, int32_t maxAtoms,
                            int32_t* numAtoms, double* residualPercent, double* coefs,
                            double* params, double* residual) {
    return tf::AdaptiveTransform(signal, n, false, mode, extType, maxWindow, support, iterations,
                                 maxAtoms, numAtoms, residualPercent, coefs, params, residual,
                                 nullptr);
}

int32_t CxAdaptiveTransform(const double* signal, int32_t n, int32_t mode, int32_t extType,
                            int32_t maxWindow, double support, int32_t iterations, int32_t maxAtoms,
                            int32_t* numAtoms, double* residualPercent, double* coefs,
                            double* params, double* residual) {
    return tf::AdaptiveTransform(signal, n, true, mode, extType, maxWindow, support, iterations,
                                 maxAtoms, numAtoms, residualPercent, coefs, params, residual,
                                 nullptr);
}

}  // extern "C"
