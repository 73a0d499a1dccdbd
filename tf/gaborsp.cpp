// Gabor spectrogram from Gabor coefficients, its mean instantaneous frequency,
// and the instantaneous frequency of any time-frequency matrix. The cross
// Wigner-Ville distribution of two Gaussian atoms factorises into a Gaussian
// in frequency and one in time, so each pair offset is smoothed by two
// one-dimensional convolutions done with transforms.

#include "gaborsp.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "mornavel.h"
#include "scratch.h"
#include "status.h"
#include "stft.h"

namespace tf {
namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kTwoPi = 6.283185307179586;
constexpr int64_t kMaxCount = std::numeric_limits<int32_t>::max();

inline int64_t Wrap(int64_t i, int64_t L) {
    const int64_t r = i % L;
    return r < 0 ? r + L : r;
}

// Complex values of interleaved coefficients.
inline double Re(const double* coef, int64_t index) { return coef[2 * index]; }
inline double Im(const double* coef, int64_t index) { return coef[2 * index + 1]; }

// Whether a pair of channel k and k + Δk stays on one side of the Nyquist frequency.
bool ValidPair(int32_t k, int32_t dk, int32_t N) {
    const int32_t half = N / 2;
    if (k == half) return true;
    const int64_t to = int64_t{k} + dk;
    if (dk > 0) return k < half ? to < half : 2 * to <= 3 * int64_t{N};
    return k < half ? 2 * to >= -int64_t{N} : to >= half;
}

// Smallest power of two >= v in 64 bits (0 when it leaves 32 bits).
int64_t PaddedLength(int64_t v) {
    int64_t p = 1;
    while (p < v) p <<= 1;
    return p > kMaxCount ? 0 : p;
}

// Padded length of a time convolution of M positions with a margin of
// `margin` positions; 0 when it leaves 32 bits (or the margin is not finite).
int64_t TimeLength(int32_t M, double margin) {
    if (!(margin <= static_cast<double>(kMaxCount))) return 0;
    return PaddedLength(M + static_cast<int64_t>(std::ceil(margin)));
}

// Doubles of `count` complex values, when that fits 32 bits.
bool Fits(int64_t count) { return count >= 0 && count <= kMaxCount / 2; }

// Split complex arrays of one size, taken together.
struct SplitArray {
    scratch::Array<double> data;
    int64_t n = 0;
    bool Take(int64_t count) {
        n = count;
        data = ScratchArray<double>(2 * count);
        return static_cast<bool>(data);
    }
    double* Re() const { return data.get(); }
    double* Im() const { return data.get() + n; }
    void Zero() const { std::fill_n(data.get(), 2 * n, 0.0); }
};

// The P·T4 accumulated blocks back to time: the real part of each inverse
// transform, first `count` samples, sample l of block b at out[l·lStride + b·bStride].
template <class Place>
void Synthesis(engine::FftPlan* planT4, int32_t T4, int64_t blocks, const double* accRe,
               const double* accIm, int32_t count, double* hc, double* y, Place&& place,
               int64_t lStride) {
    for (int64_t b = 0; b < blocks; ++b) {
        _ReIm2Hc(accRe + b * T4, accIm + b * T4, hc, T4);
        engine::ReFftInverse(planT4, hc, y, 1, 1, T4);
        double* to = place(b);
        for (int32_t l = 0; l < count; ++l) to[l * lStride] = y[l];
    }
}

// Adds a·e^(i·angle) to sample i of a circle of L samples.
inline void AddOnCircle(double* re, double* im, int64_t L, int64_t i, double a, double angle) {
    const int64_t j = Wrap(i, L);
    re[j] += a * std::cos(angle);
    im[j] += a * std::sin(angle);
}

// The spectra of length n (spectrum s at s·n) of the `phases` interleaved
// subsequences s, s + phases, … of a kernel.
void PhaseSpectra(engine::FftPlan* plan, int32_t n, int32_t phases, const double* kRe,
                  const double* kIm, double* specRe, double* specIm) {
    for (int32_t s = 0; s < phases; ++s)
        engine::CxFftForward(plan, kRe + s, kIm + s, specRe + int64_t{s} * n,
                             specIm + int64_t{s} * n, phases, 1, n);
}

}  // namespace

