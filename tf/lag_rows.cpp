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

namespace tf {
namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr int32_t kPairOffset = 8;  // row b of pair i is row a + 8

// v[i] lane j becomes v[j] lane i.
[[gnu::always_inline]] inline void TransposeLanes(Quad* v) {
    const Quad t0 = __builtin_shufflevector(v[0], v[1], 0, 4, 2, 6);
    const Quad t1 = __builtin_shufflevector(v[0], v[1], 1, 5, 3, 7);
    const Quad t2 = __builtin_shufflevector(v[2], v[3], 0, 4, 2, 6);
    const Quad t3 = __builtin_shufflevector(v[2], v[3], 1, 5, 3, 7);
    v[0] = __builtin_shufflevector(t0, t2, 0, 1, 4, 5);
    v[1] = __builtin_shufflevector(t1, t3, 0, 1, 4, 5);
    v[2] = __builtin_shufflevector(t0, t2, 2, 3, 6, 7);
    v[3] = __builtin_shufflevector(t1, t3, 2, 3, 6, 7);
}
[[gnu::always_inline]] inline void TransposeLanes(Oct* v) {
    Oct t[8], u[8];
    for (int i = 0; i < 8; i += 2) {
        t[i] = __builtin_shufflevector(v[i], v[i + 1], 0, 8, 2, 10, 4, 12, 6, 14);
        t[i + 1] = __builtin_shufflevector(v[i], v[i + 1], 1, 9, 3, 11, 5, 13, 7, 15);
    }
    for (int i = 0; i < 8; i += 4) {
        for (int j = 0; j < 2; ++j) {
            u[i + j] = __builtin_shufflevector(t[i + j], t[i + j + 2], 0, 1, 8, 9, 4, 5, 12, 13);
            u[i + j + 2] =
                __builtin_shufflevector(t[i + j], t[i + j + 2], 2, 3, 10, 11, 6, 7, 14, 15);
        }
    }
    for (int j = 0; j < 4; ++j) {
        v[j] = __builtin_shufflevector(u[j], u[j + 4], 0, 1, 2, 3, 8, 9, 10, 11);
        v[j + 4] = __builtin_shufflevector(u[j], u[j + 4], 4, 5, 6, 7, 12, 13, 14, 15);
    }
}

template <int W>
struct Lanes {
    using V = LaneVector<W>;
    static constexpr int kWidth = W;

