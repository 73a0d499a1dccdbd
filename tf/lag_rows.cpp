// The lag-to-frequency transform of sixteen output rows at once. Each row's
// folded lags E (Hermitian along the lag, so that its transform is real) go
// two rows to a complex sequence, Z = E_a + i·E_b, whose forward DFT is
// L·(W_a + i·W_b): rows a = r0 + i and b = r0 + 8 + i (i = 0 … 7) make pair i.
// The pairs lie side by side in the lanes of vectors of W doubles (all eight,
// or four and then the other four), so that every butterfly works on W pairs
// at once and no lane ever meets another: the results do not depend on W.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "distribution.h"
#include "lanes.h"

namespace tf {
namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr int32_t kPairOffset = 8;  // row b of pair i is row a + 8

// Runs body(Lanes<W>{}, half) for the pairs half … half + W − 1 of a batch,
// half = 0, W, … below 8, with W as RunLanes chooses it.
template <class Body>
[[gnu::always_inline]] inline void ForLaneGroups(const Body& body) {
    RunLanes([&](auto width) __attribute__((always_inline)) {
        constexpr int W = decltype(width)::value;
        for (int32_t half = 0; half < kPairOffset; half += W) body(Lanes<W>{}, half);
    });
}

}  // namespace

int32_t LaneDftTables::Prepare(int32_t n) {
    n_ = n;
    twiddles_ = ScratchArray<double>(2 * int64_t{n});
    order_ = ScratchArray<int32_t>(n);
    if (!twiddles_ || !order_) return status::kNoMemory;
    for (int32_t j = 0; j < n; ++j) {
        const double theta = kTwoPi * j / n;
        twiddles_[j] = std::cos(theta);
        twiddles_[n + j] = -std::sin(theta);
        order_[j] = BinPlace(j, n, true);  // a radix-4 stage first
    }
    return status::kOk;
}

int32_t LagRows::Prepare(int32_t L) {
    L_ = L;
    memory_ = ScratchArray<double>(int64_t{L} * 16);  // the lane sequences, 2·8 doubles each
    lagAt_ = ScratchArray<int64_t>(2 * int64_t{L});
    if (!memory_ || !lagAt_) return status::kNoMemory;
    return tables_.Prepare(L);
}

void LagRows::Index(const RowPhases& y) {
    for (int32_t k = 0; k < L_; ++k) {
        lagAt_[2 * k] = y.Ahead(k);
        lagAt_[2 * k + 1] = y.Behind(k);
    }
}

namespace {

// The lane sequences Z = E_a + i·E_b of complex lags K(k, row) (row 0 for
// rows a, kPairOffset for rows b), E[k] = K[k] + conj K[L−k], E[0] = K[0],
// E[L/2] = 2·Re K[L/2], through the first stage of their transform (the
// twiddles' cosines at cosine, their sines after them).
template <class X, class Lag>
[[gnu::always_inline]] inline void FoldComplexLags(double* z, int32_t L, const double* cosine,
                                                   const Lag& K) {
    using V = typename X::V;
    using C = typename X::Complex;
    const auto pair = [&](int32_t k) __attribute__((always_inline)) {
        const int32_t j = L - k;
        const auto ak = K(k, 0), aj = K(j, 0);
        const auto bk = K(k, kPairOffset), bj = K(j, kPairOffset);
        // E[k] = p + i·q for row a, s + i·t for row b
        const V p = ak.re + aj.re, q = ak.im - aj.im;
        const V s = bk.re + bj.re, t = bk.im - bj.im;
        return std::array<C, 2>{C{p - t, q + s}, C{p + t, s - q}};
    };
    X::FirstStage(z, L, C{K(0, 0).re, K(0, kPairOffset).re},
                  C{2 * K(L / 2, 0).re, 2 * K(L / 2, kPairOffset).re}, pair, cosine, cosine + L);
}

// The same for real lags: E[k] = K[k] + K[L−k], real and even.
template <class X, class Lag>
[[gnu::always_inline]] inline void FoldRealLags(double* z, int32_t L, const double* cosine,
                                                const Lag& K) {
    using V = typename X::V;
    using C = typename X::Complex;
    const auto pair = [&](int32_t k) __attribute__((always_inline)) {
        const V ea = K(k, 0) + K(L - k, 0), eb = K(k, kPairOffset) + K(L - k, kPairOffset);
        return std::array<C, 2>{C{ea, eb}, C{ea, eb}};
    };
    X::FirstStage(z, L, C{K(0, 0), K(0, kPairOffset)},
                  C{2 * K(L / 2, 0), 2 * K(L / 2, kPairOffset)}, pair, cosine, cosine + L);
}

}  // namespace

void LagRows::FromComplexLags(const double* kRe, const double* kIm, int64_t stride, int64_t r0,
                              double* out, int32_t F) {
    ForLaneGroups([&](auto lanes, int32_t half) __attribute__((always_inline)) {
        using X = decltype(lanes);
        using C = typename X::Complex;
        const double* re = kRe + r0 + half;
        const double* im = kIm + r0 + half;
        FoldComplexLags<X>(Sequences(), L_, tables_.Cosine(), [&](int32_t k, int64_t row) {
            return C{X::Load(re + k * stride + row), X::Load(im + k * stride + row)};
        });
        Finish<X>(F, out + (r0 + half) * int64_t{F}, F);
    });
}

