// Cohen-class distributions: the Wigner-Ville computation with the local
// autocorrelation smoothed along time by a Doppler-lag kernel; the generic
// kernel, the Choi-Williams and the cone-shaped one.

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <tuple>
#include <utility>

#include "distribution.h"
#include "lanes.h"

namespace tf {
namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kTwoPi = 6.283185307179586;
// e^x rounds to +0 below this (e^−746 is under half the smallest subnormal), so
// the heavily smoothed corners of a kernel need no exponential.
constexpr double kExpUnderflow = -746.0;

// 64-bit integers as many as the doubles of V, to work on their bits.
template <class V>
struct BitsOf {
    typedef int64_t type __attribute__((vector_size(sizeof(V))));
};

// e^x for the x <= 0 of a vector at once, within an ulp, +0 below kExpUnderflow and NaN
// for NaN. x = k·ln 2 + r with |r| <= ln 2 / 2 (ln 2 in two parts, so that
// k·ln 2 loses nothing), e^r by its Taylor series to r^13, whose remainder is
// below 1e-17, and 2^k as two normal factors, so that a result below the
// normal range is rounded once. The series is summed as 1 + (r + r²·b), b by
// Estrin's scheme: short chains of dependent operations, so that the vectors
// of a row overlap, and the 1 added last, which keeps the error under 0.8 of
// an ulp. Only exact operations and the same roundings in every build: the
// results do not depend on the processor.
template <class V>
[[gnu::always_inline]] inline V ExpNonPositive(V x) {
    using Bits = typename BitsOf<V>::type;
    constexpr double kLog2E = 1.4426950408889634;
    constexpr double kLn2High = 0x1.62e42fee00000p-1;  // 32 bits: k·kLn2High is exact
    constexpr double kLn2Low = 0x1.a39ef35793c76p-33;
    constexpr double kShifter = 0x1.8p52;  // adding it rounds to an integer, kept in the low bits
    constexpr int kDegree = 13;
    constexpr auto kTaylor = [] {  // 1/i!
        std::array<double, kDegree + 1> c{1.0};
        for (int i = 1; i <= kDegree; ++i) c[i] = c[i - 1] / i;
        return c;
    }();
    const V shifted = x * kLog2E + kShifter;
    const V k = shifted - kShifter;
    const V r = (x - k * kLn2High) - k * kLn2Low;
    static_assert(kDegree == 13, "b below has the terms of r^2 … r^13");
    const auto& c = kTaylor;
    const V r2 = r * r, r4 = r2 * r2, r8 = r4 * r4;
    const V a0 = c[2] + c[3] * r, a1 = c[4] + c[5] * r, a2 = c[6] + c[7] * r;
    const V a3 = c[8] + c[9] * r, a4 = c[10] + c[11] * r, a5 = c[12] + c[13] * r;
    const V b = ((a0 + a1 * r2) + (a2 + a3 * r2) * r4) + (a4 + a5 * r2) * r8;
    const V p = 1.0 + (r + r2 * b);
    V e;
#if TF_HAVE_AVX2
    if constexpr (sizeof(V) == sizeof(Oct)) {
        // Built for AVX-512 only: p·2^k in one instruction, rounded once.
        asm("vscalefpd %2, %1, %0" : "=v"(e) : "v"(p), "v"(k));
    } else
#endif
    {
        // 2^k as 2^h·2^(k−h) with h = ⌊k/2⌋ (k/2 − 1/4 rounds to it), both normal
        // for -1077 <= k <= 0; each exponent from the low bits of a shifted value.
        const V halfShifted = (k * 0.5 - 0.25) + kShifter;
        Bits kBits, hBits;
        std::memcpy(&kBits, &shifted, sizeof kBits);
        std::memcpy(&hBits, &halfShifted, sizeof hBits);
        const Bits rBits = kBits - hBits;  // k − h: the shifter's bits cancel
        hBits -= std::bit_cast<int64_t>(kShifter);
        hBits = (hBits + 1023) << 52;
        const Bits restBits = (rBits + 1023) << 52;
        V scaleHalf, scaleRest;
        std::memcpy(&scaleHalf, &hBits, sizeof scaleHalf);
        std::memcpy(&scaleRest, &restBits, sizeof scaleRest);
        e = p * scaleHalf * scaleRest;
    }
    Bits eBits;
    std::memcpy(&eBits, &e, sizeof eBits);
    eBits &= ~(x < kExpUnderflow);  // all ones where x underflows
    V result;
    std::memcpy(&result, &eBits, sizeof result);
    return result;
}

// A Choi-Williams row: columns j < end (end <= H/2 + 1), e^(scale·(ω0·(j − H/2))²),
// and their mirror images, column H − j repeating column j (1 <= j < H/2).
// Leading blocks that underflow whole need no exponential; the others go two
// vectors at a time, so that their exponentials overlap.
template <int W>
[[gnu::always_inline]] inline void ChoiWilliamsRow(double scale, double omega0, int32_t H,
                                                   int32_t end, double* row) {
    using L = Lanes<W>;
    using V = typename L::V;
    V lane = {};
    for (int l = 0; l < W; ++l) lane[l] = l;
    const int32_t half = H / 2;
    const auto exponent = [&](int32_t j) {
        const V w = omega0 * (lane + static_cast<double>(j - half));
        return scale * (w * w);
    };
    // Columns j … j + W − 1 that are below end, and their images.
    const auto put = [&](int32_t j, V e) {
        if (j >= 1 && j + W <= end) {  // the image of H/2 is itself
            L::Store(row + j, e);
            L::Store(row + (H - j - (W - 1)), L::Reverse(e));
            return;
        }
        for (int32_t c = j; c < j + W && c < end; ++c) {
            row[c] = e[c - j];
            if (c >= 1 && c < half) row[H - c] = e[c - j];
        }
    };
    // The leading blocks whose last column below end underflows: the exponent
    // falls as |j − H/2| grows, so that they are found by bisection, the
    // exponent of a column computed as in its lane.
    const auto underflows = [&](int32_t block) {
        const double w = omega0 * static_cast<double>(std::min(block * W + W, end) - 1 - half);
        return scale * (w * w) < kExpUnderflow;
    };
    int32_t below = 0, above = (end + W - 1) / W;
    while (below < above) {
        const int32_t middle = below + (above - below) / 2;
        if (underflows(middle))
            below = middle + 1;
        else
            above = middle;
    }
    int32_t j = 0;
    for (; j < below * W; j += W) put(j, V{});
    for (; j + 2 * W <= end; j += 2 * W) {
        const V a = ExpNonPositive(exponent(j)), b = ExpNonPositive(exponent(j + W));
        put(j, a);
        put(j + W, b);
    }
    for (; j < end; j += W) put(j, ExpNonPositive(exponent(j)));
}

// Column j = H/2 + 1 + k repeats column H/2 − 1 − k; column 0 stands alone.
void MirrorRow(double* row, int32_t H) {
    const int32_t count = (H - 1) / 2;
    if (count <= 0) return;
    RunVectorised([&]() __attribute__((always_inline)) {
        const double* __restrict__ from = row + (H / 2 - count);  // ascending: columns 0 … H/2−1
        double* __restrict__ to = row + (H / 2 + 1);
        for (int32_t k = 0; k < count; ++k) to[k] = from[count - 1 - k];
    });
}

// Bins q = from … to − 1 of a folded spectrum of n bins to u[(n − q) mod n],
// reversed (bin 0 in place): sums(q, lanes) gives the scaled sums of bin q
// (lanes 1: two doubles) or of bins q … q + W − 1 (lanes W: two vectors).
template <class L, class Sums>
[[gnu::always_inline]] inline void PutReversed(double* toRe, double* toIm, int32_t n, int32_t from,
                                               int32_t to, const Sums& sums) {
    constexpr int W = L::kWidth;
    const std::integral_constant<int, 1> one;
    const std::integral_constant<int, W> all;
    int32_t q = from;
    if (q == 0 && q < to) {
        std::tie(toRe[0], toIm[0]) = sums(0, one);
        ++q;
    }
    for (; q + W <= to; q += W) {
        const auto [sumRe, sumIm] = sums(q, all);
        L::Store(toRe + (n - q - (W - 1)), L::Reverse(sumRe));
        L::Store(toIm + (n - q - (W - 1)), L::Reverse(sumIm));
    }
    for (; q < to; ++q) std::tie(toRe[n - q], toIm[n - q]) = sums(q, one);
}

// One smoothing: T output instants, the time transform of NF points over the
// instants that have products, and its fold onto T2 = NF/S points. Its memory
// is taken before the kernel width is checked, so that exhausted memory comes first.
class Smoothing {
  public:
    // Doubles between the work blocks, so that the same element of each does
    // not fall in the same set of the first-level cache.
    static constexpr int64_t kBlockGap = 72;
    // Work arrays and both plans for the layout's lengths.
    int32_t Take(const DistributionLayout& l) {
        NF = l.NF;
        T2 = NF / l.S;
        work = ScratchArray<double>(4 * (int64_t{NF} + kBlockGap));
        if (!work) return status::kNoMemory;
        if (!full.Take(NF)) return status::kNoMemory;
        return folded.Take(T2) ? status::kOk : status::kNoMemory;
    }
    int32_t Check(int32_t Ny, int32_t lags, int32_t g, int32_t S, int32_t kernelRows, int32_t H) {
        if (!IsPowerOfTwo(S)) return status::kBadSmoothingStep;
        const int64_t n = Ny / g, instants = n / S;
        if (S * NextPowerOfTwo64(instants) != H || kernelRows < lags) return status::kBadKernelSize;
        T = static_cast<int32_t>(instants);
        count = static_cast<int32_t>(std::min<int64_t>(n, NF));  // instants k < NF only
        return status::kOk;
    }
    // Lag τ of the autocorrelation smoothed by kernel row phi: T values to
    // outRe, outIm (complex) or out (real).
    void CxKernelSmooth(const RowPhases& y, int32_t Ny, int32_t S, int32_t tau, const double* phi,
                        double* outRe, double* outIm);
    void ReKernelSmooth(const RowPhases& y, int32_t Ny, int32_t S, int32_t tau, const double* phi,
                        double* out);
    // ReKernelSmooth of lags τ and τ + 1 at once (kernel rows phiA and phiB,
    // `symmetric` when column H − j of each repeats column j), through one
    // complex transform each way.
    void PairKernelSmooth(const RowPhases& y, int32_t Ny, int32_t S, int32_t tau,
                          const double* phiA, const double* phiB, bool symmetric, double* outA,
                          double* outB);