void GaborSpPairProducts(const double* coef, int32_t M, int32_t N, int32_t dM, PairOffset o,
                         double* pRe, double* pIm) {
    std::fill_n(pRe, int64_t{M} * N, 0.0);
    std::fill_n(pIm, int64_t{M} * N, 0.0);
    for (int64_t m = 0; m + o.dm < M; ++m) {
        const double phi = kPi * dM * o.dk * (o.dm + 2 * m) / N;
        const double c = std::cos(phi), s = std::sin(phi);
        for (int32_t k = 0; k < N; ++k) {
            if (!ValidPair(k, o.dk, N)) continue;
            const int64_t a = m * N + k;
            const int64_t b = (m + o.dm) * N + Wrap(int64_t{k} + o.dk, N);
            // conj(C[a])·C[b]
            const double xr = Re(coef, a) * Re(coef, b) + Im(coef, a) * Im(coef, b);
            const double xi = Re(coef, a) * Im(coef, b) - Im(coef, a) * Re(coef, b);
            pRe[a] = xr * c - xi * s;
            pIm[a] = xr * s + xi * c;
        }
    }
}

void GaborSpFreqKernel(engine::FftPlan* planN, int32_t N, int32_t G, double v, double tau0,
                       double omega0, double* work, double* specRe, double* specIm) {
    const int64_t L = int64_t{N} * G;
    double* kRe = work;
    double* kIm = work + L;
    std::fill_n(work, 2 * L, 0.0);
    const double dw = kTwoPi / static_cast<double>(L);
    const double w = 9 / std::sqrt(2 * v);
    const auto first = static_cast<int64_t>(std::floor((omega0 - w) / dw));
    const auto last = static_cast<int64_t>(std::ceil((omega0 + w) / dw));
    for (int64_t i = first; i <= last; ++i) {
        const double u = static_cast<double>(i) * dw - omega0;
        AddOnCircle(kRe, kIm, L, i, std::exp(-v * u * u), tau0 * u);
    }
    PhaseSpectra(planN, N, G, kRe, kIm, specRe, specIm);
}

void GaborSpTimeKernel(engine::FftPlan* planT4, int32_t T4, int32_t dM, int32_t P, double v,
                       double omega1, double t0, double* work, double* specRe, double* specIm) {
    const int64_t L = int64_t{T4} * P;
    double* kRe = work;
    double* kIm = work + L;
    std::fill_n(work, 2 * L, 0.0);
    const double dt = static_cast<double>(dM) / P;
    const double w = 9 * std::sqrt(v / 2);
    const int64_t first = static_cast<int64_t>(std::trunc((t0 - w) / dt)) - 1;
    const int64_t last = static_cast<int64_t>(std::trunc((t0 + w) / dt)) + 1;
    for (int64_t i = first; i <= last; ++i) {
        const double u = static_cast<double>(i) * dt - t0;
        AddOnCircle(kRe, kIm, L, i, std::exp(-u * u / v), omega1 * u);
    }
    PhaseSpectra(planT4, T4, P, kRe, kIm, specRe, specIm);
}

void ScaleTimeKernel(int32_t T4, int32_t P, double factor, double* specRe, double* specIm) {
    for (int64_t i = 0; i < int64_t{T4} * P; ++i) {
        specRe[i] *= factor;
        specIm[i] *= factor;
    }
}

void GaborSpTimeConv(engine::FftPlan* planT4, int32_t T4, int32_t P, const double* xRe,
                     const double* xIm, int64_t stride, int32_t count, const double* specRe,
                     const double* specIm, double* work, double* accRe, double* accIm) {
    double* inRe = work;
    double* inIm = work + T4;
    double* fRe = work + 2 * int64_t{T4};
    double* fIm = work + 3 * int64_t{T4};
    for (int32_t j = 0; j < count; ++j) {
        inRe[j] = xRe[j * stride];
        inIm[j] = xIm[j * stride];
    }
    std::fill(inRe + count, inRe + T4, 0.0);
    std::fill(inIm + count, inIm + T4, 0.0);
    engine::CxFftForward(planT4, inRe, inIm, fRe, fIm, 1, 1, T4);
    for (int32_t s = 0; s < P; ++s) {
        const double* kr = specRe + int64_t{s} * T4;
        const double* ki = specIm + int64_t{s} * T4;
        double* ar = accRe + int64_t{s} * T4;
        double* ai = accIm + int64_t{s} * T4;
        for (int32_t j = 0; j < T4; ++j) {
            ar[j] += fRe[j] * kr[j] - fIm[j] * ki[j];
            ai[j] += fRe[j] * ki[j] + fIm[j] * kr[j];
        }
    }
}

