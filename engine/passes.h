#pragma once
// Drivers of the fixed-radix kernels. Every kernel runs on four transforms at
// once, one per vector lane: the leaf passes put consecutive DFTs of the pass
// in the lanes, the twiddle passes consecutive columns j. Included by the
// generated kernel files only, which are compiled once per instruction set;
// ENGINE_ISA_NS names the variant and keeps the copies apart.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "kernel_entry.h"

#ifndef ENGINE_ISA_NS
#error "ENGINE_ISA_NS must name the instruction-set variant being compiled"
#endif

#define ENGINE_KERNEL static inline __attribute__((always_inline))
#define ENGINE_INLINE inline __attribute__((always_inline))

namespace engine {
namespace ENGINE_ISA_NS {
namespace {

using std::ptrdiff_t;

typedef double Vec __attribute__((vector_size(4 * sizeof(double))));
constexpr int kLanes = 4;
static_assert(kLanes == kTwiddleBlock, "one twiddle block per vector");

ENGINE_INLINE Vec Load(const double* p) {
    Vec v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

ENGINE_INLINE void Store(double* p, Vec v) { std::memcpy(p, &v, sizeof v); }

ENGINE_INLINE Vec Reverse(Vec v) { return __builtin_shufflevector(v, v, 3, 2, 1, 0); }

ENGINE_INLINE Vec Broadcast(double v) { return Vec{v, v, v, v}; }

// Lanes lo ... hi-1 of a vector whose lane l lives at p[l*step]. The other
// lanes repeat a valid element, so nothing outside the data is read; they are
// never stored.
ENGINE_INLINE Vec Gather(const double* p, ptrdiff_t step, int lo, int hi) {
    const auto at = [&](int l) { return p[(l < lo ? lo : l >= hi ? hi - 1 : l) * step]; };
    return Vec{at(0), at(1), at(2), at(3)};
}

ENGINE_INLINE void Scatter(double* p, ptrdiff_t step, Vec v, int lo, int hi) {
    for (int l = lo; l < hi; ++l) p[l * step] = v[l];
}

// Lane l of v[k] (k = 0 ... 3) goes to p[l*rowStride + k].
ENGINE_INLINE void StoreTransposed(double* p, ptrdiff_t rowStride, const Vec* v) {
    const Vec t0 = __builtin_shufflevector(v[0], v[1], 0, 4, 2, 6);
    const Vec t1 = __builtin_shufflevector(v[0], v[1], 1, 5, 3, 7);
    const Vec t2 = __builtin_shufflevector(v[2], v[3], 0, 4, 2, 6);
    const Vec t3 = __builtin_shufflevector(v[2], v[3], 1, 5, 3, 7);
    Store(p, __builtin_shufflevector(t0, t2, 0, 1, 4, 5));
    Store(p + rowStride, __builtin_shufflevector(t1, t3, 0, 1, 4, 5));
    Store(p + 2 * rowStride, __builtin_shufflevector(t0, t2, 2, 3, 6, 7));
    Store(p + 3 * rowStride, __builtin_shufflevector(t1, t3, 2, 3, 6, 7));
}

// Loads element q (at p + q*col) of `lanes` transforms whose lane l is at
// p + l*step.
template <int R>
ENGINE_INLINE void LoadColumns(Vec* v, const double* p, ptrdiff_t col, ptrdiff_t step, int lo,
                               int hi) {
    if (lo == 0 && hi == kLanes && step == 1) {
        for (int q = 0; q < R; ++q) v[q] = Load(p + q * col);
    } else if (lo == 0 && hi == kLanes && step == -1) {
        for (int q = 0; q < R; ++q) v[q] = Reverse(Load(p + q * col - 3));
    } else {
        for (int q = 0; q < R; ++q) v[q] = Gather(p + q * col, step, lo, hi);
    }
}

ENGINE_INLINE void StoreColumn(double* p, ptrdiff_t step, Vec v, int lo, int hi) {
    if (lo == 0 && hi == kLanes && step == 1)
        Store(p, v);
    else if (lo == 0 && hi == kLanes && step == -1)
        Store(p - 3, Reverse(v));
    else
        Scatter(p, step, v, lo, hi);
}

// Leaf outputs: lane l of v[k] goes to p[(l*R + k)*outStride].
template <int R>
ENGINE_INLINE void StoreLeafOutputs(double* p, ptrdiff_t outStride, const Vec* v, int lanes) {
    if (lanes == kLanes && outStride == 1 && R % kLanes == 0) {
        for (int k = 0; k < R; k += kLanes) StoreTransposed(p + k, R, v + k);
    } else {
        for (int k = 0; k < R; ++k) Scatter(p + k * outStride, R * outStride, v[k], 0, lanes);
    }
}

// Multiplies element q >= 1 by the twiddles of its block of columns; with
// `skipFirst` lane 0 (column j = 0) keeps its value.
template <int R>
ENGINE_INLINE void ApplyTwiddles(Vec* re, Vec* im, const double* twRe, const double* twIm,
                                 bool skipFirst) {
    for (int q = 1; q < R; ++q) {
        const Vec wr = Load(twRe + (q - 1) * kLanes);
        const Vec wi = Load(twIm + (q - 1) * kLanes);
        const Vec ar = re[q], ai = im[q];
        Vec br = ar * wr - ai * wi;
        Vec bi = ar * wi + ai * wr;
        if (skipFirst) {
            br[0] = ar[0];
            bi[0] = ai[0];
        }
        re[q] = br;
        im[q] = bi;
    }
}

template <class K>
void ComplexLeaf(const double* inRe, const double* inIm, double* outRe, double* outIm,
                 ptrdiff_t kernelStride, ptrdiff_t callStride, ptrdiff_t outStride, int32_t count) {
    constexpr int R = K::kRadix;
    for (int32_t t = 0; t < count; t += kLanes) {
        const int lanes = count - t < kLanes ? count - t : kLanes;
        Vec re[R], im[R];
        LoadColumns<R>(re, inRe + t * callStride, kernelStride, callStride, 0, lanes);
        LoadColumns<R>(im, inIm + t * callStride, kernelStride, callStride, 0, lanes);
        K::Complex(re, im);
        StoreLeafOutputs<R>(outRe + t * R * outStride, outStride, re, lanes);
        StoreLeafOutputs<R>(outIm + t * R * outStride, outStride, im, lanes);
    }
}

template <class K>
void ComplexTwiddle(double* re, double* im, ptrdiff_t stride, int32_t m, const double* twRe,
                    const double* twIm) {
    constexpr int R = K::kRadix;
    const ptrdiff_t col = m * stride;
    for (int32_t j = 0; j < m; j += kLanes) {
        const int lanes = m - j < kLanes ? m - j : kLanes;
        double* pr = re + j * stride;
        double* pi = im + j * stride;
        Vec xr[R], xi[R];
        LoadColumns<R>(xr, pr, col, stride, 0, lanes);
        LoadColumns<R>(xi, pi, col, stride, 0, lanes);
        const ptrdiff_t block = (j / kLanes) * (R - 1) * kLanes;
        ApplyTwiddles<R>(xr, xi, twRe + block, twIm + block, j == 0);
        K::Complex(xr, xi);
        for (int k = 0; k < R; ++k) {
            StoreColumn(pr + k * col, stride, xr[k], 0, lanes);
            StoreColumn(pi + k * col, stride, xi[k], 0, lanes);
        }
    }
}

template <class K>
void RealLeaf(const double* in, double* out, ptrdiff_t kernelStride, ptrdiff_t callStride,
              ptrdiff_t outStride, int32_t count) {
    constexpr int R = K::kRadix;
    for (int32_t t = 0; t < count; t += kLanes) {
        const int lanes = count - t < kLanes ? count - t : kLanes;
        Vec x[R];
        LoadColumns<R>(x, in + t * callStride, kernelStride, callStride, 0, lanes);
        K::Real(x);
        StoreLeafOutputs<R>(out + t * R * outStride, outStride, x, lanes);
    }
}

// In place over R half-complex blocks of length m (block q at q*m): column
// j = 0 by the real kernel, columns 1 <= j < m/2 as complex values
// (block q at j, block q at m-j) by twiddles and the complex kernel, and for
// even m the column j = m/2 by the half-sample kernel. Results go to their
// half-complex places in the length R*m.
template <class K>
void RealTwiddle(double* x, ptrdiff_t stride, int32_t m, const double* twRe, const double* twIm) {
    constexpr int R = K::kRadix;
    constexpr int kLow = (R + 1) / 2;  // X[j + k*m] with k < kLow lies below N/2
    const ptrdiff_t col = m * stride;
    double* const end = x + R * col;  // position N
    {
        Vec v[R];
        for (int q = 0; q < R; ++q) v[q] = Broadcast(x[q * col]);
        K::Real(v);
        for (int k = 0; k < R; ++k) x[k * col] = v[k][0];
    }
    const int32_t columns = (m + 1) / 2;
    for (int32_t j = 0; j < columns; j += kLanes) {
        const int lo = j == 0 ? 1 : 0;
        const int hi = columns - j < kLanes ? columns - j : kLanes;
        if (lo >= hi) break;
        double* up = x + j * stride;          // block q at j + l
        double* down = x + (m - j) * stride;  // block q at m - j - l
        Vec yr[R], yi[R];
        LoadColumns<R>(yr, up, col, stride, lo, hi);
        LoadColumns<R>(yi, down, col, -stride, lo, hi);
        const ptrdiff_t block = (j / kLanes) * (R - 1) * kLanes;
        ApplyTwiddles<R>(yr, yi, twRe + block, twIm + block, false);
        K::Complex(yr, yi);
        for (int k = 0; k < R; ++k) {
            double* low = up + k * col;                 // position j + k*m
            double* high = end - j * stride - k * col;  // position N - j - k*m
            if (k < kLow) {
                StoreColumn(low, stride, yr[k], lo, hi);
                StoreColumn(high, -stride, yi[k], lo, hi);
            } else {
                StoreColumn(high, -stride, yr[k], lo, hi);
                StoreColumn(low, stride, -yi[k], lo, hi);
            }
        }
    }
    if (m % 2 == 0) {
        double* mid = x + (m / 2) * stride;
        Vec v[R];
        for (int q = 0; q < R; ++q) v[q] = Broadcast(mid[q * col]);
        K::Half(v);
        for (int k = 0; k < R; ++k) mid[k * col] = v[k][0];
    }
}

template <class K>
constexpr KernelEntry MakeKernelEntry() {
    return KernelEntry{&ComplexLeaf<K>, &ComplexTwiddle<K>, &RealLeaf<K>, &RealTwiddle<K>};
}

}  // namespace
}  // namespace ENGINE_ISA_NS
}  // namespace engine