  private:
    // The forward transform of the reversed, scaled bins in blocks 0 and 1 (the
    // inverse of the folded spectrum), its first T values to outRe and outIm.
    void Unfold(double* outRe, double* outIm) {
        if (T == T2) {
            engine::CxFftForward(folded.get(), Block(0), Block(1), outRe, outIm, 1, 1, T2);
            return;
        }
        engine::CxFftForward(folded.get(), Block(0), Block(1), Block(2), Block(3), 1, 1, T2);
        std::copy_n(Block(2), T, outRe);
        std::copy_n(Block(3), T, outIm);
    }
    double* Block(int32_t index) const { return work.get() + int64_t{index} * (NF + kBlockGap); }

    int32_t T = 0, T2 = 0, NF = 0, count = 0;
    scratch::Array<double> work;
    engine::PlanRef full, folded;
};

// The weighted, folded spectrum is written reversed and scaled by 1/NF (the
// mean over the S blocks and the inverse's 1/T2), u[(T2 − q) mod T2] for bin
// q, so that a forward transform gives the inverse transform of the bins.
void Smoothing::CxKernelSmooth(const RowPhases& y, int32_t Ny, int32_t S, int32_t tau,
                               const double* phi, double* outRe, double* outIm) {
    const int32_t half = NF / 2;
    double* uRe = Block(0);
    double* uIm = Block(1);
    double* aRe = Block(2);
    double* aIm = Block(3);
    CxLagProducts(y, Ny, tau, count, uRe, uIm);
    std::fill(uRe + count, uRe + NF, 0.0);
    std::fill(uIm + count, uIm + NF, 0.0);
    engine::CxFftForward(full.get(), uRe, uIm, aRe, aIm, 1, 1, NF);
    // Weighted by the kernel row and folded onto T2 bins (sampling every S-th
    // instant): u[q] = Σ_s A[s·T2 + q]·Φ[column of s·T2 + q], the sum over s in
    // order, bin p having the Doppler of column (p + NF/2) mod NF. With S >= 2
    // each block of T2 bins lies on one side of NF/2; with S = 1 the only one
    // is split there.
    RunLanes([&](auto width) __attribute__((always_inline)) {
        constexpr int W = decltype(width)::value;
        using L = Lanes<W>;
        // Locals, which the stores cannot change.
        const int32_t n = T2, blocks = S;
        const int64_t middle = half;
        const double scale = 1.0 / NF;
        double* const toRe = Block(0);
        double* const toIm = Block(1);
        const double* const re = Block(2);
        const double* const im = Block(3);
        const double* const w = phi;
        const auto weigh = [&](int32_t from, int32_t to, bool below)
            __attribute__((always_inline)) {
            PutReversed<L>(
                toRe, toIm, n, from, to, [&](int32_t q, auto lanes) __attribute__((always_inline)) {
                    const auto load = [](const double* p) __attribute__((always_inline)) {
                        if constexpr (decltype(lanes)::value == 1)
                            return *p;
                        else
                            return L::Load(p);
                    };
                    decltype(load(re)) sumRe{}, sumIm{};
                    for (int32_t s = 0; s < blocks; ++s) {
                        const int64_t at = int64_t{s} * n + q;
                        const bool lower = blocks == 1 ? below : 2 * s < blocks;
                        const auto weight = load(w + (at + (lower ? middle : -middle)));
                        const auto pr = load(re + at) * weight, pi = load(im + at) * weight;
                        sumRe = s == 0 ? pr : sumRe + pr;
                        sumIm = s == 0 ? pi : sumIm + pi;
                    }
                    return std::pair{sumRe * scale, sumIm * scale};
                });
        };
        if (blocks == 1) {
            weigh(0, n / 2, true);
            weigh(n / 2, n, false);
        } else {
            weigh(0, n, false);
        }
    });
    Unfold(outRe, outIm);
}

void Smoothing::ReKernelSmooth(const RowPhases& y, int32_t Ny, int32_t S, int32_t tau,
                               const double* phi, double* out) {
    const int32_t half = NF / 2;
    double* u = Block(0);
    double* a = Block(1);
    const double inverseS = 1.0 / S;
    ReLagProducts(y, Ny, tau, count, u);
    std::fill(u + count, u + NF, 0.0);
    engine::ReFftForward(full.get(), u, a, 1, 1, NF);
    // Both blocks through pointers of their own, so that the loops are vectorised.
    RunVectorised([&]() __attribute__((always_inline)) {
        double* __restrict__ const av = a;
        double* __restrict__ const uv = u;
        // A real autocorrelation has a symmetric spectrum: bins q and NF − q take
        // the mean of the kernel's two Doppler columns ±q.
        av[0] *= phi[half];
        const int32_t pairs = (NF + 1) / 2 - 1;  // q = 1 … pairs, as q = i + 1
        if (pairs > 0) {
            double* __restrict__ const low = av + 1;              // a[q]
            double* __restrict__ const high = av + (NF - pairs);  // a[NF − q] at pairs − q
            const double* const phiBelow = phi + (half - pairs);  // phi[half − q] at pairs − q
            const double* const phiAbove = phi + (half + 1);      // phi[half + q] at q − 1
            for (int32_t i = 0; i < pairs; ++i) {
                const double f = 0.5 * (phiBelow[pairs - 1 - i] + phiAbove[i]);
                low[i] *= f;
                high[pairs - 1 - i] *= f;
            }
        }
        if (NF % 2 == 0) av[half] *= phi[0];
        // The fold of the full spectrum onto T2 bins, straight into half-complex
        // form: u[q] = Σ_s Re A[s·T2 + q] for q <= T2/2, u[T2 − q] = Σ_s Im A[s·T2 + q]
        // for 1 <= q < T2/2, summed over s in order. Block s = 0 lies below NF/2;
        // in block s, bin p = s·T2 + q is stored at p below NF/2 (imaginary part at
        // NF − p) and as its conjugate at NF − p above.
        const int32_t reEnd = T2 / 2 + 1, imEnd = (T2 + 1) / 2;
        for (int32_t q = 0; q < reEnd; ++q) uv[q] = av[q];
        for (int32_t q = 1; q < imEnd; ++q) uv[T2 - q] = av[NF - q];
        for (int32_t s = 1; s < S; ++s) {
            const int64_t base = int64_t{s} * T2, below = half - base;  // 2p <= NF for q <= below
            const double* up = av + base;                               // a[p] = up[q]
            const double* down = av + (NF - base);                      // a[NF − p] = down[-q]
            const auto reSplit = static_cast<int32_t>(std::clamp<int64_t>(below + 1, 0, reEnd));
            for (int32_t q = 0; q < reSplit; ++q) uv[q] += up[q];
            for (int32_t q = reSplit; q < reEnd; ++q) uv[q] += down[-q];
            const auto imSplit = static_cast<int32_t>(std::clamp<int64_t>(below, 1, imEnd));
            for (int32_t q = 1; q < imSplit; ++q) uv[T2 - q] += down[-q];
            int32_t q = imSplit;
            if (q < imEnd && q == below) {  // bin NF/2: no imaginary part
                uv[T2 - q] += 0.0;
                ++q;
            }
            for (; q < imEnd; ++q) uv[T2 - q] += -up[q];
        }
        for (int32_t q = 0; q < T2; ++q) uv[q] *= inverseS;
    });
    if (T == T2) {
        engine::ReFftInverse(folded.get(), u, out, 1, 1, T2);
        return;
    }
    engine::ReFftInverse(folded.get(), u, a, 1, 1, T2);
    std::copy_n(a, T, out);
}

// Two real lags a and b go as z = a + i·b, whose spectrum Z = A + i·B holds
// both: A[p] = (Z[p] + conj Z[−p])/2, i·B[p] = (Z[p] − conj Z[−p])/2. Each
// is weighted by its own even kernel weight, f_a or f_b (the mean of the
// columns ±p), which turns Z[p] into ((f_a + f_b)/2)·Z[p] + ((f_a − f_b)/2)·
// conj Z[−p]; the fold onto T2 bins and the inverse then give the smoothed
// a + i·b.
void Smoothing::PairKernelSmooth(const RowPhases& y, int32_t Ny, int32_t S, int32_t tau,
                                 const double* phiA, const double* phiB, bool symmetric,
                                 double* outA, double* outB) {
    const int32_t half = NF / 2;
    double* uRe = Block(0);
    double* uIm = Block(1);
    double* aRe = Block(2);
    double* aIm = Block(3);
    ReLagProducts(y, Ny, tau, count, uRe);
    ReLagProducts(y, Ny, tau + 1, count, uIm);
    std::fill(uRe + count, uRe + NF, 0.0);
    std::fill(uIm + count, uIm + NF, 0.0);
    engine::CxFftForward(full.get(), uRe, uIm, aRe, aIm, 1, 1, NF);
    // Weighted bin p, c1·Z[p] + c2·conj Z[NF − p] with c1 = (f_a + f_b)/2 and
    // c2 = (f_a − f_b)/2, each f the mean of the columns (NF/2 ± p) mod NF; bins 0
    // and NF/2 are their own partners: f_a·Re Z + i·f_b·Im Z. Folded as in
    // CxKernelSmooth: u[(T2 − q) mod T2] = (1/NF)·Σ_s Z'[s·T2 + q], the sum over
    // s in order. With S >= 2 each block of T2 bins lies on one side of NF/2;
    // with S = 1 the only one is split there.
    RunLanes([&](auto width) __attribute__((always_inline)) {
        constexpr int W = decltype(width)::value;
        using L = Lanes<W>;
        // Locals, which the stores cannot change.
        const int32_t n = T2, blocks = S;
        const int64_t size = NF, middle = half;
        const double scale = 1.0 / NF;
        double* const toRe = Block(0);
        double* const toIm = Block(1);
        const double* const zr = Block(2);
        const double* const zi = Block(3);
        const double* const wa = phiA;
        const double* const wb = phiB;
        const auto mix = [](auto fa, auto fb, auto xr, auto xi, auto yr, auto yi)
            __attribute__((always_inline)) {
            const auto c1 = 0.5 * (fa + fb), c2 = 0.5 * (fa - fb);
            return std::pair{c1 * xr + c2 * yr, c1 * xi - c2 * yi};
        };
        const auto bin = [&](int64_t p) __attribute__((always_inline)) {
            if (p == 0 || 2 * p == size) {
                const int64_t column = (middle + p) % size;
                return std::pair{zr[p] * wa[column], zi[p] * wb[column]};
            }
            const int64_t q = std::min(p, size - p);
            const double fa = 0.5 * (wa[middle - q] + wa[middle + q]);
            const double fb = 0.5 * (wb[middle - q] + wb[middle + q]);
            return mix(fa, fb, zr[p], zi[p], zr[size - p], zi[size - p]);
        };
        // W bins p … p + W − 1 of one side of NF/2, neither 0 nor NF/2.
        // With `even` rows (column NF/2 − q repeating NF/2 + q) the mean of the
        // two columns is either of them, to the bit.
        const auto bins = [&](int64_t p, auto even) __attribute__((always_inline)) {
            const auto mirrored = [](const double* x) __attribute__((always_inline)) {
                return L::Reverse(L::Load(x - (W - 1)));
            };
            const bool below = p < middle;
            // Columns NF/2 − q (ascending p above NF/2) and NF/2 + q (below).
            const int64_t up = below ? middle + p : p - middle;
            const int64_t down = below ? middle - p : middle + size - p;
            typename L::V fa, fb;
            if constexpr (decltype(even)::value) {
                fa = L::Load(wa + up);
                fb = L::Load(wb + up);
            } else {
                fa = 0.5 * (mirrored(wa + down) + L::Load(wa + up));
                fb = 0.5 * (mirrored(wb + down) + L::Load(wb + up));
            }
            return mix(fa, fb, L::Load(zr + p), L::Load(zi + p), mirrored(zr + (size - p)),
                       mirrored(zi + (size - p)));
        };
        const auto sums = [&](int32_t k, auto weighted) __attribute__((always_inline)) {
            auto [sumRe, sumIm] = weighted(k);
            for (int32_t s = 1; s < blocks; ++s) {
                const auto [re, im] = weighted(int64_t{s} * n + k);
                sumRe = sumRe + re;
                sumIm = sumIm + im;
            }
            return std::pair{sumRe * scale, sumIm * scale};
        };
        // Bins 0 and NF/2 go one by one, so that no lane meets them.
        const auto fold = [&](auto even) __attribute__((always_inline)) {
            const auto each = [&](int32_t k, auto lanes) __attribute__((always_inline)) {
                if constexpr (decltype(lanes)::value == 1)
                    return sums(k, bin);
                else
                    return sums(
                        k, [&](int64_t p) __attribute__((always_inline)) { return bins(p, even); });
            };
            if (blocks == 1 && n > 1) {
                PutReversed<L>(toRe, toIm, n, 0, n / 2, each);
                std::tie(toRe[n / 2], toIm[n / 2]) = sums(n / 2, bin);
                PutReversed<L>(toRe, toIm, n, n / 2 + 1, n, each);
            } else {
                PutReversed<L>(toRe, toIm, n, 0, n, each);
            }
        };
        if (symmetric)
            fold(std::true_type{});
        else
            fold(std::false_type{});
    });
    Unfold(outA, outB);
}

// The kernel's rows: the caller's B × H matrix, or each row built when its lag
// is smoothed (CWD and CSD never hold the whole kernel), an even lag's row
// from the row of half its lag where `derive` is given. Built rows are
// symmetric: column H − j repeats column j.
struct KernelRows {
    const double* matrix = nullptr;
    KernelRowBuilder build = nullptr;
    KernelRowDeriver derive = nullptr;
    double parameter = 0;
    double* buffer = nullptr;  // Slots(B)·H doubles