void MifPairSums(const double* coef, int32_t M, int32_t N, int32_t dM, double v, PairOffset o,
                 double* dRe, double* dIm, double* nRe, double* nIm) {
    const double dm = o.dm;
    const double w = std::exp(-static_cast<double>(dM) * dM * dm * dm / (4 * v));
    const double u = -static_cast<double>(dM) * dm / (2 * v);
    const double dw = kTwoPi / N;
    const int32_t r = o.dk >= 0 ? o.dk / 2 : -((-o.dk + 1) / 2);
    const int32_t lastQ = N / 2 - std::abs(o.dk) / 2 - 2;
    const bool odd = (o.dk % 2) != 0;
    for (int64_t m = 0; m + o.dm < M; ++m) {
        double sr = 0, si = 0, tr = 0, ti = 0;
        for (int32_t q = 0; q <= lastQ; ++q) {
            const int64_t k1 = m * N + Wrap(int64_t{q} + 1 + r - o.dk, N);
            const int64_t k2 = (m + o.dm) * N + Wrap(int64_t{q} + 1 + r, N);
            // C[k2]·conj(C[k1])
            const double pr = Re(coef, k2) * Re(coef, k1) + Im(coef, k2) * Im(coef, k1);
            const double pi = Im(coef, k2) * Re(coef, k1) - Re(coef, k2) * Im(coef, k1);
            const double mean = odd ? dw * (q + 0.5) : dw * (q + 1);
            sr += pr;
            si += pi;
            tr += pr * mean - pi * u;
            ti += pr * u + pi * mean;
        }
        const double phi = dw * o.dk * dM * (static_cast<double>(m) + dm / 2);
        const double c = w * std::cos(phi), s = w * std::sin(phi);
        dRe[m] = sr * c - si * s;
        dIm[m] = sr * s + si * c;
        nRe[m] = tr * c - ti * s;
        nIm[m] = tr * s + ti * c;
    }
}

void MifDcPairs(const double* coef, int32_t M, int32_t N, int32_t dM, double v, int32_t dm,
                double* dcRe, double* dcIm) {
    const double w =
        std::exp(-static_cast<double>(dM) * dM * static_cast<double>(dm) * dm / (4 * v));
    for (int64_t m = 0; m + dm < M; ++m) {
        const int64_t a = m * N, b = (m + dm) * N;
        dcRe[m] = w * (Re(coef, b) * Re(coef, a) + Im(coef, b) * Im(coef, a));
        dcIm[m] = 0.0;
    }
}

}  // namespace tf

using namespace tf;