void LagRows::FromRealLags(const double* k, int64_t stride, int64_t r0, double* out, int32_t F) {
    ForLaneGroups([&](auto lanes, int32_t half) __attribute__((always_inline)) {
        using X = decltype(lanes);
        const double* lags = k + r0 + half;
        FoldRealLags<X>(Sequences(), L_, tables_.Cosine(), [&](int32_t tau, int64_t row) {
            return X::Load(lags + tau * stride + row);
        });
        Finish<X>(F, out + (r0 + half) * int64_t{F}, F);
    });
}

void LagRows::ComplexProducts(const RowPhases& y, int64_t r0, double* out, int32_t F) {
    ForLaneGroups([&](auto lanes, int32_t half) __attribute__((always_inline)) {
        using X = decltype(lanes);
        using V = typename X::V;
        // K[k] = y[c+k]·conj(y[c−k]) of rows r0 + half + lane and 8 rows later.
        const double* re = y.Re() + r0 + half;
        const double* im = y.Im() + r0 + half;
        const int64_t* at = lagAt_.get();
        FoldComplexLags<X>(Sequences(), L_, tables_.Cosine(), [&](int32_t k, int64_t row) {
            const int64_t plus = at[2 * k] + row, minus = at[2 * k + 1] + row;
            const V pr = X::Load(re + plus), pi = X::Load(im + plus);
            const V mr = X::Load(re + minus), mi = X::Load(im + minus);
            return typename X::Complex{pr * mr + mi * pi, mr * pi - pr * mi};
        });
        Finish<X>(F, out + (r0 + half) * int64_t{F}, F);
    });
}

void LagRows::RealProducts(const RowPhases& y, int64_t r0, double* out, int32_t F) {
    ForLaneGroups([&](auto lanes, int32_t half) __attribute__((always_inline)) {
        using X = decltype(lanes);
        const double* re = y.Re() + r0 + half;
        const int64_t* at = lagAt_.get();
        FoldRealLags<X>(Sequences(), L_, tables_.Cosine(), [&](int32_t k, int64_t row) {
            return X::Load(re + at[2 * k] + row) * X::Load(re + at[2 * k + 1] + row);
        });
        Finish<X>(F, out + (r0 + half) * int64_t{F}, F);
    });
}

// The transform of the sequences, scaled by 1/L (a power of two: exact), its
// first F bins to rows a at out, out + stride, … and rows b eight rows later.
template <class X>
[[gnu::always_inline]] inline void LagRows::Finish(int32_t F, double* out, int64_t stride) {
    using V = typename X::V;
    constexpr int W = X::kWidth;
    double* z = Sequences();
    X::Dft(z, L_, L_ / 4, tables_.Cosine(), tables_.Sine());  // the first stage is the fold's
    const double scale = 1.0 / L_;
    const int32_t* order = tables_.Order();
    for (int32_t m = 0; m < F; m += W) {
        V re[W], im[W];
        for (int i = 0; i < W; ++i) {
            re[i] = X::Re(z, order[m + i]) * scale;
            im[i] = X::Im(z, order[m + i]) * scale;
        }
        X::Transpose(re);
        X::Transpose(im);
        for (int i = 0; i < W; ++i) {
            X::Store(out + i * stride + m, re[i]);
            X::Store(out + (kPairOffset + i) * stride + m, im[i]);
        }
    }
}

int32_t RowPhases::Split(const double* yRe, const double* yIm, int32_t Ny, int32_t d) {
    d_ = d;
    // Each phase takes an odd number of cache lines, so that the phases' same
    // elements, which the products read together, fall into different sets.
    const int64_t lines = ((int64_t{Ny} + d - 1) / d + 7) / 8;
    length_ = 8 * (lines % 2 == 0 ? lines + 1 : lines);
    const int32_t channels = yIm ? 2 : 1;
    split_ = ScratchArray<double>(int64_t{channels} * d * length_);
    if (!split_) return status::kNoMemory;
    im_ = yIm ? split_.get() + int64_t{d} * length_ : nullptr;
    for (int32_t c = 0; c < channels; ++c) {
        const double* from = c == 0 ? yRe : yIm;
        double* to = c == 0 ? split_.get() : im_;
        const int64_t whole = Ny / d;  // elements j with all d phases inside the signal
        int64_t done = 0;
        if (d % 4 == 0) {
            // Four elements of four phases at a time: a 4 × 4 block of the
            // signal read as rows j and written, turned, as rows p.
            done = whole / 4 * 4;
            RunVectorised([&]() __attribute__((always_inline)) {
                for (int64_t j = 0; j < done; j += 4) {
                    for (int32_t p = 0; p < d; p += 4) {
                        Quad v[4];
                        for (int i = 0; i < 4; ++i) v[i] = Load4(from + (j + i) * d + p);
                        TransposeLanes(v);
                        for (int i = 0; i < 4; ++i) Store4(to + (p + i) * length_ + j, v[i]);
                    }
                }
            });
        }
        for (int32_t p = 0; p < d; ++p) {
            double* __restrict__ phase = to + p * length_;
            const double* __restrict__ source = from + p;
            for (int64_t j = done; j < whole; ++j) phase[j] = source[j * d];
            for (int64_t j = whole; j < length_; ++j)
                phase[j] = j * d + p < Ny ? source[j * d] : 0.0;
        }
    }
    return status::kOk;
}

}  // namespace tf
