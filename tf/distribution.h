#pragma once
// Stages of the quadratic distributions (Wigner-Ville and the Cohen class):
// preparation of the signal, the local autocorrelation y[t+τ]·conj(y[t−τ]),
// its optional smoothing along time with a Doppler-lag kernel, and the
// transform from lag to frequency. Each stage takes its own work arrays and
// FFT plans and releases them before it returns; all of them take their
// memory before they write anything.

#include <cstdint>

#include "scratch.h"
#include "status.h"
#include "stft.h"

namespace tf {

// Signal preparations. Each returns status::kOk, status::kShortSignal for
// n <= 0 or status::kNoMemory.
//
// The signal at twice its rate by band-limited interpolation on the zero-padded
// circle of NextPowerOfTwo(n) points: y[2j] = x[j], y[2j+1] = x(j + ½); 2n
// samples (for a complex signal in each of yRe, yIm).
int32_t CxHalfSampleInterp(const double* re, const double* im, int32_t n, double* yRe, double* yIm);
int32_t ReHalfSampleInterp(const double* x, int32_t n, double* y);
// The analytic signal of x with gain √2 on the positive frequencies, n samples.
int32_t ReAnalytic(const double* x, int32_t n, double* zRe, double* zIm);

// Lag-major autocorrelation (element [τ][r] at τ·T + r, L lags, T instants) to
// T rows of F real bins, row r at out + r·F. The complex one reads the lags
// L − τ as −τ (K(−τ) = conj K(τ)); F <= L. status::kOk, status::kShortSignal
// for L <= 0 or T < 0, or status::kNoMemory.
int32_t CxLagToFrequency(const double* kRe, const double* kIm, int32_t L, int32_t T, int32_t F,
                         double* out);
int32_t ReLagToFrequency(const double* k, int32_t L, int32_t T, int32_t F, double* out);

// The autocorrelation of the prepared signal (Ny samples on a grid of g points
// per input sample) formed at every input instant, transformed along time
// (NF = NextPowerOfTwo(S·T) points, T = ⌊Ny/g/S⌋), weighted by the kernel
// (row τ of H columns per lag, column H/2 zero Doppler), folded to the instants
// 0, S, 2S, … and transformed back: `lags` rows of T values, lag-major.
// status::kOk; status::kBadSmoothingStep when S is not a power of two;
// status::kBadKernelSize when H ≠ NF or the kernel has fewer rows than lags;
// status::kNoMemory.
int32_t CxKernelSmooth(const double* yRe, const double* yIm, int32_t Ny, int32_t lags, int32_t g,
                       int32_t S, const double* kernel, int32_t kernelRows, int32_t H,
                       double* outRe, double* outIm);
int32_t ReKernelSmooth(const double* y, int32_t Ny, int32_t lags, int32_t g, int32_t S,
                       const double* kernel, int32_t kernelRows, int32_t H, double* out);

// B × H kernels, row-major; a negative parameter counts as 0.
// Choi-Williams: e^(−τ²·σ·θ²) at the Doppler θ of each column.
void ChoiWilliamsKernel(int32_t B, int32_t H, double sigma, double* kernel);
// Cone: e^(−α·τ²)·sin(a)/a with a = π·τ·(j − H/2)/H.
void ConeKernel(int32_t B, int32_t H, double alpha, double* kernel);

// Smallest power of two >= v for v >= 1 (0 for v <= 0), in 64 bits.
inline int64_t NextPowerOfTwo64(int64_t v) {
    if (v <= 0) return 0;
    int64_t p = 1;
    while (p < v) p <<= 1;
    return p;
}

// How a distribution call prepares its signal and the sizes that follow.
enum class Preparation {
    kComplex,       // complex signal, interpolated
    kAnalytic,      // real signal, analytic
    kInterpolated,  // real signal, interpolated
};

struct DistributionLayout {
    Preparation mode = Preparation::kComplex;
    int32_t n = 0;
    int32_t S = 0;
    int32_t grid = 0;  // points of the prepared signal per input sample
    int32_t Ny = 0;    // prepared samples
    int32_t lags = 0;  // lags of the autocorrelation, also its transform length
    int32_t T = 0;     // output rows, ⌊n/S⌋
    int32_t F = 0;     // bins per row
    int32_t NF = 0;    // length of the transform along time (smoothing only)
    bool ComplexLags() const { return mode != Preparation::kInterpolated; }
    int32_t Channels() const { return ComplexLags() ? 2 : 1; }
};

// The layout of a call whose arguments passed the export's own checks (n >= 1,
// B a power of two, S >= 1). status::kBadBinCount when the mode leaves no lags
// (a real signal, analytic, B = 1); status::kNoMemory when a size of the call,
// its products or (with `smoothing`) the time transform, leaves 32 bits.
int32_t MakeLayout(const double* im, int32_t n, int32_t B, int32_t S, int32_t analytic,
                   bool smoothing, DistributionLayout* layout);

// Runs the preparation of the layout's mode, then `lagStage(yRe, yIm, kRe, kIm)`
// (kIm and yIm null for a real autocorrelation), which fills the lag-major
// autocorrelation, then the lag-to-frequency stage into out. The first failing
// stage's status is returned; out is written by the last stage only.
template <class LagStage>
int32_t RunDistribution(const double* re, const double* im, const DistributionLayout& l,
                        LagStage&& lagStage, double* out) {
    const int64_t channels = l.Channels();
    scratch::Array<double> y = ScratchArray<double>(channels * l.Ny);
    if (!y) return status::kNoMemory;
    double* yRe = y.get();
    double* yIm = l.ComplexLags() ? yRe + l.Ny : nullptr;
    int32_t code = status::kOk;
    switch (l.mode) {
        case Preparation::kComplex:
            code = CxHalfSampleInterp(re, im, l.n, yRe, yIm);
            break;
        case Preparation::kAnalytic:
            code = ReAnalytic(re, l.n, yRe, yIm);
            break;
        case Preparation::kInterpolated:
            code = ReHalfSampleInterp(re, l.n, yRe);
            break;
    }
    if (code != status::kOk) return code;

    const int64_t size = int64_t{l.lags} * l.T;
    scratch::Array<double> k = ScratchArray<double>(channels * size);
    if (!k) return status::kNoMemory;
    double* kRe = k.get();
    double* kIm = l.ComplexLags() ? kRe + size : nullptr;
    code = lagStage(static_cast<const double*>(yRe), static_cast<const double*>(yIm), kRe, kIm);
    if (code != status::kOk) return code;
    y = {};  // the prepared signal is no longer needed

    if (l.ComplexLags()) return CxLagToFrequency(kRe, kIm, l.lags, l.T, l.F, out);
    return ReLagToFrequency(kRe, l.lags, l.T, l.F, out);
}

// Lag τ of the autocorrelation at `count` instants d apart (instant k at
// t = d·k of the prepared signal): y[t+τ]·conj(y[t−τ]), or zero where a factor
// falls outside 0 … Ny−1.
void CxLagProducts(const double* yRe, const double* yIm, int32_t Ny, int32_t tau, int32_t d,
                   int32_t count, double* outRe, double* outIm);
void ReLagProducts(const double* y, int32_t Ny, int32_t tau, int32_t d, int32_t count, double* out);

}  // namespace tf