extern "C" {

int32_t CxGaborSp(const double* coef, int32_t M, int32_t N, int32_t centre, int32_t dM, double v,
                  int32_t orderLow, int32_t orderHigh, int32_t P, int32_t G, int32_t h, int32_t Q,
                  double* out) {
    if (M <= 0 || !IsPowerOfTwo(N)) return status::kShortSignal;
    if (!IsPowerOfTwo(dM)) return status::kBadLattice;
    if (orderHigh < 0) return status::kBadOrder;
    if (!(v > 0)) return status::kBadVariance;
    if (P < 0 || G < 0) return status::kBadOversampling;
    const int64_t L = int64_t{N} * G;
    if (h < 0 || h >= L || Q <= 0 || Q > L - h) return status::kBadFrequencyRange;

    // Every size of the call in 32 bits before anything is read.
    const int64_t T4 = TimeLength(M, 6.3 * std::sqrt(v) / dM);
    // The frequency kernel visits every sample within nine deviations, over
    // many turns of its circle when v is tiny.
    const double kernelSamples = 2 * (9 / std::sqrt(2 * v)) / (kTwoPi / static_cast<double>(L));
    if (!(kernelSamples <= static_cast<double>(kMaxCount))) return status::kNoMemory;
    if (T4 == 0 || !Fits(int64_t{M} * L) || !Fits(L) || !Fits(T4 * P) ||
        !Fits(int64_t{Q} * P * T4) || int64_t{M} * P * Q > kMaxCount)
        return status::kNoMemory;
    if (P == 0) return status::kOk;  // no output rows

    const int32_t lo = std::max(orderLow, 0);
    const int32_t limit = std::min(M, N) - 1;
    const int32_t hi = lo > std::min(limit, orderHigh) ? lo : std::min(orderHigh, limit);

    SplitArray products, smoothed, spectrum, product, row, freqSpec, freqWork, timeSpec, timeWork,
        acc;
    scratch::Array<double> work;
    if (!products.Take(int64_t{M} * N) || !smoothed.Take(int64_t{M} * Q) || !spectrum.Take(N) ||
        !product.Take(N) || !row.Take(L) || !freqSpec.Take(L) || !freqWork.Take(L) ||
        !timeSpec.Take(T4 * P) || !timeWork.Take(T4 * P) || !acc.Take(int64_t{Q} * P * T4) ||
        !(work = ScratchArray<double>(4 * T4)))
        return status::kNoMemory;
    const engine::PlanRef planN(N);
    const engine::PlanRef planT(static_cast<int32_t>(T4));
    if (!planN || !planT) return status::kNoMemory;
    acc.Zero();

    const bool rotate = (centre & 0xFF) != 0;
    const auto T = static_cast<int32_t>(T4);
    double *bRe = spectrum.Re(), *bIm = spectrum.Im();  // a row's spectrum
    double *zRe = product.Re(), *zIm = product.Im();    // times one kernel spectrum
    double *yRe = row.Re(), *yIm = row.Im();            // the smoothed row of L samples
    auto offset = [&](PairOffset o) {
        GaborSpPairProducts(coef, M, N, dM, o, products.Re(), products.Im());
        GaborSpFreqKernel(planN.get(), N, G, v, -static_cast<double>(dM) * o.dm, kPi * o.dk / N,
                          freqWork.Re(), freqSpec.Re(), freqSpec.Im());
        for (int64_t m = 0; m < M; ++m) {
            engine::CxFftForward(planN.get(), products.Re() + m * N, products.Im() + m * N, bRe,
                                 bIm, 1, 1, N);
            for (int32_t s = 0; s < G; ++s) {
                const double* kr = freqSpec.Re() + int64_t{s} * N;
                const double* ki = freqSpec.Im() + int64_t{s} * N;
                for (int32_t j = 0; j < N; ++j) {
                    zRe[j] = bRe[j] * kr[j] - bIm[j] * ki[j];
                    zIm[j] = bRe[j] * ki[j] + bIm[j] * kr[j];
                }
                engine::CxFftInverse(planN.get(), zRe, zIm, yRe + s, yIm + s, 1, G, N);
            }
            double* fRe = smoothed.Re() + m * Q;
            double* fIm = smoothed.Im() + m * Q;
            for (int32_t q = 0; q < Q; ++q) {
                const int64_t c = rotate ? Wrap(int64_t{h} + q - L / 2, L) : int64_t{h} + q;
                fRe[q] = yRe[c];
                fIm[q] = yIm[c];
            }
        }
        GaborSpTimeKernel(planT.get(), T, dM, P, v, kTwoPi * o.dk / N,
                          static_cast<double>(dM) * o.dm / 2, timeWork.Re(), timeSpec.Re(),
                          timeSpec.Im());
        if (o.dm == 0 && o.dk == 0) ScaleTimeKernel(T, P, 0.5, timeSpec.Re(), timeSpec.Im());
        for (int32_t q = 0; q < Q; ++q)
            GaborSpTimeConv(planT.get(), T, P, smoothed.Re() + q, smoothed.Im() + q, Q, M,
                            timeSpec.Re(), timeSpec.Im(), work.get(),
                            acc.Re() + int64_t{q} * P * T4, acc.Im() + int64_t{q} * P * T4);
    };
    for (int32_t dm = 0; dm <= hi; ++dm)
        for (int32_t j = std::max(lo - dm, 0); j <= hi - dm; ++j) {
            offset({dm, j});
            if (dm != 0 && j != 0) offset({dm, -j});
        }

    std::fill_n(out, int64_t{M} * P * Q, 0.0);
    Synthesis(
        planT.get(), T, int64_t{Q} * P, acc.Re(), acc.Im(), M, work.get(), work.get() + T4,
        [&](int64_t b) { return out + (b % P) * Q + b / P; }, int64_t{P} * Q);
    const double scale = 4.0 * dM * dM / (static_cast<double>(N) * N * N * G);
    for (int64_t i = 0; i < int64_t{M} * P * Q; ++i) out[i] *= scale;
    return status::kOk;
}

int32_t InstantaneousFrequency(const double* tfd, int32_t rows, int32_t cols, int32_t, int32_t,
                               double* freq, double* energy) {
    if (rows <= 0 || cols <= 0) return status::kShortSignal;
    if (int64_t{rows} * cols > kMaxCount) return status::kNoMemory;
    for (int64_t i = 0; i < rows; ++i) {
        const double* r = tfd + i * cols;
        double sum = 0, moment = 0;
        for (int32_t j = 0; j < cols; ++j) {
            sum += r[j];
            moment += j * r[j];
        }
        energy[i] = sum;
        freq[i] = moment / sum;
    }
    // Invalid means (0, above the last bin, or not a number) are interpolated
    // between their valid neighbours, with 0 beyond both ends.
    int32_t a = -1;
    double b = 0;
    for (int32_t i = 0; i < rows; ++i) {
        const double f = freq[i];
        if (!(f > 0 && f <= cols - 1)) continue;
        if (i - a > 1) {
            const double step = (f - b) / (i - a);
            for (int32_t j = i - 1; j > a; --j) freq[j] = freq[j + 1] - step;
        }
        a = i;
        b = f;
    }
    if (a < rows - 1) {
        const double step = b / (rows - a);
        freq[rows - 1] = step;
        for (int32_t j = rows - 2; j > a; --j) freq[j] = freq[j + 1] + step;
    }
    return status::kOk;
}

int32_t MIFOfGaborSp(const double* coef, int32_t M, int32_t N, int32_t dM, double v, int32_t order,
                     int32_t P, double* out) {
    if (M < 1 || !IsPowerOfTwo(N)) return status::kShortSignal;
    if (!(v > 0)) return status::kBadVariance;
    if (!IsPowerOfTwo(dM)) return status::kBadLattice;
    if (order < 0) return status::kBadOrder;
    if (P < 0) return status::kBadOversampling;
    const int64_t T4 = TimeLength(M, 12 * std::sqrt(2 * v) / dM);
    if (T4 == 0 || !Fits(int64_t{M} * N) || !Fits(2 * T4 * P) || int64_t{P} * (M - 1) > kMaxCount)
        return status::kNoMemory;
    if (P == 0 || M == 1) return status::kOk;  // no output values
    const int32_t top = std::min(order, std::min(M, N) - 1);
    const auto T = static_cast<int32_t>(T4);

    SplitArray den, num, dc, kernelSpectrum, kernelWork, accD, accN;
    scratch::Array<double> work;
    if (!den.Take(M) || !num.Take(M) || !dc.Take(M) || !kernelSpectrum.Take(T4 * P) ||
        !kernelWork.Take(T4 * P) || !accD.Take(T4 * P) || !accN.Take(T4 * P) ||
        !(work = ScratchArray<double>(4 * T4)))
        return status::kNoMemory;
    const engine::PlanRef plan(T);
    if (!plan) return status::kNoMemory;
    accD.Zero();
    accN.Zero();

    for (int32_t dm = 0; dm <= top; ++dm)
        for (int32_t dk = dm == 0 ? 0 : dm - top; dk <= top - dm; ++dk) {
            const PairOffset o{dm, dk};
            const int32_t count = M - dm;
            MifPairSums(coef, M, N, dM, v, o, den.Re(), den.Im(), num.Re(), num.Im());
            GaborSpTimeKernel(plan.get(), T, dM, P, v, kTwoPi * dk / N,
                              static_cast<double>(int64_t{dm} * dM / 2), kernelWork.Re(),
                              kernelSpectrum.Re(), kernelSpectrum.Im());
            if (dm == 0 && dk == 0)
                ScaleTimeKernel(T, P, 0.5, kernelSpectrum.Re(), kernelSpectrum.Im());
            GaborSpTimeConv(plan.get(), T, P, num.Re(), num.Im(), 1, count, kernelSpectrum.Re(),
                            kernelSpectrum.Im(), work.get(), accN.Re(), accN.Im());
            GaborSpTimeConv(plan.get(), T, P, den.Re(), den.Im(), 1, count, kernelSpectrum.Re(),
                            kernelSpectrum.Im(), work.get(), accD.Re(), accD.Im());
            if (dk == 0) {
                ScaleTimeKernel(T, P, 0.5, kernelSpectrum.Re(), kernelSpectrum.Im());
                MifDcPairs(coef, M, N, dM, v, dm, dc.Re(), dc.Im());
                GaborSpTimeConv(plan.get(), T, P, dc.Re(), dc.Im(), 1, count, kernelSpectrum.Re(),
                                kernelSpectrum.Im(), work.get(), accD.Re(), accD.Im());
            }
        }

    // Numerator and denominator at the P·M instants; the ratio where the
    // denominator vanishes (no coefficient energy near the instant) is 0.
    double* numerator = kernelWork.Re();
    double* denominator = kernelWork.Im();
    Synthesis(
        plan.get(), T, P, accN.Re(), accN.Im(), M, work.get(), work.get() + T4,
        [&](int64_t s) { return numerator + s; }, P);
    Synthesis(
        plan.get(), T, P, accD.Re(), accD.Im(), M, work.get(), work.get() + T4,
        [&](int64_t s) { return denominator + s; }, P);
    for (int64_t t = 0; t < int64_t{P} * (M - 1); ++t)
        out[t] = denominator[t] == 0 ? 0.0 : numerator[t] / denominator[t];
    return status::kOk;
}

}  // extern "C"