    // Rows kept at once for B lags: two per level of the tree of units (see
    // SmoothedDistribution) where rows are derived, else two.
    static int64_t Slots(KernelRowDeriver derive, int32_t B) {
        return 2 * (derive ? std::bit_width(static_cast<uint32_t>(B - 1)) + 1 : 1);
    }
    // Row τ, built at `place` (from row τ/2 at halfLag, if not null).
    const double* Row(int32_t tau, int32_t H, double* place, const double* halfLag) const {
        if (matrix) return matrix + int64_t{tau} * H;
        if (derive && halfLag)
            derive(tau, H, parameter, halfLag, place);
        else
            build(tau, H, parameter, place);
        return place;
    }
};

// Cohen with its kernel's rows: preparation, smoothing of every lag into the
// lag-major autocorrelation matrix, and the lag transforms of its columns. All
// memory is taken before out is written.
int32_t SmoothedDistribution(const double* re, const double* im, int32_t n,
                             const KernelRows& kernel, int32_t B, int32_t H, int32_t S,
                             int32_t analytic, double* out) {
    DistributionLayout l;
    if (const int32_t code = MakeLayout(im, n, B, S, analytic, true, &l); code != status::kOk)
        return code;
    PreparedSignal prepared;
    if (const int32_t code = prepared.Prepare(re, im, l); code != status::kOk) return code;
    if (l.T == 0) return status::kBadKernelSize;  // no time transform for any kernel
    RowPhases y;
    if (const int32_t code = y.Split(prepared.Re(), prepared.Im(), l.Ny, l.grid);
        code != status::kOk)
        return code;
    // The smoothed autocorrelation, lag-major: lag τ's T instants at τ·stride,
    // imaginary parts after the real ones. The stride is an odd number of
    // cache lines, so that the same instants of many lags, which the lag
    // transforms read together, do not crowd into one set of the cache.
    const int64_t lines = (int64_t{l.T} + 7) / 8;
    const int64_t stride = 8 * (lines % 2 == 0 ? lines + 1 : lines);
    const int64_t matrixSize = int64_t{l.lags} * stride;
    scratch::Array<double> matrix = ScratchArray<double>(l.Channels() * matrixSize);
    if (!matrix) return status::kNoMemory;
    LagTransform transform;
    if (const int32_t code = transform.Prepare(l.lags); code != status::kOk) return code;
    LagRows rows;
    if (LagRows::Suits(l.lags))
        if (const int32_t code = rows.Prepare(l.lags); code != status::kOk) return code;
    Smoothing sm;
    if (const int32_t code = sm.Take(l); code != status::kOk) return code;
    // The kernel width is checked here, after the preparation.
    if (const int32_t code = sm.Check(l.Ny, l.lags, l.grid, S, B, H); code != status::kOk)
        return code;
    double* kRe = matrix.get();
    double* kIm = kRe + matrixSize;
    // The lags go in units: one lag, or two real lags smoothed together. Unit
    // u's children are units 2u and 2u + 1, whose even lags are twice u's, so
    // that the units go depth-first and each level of the tree keeps its rows
    // in slots of its own: an even lag's row can be built from its half lag's.
    const int32_t perUnit = l.ComplexLags() || l.lags == 1 ? 1 : 2;
    const int32_t units = l.lags / perUnit;
    const auto slots = [&](int32_t level) -> double* {
        if (!kernel.buffer) return nullptr;  // the caller's matrix
        return kernel.buffer + int64_t{kernel.derive ? level : 0} * perUnit * H;
    };
    const auto smooth = [&](int32_t unit, int32_t level) {
        const double* phi[2] = {};
        for (int32_t k = 0; k < perUnit; ++k) {
            const int32_t tau = unit * perUnit + k;
            const double* halfLag = nullptr;
            if (kernel.derive && tau % 2 == 0 && level > 0)
                halfLag = slots(level - 1) + int64_t{tau / 2 % perUnit} * H;
            double* place = slots(level);
            if (place) place += int64_t{k} * H;
            phi[k] = kernel.Row(tau, H, place, halfLag);
        }
        const int64_t at = int64_t{unit} * perUnit * stride;
        if (l.ComplexLags())
            sm.CxKernelSmooth(y, l.Ny, S, unit, phi[0], kRe + at, kIm + at);
        else if (perUnit == 2)
            sm.PairKernelSmooth(y, l.Ny, S, 2 * unit, phi[0], phi[1], !kernel.matrix, kRe + at,
                                kRe + at + stride);
        else
            sm.ReKernelSmooth(y, l.Ny, S, unit, phi[0], kRe + at);
    };
    struct Visit {
        int32_t unit, level;
    };
    std::array<Visit, 2 * 34> stack;  // at most two units of each level
    int32_t top = 0;
    stack[top++] = {0, 0};
    while (top > 0) {
        const Visit v = stack[--top];
        smooth(v.unit, v.level);
        for (const int32_t child : {2 * v.unit + 1, 2 * v.unit})  // unit 2u first
            if (child != v.unit && child < units) stack[top++] = {child, v.level + 1};
    }
    prepared.Release();
    // The lag transforms sixteen rows at a time, then the rows left over.
    int64_t r = 0;
    if (LagRows::Suits(l.lags)) {
        for (; r + LagRows::kRows <= l.T; r += LagRows::kRows) {
            if (l.ComplexLags())
                rows.FromComplexLags(kRe, kIm, stride, r, out, l.F);
            else
                rows.FromRealLags(kRe, stride, r, out, l.F);
        }
    }
    for (; r < l.T; ++r) {
        double* lags = transform.Lags();
        for (int32_t tau = 0; tau < l.lags; ++tau) lags[tau] = kRe[tau * stride + r];
        if (l.ComplexLags()) {
            for (int32_t tau = 0; tau < l.lags; ++tau) lags[l.lags + tau] = kIm[tau * stride + r];
            transform.CxLagToFrequency(l.F, out + r * l.F);
        } else {
            transform.ReLagToFrequency(l.F, out + r * l.F);
        }
    }
    return status::kOk;
}

// CWD and CSD: their own checks, a row of the kernel, then what Cohen does.
int32_t WithBuiltKernel(const double* re, const double* im, int32_t n, int32_t B, int32_t S,
                        double parameter, int32_t analytic, double* out, KernelRowBuilder build,
                        KernelRowDeriver derive) {
    if (n <= 0) return status::kShortSignal;
    if (!IsPowerOfTwo(S)) return status::kBadTimeStep;
    if (B != 0 && !IsPowerOfTwo(B)) return status::kBadBinCount;
    const int64_t T = n / S, H = S * NextPowerOfTwo64(T);
    if (H > INT32_MAX || B * H > INT32_MAX) return status::kNoMemory;
    scratch::Array<double> row =
        ScratchArray<double>(KernelRows::Slots(derive, std::max(B, 1)) * H);
    if (!row) return status::kNoMemory;
    if (T == 0) return status::kBadKernelSize;
    if (!IsPowerOfTwo(B)) return status::kBadKernelSize;
    const KernelRows kernel{nullptr, build, derive, parameter, row.get()};
    return SmoothedDistribution(re, im, n, kernel, B, static_cast<int32_t>(H), S, analytic, out);
}

}  // namespace

