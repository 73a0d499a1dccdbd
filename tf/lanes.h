#pragma once
// Transforms of many sequences at once, one in each lane of a vector of W
// doubles (4 or 8): element k of the sequences holds their real parts in one
// vector and their imaginary parts in the next. No lane ever meets another,
// so that the results do not depend on W. Only for code built with
// -Wno-psabi: the vectors never cross a call that is not inlined.

#include <cstdint>
#include <cstring>

#include "distribution.h"

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
inline int32_t BinPlace(int32_t m, int32_t n) {
    if (n < 4) return m;
    return m % 4 * (n / 4) + BinPlace(m / 4, n / 4);
}

}  // namespace tf
