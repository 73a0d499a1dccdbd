// Plans, the plan cache and the transforms of the mixed-radix FFT engine.

#include "fft.h"

#include <cmath>
#include <cstring>
#include <new>
#include <utility>

#include "fft_internal.h"
#include "kernel_entry.h"
#include "scratch.h"

namespace engine {
namespace {

using detail::ptrdiff_t;

constexpr double kTwoPi = 6.283185307179586;

// Radices tried first, in this order; what remains is split by trial division.
constexpr int32_t kPreferredRadices[] = {10, 43, 41, 37, 32, 31, 29, 19, 18, 17, 16,
                                         14, 13, 11, 9,  8,  7,  5,  4,  3,  2};

// Radices of 50 and above go to Rader's algorithm.
constexpr int32_t kRaderThreshold = 50;

FftPlan* cacheHead = nullptr;

// ---------------------------------------------------------------------------
// Factorisation and tables.

void AddFactor(FftPlan& plan, int32_t radix, int32_t kind) {
    plan.factors[plan.factorCount] = radix;
    plan.kinds[plan.factorCount] = kind;
    ++plan.factorCount;
}

int32_t OddKind(int32_t radix) { return radix < kRaderThreshold ? kGeneralRadix : kRaderRadix; }

void Factorize(FftPlan& plan) {
    int32_t rest = plan.length;
    for (const int32_t radix : kPreferredRadices) {
        while (rest > 1 && rest % radix == 0) {
            AddFactor(plan, radix, kFixedRadix);
            rest /= radix;
        }
        if (rest == 1) break;
    }
    for (int32_t d = 3; static_cast<int64_t>(d) * d <= rest; d += 2) {
        while (rest % d == 0) {
            AddFactor(plan, d, OddKind(d));
            rest /= d;
        }
    }
    if (rest > 1) AddFactor(plan, rest, OddKind(rest));
    // Ascending order: the smallest radix is the outermost pass, the largest the leaf.
    for (int32_t i = 0; i < plan.factorCount; ++i) {
        for (int32_t k = i + 1; k < plan.factorCount; ++k) {
            if (plan.factors[k] < plan.factors[i]) {
                std::swap(plan.factors[i], plan.factors[k]);
                std::swap(plan.kinds[i], plan.kinds[k]);
            }
        }
    }
}

// The powers 1 ... count of e^(-i theta[c]) for `chains` <= kChains angles, by
// the stable recurrence on the stored values: with h = 2 sin^2(theta/2),
// re' = re - (-sin(theta) im + h re), im' = im - (h im - (-sin(theta)) re),
// starting from (1, 0); store(c, j, re, im). The chains run side by side, so
// that their dependent steps overlap.
constexpr int32_t kChains = 4;
template <class Store>
void RotationPowers(const double* theta, int32_t chains, int32_t count, Store&& store) {
    double h[kChains], minusSin[kChains], re[kChains], im[kChains];
    for (int32_t c = 0; c < chains; ++c) {
        const double half = std::sin(theta[c] / 2);
        h[c] = 2 * half * half;
        minusSin[c] = -std::sin(theta[c]);
        re[c] = 1.0;
        im[c] = 0.0;
    }
    for (int32_t j = 1; j <= count; ++j) {
        for (int32_t c = 0; c < chains; ++c) {
            const double nextRe = re[c] - (minusSin[c] * im[c] + h[c] * re[c]);
            const double nextIm = im[c] - (h[c] * im[c] - minusSin[c] * re[c]);
            re[c] = nextRe;
            im[c] = nextIm;
            store(c, j, nextRe, nextIm);
        }
    }
}

std::size_t TwiddleCount(int32_t radix, int32_t m) {
    const std::size_t blocks = (static_cast<std::size_t>(m) + kTwiddleBlock - 1) / kTwiddleBlock;
    return blocks * kTwiddleBlock * (radix - 1);
}

bool MakeTwiddles(FftRadixData& rd, int32_t radix, int32_t length) {
    const int32_t m = length / radix;
    const std::size_t count = TwiddleCount(radix, m);
    rd.twiddleRe = scratch::AllocateArray<double>(2 * count);
    if (!rd.twiddleRe) return false;
    rd.twiddleIm = rd.twiddleRe + count;
    // Column j = 0 takes no twiddles, and the columns past m fill the last block;
    // neither is used, both are set.
    for (std::size_t i = 0; i < count; ++i) {
        rd.twiddleRe[i] = 1.0;
        rd.twiddleIm[i] = 0.0;
    }
    const double step = kTwoPi / length;
    for (int32_t q0 = 1; q0 < radix; q0 += kChains) {
        const int32_t chains = radix - q0 < kChains ? radix - q0 : kChains;
        double theta[kChains];
        for (int32_t c = 0; c < chains; ++c) theta[c] = (q0 + c) * step;
        RotationPowers(theta, chains, m - 1, [&](int32_t c, int32_t j, double re, double im) {
            const std::size_t at = detail::TwiddleIndex(radix, q0 + c, j);
            rd.twiddleRe[at] = re;
            rd.twiddleIm[at] = im;
        });
    }
    return true;
}

bool MakeRoots(FftRadixData& rd, int32_t radix) {
    const int32_t h = (radix - 1) / 2;
    const int32_t row = detail::SumRowLength(radix);
    const std::size_t sums = static_cast<std::size_t>(h) * row;
    rd.rootsRe = scratch::AllocateArray<double>(2 * radix + 2 * sums);
    if (!rd.rootsRe) return false;
    rd.rootsIm = rd.rootsRe + radix;
    rd.sumRoots = rd.rootsIm + radix;
    rd.rootsRe[0] = 1.0;
    rd.rootsIm[0] = 0.0;
    const double theta = kTwoPi / radix;
    RotationPowers(&theta, 1, radix - 1, [&](int32_t, int32_t k, double re, double im) {
        rd.rootsRe[k] = re;
        rd.rootsIm[k] = im;
    });
    for (std::size_t i = 0; i < 2 * sums; ++i) rd.sumRoots[i] = 0.0;
    // Root (u*k mod r) for the sums of output u over k: the index advances by u
    // and wraps by subtracting r.
    for (int32_t u = 1; u <= h; ++u) {
        int32_t at = 0;
        for (int32_t k = 1; k <= h; ++k) {
            at += u;
            if (at >= radix) at -= radix;
            rd.sumRoots[(k - 1) * row + (u - 1)] = rd.rootsRe[at];
            rd.sumRoots[sums + (k - 1) * row + (u - 1)] = -rd.rootsIm[at];
        }
    }
    return true;
}

int32_t PowerMod(int64_t base, int64_t exponent, int64_t modulus) {
    int64_t result = 1;
    base %= modulus;
    while (exponent > 0) {
        if (exponent & 1) result = result * base % modulus;
        base = base * base % modulus;
        exponent >>= 1;
    }
    return static_cast<int32_t>(result);
}

// The smallest g >= 2 whose powers modulo the prime p first return to 1 at p-1.
int32_t PrimitiveRoot(int32_t p) {
    int32_t primes[32];
    int32_t count = 0;
    int32_t rest = p - 1;
    for (int32_t f = 2; static_cast<int64_t>(f) * f <= rest; ++f) {
        if (rest % f) continue;
        primes[count++] = f;
        while (rest % f == 0) rest /= f;
    }
    if (rest > 1) primes[count++] = rest;
    for (int32_t g = 2;; ++g) {
        bool generates = true;
        for (int32_t i = 0; i < count && generates; ++i)
            generates = PowerMod(g, (p - 1) / primes[i], p) != 1;
        if (generates) return g;
    }
}

// Rader data of prime p; `temp` holds 4p doubles (the plan's work area).
bool MakeRader(FftRadixData& rd, int32_t p, double* temp) {
    const int32_t length = p - 1;
    rd.subPlan = FftPlanGet(length);
    if (!rd.subPlan) return false;
    rd.kernelRe = scratch::AllocateArray<double>(2 * static_cast<std::size_t>(length));
    if (!rd.kernelRe) return false;
    rd.kernelIm = rd.kernelRe + length;
    rd.inputOrder = scratch::AllocateArray<int32_t>(2 * static_cast<std::size_t>(p));
    if (!rd.inputOrder) return false;
    rd.outputOrder = rd.inputOrder + p;

    const int32_t g = PrimitiveRoot(p);
    const int32_t inverse = PowerMod(g, p - 2, p);
    rd.inputOrder[0] = rd.outputOrder[0] = 0;
    rd.inputOrder[1] = rd.outputOrder[1] = 1;
    for (int32_t k = 2; k < p; ++k) {
        rd.outputOrder[k] = static_cast<int32_t>(int64_t{rd.outputOrder[k - 1]} * g % p);
        rd.inputOrder[k] = static_cast<int32_t>(int64_t{rd.inputOrder[k - 1]} * inverse % p);
    }

    // b[k] = w^outputOrder[k+1] / (p-1) with w = e^(-2 pi i/p); the kernel is its
    // forward transform.
    double* powRe = temp;
    double* powIm = powRe + p;
    double* bRe = powIm + p;
    double* bIm = bRe + length;
    powRe[0] = 1.0;
    powIm[0] = 0.0;
    const double theta = kTwoPi / p;
    RotationPowers(&theta, 1, p - 1, [&](int32_t, int32_t k, double re, double im) {
        powRe[k] = re;
        powIm[k] = im;
    });
    for (int32_t k = 0; k < length; ++k) {
        bRe[k] = powRe[rd.outputOrder[k + 1]] / length;
        bIm[k] = powIm[rd.outputOrder[k + 1]] / length;
    }
    CxFftForward(rd.subPlan, bRe, bIm, rd.kernelRe, rd.kernelIm, 1, 1, length);
    return true;
}

// Frees everything a plan owns (also a partly built one) and the record.
void DestroyPlan(FftPlan* plan) {
    if (plan->factorData[0]) {
        for (int32_t d = 0; d < plan->factorCount; ++d) {
            FftRadixData& rd = *plan->factorData[d];
            scratch::Release(rd.rootsRe);
            scratch::Release(rd.twiddleRe);
            scratch::Release(rd.kernelRe);
            scratch::Release(rd.inputOrder);
            FftPlanRelease(rd.subPlan);
        }
        scratch::Release(plan->factorData[0]);
    }
    scratch::Release(plan->work);
    plan->~FftPlan();
    scratch::Release(plan);
}

bool BuildTables(FftPlan& plan) {
    const int32_t count = plan.factorCount;
    if (count == 0) return true;
    auto* data = scratch::AllocateArray<FftRadixData>(count);
    if (!data) return false;
    for (int32_t d = 0; d < count; ++d) plan.factorData[d] = new (data + d) FftRadixData{};

    std::size_t work = 0;
    for (int32_t d = 0; d < count; ++d) {
        const int32_t radix = plan.factors[d];
        if (plan.kinds[d] == kFixedRadix) {
            const KernelEntry& entry = RegistryEntry(radix);
            plan.complexLeaf[d] = entry.complexLeaf;
            plan.complexPass[d] = entry.complexPass;
            plan.realLeaf[d] = entry.realLeaf;
            plan.realPass[d] = entry.realPass;
            if (d == 0) plan.realHartleyPass = entry.realHartleyPass;
            if (d == 1 && count == 2 && plan.factors[0] == 2) {
                plan.complexPairLeaf = entry.complexPairLeaf;
                plan.realPairLeaf = entry.realPairLeaf;
            } else if (d == 1 && count == 2 && plan.factors[0] == 4) {
                plan.complexPairLeaf = entry.complexQuadLeaf;
            }
        } else if (detail::OddRadixWork(radix) > work) {
            work = detail::OddRadixWork(radix);
        }
    }
    if (work) {
        plan.work = scratch::AllocateArray<double>(work);
        if (!plan.work) return false;
    }

    int32_t length = plan.length;  // N_d
    for (int32_t d = 0; d < count; ++d) {
        const int32_t radix = plan.factors[d];
        FftRadixData& rd = *plan.factorData[d];
        if (d < count - 1 && !MakeTwiddles(rd, radix, length)) return false;
        if (plan.kinds[d] == kGeneralRadix && !MakeRoots(rd, radix)) return false;
        if (plan.kinds[d] == kRaderRadix && !MakeRader(rd, radix, plan.work)) return false;
        length /= radix;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Execution: decimation in time, radices ascending, the last one as leaf.

// Leaf outputs one after another: DFT t at row t*r.
LeafRows Consecutive(const FftPlan& plan, int d, int32_t count) {
    return LeafRows{count, plan.factors[d]};
}

void ComplexLeafAt(const FftPlan& plan, int d, const double* inRe, const double* inIm,
                   double* outRe, double* outIm, ptrdiff_t kernelStride, ptrdiff_t callStride,
                   ptrdiff_t outStride, int32_t count) {
    if (plan.kinds[d] == kFixedRadix)
        plan.complexLeaf[d](inRe, inIm, outRe, outIm, kernelStride, callStride, outStride, count,
                            Consecutive(plan, d, count));
    else
        detail::OddComplexLeaf(plan, d, inRe, inIm, outRe, outIm, kernelStride, callStride,
                               outStride, count);
}

// Whether level d runs the leaves of all its children as one pass: the level
// below it is the last twiddle level, its radix and the leaf's are fixed, and
// blocks of four consecutive DFTs of that pass (consecutive children) share
// their rows' spacing. The pass then reads its inputs in the order they lie in
// memory instead of at the stride of one child, which uses each line whole.
bool LeavesOfChildren(const FftPlan& plan, int d) {
    return d + 3 == plan.factorCount && plan.kinds[d + 1] == kFixedRadix &&
           plan.kinds[d + 2] == kFixedRadix && plan.factors[d] % 4 == 0;
}

void ComplexLevel(const FftPlan& plan, int d, int32_t length, const double* inRe,
                  const double* inIm, double* outRe, double* outIm, ptrdiff_t inStride,
                  ptrdiff_t outStride) {
    const int32_t radix = plan.factors[d];
    const int32_t m = length / radix;
    if (plan.complexPairLeaf && inStride == 1 && outStride == 1) {
        plan.complexPairLeaf(inRe, inIm, outRe, outIm);  // both leaves in one kernel
    } else if (d + 2 == plan.factorCount) {
        ComplexLeafAt(plan, d + 1, inRe, inIm, outRe, outIm, inStride * radix, inStride, outStride,
                      radix);
    } else if (LeavesOfChildren(plan, d)) {
        // Leaf DFT t of child i is DFT i + radix*t of one pass; then the
        // children's own twiddle passes.
        const int32_t childRadix = plan.factors[d + 1];
        plan.complexLeaf[d + 2](inRe, inIm, outRe, outIm, inStride * radix * childRadix, inStride,
                                outStride, radix * childRadix, LeafRows{radix, m});
        const FftRadixData& child = *plan.factorData[d + 1];
        for (int32_t i = 0; i < radix; ++i)
            plan.complexPass[d + 1](outRe + i * m * outStride, outIm + i * m * outStride, outStride,
                                    m / childRadix, child.twiddleRe, child.twiddleIm);
    } else {
        for (int32_t i = 0; i < radix; ++i)
            ComplexLevel(plan, d + 1, m, inRe + i * inStride, inIm + i * inStride,
                         outRe + i * m * outStride, outIm + i * m * outStride, inStride * radix,
                         outStride);
    }
    const FftRadixData& rd = *plan.factorData[d];
    if (plan.kinds[d] == kFixedRadix)
        plan.complexPass[d](outRe, outIm, outStride, m, rd.twiddleRe, rd.twiddleIm);
    else
        detail::OddComplexTwiddle(plan, d, outRe, outIm, outStride, m);
}

void RealLeafAt(const FftPlan& plan, int d, const double* in, double* out, ptrdiff_t kernelStride,
                ptrdiff_t callStride, ptrdiff_t outStride, int32_t count) {
    if (plan.kinds[d] == kFixedRadix)
        plan.realLeaf[d](in, out, kernelStride, callStride, outStride, count,
                         Consecutive(plan, d, count));
    else
        detail::OddRealLeaf(plan, d, in, out, kernelStride, callStride, outStride, count);
}

// With hartley (level 0 of a fixed radix only), the level's pass also does the
// butterflies of the real inverse (FftPlan::realHartleyPass).
void RealLevel(const FftPlan& plan, int d, int32_t length, const double* in, double* out,
               ptrdiff_t inStride, ptrdiff_t outStride, bool hartley = false) {
    const int32_t radix = plan.factors[d];
    const int32_t m = length / radix;
    if (plan.realPairLeaf && inStride == 1 && outStride == 1) {
        plan.realPairLeaf(in, out);  // both leaves in one kernel
    } else if (d + 2 == plan.factorCount) {
        RealLeafAt(plan, d + 1, in, out, inStride * radix, inStride, outStride, radix);
    } else if (LeavesOfChildren(plan, d)) {
        // As in ComplexLevel.
        const int32_t childRadix = plan.factors[d + 1];
        plan.realLeaf[d + 2](in, out, inStride * radix * childRadix, inStride, outStride,
                             radix * childRadix, LeafRows{radix, m});
        const FftRadixData& child = *plan.factorData[d + 1];
        for (int32_t i = 0; i < radix; ++i)
            plan.realPass[d + 1](out + i * m * outStride, outStride, m / childRadix,
                                 child.twiddleRe, child.twiddleIm);
    } else {
        for (int32_t i = 0; i < radix; ++i)
            RealLevel(plan, d + 1, m, in + i * inStride, out + i * m * outStride, inStride * radix,
                      outStride);
    }
    const FftRadixData& rd = *plan.factorData[d];
    if (hartley)
        plan.realHartleyPass(out, outStride, m, rd.twiddleRe, rd.twiddleIm);
    else if (plan.kinds[d] == kFixedRadix)
        plan.realPass[d](out, outStride, m, rd.twiddleRe, rd.twiddleIm);
    else
        detail::OddRealTwiddle(plan, d, out, outStride, m);
}

// ---------------------------------------------------------------------------
// Pairs (x[k], x[n-k]) for k = 1 ... last, replaced by op(x[k], x[n-k]); two
// pairs at a time where the elements are consecutive. The operation is the same
// on every element, so the result does not depend on the grouping.

typedef double Pair2 __attribute__((vector_size(2 * sizeof(double))));

template <class Op>
void Mirror(double* x, ptrdiff_t stride, int32_t n, int32_t last, Op op, int32_t k = 1) {
    if (stride == 1) {
        for (; k + 1 <= last; k += 2) {
            Pair2 a, b;
            std::memcpy(&a, x + k, sizeof a);          // x[k], x[k+1]
            std::memcpy(&b, x + n - k - 1, sizeof b);  // x[n-k-1], x[n-k]
            b = __builtin_shufflevector(b, b, 1, 0);
            Pair2 lo, hi;
            op(a, b, lo, hi);
            hi = __builtin_shufflevector(hi, hi, 1, 0);
            std::memcpy(x + k, &lo, sizeof lo);
            std::memcpy(x + n - k - 1, &hi, sizeof hi);
        }
    }
    for (; k <= last; ++k) {
        double lo, hi;
        op(x[k * stride], x[(n - k) * stride], lo, hi);
        x[k * stride] = lo;
        x[(n - k) * stride] = hi;
    }
}

// The same pairs four at a time where the processor runs AVX2 and the faster
// kernels are chosen: the three mirror steps of the inverse transforms, each
// doing what Mirror does with its operation on every element. They return the
// first k left for Mirror (1 where there is no faster variant).
#if ENGINE_HAVE_AVX2
typedef double Quad __attribute__((vector_size(4 * sizeof(double))));

#define ENGINE_MIRROR_QUADS(name, ...)                                                           \
    __attribute__((target("avx2"))) int32_t name(double* x, int32_t n, int32_t last, double c) { \
        int32_t k = 1;                                                                           \
        for (; k + 3 <= last; k += 4) {                                                          \
            Quad a, b, lo, hi;                                                                   \
            std::memcpy(&a, x + k, sizeof a);         /* x[k] ... x[k+3] */                      \
            std::memcpy(&b, x + n - k - 3, sizeof b); /* x[n-k-3] ... x[n-k] */                  \
            b = __builtin_shufflevector(b, b, 3, 2, 1, 0);                                       \
            __VA_ARGS__;                                                                         \
            hi = __builtin_shufflevector(hi, hi, 3, 2, 1, 0);                                    \
            std::memcpy(x + k, &lo, sizeof lo);                                                  \
            std::memcpy(x + n - k - 3, &hi, sizeof hi);                                          \
        }                                                                                        \
        return k;                                                                                \
    }
#else
#define ENGINE_MIRROR_QUADS(name, ...) \
    int32_t name(double*, int32_t, int32_t, double) { return 1; }
#endif

ENGINE_MIRROR_QUADS(SwapScaledQuads, lo = b * c; hi = a * c)
ENGINE_MIRROR_QUADS(ScaledHartleyQuads, a *= c; b *= c; lo = a - b; hi = a + b)
ENGINE_MIRROR_QUADS(HartleyQuads, (void)c; lo = a - b; hi = a + b)
#undef ENGINE_MIRROR_QUADS

int32_t FirstOfMirror(double* x, ptrdiff_t stride, int32_t n, int32_t last, double c,
                      int32_t (*quads)(double*, int32_t, int32_t, double)) {
    return stride == 1 && FasterKernelsChosen() ? quads(x, n, last, c) : 1;
}

}  // namespace

FftPlan* FftPlanGet(int32_t n) {
    if (n < 1) return nullptr;
    for (FftPlan* p = cacheHead; p; p = p->next) {
        if (p->length == n) {
            ++p->users;
            return p;
        }
    }
    auto* plan = scratch::AllocateArray<FftPlan>(1);
    if (!plan) return nullptr;
    new (plan) FftPlan{};
    plan->length = n;
    plan->users = 1;
    Factorize(*plan);
    if (!BuildTables(*plan)) {
        DestroyPlan(plan);
        return nullptr;
    }
    plan->next = cacheHead;
    if (cacheHead) cacheHead->previous = plan;
    cacheHead = plan;
    return plan;
}

void FftPlanRelease(FftPlan* plan) {
    if (!plan || --plan->users > 0) return;
    if (plan->previous)
        plan->previous->next = plan->next;
    else
        cacheHead = plan->next;
    if (plan->next) plan->next->previous = plan->previous;
    DestroyPlan(plan);
}

int32_t CxFftForward(FftPlan* plan, const double* inRe, const double* inIm, double* outRe,
                     double* outIm, int32_t inStride, int32_t outStride, int32_t n) {
    if (!plan || n != plan->length) return -1;
    if (plan->factorCount == 0) {
        outRe[0] = inRe[0];
        outIm[0] = inIm[0];
    } else if (plan->factorCount == 1) {
        ComplexLeafAt(*plan, 0, inRe, inIm, outRe, outIm, inStride, inStride, outStride, 1);
    } else {
        ComplexLevel(*plan, 0, n, inRe, inIm, outRe, outIm, inStride, outStride);
    }
    return 0;
}

int32_t CxFftInverse(FftPlan* plan, const double* inRe, const double* inIm, double* outRe,
                     double* outIm, int32_t inStride, int32_t outStride, int32_t n) {
    if (CxFftForward(plan, inRe, inIm, outRe, outIm, inStride, outStride, n) != 0) return -1;
    // The forward transform of X read backwards, scaled.
    const double c = 1.0 / n;
    const auto swap = [c](auto a, auto b, auto& lo, auto& hi) {
        lo = b * c;
        hi = a * c;
    };
    const int32_t last = (n - 1) / 2;
    for (double* x : {outRe, outIm})
        Mirror(x, outStride, n, last, swap,
               FirstOfMirror(x, outStride, n, last, c, SwapScaledQuads));
    outRe[0] *= c;
    outIm[0] *= c;
    if (n % 2 == 0) {
        outRe[(n / 2) * static_cast<ptrdiff_t>(outStride)] *= c;
        outIm[(n / 2) * static_cast<ptrdiff_t>(outStride)] *= c;
    }
    return 0;
}

int32_t ReFftForward(FftPlan* plan, const double* in, double* out, int32_t inStride,
                     int32_t outStride, int32_t n) {
    if (!plan || n != plan->length) return -1;
    if (plan->factorCount == 0)
        out[0] = in[0];
    else if (plan->factorCount == 1)
        RealLeafAt(*plan, 0, in, out, inStride, inStride, outStride, 1);
    else
        RealLevel(*plan, 0, n, in, out, inStride, outStride);
    return 0;
}

int32_t ReFftInverse(FftPlan* plan, double* inHc, double* out, int32_t inStride, int32_t outStride,
                     int32_t n) {
    if (!plan || n != plan->length) return -1;
    // Through the Hartley transform: H[k] = Re X[k] - Im X[k] (scaled by 1/n),
    // its real forward transform, and the same butterflies again. Every value is
    // scaled before it enters a butterfly.
    const double c = 1.0 / n;
    const ptrdiff_t is = inStride;
    const int32_t last = (n + 1) / 2 - 1;
    Mirror(
        inHc, is, n, last,
        [c](auto a, auto b, auto& lo, auto& hi) {
            a *= c;
            b *= c;
            lo = a - b;
            hi = a + b;
        },
        FirstOfMirror(inHc, is, n, last, c, ScaledHartleyQuads));
    inHc[0] *= c;
    if (n % 2 == 0) inHc[(n / 2) * is] *= c;
    if (plan->factorCount >= 2 && plan->realHartleyPass) {
        // The outermost pass stores the butterflies' results directly.
        RealLevel(*plan, 0, n, inHc, out, inStride, outStride, true);
        return 0;
    }
    ReFftForward(plan, inHc, out, inStride, outStride, n);
    Mirror(
        out, outStride, n, last,
        [](auto a, auto b, auto& lo, auto& hi) {
            lo = a - b;
            hi = a + b;
        },
        FirstOfMirror(out, outStride, n, last, 0.0, HartleyQuads));
    return 0;
}

int32_t NextPowerOfTwo(int32_t n) {
    if (n <= 0) return 0;
    int32_t p = 1;
    while (p < n && p < (1 << 30)) p <<= 1;
    return p < n ? 0 : p;  // 2^31 is not an int32
}

int32_t FftPlanCacheSize() {
    int32_t count = 0;
    for (FftPlan* p = cacheHead; p; p = p->next) ++count;
    return count;
}

}  // namespace engine
