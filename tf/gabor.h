#pragma once
// Gabor analysis (the STFT of a zero-padded, periodically extended signal) and
// synthesis (inverse-transformed frames overlap-added and wrapped onto one
// period), shared by the one- and two-dimensional exports. Each object takes
// all its memory and its FFT plan up front, so that once prepared it cannot
// fail and never leaves an output half-written.

#include <cstddef>
#include <cstdint>

#include "mornavel.h"
#include "scratch.h"
#include "stft.h"

namespace tf {

// The lattice checks of the transform: window length, time step and bins
// positive, the window a whole number of steps and of bins, N a power of two
// and not below D. status::kOk or status::kBadLattice.
int32_t CheckGaborLattice(const StftParams& p);
// The same for an expansion whose coefficients have N bins per frame, which
// must also be the bins of the record.
int32_t CheckSynthesisLattice(const StftParams& p, int32_t N);

// Frames ⌈n/D⌉ of the transform of n samples (n >= 1, D >= 1).
inline int64_t GaborFrames(int64_t n, int32_t D) { return (n + D - 1) / D; }

class GaborAnalysis {
  public:
    // The extended signal: `doublesPerSample` 1 (real) or 2 (complex) times
    // L + P doubles. status::kOk or status::kNoMemory.
    int32_t AllocateBuffer(int64_t n, const StftParams& p, int32_t doublesPerSample);
    // The transform's own checks and memory: status::kShortSignal when n = D
    // (the extended signal is then no longer than the window), status::kNoMemory.
    int32_t PrepareTransform(bool complexSignal);

    int64_t frames() const { return frames_; }

    // Frames of a real signal, N half-complex values each.
    void Real(const double* x, double* out);
    // Frames of a complex signal given as two arrays (stride 1) or as
    // interleaved pairs (xIm == xRe + 1, stride 2); bin b of frame i goes to
    // index (i·N + b)·outStride of outRe and outIm.
    void Complex(const double* xRe, const double* xIm, bool interleaved, double* outRe,
                 double* outIm, int32_t outStride);

  private:
    // Places n samples at offset h of `to` (stride `step`), zero-pads them to P.
    void Place(const double* x, std::ptrdiff_t inStride, double* to, std::ptrdiff_t step) const;

    StftParams p_{};
    int64_t n_ = 0, padded_ = 0, half_ = 0, frames_ = 0;
    scratch::Array<double> buffer_;
    Stft stft_;
};

class GaborSynthesis {
  public:
    // Accumulator of L + M·D values (complex: twice that), the window weighted
    // by D, and the frame work; then the plan. status::kOk or status::kNoMemory.
    int32_t Prepare(int64_t M, const StftParams& p, bool complexSignal);

    int64_t period() const { return period_; }
    double* accumulator() const { return work_.get(); }

    // The whole expansion: accumulate, wrap onto the period, write outLength samples.
    void ExpandReal(const double* coef, double* out, int64_t outLength);
    void ExpandComplex(const double* coefRe, const double* coefIm, std::ptrdiff_t coefStride,
                       double* outRe, double* outIm, std::ptrdiff_t outStride, int64_t outLength);

    // Overlap-adds the M frames from a cleared accumulator, frame i's window
    // starting at position i·D. Half-complex frames, or complex frames whose
    // bin b of frame i is at (i·N + b)·stride.
    void AccumulateReal(const double* coef);
    void AccumulateComplex(const double* coefRe, const double* coefIm, std::ptrdiff_t stride);
    // Folds everything onto one period of T = M·D samples starting at position h.
    void WrapPeriodic();
    // Sample t = accumulator[h + t] for t < min(outLength, T), zeros from T to outLength.
    void WriteReal(double* out, int64_t outLength) const;
    void WriteComplex(double* outRe, double* outIm, std::ptrdiff_t stride, int64_t outLength) const;

  private:
    void Clear();
    void AddFrame(int64_t frame, const double* y, double* to);

    StftParams p_{};
    int64_t frames_ = 0, period_ = 0, length_ = 0;
    int32_t channels_ = 1;
    scratch::Array<double> work_;
    double* window_ = nullptr;  // D·γ
    double* y_ = nullptr;       // inverse-transformed frame (complex: real, then imaginary parts)
    std::optional<engine::PlanRef> plan_;
};

}  // namespace tf
