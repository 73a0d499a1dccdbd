#pragma once
// Framing shared by the STFT, Gabor and reassignment code: windowed segments
// folded onto N points, rotated to absolute time and transformed.

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>

#include "fft.h"
#include "mornavel.h"
#include "scratch.h"

namespace tf {

inline bool IsPowerOfTwo(int64_t v) { return v > 0 && (v & (v - 1)) == 0; }

// `count` elements, or an empty array when the count is negative, does not fit
// this platform's address space, or memory is exhausted.
template <class T>
scratch::Array<T> ScratchArray(int64_t count) {
    if (count < 0 || static_cast<uint64_t>(count) > std::numeric_limits<std::size_t>::max())
        return {};
    return scratch::Array<T>(static_cast<std::size_t>(count));
}

// v mod N in 0 .. N-1 for any sign of v (N > 0).
inline int64_t PositiveModulo(int64_t v, int64_t N) {
    const int64_t r = v % N;
    return r < 0 ? r + N : r;
}

// Frames of length L, D apart, that fit wholly into n samples (n >= L, D >= 1).
inline int64_t FrameCount(int64_t n, int64_t L, int64_t D) { return (n - L) / D + 1; }

// frame[(k + rot) mod N] = sum over the blocks of N of w[k]·x[k·stride], k = 0 … L−1:
// the windowed segment folded onto N points and rotated by rot (0 <= rot < N).
void FoldFrame(const double* x, std::ptrdiff_t stride, const double* w, int32_t L, int32_t N,
               int32_t rot, double* frame);

// The checks of the STFT family, in their order; status::kOk when the arguments are usable.
int32_t CheckStft(int64_t n, const StftParams& p);

// Frame buffers and the FFT plan of one STFT call. Frame i of a run starts at
// sample i·D and is rotated by (shift + i·D) mod N.
class Stft {
  public:
    // Allocates `buffers` scratch arrays of N doubles, then the plan; status::kOk or
    // status::kNoMemory. Frames are built in buffer 0 (real and imaginary parts of a
    // complex signal in buffers 0 and 1); the others are the caller's.
    int32_t Prepare(const StftParams& p, int32_t buffers);

    double* Buffer(int32_t index) const { return work_.get() + index * int64_t{p_.freqBins}; }

    // One frame of a real signal starting at x, into N half-complex values.
    void ReFrame(const double* x, int64_t rotation, double* out) const;
    // One frame of a complex signal, into N complex values at outStride.
    void CxFrame(const double* xRe, const double* xIm, std::ptrdiff_t inStride, int64_t rotation,
                 double* outRe, double* outIm, int32_t outStride) const;

    // `frames` consecutive frames, frame-major.
    void ReFrames(const double* x, int64_t frames, int64_t shift, double* out) const;
    void CxFrames(const double* xRe, const double* xIm, std::ptrdiff_t inStride, int64_t frames,
                  int64_t shift, double* outRe, double* outIm, int32_t outStride) const;

    engine::FftPlan* plan() const { return plan_->get(); }

  private:
    StftParams p_{};
    scratch::Array<double> work_;
    std::optional<engine::PlanRef> plan_;
};

}  // namespace tf
