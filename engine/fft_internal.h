#pragma once
// Internals shared by the plan code (fft.cpp) and the passes of the general
// odd radix and of Rader's algorithm (odd_passes.cpp).

#include <cstddef>

#include "fft.h"

namespace engine::detail {

using std::ptrdiff_t;

// Doubles of plan work space a general or Rader radix r needs.
inline std::size_t OddRadixWork(int32_t r) { return 8 * static_cast<std::size_t>(r); }

// Row length of FftRadixData::sumRoots of a general radix r: (r-1)/2 rounded up
// to a multiple of 4, so that the sums run four outputs at a time.
inline int32_t SumRowLength(int32_t radix) { return ((radix - 1) / 2 + 3) / 4 * 4; }

// Twiddle e^(-2 pi i q j/N) of a level (see kTwiddleBlock).
inline std::size_t TwiddleIndex(int32_t radix, int32_t q, int32_t j) {
    return (static_cast<std::size_t>(j / kTwiddleBlock) * (radix - 1) + (q - 1)) * kTwiddleBlock +
           j % kTwiddleBlock;
}

// Passes of level d of a plan whose radix is of kind 1 or 2, with the shapes
// of the kernel passes.
void OddComplexLeaf(const FftPlan& plan, int d, const double* inRe, const double* inIm,
                    double* outRe, double* outIm, ptrdiff_t kernelStride, ptrdiff_t callStride,
                    ptrdiff_t outStride, int32_t count);
void OddComplexTwiddle(const FftPlan& plan, int d, double* re, double* im, ptrdiff_t stride,
                       int32_t m);
void OddRealLeaf(const FftPlan& plan, int d, const double* in, double* out, ptrdiff_t kernelStride,
                 ptrdiff_t callStride, ptrdiff_t outStride, int32_t count);
void OddRealTwiddle(const FftPlan& plan, int d, double* x, ptrdiff_t stride, int32_t m);

}  // namespace engine::detail