namespace {

// Row τ's columns j < end, with its exponent's factors.
void ChoiWilliamsColumns(int32_t tau, int32_t H, double sigma, int32_t end, double* row) {
    const double s = sigma < 0 ? 0.0 : sigma;
    const double omega0 = kTwoPi / H;
    const double tau2 = static_cast<double>(tau) * tau;
    const double scale = -tau2 * s;
    RunLanes([&](auto width) __attribute__((always_inline)) {
        ChoiWilliamsRow<decltype(width)::value>(scale, omega0, H, end, row);
    });
}

}  // namespace

void ChoiWilliamsKernel(int32_t tau, int32_t H, double sigma, double* row) {
    ChoiWilliamsColumns(tau, H, sigma, H / 2 + 1, row);
}

// Column j of row τ has the exponent of column 2j − H/2 of row τ/2, bit for
// bit: τ² and θ² are both multiplied by 4, a power of two, which no rounding
// sees. Columns H/4 … H/2 are taken from there, the others computed.
void ChoiWilliamsKernelFromHalfLag(int32_t tau, int32_t H, double sigma, const double* halfLag,
                                   double* row) {
    const int32_t half = H / 2, from = (half + 1) / 2;
    ChoiWilliamsColumns(tau, H, sigma, from, row);
    RunLanes([&](auto width) __attribute__((always_inline)) {
        constexpr int W = decltype(width)::value;
        using L = Lanes<W>;
        const double* const parent = halfLag;
        double* const to = row;
        int32_t j = from;
        // Columns j … j + W − 1 below H/2 (j >= 1): the even lanes of two
        // vectors of row τ/2, and their images reversed.
        for (; j >= 1 && j + W <= half; j += W) {
            const auto a = L::Load(parent + (2 * j - half)),
                       b = L::Load(parent + (2 * j - half + W));
            typename L::V even;
            if constexpr (W == 4)
                even = __builtin_shufflevector(a, b, 0, 2, 4, 6);
            else
                even = __builtin_shufflevector(a, b, 0, 2, 4, 6, 8, 10, 12, 14);
            L::Store(to + j, even);
            L::Store(to + (H - j - (W - 1)), L::Reverse(even));
        }
        for (; j <= half; ++j) {
            to[j] = parent[2 * j - half];
            if (j >= 1 && j < half) to[H - j] = to[j];
        }
    });
}

