#pragma once
// Transforms of many sequences at once, one in each lane of a vector of W
// doubles (4 or 8): element k of the sequences holds their real parts in one
// vector and their imaginary parts in the next. No lane ever meets another,
// so that the results do not depend on W. Only for code built with
// -Wno-psabi: the vectors never cross a call that is not inlined.

#include <cstdint>
#include <cstring>

#include "distribution.h"
#include "transpose8.h"

namespace tf {

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
[[gnu::always_inline]] inline void TransposeLanes(Oct* v) { engine::Transpose8(v); }

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
    // The lanes in the opposite order.
    [[gnu::always_inline]] static V Reverse(V v) {
        if constexpr (W == 4)
            return __builtin_shufflevector(v, v, 3, 2, 1, 0);
        else
            return __builtin_shufflevector(v, v, 7, 6, 5, 4, 3, 2, 1, 0);
    }

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

    // One radix-8 butterfly of a stage of length n (n8 = n/8) at column p of
    // the block at x, in place on elements p + t·n8: their 8-point DFT (two
    // 4-point ones over the even and the odd inputs), output q turned by
    // e^(−2πi·q·p/n), the twiddle at q·p·s (s = L/n).
    [[gnu::always_inline]] static void Butterfly8(double* x, int32_t p, int32_t n8, int32_t s,
                                                  const double* cosine, const double* sine) {
        constexpr double kHalfRoot2 = 0.70710678118654752;
        V xr[8], xi[8];
        for (int t = 0; t < 8; ++t) {
            xr[t] = Re(x, p + int64_t{t} * n8);
            xi[t] = Im(x, p + int64_t{t} * n8);
        }
        // E = DFT4(x0, x2, x4, x6), O = DFT4(x1, x3, x5, x7)
        const auto dft4 = [](const V* r, const V* i, int first, V* outR, V* outI) {
            const V apcR = r[first] + r[first + 4], apcI = i[first] + i[first + 4];
            const V amcR = r[first] - r[first + 4], amcI = i[first] - i[first + 4];
            const V bpdR = r[first + 2] + r[first + 6], bpdI = i[first + 2] + i[first + 6];
            const V bmdR = r[first + 2] - r[first + 6], bmdI = i[first + 2] - i[first + 6];
            outR[0] = apcR + bpdR, outI[0] = apcI + bpdI;
            outR[1] = amcR + bmdI, outI[1] = amcI - bmdR;
            outR[2] = apcR - bpdR, outI[2] = apcI - bpdI;
            outR[3] = amcR - bmdI, outI[3] = amcI + bmdR;
        };
        V er[4], ei[4], orr[4], oi[4];
        dft4(xr, xi, 0, er, ei);
        dft4(xr, xi, 1, orr, oi);
        // O_k turned by e^(−iπk/4): by (1 − i)/√2, −i and −(1 + i)/√2.
        const V o1r = (orr[1] + oi[1]) * kHalfRoot2, o1i = (oi[1] - orr[1]) * kHalfRoot2;
        const V o2r = oi[2], o2i = -orr[2];
        const V o3r = (oi[3] - orr[3]) * kHalfRoot2, o3i = -(orr[3] + oi[3]) * kHalfRoot2;
        const V outR[8] = {er[0] + orr[0], er[1] + o1r, er[2] + o2r, er[3] + o3r,
                           er[0] - orr[0], er[1] - o1r, er[2] - o2r, er[3] - o3r};
        const V outI[8] = {ei[0] + oi[0], ei[1] + o1i, ei[2] + o2i, ei[3] + o3i,
                           ei[0] - oi[0], ei[1] - o1i, ei[2] - o2i, ei[3] - o3i};
        Put(x, p, outR[0], outI[0]);
        for (int q = 1; q < 8; ++q) {
            const int64_t at = p + int64_t{q} * n8;
            if (p == 0) {
                Put(x, at, outR[q], outI[q]);
                continue;
            }
            const int64_t j = int64_t{q} * p * s;
            const double cs = cosine[j], sn = sine[j];
            Put(x, at, outR[q] * cs - outI[q] * sn, outR[q] * sn + outI[q] * cs);
        }
    }

    // The forward DFT of the L lane sequences at z in place, from the stage
    // of length n on: radix-8 stages by decimation in frequency, then a
    // radix-4 or radix-2 one where n is not a power of eight. Bin m is left
    // at element order[m] (see BinPlace).
    [[gnu::always_inline]] static void Dft(double* z, int32_t L, int32_t n, const double* cosine,
                                           const double* sine) {
        int32_t s = L / n;  // s blocks of n elements
        for (; n >= 8; n /= 8, s *= 8) {
            const int32_t n8 = n / 8;
            for (int32_t block = 0; block < s; ++block) {
                double* x = z + 2 * W * int64_t{block} * n;
                for (int32_t p = 0; p < n8; ++p) Butterfly8(x, p, n8, s, cosine, sine);
            }
        }
        if (n == 4) {
            for (int32_t block = 0; block < s; ++block) {
                double* x = z + 8 * W * int64_t{block};
                Butterfly(x, 0, 1, s, {Re(x, 0), Im(x, 0)}, {Re(x, 1), Im(x, 1)},
                          {Re(x, 2), Im(x, 2)}, {Re(x, 3), Im(x, 3)}, cosine, sine);
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

// Where the in-place transform leaves bin m of a block of length n whose
// stages from here on have radix 8 (radix 4 with `quarters`): part m mod r
// of the block holds the bins of that residue, in the order of length n/r.
inline int32_t BinPlace(int32_t m, int32_t n, bool quarters) {
    const int32_t r = quarters ? 4 : 8;
    if (n < r) return m;
    return m % r * (n / r) + BinPlace(m / r, n / r, false);
}

}  // namespace tf
