// Preparation, local autocorrelation and lag-to-frequency stages shared by the
// Wigner-Ville distribution and the Cohen class.

#include "distribution.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "lanes.h"

namespace tf {
namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kSqrt2 = 1.4142135623730951;

// (re + i·im) · (c + i·s)
inline void Rotate(double& re, double& im, double c, double s) {
    const double a = re, b = im;
    re = a * c - b * s;
    im = a * s + b * c;
}

// The circle of the preparations: NextPowerOfTwo(n) points, 0 when that leaves 32 bits.
int32_t PaddedLength(int32_t n) { return engine::NextPowerOfTwo(n); }

// f(k, cos θ, sin θ) with θ = π·k/N for k = 1 … end−1. The turn is the
// product of a coarse one, θ at multiples of kFine, and a fine one below it:
// 2·√N sines and cosines instead of N, within a few ulps of each.
template <class F>
void ForHalfSampleTurns(int32_t N, int32_t end, const F& f) {
    constexpr int32_t kFine = 64;
    double fineC[kFine], fineS[kFine];
    for (int32_t j = 0; j < kFine && j < end; ++j) {
        fineC[j] = std::cos(kPi * j / N);
        fineS[j] = std::sin(kPi * j / N);
    }
    for (int32_t k0 = 0; k0 < end; k0 += kFine) {
        const double c0 = std::cos(kPi * k0 / N), s0 = std::sin(kPi * k0 / N);
        for (int32_t k = std::max(k0, 1); k < std::min(end, k0 + kFine); ++k) {
            const double c = fineC[k - k0], s = fineS[k - k0];
            f(k, c0 * c - s0 * s, s0 * c + c0 * s);
        }
    }
}

void CopyPadded(const double* x, int32_t n, int32_t N, double* to) {
    std::copy_n(x, n, to);
    std::fill(to + n, to + N, 0.0);
}

// y[2j] = x[j], y[2j+1] = half[j]
void Interleave(const double* x, const double* half, int32_t n, double* y) {
    for (int32_t j = 0; j < n; ++j) {
        y[2 * j] = x[j];
        y[2 * j + 1] = half[j];
    }
}

// Instants k of [0, count) whose products for lag τ lie inside the prepared
// signal, t − τ >= 0 and t + τ <= Ny − 1 with t = d·k: a range of them.
struct ProductRange {
    int64_t first, end;
};

ProductRange ValidInstants(int32_t Ny, int32_t tau, int32_t d, int32_t count) {
    const int64_t first = std::min<int64_t>((int64_t{tau} + d - 1) / d, count);
    const int64_t reach = int64_t{Ny} - 1 - tau;  // the last t
    const int64_t end = reach < 0 ? first : std::clamp<int64_t>(reach / d + 1, first, count);
    return {first, end};
}

// The last lag whose products at point c lie inside the prepared signal, below L.
int64_t LastLag(int32_t Ny, int64_t c, int32_t L) {
    return std::min<int64_t>({c, int64_t{Ny} - 1 - c, int64_t{L} - 1});
}

// Two doubles as one value; every operation is the same on both.
typedef double Pair2 __attribute__((vector_size(2 * sizeof(double))));
inline Pair2 Load2(const double* p) {
    Pair2 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline void Store2(double* p, Pair2 v) { std::memcpy(p, &v, sizeof v); }
inline Pair2 Swap2(Pair2 v) { return __builtin_shufflevector(v, v, 1, 0); }

// The folded lag products of ComplexRowAt from lag 1 on, four lags k … k+3
// and their partners j = L−k … j−3 at a time, with re and im at the centre
// point; returns the first lag k not done.
[[gnu::always_inline]] inline int32_t FoldQuads(const double* re, const double* im, int32_t L,
                                                double* h) {
    int32_t k = 1;
    for (; k + 3 <= L / 2 - 1; k += 4) {
        const int32_t j = L - k;
        // p[k … k+3] ahead, p[k], p[k−1], p[k−2], p[k−3] back.
        const Quad rk = Load4(re + k), ik = Load4(im + k);
        const Quad rmk = Reverse4(Load4(re - k - 3)), imk = Reverse4(Load4(im - k - 3));
        const Quad rj = Reverse4(Load4(re + j - 3)), ij = Reverse4(Load4(im + j - 3));
        const Quad rmj = Load4(re - j), imj = Load4(im - j);
        const Quad sum = (rk * rmk + imk * ik) + (rj * rmj + imj * ij);
        const Quad difference = Reverse4((rmj * ij - rj * imj) - (rmk * ik - rk * imk));
        std::memcpy(h + k, &sum, sizeof sum);
        std::memcpy(h + j - 3, &difference, sizeof difference);
    }
    return k;
}

// All L lags of the autocorrelation at point c of the prepared signal, along
// the lag: w[τ] + i·v[τ] = y[c+τ]·conj(y[c−τ]), zero past the signal's ends.
void CxRowProducts(const double* yRe, const double* yIm, int32_t Ny, int64_t c, int32_t L,
                   double* w, double* v) {
    const int64_t last = LastLag(Ny, c, L);
    // From the centre: y[c+τ] forwards, y[c−τ] backwards.
    const double* __restrict__ re = yRe + c;
    const double* __restrict__ im = yIm + c;
    double* __restrict__ outRe = w;
    double* __restrict__ outIm = v;
    for (int64_t tau = 0; tau <= last; ++tau) {
        outRe[tau] = re[tau] * re[-tau] + im[-tau] * im[tau];
        outIm[tau] = re[-tau] * im[tau] - re[tau] * im[-tau];
    }
    std::fill(w + last + 1, w + L, 0.0);
    std::fill(v + last + 1, v + L, 0.0);
}

void ReRowProducts(const double* y, int32_t Ny, int64_t c, int32_t L, double* w) {
    const int64_t last = LastLag(Ny, c, L);
    const double* __restrict__ centre = y + c;
    double* __restrict__ out = w;
    for (int64_t tau = 0; tau <= last; ++tau) out[tau] = centre[tau] * centre[-tau];
    std::fill(w + last + 1, w + L, 0.0);
}

}  // namespace

int32_t CxHalfSampleInterp(const double* re, const double* im, int32_t n, double* yRe,
                           double* yIm) {
    if (n <= 0) return status::kShortSignal;
    const int32_t N = PaddedLength(n);
    StageMemory ws;
    if (N == 0 || ws.Take(4, N) != status::kOk) return status::kNoMemory;
    double* aRe = ws.Block(0);
    double* aIm = ws.Block(1);
    double* xRe = ws.Block(2);
    double* xIm = ws.Block(3);
    CopyPadded(re, n, N, aRe);
    CopyPadded(im, n, N, aIm);
    engine::CxFftForward(ws.Plan(), aRe, aIm, xRe, xIm, 1, 1, N);
    // Half a sample later: bin k turns by e^(+iπk/N), bin N−k (frequency −k) by e^(−iπk/N).
    ForHalfSampleTurns(N, (N + 1) / 2, [&](int32_t k, double c, double s) {
        Rotate(xRe[k], xIm[k], c, s);
        Rotate(xRe[N - k], xIm[N - k], c, -s);
    });
    if (N % 2 == 0) {  // the Nyquist bin taken as frequency −N/2: times −i
        const double a = xRe[N / 2];
        xRe[N / 2] = xIm[N / 2];
        xIm[N / 2] = -a;
    }
    engine::CxFftInverse(ws.Plan(), xRe, xIm, aRe, aIm, 1, 1, N);
    Interleave(re, aRe, n, yRe);
    Interleave(im, aIm, n, yIm);
    return status::kOk;
}

int32_t ReHalfSampleInterp(const double* x, int32_t n, double* y) {
    if (n <= 0) return status::kShortSignal;
    const int32_t N = PaddedLength(n);
    StageMemory ws;
    if (N == 0 || ws.Take(2, N) != status::kOk) return status::kNoMemory;
    double* a = ws.Block(0);
    double* hc = ws.Block(1);
    CopyPadded(x, n, N, a);
    engine::ReFftForward(ws.Plan(), a, hc, 1, 1, N);
    ForHalfSampleTurns(N, (N + 1) / 2,
                       [&](int32_t k, double c, double s) { Rotate(hc[k], hc[N - k], c, s); });
    if (N % 2 == 0) hc[N / 2] = 0.0;  // a real signal cannot turn the Nyquist bin
    engine::ReFftInverse(ws.Plan(), hc, a, 1, 1, N);
    Interleave(x, a, n, y);
    return status::kOk;
}

int32_t ReAnalytic(const double* x, int32_t n, double* zRe, double* zIm) {
    if (n <= 0) return status::kShortSignal;
    const int32_t N = PaddedLength(n);
    StageMemory ws;
    if (N == 0 || ws.Take(4, N) != status::kOk) return status::kNoMemory;
    double* specRe = ws.Block(0);  // the padded signal, then the spectrum Z
    double* specIm = ws.Block(1);
    double* outRe = ws.Block(2);  // the spectrum X, then z
    double* outIm = ws.Block(3);
    CopyPadded(x, n, N, specRe);
    engine::ReFftForward(ws.Plan(), specRe, outRe, 1, 1, N);
    const double* hc = outRe;
    std::fill_n(specRe, N, 0.0);
    std::fill_n(specIm, N, 0.0);
    specRe[0] = hc[0];
    for (int32_t k = 1; k <= (N + 1) / 2 - 1; ++k) {
        specRe[k] = kSqrt2 * hc[k];
        specIm[k] = kSqrt2 * hc[N - k];
    }
    if (N % 2 == 0) specRe[N / 2] = hc[N / 2];
    engine::CxFftInverse(ws.Plan(), specRe, specIm, outRe, outIm, 1, 1, N);
    std::copy_n(outRe, n, zRe);
    std::copy_n(outIm, n, zIm);
    return status::kOk;
}

void CxLagProducts(const RowPhases& y, int32_t Ny, int32_t tau, int32_t count, double* outRe,
                   double* outIm) {
    const ProductRange r = ValidInstants(Ny, tau, y.Step(), count);
    const int64_t plus = y.Ahead(tau), minus = y.Behind(tau);
    std::fill(outRe, outRe + r.first, 0.0);
    std::fill(outIm, outIm + r.first, 0.0);
    if (r.first < r.end)
        RunLanes([&](auto width) __attribute__((always_inline)) {
            using L = Lanes<decltype(width)::value>;
            // Element i of each is instant r.first + i. Explicit vectors: the
            // pointers stay in registers across the stores.
            const double* const plusRe = y.Re() + (r.first + plus);
            const double* const plusIm = y.Im() + (r.first + plus);
            const double* const minusRe = y.Re() + (r.first + minus);
            const double* const minusIm = y.Im() + (r.first + minus);
            double* const toRe = outRe + r.first;
            double* const toIm = outIm + r.first;
            const int64_t valid = r.end - r.first;
            int64_t i = 0;
            for (; i + L::kWidth <= valid; i += L::kWidth) {
                const auto pr = L::Load(plusRe + i), pi = L::Load(plusIm + i);
                const auto mr = L::Load(minusRe + i), mi = L::Load(minusIm + i);
                L::Store(toRe + i, pr * mr + mi * pi);
                L::Store(toIm + i, mr * pi - pr * mi);
            }
            for (; i < valid; ++i) {
                toRe[i] = plusRe[i] * minusRe[i] + minusIm[i] * plusIm[i];
                toIm[i] = minusRe[i] * plusIm[i] - plusRe[i] * minusIm[i];
            }
        });
    std::fill(outRe + r.end, outRe + count, 0.0);
    std::fill(outIm + r.end, outIm + count, 0.0);
}

void ReLagProducts(const RowPhases& y, int32_t Ny, int32_t tau, int32_t count, double* out) {
    const ProductRange r = ValidInstants(Ny, tau, y.Step(), count);
    const double* plus = y.Re() + y.Ahead(tau);
    const double* minus = y.Re() + y.Behind(tau);
    std::fill(out, out + r.first, 0.0);
    if (r.first < r.end)
        RunLanes([&](auto width) __attribute__((always_inline)) {
            using L = Lanes<decltype(width)::value>;
            const double* const a = plus + r.first;
            const double* const b = minus + r.first;
            double* const to = out + r.first;
            const int64_t valid = r.end - r.first;
            int64_t i = 0;
            for (; i + L::kWidth <= valid; i += L::kWidth)
                L::Store(to + i, L::Load(a + i) * L::Load(b + i));
            for (; i < valid; ++i) to[i] = a[i] * b[i];
        });
    std::fill(out + r.end, out + count, 0.0);
}

int32_t StageMemory::Take(int64_t count, int32_t N) {
    N_ = N;
    work_ = ScratchArray<double>(count * N);
    if (!work_) return status::kNoMemory;
    return plan_.Take(N) ? status::kOk : status::kNoMemory;
}

int32_t LagTransform::Prepare(int32_t L) {
    if (L <= 0) return status::kShortSignal;
    L_ = L;
    return memory_.Take(4, L);
}

void LagTransform::CxLagToFrequency(int32_t F, double* out) const {
    const int32_t L = L_;
    const double* w = Lags();
    const double* v = w + L;
    double* h = memory_.Block(2);
    h[0] = w[0];
    for (int32_t k = 1; k <= L / 2 - 1; ++k) {
        h[k] = w[k] + w[L - k];
        h[L - k] = v[L - k] - v[k];
    }
    if (L % 2 == 0) h[L / 2] = 2 * w[L / 2];
    HalfComplexRow(h, F, out);
}

void LagTransform::HalfComplexRow(double* h, int32_t F, double* out) const {
    double* spare = memory_.Block(3);
    double* to = F == L_ && out != h ? out : spare;
    engine::ReFftInverse(memory_.Plan(), h, to, 1, 1, L_);
    if (to != out) std::copy_n(spare, F, out);
}

void LagTransform::ReLagToFrequency(int32_t F, double* out) const {
    const int32_t L = L_;
    double* v = Lags();
    const double c = 2.0 / L;
    for (int32_t tau = 0; tau < L; ++tau) v[tau] = c * v[tau];
    FromScaledLags(F, out);
}

void LagTransform::FromScaledLags(int32_t F, double* out) const {
    double* v = Lags();
    v[0] *= 0.5;
    double* hc = memory_.Block(2);
    engine::ReFftForward(memory_.Plan(), v, hc, 1, 1, L_);
    std::copy_n(hc, F, out);
}

// Rows away from the ends have all L lags inside the signal: the products go
// straight into the transform's input, the same operations as CxLagToFrequency and
// ReLagToFrequency on the gathered lags.
void LagTransform::ComplexRowAt(const double* yRe, const double* yIm, int32_t Ny, int64_t c,
                                int32_t F, double* out) const {
    const int32_t L = L_;
    if (LastLag(Ny, c, L) < L - 1) {
        CxRowProducts(yRe, yIm, Ny, c, L, Lags(), Lags() + L);
        CxLagToFrequency(F, out);
        return;
    }
    const double* re = yRe + c;
    const double* im = yIm + c;
    double* h = memory_.Block(2);
    h[0] = re[0] * re[0] + im[0] * im[0];
    // Lags k, k+1 and j = L−k, j−1 two at a time: p[k], p[k+1] is Ahead(p + k),
    // p[k], p[k−1] is Back(p + k).
    const auto ahead = [](const double* p) { return Load2(p); };
    const auto back = [](const double* p) { return Swap2(Load2(p - 1)); };
    int32_t k = 1;
    RunVectorised([&]() __attribute__((always_inline)) { k = FoldQuads(re, im, L, h); });
    for (; k + 1 <= L / 2 - 1; k += 2) {
        const int32_t j = L - k;
        const Pair2 rk = ahead(re + k), ik = ahead(im + k), rmk = back(re - k), imk = back(im - k);
        const Pair2 rj = back(re + j), ij = back(im + j), rmj = ahead(re - j), imj = ahead(im - j);
        Store2(h + k, (rk * rmk + imk * ik) + (rj * rmj + imj * ij));
        Store2(h + j - 1, Swap2((rmj * ij - rj * imj) - (rmk * ik - rk * imk)));
    }
    for (; k <= L / 2 - 1; ++k) {
        const int32_t j = L - k;
        h[k] = (re[k] * re[-k] + im[-k] * im[k]) + (re[j] * re[-j] + im[-j] * im[j]);
        h[j] = (re[-j] * im[j] - re[j] * im[-j]) - (re[-k] * im[k] - re[k] * im[-k]);
    }
    if (L % 2 == 0) h[L / 2] = 2 * (re[L / 2] * re[-L / 2] + im[-L / 2] * im[L / 2]);
    HalfComplexRow(h, F, out);
}

void LagTransform::RealRowAt(const double* y, int32_t Ny, int64_t c, int32_t F, double* out) const {
    const int32_t L = L_;
    if (LastLag(Ny, c, L) < L - 1) {
        ReRowProducts(y, Ny, c, L, Lags());
        ReLagToFrequency(F, out);
        return;
    }
    const double* __restrict__ centre = y + c;
    double* __restrict__ v = Lags();
    const double scale = 2.0 / L;
    for (int32_t tau = 0; tau < L; ++tau) v[tau] = scale * (centre[tau] * centre[-tau]);
    FromScaledLags(F, out);
}

int32_t PreparedSignal::Prepare(const double* re, const double* im, const DistributionLayout& l) {
    y_ = ScratchArray<double>(int64_t{l.Channels()} * l.Ny);
    if (!y_) return status::kNoMemory;
    double* yRe = y_.get();
    double* yIm = l.ComplexLags() ? yRe + l.Ny : nullptr;
    im_ = yIm;
    switch (l.mode) {
        case Preparation::kComplex:
            return CxHalfSampleInterp(re, im, l.n, yRe, yIm);
        case Preparation::kAnalytic:
            return ReAnalytic(re, l.n, yRe, yIm);
        case Preparation::kInterpolated:
            return ReHalfSampleInterp(re, l.n, yRe);
    }
    return status::kOk;
}

int32_t MakeLayout(const double* im, int32_t n, int32_t B, int32_t S, int32_t analytic,
                   bool smoothing, DistributionLayout* layout) {
    DistributionLayout l;
    l.mode = im ? Preparation::kComplex
                : (analytic != 0 ? Preparation::kAnalytic : Preparation::kInterpolated);
    const int64_t grid = l.mode == Preparation::kAnalytic ? 1 : 2;
    const int64_t lags = l.mode == Preparation::kAnalytic ? B / 2 : B;
    const int64_t bins = l.mode == Preparation::kComplex ? B : B / 2;
    if (lags == 0) return status::kBadBinCount;
    const int64_t T = n / S;
    const int64_t Ny = grid * n;
    const int64_t NF = smoothing ? S * NextPowerOfTwo64(T) : 0;
    // The prepared signal and its circle, the output, the autocorrelation matrix
    // and the time transform are all addressed with 32-bit lengths.
    const int64_t sizes[] = {Ny, NextPowerOfTwo64(n), T * bins, l.Channels() * lags * T, NF};
    for (int64_t size : sizes)
        if (size > INT32_MAX) return status::kNoMemory;
    l.n = n;
    l.S = S;
    l.grid = static_cast<int32_t>(grid);
    l.Ny = static_cast<int32_t>(Ny);
    l.lags = static_cast<int32_t>(lags);
    l.T = static_cast<int32_t>(T);
    l.F = static_cast<int32_t>(bins);
    l.NF = static_cast<int32_t>(NF);
    *layout = l;
    return status::kOk;
}

}  // namespace tf