void ConeKernel(int32_t tau, int32_t H, double alpha, double* row) {
    const double a0 = alpha < 0 ? 0.0 : alpha;
    const double tau2 = static_cast<double>(tau) * tau;
    const double g = std::exp(-a0 * tau2);
    for (int32_t j = 0; j <= H / 2; ++j) {
        const double a = kPi * tau * (j - H / 2) / H;
        row[j] = a == 0 ? g : g * std::sin(a) / a;
    }
    MirrorRow(row, H);
}

}  // namespace tf

using namespace tf;

extern "C" {

int32_t Cohen(const double* re, const double* im, int32_t n, const double* kernel, int32_t B,
              int32_t H, int32_t S, int32_t analytic, double* out) {
    if (n <= 0) return status::kShortSignal;
    if (!IsPowerOfTwo(B) || !IsPowerOfTwo(H)) return status::kBadKernelSize;
    if (!IsPowerOfTwo(S)) return status::kBadTimeStep;
    return SmoothedDistribution(re, im, n, KernelRows{kernel}, B, H, S, analytic, out);
}

int32_t CWD(const double* re, const double* im, int32_t n, int32_t B, int32_t S, double sigma,
            int32_t analytic, double* out) {
    return WithBuiltKernel(re, im, n, B, S, sigma, analytic, out, ChoiWilliamsKernel,
                           ChoiWilliamsKernelFromHalfLag);
}

int32_t CSD(const double* re, const double* im, int32_t n, int32_t B, int32_t S, double alpha,
            int32_t analytic, double* out) {
    return WithBuiltKernel(re, im, n, B, S, alpha, analytic, out, ConeKernel, nullptr);
}

}  // extern "C"