    [[gnu::always_inline]] static V Load(const double* p) {
        V v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
    [[gnu::always_inline]] static void Store(double* p, V v) { std::memcpy(p, &v, sizeof v); }

    // Element k of the lane sequences: real parts at 2W·k, imaginary parts after them.
    [[gnu::always_inline]] static V Re(const double* z, int64_t k) { return Load(z + 2 * W * k); }
    [[gnu::always_inline]] static V Im(const double* z, int64_t k) {
        return Load(z + 2 * W * k + W);
    }
    [[gnu::always_inline]] static void Put(double* z, int64_t k, V re, V im) {
        Store(z + 2 * W * k, re);
        Store(z + 2 * W * k + W, im);
    }

    // v[i] lane j becomes v[j] lane i.
    [[gnu::always_inline]] static void Transpose(V* v) { TransposeLanes(v); }

    struct Complex {
        V re, im;
    };

    // One radix-4 butterfly of a stage of length n (n4 = n/4) at column p of the
    // block at x, its inputs a, b, c, d (elements p, p + n4, p + 2·n4, p + 3·n4),
    // its outputs back to those elements; quarter q is turned by e^(−2πi·q·p/n),
    // the twiddle at q·p·s (s = L/n).
    [[gnu::always_inline]] static void Butterfly(double* x, int32_t p, int32_t n4, int32_t s,
                                                 Complex a, Complex b, Complex c, Complex d,
                                                 const double* cosine, const double* sine) {
        const V apcR = a.re + c.re, apcI = a.im + c.im, amcR = a.re - c.re, amcI = a.im - c.im;
        const V bpdR = b.re + d.re, bpdI = b.im + d.im, bmdR = b.re - d.re, bmdI = b.im - d.im;
        Put(x, p, apcR + bpdR, apcI + bpdI);
        // (a − c) − i·(b − d), (a + c) − (b + d) and (a − c) + i·(b − d)
        const V outR[3] = {amcR + bmdI, apcR - bpdR, amcR - bmdI};
        const V outI[3] = {amcI - bmdR, apcI - bpdI, amcI + bmdR};
        for (int q = 1; q <= 3; ++q) {
            const int64_t at = p + int64_t{q} * n4;
            if (p == 0) {
                Put(x, at, outR[q - 1], outI[q - 1]);
                continue;
            }
            const int64_t j = int64_t{q} * p * s;
            const double cs = cosine[j], sn = sine[j];
            Put(x, at, outR[q - 1] * cs - outI[q - 1] * sn, outR[q - 1] * sn + outI[q - 1] * cs);
        }
    }

    // The first stage of Dft (length L, one block) on the sequence Z given
    // by its ends, Z[0] and Z[L/2], and its pairs, pair(k) = {Z[k], Z[L−k]}
    // for 0 < k < L/2, straight from where the pairs are made.
    template <class Pair>
    [[gnu::always_inline]] static void FirstStage(double* z, int32_t L, Complex zero,
                                                  Complex middle, const Pair& pair,
                                                  const double* cosine, const double* sine) {
        const int32_t n4 = L / 4, n8 = L / 8;
        const auto quarter = pair(n4);  // Z[L/4], Z[3L/4]
        Butterfly(z, 0, n4, 1, zero, quarter[0], middle, quarter[1], cosine, sine);
        // Butterflies p and L/4 − p read the same four pairs.
        for (int32_t p = 1; p < n8; ++p) {
            const auto k1 = pair(p), k2 = pair(n4 - p), k3 = pair(n4 + p), k4 = pair(2 * n4 - p);
            Butterfly(z, p, n4, 1, k1[0], k3[0], k4[1], k2[1], cosine, sine);
            Butterfly(z, n4 - p, n4, 1, k2[0], k4[0], k3[1], k1[1], cosine, sine);
        }
        const auto k1 = pair(n8), k3 = pair(3 * n8);  // Z[L/8], Z[7L/8]; Z[3L/8], Z[5L/8]
        Butterfly(z, n8, n4, 1, k1[0], k3[0], k3[1], k1[1], cosine, sine);
    }

    // The forward DFT of the L lane sequences at z in place, from the stage
    // of length n on: radix-4 stages by decimation in frequency, a radix-2 one
    // last where L is not a power of four. Bin m is left at element order[m].
    [[gnu::always_inline]] static void Dft(double* z, int32_t L, int32_t n, const double* cosine,
                                           const double* sine) {
        int32_t s = L / n;  // s blocks of n elements
        for (; n >= 4; n /= 4, s *= 4) {
            const int32_t n4 = n / 4;
            for (int32_t block = 0; block < s; ++block) {
                double* x = z + 2 * W * int64_t{block} * n;
                for (int32_t p = 0; p < n4; ++p)
                    Butterfly(x, p, n4, s, {Re(x, p), Im(x, p)}, {Re(x, p + n4), Im(x, p + n4)},
                              {Re(x, p + 2 * n4), Im(x, p + 2 * n4)},
                              {Re(x, p + 3 * n4), Im(x, p + 3 * n4)}, cosine, sine);
            }
        }
        if (n == 2) {
            for (int32_t block = 0; block < s; ++block) {
                double* x = z + 4 * W * int64_t{block};
                const V ar = Re(x, 0), ai = Im(x, 0), br = Re(x, 1), bi = Im(x, 1);
                Put(x, 0, ar + br, ai + bi);
                Put(x, 1, ar - br, ai - bi);
            }
        }
    }
};

// Where the in-place transform of length n leaves bin m: quarter m mod 4 of
// the block holds the bins of that residue, in the order of length n/4.
int32_t BinPlace(int32_t m, int32_t n) {
    if (n < 4) return m;
    return m % 4 * (n / 4) + BinPlace(m / 4, n / 4);
}

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

int32_t LagRows::Prepare(int32_t L) {
    L_ = L;
    // the lane sequences (2·8 doubles per element) and the twiddles
    memory_ = ScratchArray<double>(int64_t{L} * (16 + 2));
    lagAt_ = ScratchArray<int64_t>(2 * int64_t{L});
    order_ = ScratchArray<int32_t>(L);
    if (!memory_ || !lagAt_ || !order_) return status::kNoMemory;
    double* cosine = Cosine();
    double* sine = cosine + L;
    for (int32_t j = 0; j < L; ++j) {
        const double theta = kTwoPi * j / L;
        cosine[j] = std::cos(theta);
        sine[j] = -std::sin(theta);
        order_[j] = BinPlace(j, L);
    }
    return status::kOk;
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
        FoldComplexLags<X>(Sequences(), L_, Cosine(), [&](int32_t k, int64_t row) {
            return C{X::Load(re + k * stride + row), X::Load(im + k * stride + row)};
        });
        Finish<X>(F, out + (r0 + half) * int64_t{F}, F);
    });
}

void LagRows::FromRealLags(const double* k, int64_t stride, int64_t r0, double* out, int32_t F) {
    ForLaneGroups([&](auto lanes, int32_t half) __attribute__((always_inline)) {
        using X = decltype(lanes);
        const double* lags = k + r0 + half;
        FoldRealLags<X>(Sequences(), L_, Cosine(), [&](int32_t tau, int64_t row) {
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
        FoldComplexLags<X>(Sequences(), L_, Cosine(), [&](int32_t k, int64_t row) {
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
        FoldRealLags<X>(Sequences(), L_, Cosine(), [&](int32_t k, int64_t row) {
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
    const double* cosine = Cosine();
    X::Dft(z, L_, L_ / 4, cosine, cosine + L_);  // the first stage is the fold's
    const double scale = 1.0 / L_;
    const int32_t* order = order_.get();
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
        for (int32_t p = 0; p < d; ++p) {
            double* __restrict__ phase = to + p * length_;
            const double* __restrict__ source = from + p;
            for (int64_t j = 0; j < whole; ++j) phase[j] = source[j * d];
            for (int64_t j = whole; j < length_; ++j)
                phase[j] = j * d + p < Ny ? source[j * d] : 0.0;
        }
    }
    return status::kOk;
}

}  // namespace tf
