#pragma once
// Drivers of the fixed-radix kernels. Every kernel runs on four transforms at
// once (eight in the AVX-512 copy, where eight lie side by side), one per
// vector lane: the leaf passes put consecutive DFTs of the pass in the lanes,
// the twiddle passes consecutive columns j. A kernel reads and
// writes through an accessor (io.Load, io.Store) whose lanes are consecutive
// doubles; where the data are not laid out so (partial blocks, strides), the
// pass gathers them into a local block of the same shape and scatters the
// results back, so that each pass holds one copy of its kernel.
//
// Included by the generated kernel files only, which are compiled once per
// instruction set; ENGINE_ISA_NS names the variant and keeps the copies apart.

#include <cstddef>
#include <cstdint>
#include <cstring>

#ifdef __AVX512F__
#include <immintrin.h>
#endif

#include "kernel_entry.h"
#include "transpose8.h"

#ifndef ENGINE_ISA_NS
#error "ENGINE_ISA_NS must name the instruction-set variant being compiled"
#endif

#define ENGINE_INLINE inline __attribute__((always_inline))
#define ENGINE_KERNEL static ENGINE_INLINE
#define ENGINE_INLINE_LAMBDA __attribute__((always_inline))

namespace engine {
namespace ENGINE_ISA_NS {
namespace {

using std::ptrdiff_t;

typedef double Vec __attribute__((vector_size(4 * sizeof(double))));
constexpr int kLanes = 4;
static_assert(kLanes == kTwiddleBlock, "one twiddle block per vector");

// Rows of a pass at least kFarRows doubles apart fall into few sets of the
// first-level cache, so that the half line of each row that a block of four
// lanes leaves unread is evicted before the next block wants it. Such passes
// copy two blocks of every row at once (a whole 64-byte line) into a local
// block and run the kernel on both halves of it.
constexpr ptrdiff_t kFarRows = 128;
constexpr int kWideLanes = 2 * kLanes;
// Rows at least kNearRows doubles apart map to at most two sets of the
// first-level cache (whose sets repeat every 4 KB); complex passes of eight
// columns or more group kGroupColumns columns at a time (see GroupedTwiddle).
constexpr ptrdiff_t kNearRows = 256;
constexpr int32_t kGroupColumns = 64;

ENGINE_INLINE Vec LoadVec(const double* p) {
    Vec v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

ENGINE_INLINE void StoreVec(double* p, Vec v) { std::memcpy(p, &v, sizeof v); }

ENGINE_INLINE Vec Reverse(Vec v) { return __builtin_shufflevector(v, v, 3, 2, 1, 0); }

// Lanes l < lanes from p[l*step]; the others repeat the last valid one.
ENGINE_INLINE Vec Gather(const double* p, ptrdiff_t step, int lanes) {
    if (lanes == kLanes) {
        if (step == 2) {  // p[0 ... 6], nothing beyond the last lane
            const Vec a = LoadVec(p), b = LoadVec(p + 3);
            return __builtin_shufflevector(a, b, 0, 2, 5, 7);
        }
        return Vec{p[0], p[step], p[2 * step], p[3 * step]};
    }
    if (lanes == 2 && step == 1) {  // two neighbours, twice
        const Vec a = Vec{p[0], p[1], 0.0, 0.0};
        return __builtin_shufflevector(a, a, 0, 1, 0, 1);
    }
    const auto at = [&](int l) { return p[(l < lanes ? l : lanes - 1) * step]; };
    return Vec{at(0), at(1), at(2), at(3)};
}

#ifdef __AVX512F__
// Where the processor has them, the complex passes run eight DFTs or columns
// at once in 512-bit vectors: each lane computes what it would in a four-lane
// vector, with half the instructions.
#define ENGINE_EIGHT_LANES 1
typedef double Vec8 __attribute__((vector_size(8 * sizeof(double))));

ENGINE_INLINE Vec8 LoadVec8(const double* p) {
    Vec8 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

ENGINE_INLINE void StoreVec8(double* p, Vec8 v) { std::memcpy(p, &v, sizeof v); }

ENGINE_INLINE Vec8 Reverse(Vec8 v) { return __builtin_shufflevector(v, v, 7, 6, 5, 4, 3, 2, 1, 0); }
#endif

// Vectors of either width, for the accessors that serve both.
ENGINE_INLINE void Load(const double* p, Vec& v) { v = LoadVec(p); }
ENGINE_INLINE void Store(double* p, Vec v) { StoreVec(p, v); }
#ifdef ENGINE_EIGHT_LANES
ENGINE_INLINE void Load(const double* p, Vec8& v) { v = LoadVec8(p); }
ENGINE_INLINE void Store(double* p, Vec8 v) { StoreVec8(p, v); }
#endif

template <class V>
struct Pair {
    V re, im;
};

// The twiddles of element q >= 1 of a block of columns: one table block, or
// for eight lanes two, the second nextBlock after the first.
template <class V>
ENGINE_INLINE V TwiddleAt(const double* t, int q, ptrdiff_t nextBlock) {
    const Vec a = LoadVec(t + (q - 1) * kLanes);
    if constexpr (sizeof(V) == sizeof(Vec)) {
        (void)nextBlock;
        return a;
    } else {
        const Vec b = LoadVec(t + nextBlock + (q - 1) * kLanes);
        return __builtin_shufflevector(a, b, 0, 1, 2, 3, 4, 5, 6, 7);
    }
}

// Element q of a twiddle pass's block of columns, (ar, ai), times its twiddles
// from the block's table (element 0 takes none); nextBlock as for TwiddleAt.
template <class V>
ENGINE_INLINE Pair<V> Twiddled(int q, V ar, V ai, const double* twRe, const double* twIm,
                               ptrdiff_t nextBlock = 0) {
    if (q == 0) return {ar, ai};
    const V wr = TwiddleAt<V>(twRe, q, nextBlock), wi = TwiddleAt<V>(twIm, q, nextBlock);
    return {ar * wr - ai * wi, ar * wi + ai * wr};
}

// Lane l of v[c] (c < count, l < lanes) goes to p[l*rowStride + c].
ENGINE_INLINE void StoreRows(double* p, ptrdiff_t rowStride, const Vec* v, int count,
                             int lanes = kLanes) {
    if (count == kLanes) {
        const Vec t0 = __builtin_shufflevector(v[0], v[1], 0, 4, 2, 6);
        const Vec t1 = __builtin_shufflevector(v[0], v[1], 1, 5, 3, 7);
        const Vec t2 = __builtin_shufflevector(v[2], v[3], 0, 4, 2, 6);
        const Vec t3 = __builtin_shufflevector(v[2], v[3], 1, 5, 3, 7);
        StoreVec(p, __builtin_shufflevector(t0, t2, 0, 1, 4, 5));
        if (lanes > 1) StoreVec(p + rowStride, __builtin_shufflevector(t1, t3, 0, 1, 4, 5));
        if (lanes > 2) StoreVec(p + 2 * rowStride, __builtin_shufflevector(t0, t2, 2, 3, 6, 7));
        if (lanes > 3) StoreVec(p + 3 * rowStride, __builtin_shufflevector(t1, t3, 2, 3, 6, 7));
    } else {
        for (int l = 0; l < lanes; ++l)
            for (int c = 0; c < count; ++c) p[l * rowStride + c] = v[c][l];
    }
}

// The rows of `lanes` leaf DFTs kept locally (consecutive, r doubles each) go
// to their places in the output, row l at out + l*rowStep*outStride.
ENGINE_INLINE void CopyLeafRows(double* out, ptrdiff_t outStride, ptrdiff_t rowStep,
                                const double* rows, int r, int lanes) {
    for (int l = 0; l < lanes && l < kLanes; ++l)
        for (int c = 0; c < r; ++c) out[(l * rowStep + c) * outStride] = rows[l * r + c];
}

// Leaf outputs: lane l's r results as one row, rows rowStride apart. The
// kernels store in groups of four consecutive outputs, which are transposed.
template <int R, int Arrays>
struct Rows {
    double* out[Arrays];
    ptrdiff_t rowStride;
    int lanes = kLanes;  // rows written: the lanes that hold DFTs
    Vec pending[Arrays][kLanes];

    ENGINE_INLINE void Put(int k, const Vec (&v)[Arrays]) {
        for (int a = 0; a < Arrays; ++a) pending[a][k % kLanes] = v[a];
        if (k % kLanes == kLanes - 1 || k == R - 1) {
            const int first = k - k % kLanes;
            for (int a = 0; a < Arrays; ++a)
                StoreRows(out[a] + first, rowStride, pending[a], k % kLanes + 1, lanes);
        }
    }
};

// Complex leaf: input q of lane l at (re, im)[q*step + l]. With lastLanes < 4
// the last input has only that many lanes in memory; the lanes beyond of the
// other inputs lie inside the pass's input and are never stored.
// With Pairs, a full block of DFTs every other double: input q of lane l at
// (re, im)[q*step + 2l], gathered as it is loaded.
template <int R, bool Pairs = false>
struct ComplexLeafIO {
    using Value = Vec;
    const double* re;
    const double* im;
    ptrdiff_t step;
    int lastLanes;
    Rows<R, 2> rows;

    ENGINE_INLINE Pair<Vec> Load(int q) const {
        if constexpr (Pairs)
            return {Gather(re + q * step, 2, kLanes), Gather(im + q * step, 2, kLanes)};
        if (q == R - 1 && lastLanes < kLanes)
            return {Gather(re + q * step, 1, lastLanes), Gather(im + q * step, 1, lastLanes)};
        return {LoadVec(re + q * step), LoadVec(im + q * step)};
    }
    ENGINE_INLINE void Store(int k, Vec r, Vec i) { rows.Put(k, {r, i}); }
};

template <int R, bool Pairs = false>
struct RealLeafIO {
    using Value = Vec;
    const double* x;
    ptrdiff_t step;
    int lastLanes;
    Rows<R, 1> rows;

    ENGINE_INLINE Vec Load(int q) const {
        if constexpr (Pairs) return Gather(x + q * step, 2, kLanes);
        if (q == R - 1 && lastLanes < kLanes) return Gather(x + q * step, 1, lastLanes);
        return LoadVec(x + q * step);
    }
    ENGINE_INLINE void Store(int k, Vec v) { rows.Put(k, {v}); }
};

#ifdef ENGINE_EIGHT_LANES
// Leaf outputs of eight lanes, as Rows. The kernels store whole groups of four
// consecutive outputs, in any order of the groups: a group of eight is
// transposed whole once both its halves are in, a last group of fewer as two
// halves of four lanes.
template <int R, int Arrays>
struct Rows8 {
    double* out[Arrays];
    ptrdiff_t rowStride;
    Vec8 pending[Arrays][R];
    int quadsIn[(R + 7) / 8] = {};

    ENGINE_INLINE void Put(int k, const Vec8 (&v)[Arrays]) {
        for (int a = 0; a < Arrays; ++a) pending[a][k] = v[a];
        if (k % kLanes != kLanes - 1 && k != R - 1) return;
        const int first = k - k % 8, count = R - first < 8 ? R - first : 8;
        if (++quadsIn[k / 8] < (count + kLanes - 1) / kLanes) return;
        for (int a = 0; a < Arrays; ++a) {
            Vec8* group = pending[a] + first;
            if (count == 8) {
                Transpose8(group);
                for (int l = 0; l < 8; ++l) StoreVec8(out[a] + first + l * rowStride, group[l]);
                continue;
            }
            for (int c0 = 0; c0 < count; c0 += kLanes) {
                const int n = count - c0 < kLanes ? count - c0 : kLanes;
                Vec low[kLanes], high[kLanes];
                for (int c = 0; c < n; ++c) {
                    low[c] = __builtin_shufflevector(group[c0 + c], group[c0 + c], 0, 1, 2, 3);
                    high[c] = __builtin_shufflevector(group[c0 + c], group[c0 + c], 4, 5, 6, 7);
                }
                StoreRows(out[a] + first + c0, rowStride, low, n);
                StoreRows(out[a] + first + c0 + kLanes * rowStride, rowStride, high, n);
            }
        }
    }
};

// Lanes l of p[l*callStride] for a call stride of 1 or 2 (p[0 ... 14], nothing
// beyond the last lane).
ENGINE_INLINE Vec8 LoadLanes(const double* p, ptrdiff_t callStride) {
    if (callStride == 1) return LoadVec8(p);
    const Vec8 a = LoadVec8(p), b = LoadVec8(p + 7);
    return __builtin_shufflevector(a, b, 0, 2, 4, 6, 9, 11, 13, 15);
}

// Whether a leaf pass runs the block of DFTs at t as eight lanes: eight left
// in the group, output rows in place, inputs one element apart, or two where
// each input's lanes (two lines) do not lie too far from the next input's.
ENGINE_INLINE bool EightLeaves(ptrdiff_t kernelStride, ptrdiff_t callStride, ptrdiff_t outStride,
                               int32_t left) {
    return left >= 8 && outStride == 1 &&
           (callStride == 1 || (callStride == 2 && kernelStride < kFarRows));
}

// Leaves of eight DFTs one or two elements apart (callStride): input q of
// lane l at (re, im)[q*step + l*callStride].
template <int R>
struct ComplexLeafIO8 {
    using Value = Vec8;
    const double* re;
    const double* im;
    ptrdiff_t step;
    ptrdiff_t callStride;
    Rows8<R, 2> rows;

    ENGINE_INLINE Pair<Vec8> Load(int q) const {
        return {LoadLanes(re + q * step, callStride), LoadLanes(im + q * step, callStride)};
    }
    ENGINE_INLINE void Store(int k, Vec8 r, Vec8 i) { rows.Put(k, {r, i}); }
};

template <int R>
struct RealLeafIO8 {
    using Value = Vec8;
    const double* x;
    ptrdiff_t step;
    ptrdiff_t callStride;
    Rows8<R, 1> rows;

    ENGINE_INLINE Vec8 Load(int q) const { return LoadLanes(x + q * step, callStride); }
    ENGINE_INLINE void Store(int k, Vec8 v) { rows.Put(k, {v}); }
};
#endif

// Twiddle pass: element q of column j + l at (re, im)[q*col + l], in place;
// element q >= 1 is multiplied by its twiddle when loaded. In vectors of eight
// lanes (V = Vec8), columns j ... j + 7, whose twiddles lie in two blocks, the
// second nextBlock after the first.
template <class V = Vec>
struct TwiddleIO {
    using Value = V;
    double* re;
    double* im;
    ptrdiff_t col;
    const double* twRe;
    const double* twIm;
    ptrdiff_t nextBlock = 0;

    ENGINE_INLINE Pair<V> Load(int q) const {
        V ar, ai;
        engine::ENGINE_ISA_NS::Load(re + q * col, ar);
        engine::ENGINE_ISA_NS::Load(im + q * col, ai);
        return Twiddled(q, ar, ai, twRe, twIm, nextBlock);
    }
    ENGINE_INLINE void Store(int k, V r, V i) const {
        engine::ENGINE_ISA_NS::Store(re + k * col, r);
        engine::ENGINE_ISA_NS::Store(im + k * col, i);
    }
};

#ifdef ENGINE_EIGHT_LANES
// A twiddle pass's loads, with result k stored at (outRe, outIm)[k*outCol]
// instead of in place.
struct TwiddleToIO : TwiddleIO<Vec8> {
    double* outRe;
    double* outIm;
    ptrdiff_t outCol;

    ENGINE_INLINE void Store(int k, Vec8 r, Vec8 i) const {
        StoreVec8(outRe + k * outCol, r);
        StoreVec8(outIm + k * outCol, i);
    }
};
#endif

// Real twiddle pass, columns 1 <= j < m/2: element q of column j + l is the
// complex value (up[q*col + l], down[q*col - l]), twiddled when loaded.
// Result k goes, for k < (R+1)/2, to low[k*col + l] (real part) and
// high[-k*col - l] (imaginary part), else conjugated with the places swapped.
// In memory low is up and high lies at the down places of element R-1-k.
// With Hartley, each result is stored as the pair (Re - Im, Re + Im) at (low,
// high) instead: the butterflies that follow the real inverse's forward
// transform, done while the values are at hand. For the conjugated places this
// is what the butterfly on the stored (Re, -Im) gives, since a - (-b) and
// a + (-b) are a + b and a - b exactly.
// In vectors of eight lanes (V = Vec8), columns j ... j + 7, whose twiddles
// lie in two blocks, the second nextBlock after the first. With First (eight
// lanes, j = 0), lane 0 is column 0, a real column with a kernel of its own:
// it is computed but never stored, and its down places (column m, which is
// the next row's column 0 and past the end in the last row) are not read.
template <int R, bool Hartley = false, class V = Vec, bool First = false>
struct HalfComplexIO {
    using Value = V;
    static constexpr int kWidth = sizeof(V) / sizeof(double);
    double* up;
    double* down;
    double* high;
    ptrdiff_t col;
    const double* twRe;
    const double* twIm;
    ptrdiff_t nextBlock = 0;

    ENGINE_INLINE Pair<V> Load(int q) const {
        V ar, ai;
        engine::ENGINE_ISA_NS::Load(up + q * col, ar);
        const double* at = down + q * col - (kWidth - 1);
#ifdef ENGINE_EIGHT_LANES
        if constexpr (First)
            ai = reinterpret_cast<V>(_mm512_maskz_loadu_pd(0x7F, at));
        else
#endif
            engine::ENGINE_ISA_NS::Load(at, ai);
        return Twiddled(q, ar, Reverse(ai), twRe, twIm, nextBlock);
    }
    ENGINE_INLINE void Store(int k, V r, V i) const {
        double* low = up + k * col;
        double* highAt = high - k * col - (kWidth - 1);
        if constexpr (Hartley) {
            Put(low, r - i, false);
            Put(highAt, Reverse(r + i), true);
        } else if (2 * k < R) {
            Put(low, r, false);
            Put(highAt, Reverse(i), true);
        } else {
            Put(highAt, Reverse(r), true);
            Put(low, -i, false);
        }
    }
    // Stores v at an up place (reversed: at a down place), lane 0 left out.
    ENGINE_INLINE static void Put(double* p, V v, [[maybe_unused]] bool reversed) {
#ifdef ENGINE_EIGHT_LANES
        if constexpr (First) {
            _mm512_mask_storeu_pd(p, reversed ? 0x7F : 0xFE, reinterpret_cast<__m512d>(v));
            return;
        }
#endif
        engine::ENGINE_ISA_NS::Store(p, v);
    }
};

// One column of real values, element q at p[q*col], in place (scalar).
struct ColumnIO {
    using Value = double;
    double* p;
    ptrdiff_t col;

    ENGINE_INLINE double Load(int q) const { return p[q * col]; }
    ENGINE_INLINE void Store(int k, double v) const { p[k * col] = v; }
};

// Whether the leaf inputs of a block of `lanes` DFTs can be loaded in place:
// consecutive DFTs, and for a partial block the lanes beyond, read by every
// input but the last, still inside the pass's input (which ends kernelStride
// elements after the block's last input but one).
ENGINE_INLINE bool LoadInPlace(ptrdiff_t kernelStride, ptrdiff_t callStride, int lanes) {
    return callStride == 1 && kLanes - lanes <= kernelStride;
}

// Copies `rows` rows of kWideLanes doubles, row q at from + q*fromStride, to
// to + q*toStride.
ENGINE_INLINE void CopyWide(double* to, ptrdiff_t toStride, const double* from,
                            ptrdiff_t fromStride, int rows) {
    for (int q = 0; q < rows; ++q) {
        StoreVec(to + q * toStride, LoadVec(from + q * fromStride));
        StoreVec(to + q * toStride + kLanes, LoadVec(from + q * fromStride + kLanes));
    }
}

// Whether a leaf pass reads its inputs a whole line at a time: consecutive
// DFTs whose inputs lie far apart, and two full blocks left in the group.
ENGINE_INLINE bool LeafWide(ptrdiff_t kernelStride, ptrdiff_t callStride, int32_t left) {
    return callStride == 1 && kernelStride >= kFarRows && left >= kWideLanes;
}

// Row of leaf DFT t (see LeafRows) and the DFTs left in its group.
ENGINE_INLINE ptrdiff_t LeafRow(LeafRows rows, int32_t t, int r) {
    return (t % rows.group) * rows.groupStep + static_cast<ptrdiff_t>(t / rows.group) * r;
}
ENGINE_INLINE int32_t LeftInGroup(LeafRows rows, int32_t t, int32_t count) {
    const int32_t inGroup = rows.group - t % rows.group;
    return count - t < inGroup ? count - t : inGroup;
}

template <class K>
void ComplexLeaf(const double* inRe, const double* inIm, double* outRe, double* outIm,
                 ptrdiff_t kernelStride, ptrdiff_t callStride, ptrdiff_t outStride, int32_t count,
                 LeafRows leafRows) {
    constexpr int R = K::kRadix;
    double gathered[2][R * kWideLanes];
    double rows[2][R * kLanes];
    // Runs the kernel on the block of DFTs t ... t+lanes-1 whose inputs io reads.
    const auto run = [&](auto& io, int32_t t, int lanes) ENGINE_INLINE_LAMBDA {
        const bool direct = outStride == 1;
        const ptrdiff_t row = LeafRow(leafRows, t, R);
        io.rows.out[0] = direct ? outRe + row : rows[0];
        io.rows.out[1] = direct ? outIm + row : rows[1];
        io.rows.rowStride = direct ? leafRows.groupStep : R;
        io.rows.lanes = lanes;
        K::Complex(io);
        if (!direct) {
            const ptrdiff_t step = leafRows.groupStep;
            CopyLeafRows(outRe + row * outStride, outStride, step, rows[0], R, lanes);
            CopyLeafRows(outIm + row * outStride, outStride, step, rows[1], R, lanes);
        }
    };
    for (int32_t t = 0; t < count;) {
        const double* re = inRe + t * callStride;
        const double* im = inIm + t * callStride;
        const int32_t left = LeftInGroup(leafRows, t, count);
#ifdef ENGINE_EIGHT_LANES
        if (EightLeaves(kernelStride, callStride, outStride, left)) {
            const ptrdiff_t row = LeafRow(leafRows, t, R);
            ComplexLeafIO8<R> io8{re, im, kernelStride, callStride, {}};
            io8.rows.out[0] = outRe + row;
            io8.rows.out[1] = outIm + row;
            io8.rows.rowStride = leafRows.groupStep;
            K::Complex(io8);
            t += 8;
            continue;
        }
#endif
        ComplexLeafIO<R> io;
        io.lastLanes = kLanes;
        if (LeafWide(kernelStride, callStride, left)) {
            CopyWide(gathered[0], kWideLanes, re, kernelStride, R);
            CopyWide(gathered[1], kWideLanes, im, kernelStride, R);
            io.step = kWideLanes;
            for (int half = 0; half < 2; ++half) {
                io.re = gathered[0] + half * kLanes;
                io.im = gathered[1] + half * kLanes;
                run(io, t + half * kLanes, kLanes);
            }
            t += kWideLanes;
            continue;
        }
        const int lanes = left < kLanes ? left : kLanes;
        if (callStride == 2 && lanes == kLanes) {
            ComplexLeafIO<R, true> pairs;
            pairs.re = re;
            pairs.im = im;
            pairs.step = kernelStride;
            run(pairs, t, lanes);
            t += kLanes;
            continue;
        }
        if (LoadInPlace(kernelStride, callStride, lanes)) {
            io.re = re;
            io.im = im;
            io.step = kernelStride;
            io.lastLanes = lanes;
        } else {
            for (int q = 0; q < R; ++q) {
                StoreVec(gathered[0] + q * kLanes,
                         Gather(re + q * kernelStride, callStride, lanes));
                StoreVec(gathered[1] + q * kLanes,
                         Gather(im + q * kernelStride, callStride, lanes));
            }
            io.re = gathered[0];
            io.im = gathered[1];
            io.step = kLanes;
        }
        run(io, t, lanes);
        t += kLanes;
    }
}

template <class K>
void RealLeaf(const double* in, double* out, ptrdiff_t kernelStride, ptrdiff_t callStride,
              ptrdiff_t outStride, int32_t count, LeafRows leafRows) {
    constexpr int R = K::kRadix;
    double gathered[R * kWideLanes];
    double rows[R * kLanes];
    const auto run = [&](auto& io, int32_t t, int lanes) ENGINE_INLINE_LAMBDA {
        const bool direct = outStride == 1;
        const ptrdiff_t row = LeafRow(leafRows, t, R);
        io.rows.out[0] = direct ? out + row : rows;
        io.rows.rowStride = direct ? leafRows.groupStep : R;
        io.rows.lanes = lanes;
        K::Real(io);
        if (!direct)
            CopyLeafRows(out + row * outStride, outStride, leafRows.groupStep, rows, R, lanes);
    };
    for (int32_t t = 0; t < count;) {
        const double* x = in + t * callStride;
        const int32_t left = LeftInGroup(leafRows, t, count);
#ifdef ENGINE_EIGHT_LANES
        if (EightLeaves(kernelStride, callStride, outStride, left)) {
            RealLeafIO8<R> io8{x, kernelStride, callStride, {}};
            io8.rows.out[0] = out + LeafRow(leafRows, t, R);
            io8.rows.rowStride = leafRows.groupStep;
            K::Real(io8);
            t += 8;
            continue;
        }
#endif
        RealLeafIO<R> io;
        io.lastLanes = kLanes;
        if (LeafWide(kernelStride, callStride, left)) {
            CopyWide(gathered, kWideLanes, x, kernelStride, R);
            io.step = kWideLanes;
            for (int half = 0; half < 2; ++half) {
                io.x = gathered + half * kLanes;
                run(io, t + half * kLanes, kLanes);
            }
            t += kWideLanes;
            continue;
        }
        const int lanes = left < kLanes ? left : kLanes;
        if (callStride == 2 && lanes == kLanes) {
            RealLeafIO<R, true> pairs;
            pairs.x = x;
            pairs.step = kernelStride;
            run(pairs, t, lanes);
            t += kLanes;
            continue;
        }
        if (LoadInPlace(kernelStride, callStride, lanes)) {
            io.x = x;
            io.step = kernelStride;
            io.lastLanes = lanes;
        } else {
            for (int q = 0; q < R; ++q)
                StoreVec(gathered + q * kLanes, Gather(x + q * kernelStride, callStride, lanes));
            io.x = gathered;
            io.step = kLanes;
        }
        run(io, t, lanes);
        t += kLanes;
    }
}

#ifdef ENGINE_EIGHT_LANES
// The columns j < m rounded down to eight of a contiguous twiddle pass whose
// rows lie far apart (stride 1): such rows share a few sets of the first-level
// cache, too few for the 2R lines a block of eight columns writes, and every
// store would wait for its line again. The results of a group of blocks go to
// a local block first, and from there to each row in turn. Returns the first
// column left. Apart, so that other passes keep a small stack frame.
template <class K>
[[gnu::noinline]] int32_t GroupedTwiddle(double* re, double* im, int32_t m, const double* twRe,
                                         const double* twIm) {
    constexpr int R = K::kRadix;
    const ptrdiff_t col = m;
    double group[2][R * kGroupColumns];
    int32_t j = 0;
    for (; j + 8 <= m; j += kGroupColumns) {
        const int32_t width = m - j < kGroupColumns ? (m - j) / 8 * 8 : kGroupColumns;
        for (int32_t c = 0; c < width; c += 8) {
            const ptrdiff_t block = ((j + c) / kLanes) * (R - 1) * kLanes;
            TwiddleToIO io{
                {re + j + c, im + j + c, col, twRe + block, twIm + block, (R - 1) * kLanes},
                group[0] + c,
                group[1] + c,
                kGroupColumns};
            K::Complex(io);
        }
        for (int q = 0; q < R; ++q)
            for (int32_t c = 0; c < width; c += 8) {
                StoreVec8(re + q * col + j + c, LoadVec8(group[0] + q * kGroupColumns + c));
                StoreVec8(im + q * col + j + c, LoadVec8(group[1] + q * kGroupColumns + c));
            }
        if (width < kGroupColumns) return j + width;
    }
    return j;
}
#endif

template <class K>
void ComplexTwiddle(double* re, double* im, ptrdiff_t stride, int32_t m, const double* twRe,
                    const double* twIm) {
    constexpr int R = K::kRadix;
    const ptrdiff_t col = m * stride;
    const bool wide = stride == 1 && col >= kFarRows;
    double local[2][R * kWideLanes];
    int32_t j = 0;
#ifdef ENGINE_EIGHT_LANES
    if (stride == 1 && R >= 8 && col >= kNearRows) j = GroupedTwiddle<K>(re, im, m, twRe, twIm);
#endif
    while (j < m) {
        const ptrdiff_t block = (j / kLanes) * (R - 1) * kLanes;
        double* pr = re + j * stride;
        double* pi = im + j * stride;
#ifdef ENGINE_EIGHT_LANES
        if (stride == 1 && m - j >= 8) {
            TwiddleIO<Vec8> io{pr, pi, col, twRe + block, twIm + block, (R - 1) * kLanes};
            K::Complex(io);
            j += 8;
            continue;
        }
#endif
        if (wide && m - j >= kWideLanes) {
            CopyWide(local[0], kWideLanes, pr, col, R);
            CopyWide(local[1], kWideLanes, pi, col, R);
            for (int half = 0; half < 2; ++half) {
                const ptrdiff_t at = block + half * (R - 1) * kLanes;
                TwiddleIO<> io{local[0] + half * kLanes, local[1] + half * kLanes, kWideLanes,
                               twRe + at, twIm + at};
                K::Complex(io);
            }
            CopyWide(pr, col, local[0], kWideLanes, R);
            CopyWide(pi, col, local[1], kWideLanes, R);
            j += kWideLanes;
            continue;
        }
        const int lanes = m - j < kLanes ? m - j : kLanes;
        // Column j = 0 meets the table's (1, 0), which leaves it as it is.
        TwiddleIO<> io{pr, pi, col, twRe + block, twIm + block};
        const bool direct = lanes == kLanes && stride == 1;
        if (!direct) {
            for (int q = 0; q < R; ++q) {
                StoreVec(local[0] + q * kLanes, Gather(pr + q * col, stride, lanes));
                StoreVec(local[1] + q * kLanes, Gather(pi + q * col, stride, lanes));
            }
            io.re = local[0];
            io.im = local[1];
            io.col = kLanes;
        }
        K::Complex(io);
        if (!direct) {
            for (int q = 0; q < R; ++q) {
                for (int l = 0; l < lanes; ++l) {
                    pr[q * col + l * stride] = local[0][q * kLanes + l];
                    pi[q * col + l * stride] = local[1][q * kLanes + l];
                }
            }
        }
        j += kLanes;
    }
}

// Replaces the pairs (p[k*col], p[(last-k)*col]), k = 0 ... count-1, by their
// Hartley butterflies (difference, sum).
ENGINE_INLINE void HartleyPairs(double* p, ptrdiff_t col, int last, int count) {
    for (int k = 0; k < count; ++k) {
        const double a = p[k * col], b = p[(last - k) * col];
        p[k * col] = a - b;
        p[(last - k) * col] = a + b;
    }
}

// In place over R half-complex blocks of length m (block q at q*m): column
// j = 0 by the real kernel, columns 1 <= j < m/2 as complex values (block q at
// j, block q at m-j) by twiddles and the complex kernel, and for even m the
// column j = m/2 by the half-sample kernel. Results go to their half-complex
// places in the length R*m. With Hartley, every pair of places p, R*m - p
// (0 < p < R*m/2) then holds (a - b, a + b) of the half-complex values a, b
// that would be there (see HalfComplexIO).
template <class K, bool Hartley = false>
void RealTwiddle(double* x, ptrdiff_t stride, int32_t m, const double* twRe, const double* twIm) {
    constexpr int R = K::kRadix;
    const ptrdiff_t col = m * stride;
    double local[2][R * kWideLanes];
    const int32_t columns = (m + 1) / 2;  // j < columns: j < m/2
    const bool wide = stride == 1 && col >= kFarRows;
    for (int32_t j = 0; j < columns; j += kLanes) {
#ifdef ENGINE_EIGHT_LANES
        if (stride == 1 && columns - j >= 8) {
            const ptrdiff_t block = (j / kLanes) * (R - 1) * kLanes;
            if (j == 0) {
                HalfComplexIO<R, Hartley, Vec8, true> io{x,    x + m, x + R * col,     col,
                                                         twRe, twIm,  (R - 1) * kLanes};
                K::Complex(io);
            } else {
                HalfComplexIO<R, Hartley, Vec8> io{x + j,        x + (m - j),  x + R * col - j, col,
                                                   twRe + block, twIm + block, (R - 1) * kLanes};
                K::Complex(io);
            }
            j += kLanes;  // the loop adds the other block
            continue;
        }
#endif
        if (wide && j > 0 && columns - j >= kWideLanes) {
            // Up rows as they are, down rows as they lie in memory (columns
            // m-j-7 ... m-j), so that lane l of a half reads down column m-j-l.
            double* up = x + j;
            double* downFirst = x + (m - j) - (kWideLanes - 1);
            CopyWide(local[0], kWideLanes, up, col, R);
            CopyWide(local[1], kWideLanes, downFirst, col, R);
            for (int half = 0; half < 2; ++half) {
                double* down = local[1] + kWideLanes - 1 - half * kLanes;
                const ptrdiff_t at = (j / kLanes + half) * (R - 1) * kLanes;
                HalfComplexIO<R, Hartley> io{local[0] + half * kLanes,
                                             down,
                                             down + (R - 1) * kWideLanes,
                                             kWideLanes,
                                             twRe + at,
                                             twIm + at};
                K::Complex(io);
            }
            CopyWide(up, col, local[0], kWideLanes, R);
            CopyWide(downFirst, col, local[1], kWideLanes, R);
            j += kLanes;  // the loop adds the other block
            continue;
        }
        const int first = j == 0 ? 1 : 0;
        const int lanes = columns - j < kLanes ? columns - j : kLanes;
        if (first >= lanes) break;
        double* up = x + j * stride;
        double* down = x + (m - j) * stride;
        const ptrdiff_t block = (j / kLanes) * (R - 1) * kLanes;
        HalfComplexIO<R, Hartley> io{up,  down,         x + R * col - j * stride,
                                     col, twRe + block, twIm + block};
        const bool direct = first == 0 && lanes == kLanes && stride == 1;
        // The first block of a contiguous pass (columns 1 … 3 and m−1 … m−3):
        // whole vectors of each row, lane 0 repeating lane 1 as below. With
        // m >= 8 the two vectors of a row (columns 0 … 3 and m−4 … m−1) are apart.
        const bool firstBlock = first == 1 && lanes == kLanes && stride == 1 && m >= 2 * kLanes;
        if (!direct) {
            // The same shape locally: up lanes ascending, down lanes descending.
            if (firstBlock) {
                for (int q = 0; q < R; ++q) {
                    const Vec u = LoadVec(up + q * col);             // columns 0 … 3
                    const Vec d = LoadVec(down + q * col - kLanes);  // columns m−4 … m−1
                    StoreVec(local[0] + q * kLanes, __builtin_shufflevector(u, u, 1, 1, 2, 3));
                    StoreVec(local[1] + q * kLanes, __builtin_shufflevector(d, d, 1, 2, 3, 3));
                }
            } else {
                for (int q = 0; q < R; ++q) {
                    for (int l = 0; l < kLanes; ++l) {
                        const int from = l < first ? first : l < lanes ? l : lanes - 1;
                        local[0][q * kLanes + l] = up[q * col + from * stride];
                        local[1][q * kLanes + kLanes - 1 - l] = down[q * col - from * stride];
                    }
                }
            }
            io.up = local[0];
            io.down = local[1] + kLanes - 1;
            io.high = local[1] + (R - 1) * kLanes + kLanes - 1;
            io.col = kLanes;
        }
        K::Complex(io);
        if (firstBlock) {
            // Columns 0 and m−4 keep what they hold.
            for (int q = 0; q < R; ++q) {
                const Vec u = LoadVec(up + q * col), d = LoadVec(down + q * col - kLanes);
                const Vec a = LoadVec(local[0] + q * kLanes), b = LoadVec(local[1] + q * kLanes);
                StoreVec(up + q * col, __builtin_shufflevector(u, a, 0, 5, 6, 7));
                StoreVec(down + q * col - kLanes, __builtin_shufflevector(d, b, 0, 4, 5, 6));
            }
        } else if (!direct) {
            for (int q = 0; q < R; ++q) {
                for (int l = first; l < lanes; ++l) {
                    up[q * col + l * stride] = local[0][q * kLanes + l];
                    down[q * col - l * stride] = local[1][q * kLanes + kLanes - 1 - l];
                }
            }
        }
    }
    // Column 0 after the others: the first block above reads whole vectors of
    // its rows, which would wait for this kernel's single stores to retire.
    {
        ColumnIO io{x, col};
        K::Real(io);
        // Places k*m and (R-k)*m.
        if constexpr (Hartley) HartleyPairs(x + col, col, R - 2, (R - 1) / 2);
    }
    if (m % 2 == 0) {
        ColumnIO io{x + (m / 2) * stride, col};
        K::Half(io);
        // Places m/2 + k*m and m/2 + (R-1-k)*m; for odd R the middle one is R*m/2.
        if constexpr (Hartley) HartleyPairs(io.p, col, R - 1, R / 2);
    }
}

// The real twiddle pass storing Hartley pairs, or null where the separate
// butterfly sweep is faster: the radix-32 kernel, whose pass is slower by more
// than the sweep costs once it also forms the pairs (measured at n = 1024).
template <class K>
constexpr RealTwiddlePass HartleyPassOf() {
    if constexpr (K::kRadix == 32)
        return nullptr;
    else
        return &RealTwiddle<K, true>;
}

// G = 2 leaf DFTs A and B of a transform of length 2R (contiguous): load p
// holds inputs 4p ... 4p+3, that is inputs 2p and 2p+1 of A and of B, in the
// lanes (A, B, A, B); output k of A goes to out[k], of B to out[R + k]. Two
// consecutive outputs are stored together.
typedef double Vec2 __attribute__((vector_size(2 * sizeof(double))));
ENGINE_INLINE Vec2 Low(Vec v) { return __builtin_shufflevector(v, v, 0, 1); }
ENGINE_INLINE Vec2 High(Vec v) { return __builtin_shufflevector(v, v, 2, 3); }

// How a group of G leaves is loaded and stored: the vector of a load (Value),
// the half of it that holds one output of every leaf (Half), and Put, which
// stores outputs k-G+1 ... k of every leaf (to p + t*R) from those outputs.
template <int R, int G>
struct LeafGroup;

template <int R>
struct LeafGroup<R, 2> {
    using Value = Vec;
    using Half = Vec2;
    ENGINE_INLINE static Vec Load(const double* p) { return LoadVec(p); }
    ENGINE_INLINE static void Put(double* p, const Vec2 (&held)[1], Vec2 at) {
        const Vec2 a = __builtin_shufflevector(held[0], at, 0, 2);
        const Vec2 b = __builtin_shufflevector(held[0], at, 1, 3);
        std::memcpy(p, &a, sizeof a);
        std::memcpy(p + R, &b, sizeof b);
    }
};

#ifdef ENGINE_EIGHT_LANES
// G = 4 leaf DFTs A ... D of a transform of length 4R: load p holds inputs
// 8p ... 8p+7, inputs 2p and 2p+1 of each, in the lanes (A, B, C, D, A, B, C,
// D); output k of DFT t goes to out[t*R + k], four consecutive outputs at a time.
ENGINE_INLINE Vec Low(Vec8 v) { return __builtin_shufflevector(v, v, 0, 1, 2, 3); }
ENGINE_INLINE Vec High(Vec8 v) { return __builtin_shufflevector(v, v, 4, 5, 6, 7); }

template <int R>
struct LeafGroup<R, 4> {
    using Value = Vec8;
    using Half = Vec;
    ENGINE_INLINE static Vec8 Load(const double* p) { return LoadVec8(p); }
    ENGINE_INLINE static void Put(double* p, const Vec (&held)[3], Vec at) {
        const Vec t0 = __builtin_shufflevector(held[0], held[1], 0, 4, 2, 6);
        const Vec t1 = __builtin_shufflevector(held[0], held[1], 1, 5, 3, 7);
        const Vec t2 = __builtin_shufflevector(held[2], at, 0, 4, 2, 6);
        const Vec t3 = __builtin_shufflevector(held[2], at, 1, 5, 3, 7);
        StoreVec(p, __builtin_shufflevector(t0, t2, 0, 1, 4, 5));
        StoreVec(p + R, __builtin_shufflevector(t1, t3, 0, 1, 4, 5));
        StoreVec(p + 2 * R, __builtin_shufflevector(t0, t2, 2, 3, 6, 7));
        StoreVec(p + 3 * R, __builtin_shufflevector(t1, t3, 2, 3, 6, 7));
    }
};
#endif

// The complex leaves of a group: outputs held until G of them are there.
template <int R, int G>
struct LeafGroupIO {
    using Group = LeafGroup<R, G>;
    using Value = typename Group::Value;
    using Half = typename Group::Half;
    const double* re;
    const double* im;
    double* outRe;
    double* outIm;
    Half heldRe[G - 1] = {}, heldIm[G - 1] = {};

    ENGINE_INLINE Pair<Value> Load(int p) const {
        return {Group::Load(re + 2 * G * p), Group::Load(im + 2 * G * p)};
    }
    ENGINE_INLINE void Store(int k, Half r, Half i) {
        if (k % G != G - 1) {
            heldRe[k % G] = r;
            heldIm[k % G] = i;
            return;
        }
        Group::Put(outRe + k - (G - 1), heldRe, r);
        Group::Put(outIm + k - (G - 1), heldIm, i);
    }
};

// The real leaves of a pair.
template <int R>
struct RealPairLeafIO {
    using Group = LeafGroup<R, 2>;
    using Value = Vec;
    using Half = Vec2;
    const double* x;
    double* out;
    Vec2 held[1] = {};

    ENGINE_INLINE Vec Load(int p) const { return LoadVec(x + 4 * p); }
    ENGINE_INLINE void Store(int k, Vec2 v) {
        if (k % 2 == 0)
            held[0] = v;
        else
            Group::Put(out + k - 1, held, v);
    }
};

#ifdef ENGINE_EIGHT_LANES
template <class K>
void ComplexQuadLeaf(const double* inRe, const double* inIm, double* outRe, double* outIm) {
    LeafGroupIO<K::kRadix, 4> io{inRe, inIm, outRe, outIm};
    K::Pair(io);
}
#endif

template <class K>
void ComplexPairLeaf(const double* inRe, const double* inIm, double* outRe, double* outIm) {
    LeafGroupIO<K::kRadix, 2> io{inRe, inIm, outRe, outIm};
    K::Pair(io);
}

template <class K>
void RealPairLeaf(const double* in, double* out) {
    RealPairLeafIO<K::kRadix> io{in, out};
    K::RealPair(io);
}

template <class K>
constexpr KernelEntry MakeKernelEntry() {
    KernelEntry entry{&ComplexLeaf<K>,
                      &ComplexTwiddle<K>,
                      &RealLeaf<K>,
                      &RealTwiddle<K>,
                      HartleyPassOf<K>(),
                      nullptr,
                      nullptr,
                      nullptr};
    if constexpr (requires(LeafGroupIO<K::kRadix, 2> & io) { K::Pair(io); }) {
        entry.complexPairLeaf = &ComplexPairLeaf<K>;
        entry.realPairLeaf = &RealPairLeaf<K>;
#ifdef ENGINE_EIGHT_LANES
        entry.complexQuadLeaf = &ComplexQuadLeaf<K>;
#endif
    }
    return entry;
}

}  // namespace
}  // namespace ENGINE_ISA_NS
}  // namespace engine
