#pragma once
// Mixed-radix FFT engine: cached, reference-counted plans of any length n >= 1
// and complex and real transforms on split arrays with strides.

#include <cstddef>
#include <cstdint>

namespace engine {

struct FftPlan;

// Kernel passes of the fixed radices (2, 3, 4, 5, 7, 8, 9, 10, 11, 13, 14, 16,
// 17, 18, 19, 29, 31, 32, 37, 41, 43). A leaf pass runs `count` DFTs: DFT t
// reads its inputs at in + t*callStride with stride kernelStride and writes
// its r outputs from out + row(t)*outStride with stride outStride, where
// row(t) = (t % group)*groupStep + (t / group)*r; with group = count and
// groupStep = r, that is t*r. A group other than count is a multiple of 4, and
// count a multiple of it. A twiddle pass works in place on r consecutive
// blocks of m elements (element i at i*stride).
struct LeafRows {
    int32_t group;
    std::ptrdiff_t groupStep;
};
using ComplexLeafPass = void (*)(const double* inRe, const double* inIm, double* outRe,
                                 double* outIm, std::ptrdiff_t kernelStride,
                                 std::ptrdiff_t callStride, std::ptrdiff_t outStride, int32_t count,
                                 LeafRows rows);
using ComplexTwiddlePass = void (*)(double* re, double* im, std::ptrdiff_t stride, int32_t m,
                                    const double* twiddleRe, const double* twiddleIm);
// The leaves of a transform of length cr (r the radix, c = 2 or 4): DFT
// t < c of the inputs t, t + c, t + 2c, ... (stride 1) to out[t*r ...], in
// one kernel.
using ComplexPairLeafPass = void (*)(const double* inRe, const double* inIm, double* outRe,
                                     double* outIm);
using RealPairLeafPass = void (*)(const double* in, double* out);
using RealLeafPass = void (*)(const double* in, double* out, std::ptrdiff_t kernelStride,
                              std::ptrdiff_t callStride, std::ptrdiff_t outStride, int32_t count,
                              LeafRows rows);
using RealTwiddlePass = void (*)(double* x, std::ptrdiff_t stride, int32_t m,
                                 const double* twiddleRe, const double* twiddleIm);

// Kinds of radix.
constexpr int32_t kFixedRadix = 0;    // straight-line kernel
constexpr int32_t kGeneralRadix = 1;  // general odd radix (23 and 47)
constexpr int32_t kRaderRadix = 2;    // Rader's algorithm (primes of 53 and above)

constexpr int kMaxFactors = 20;

// Twiddle tables are stored in blocks of kTwiddleBlock consecutive j: for the
// radix r of a level with m = N/r, the twiddle e^(-2 pi i q j/N) (q = 1 ... r-1,
// j = 0 ... m-1) is at ((j / kTwiddleBlock) * (r - 1) + q - 1) * kTwiddleBlock
// + j % kTwiddleBlock, so that a pass over kTwiddleBlock columns at a time reads
// its table in order.
constexpr int kTwiddleBlock = 4;

// Tables of one radix r of a plan.
struct FftRadixData {
    double* rootsRe = nullptr;  // general radix: cos(2 pi k/r), k = 0 ... r-1
    double* rootsIm = nullptr;  // general radix: -sin(2 pi k/r)
    // General radix: the roots rearranged for the sums over k of output u
    // (u, k = 1 ... h = (r-1)/2): cosines at (k-1)*w + u-1 with w = h rounded up
    // to a multiple of 4 (the rest zero), sines after them.
    double* sumRoots = nullptr;
    double* twiddleRe = nullptr;  // every level but the last (see kTwiddleBlock)
    double* twiddleIm = nullptr;
    FftPlan* subPlan = nullptr;  // Rader: the plan of length r-1
    double* kernelRe = nullptr;  // Rader: transformed kernel, r-1 values
    double* kernelIm = nullptr;
    int32_t* inputOrder = nullptr;   // Rader: 0, g^0, g^-1, g^-2, ... (mod r)
    int32_t* outputOrder = nullptr;  // Rader: 0, g^0, g^1, g^2, ... (mod r)
};

struct FftPlan {
    int32_t length = 0;
    int32_t users = 0;
    int32_t factors[kMaxFactors] = {};  // radices in ascending order
    int32_t kinds[kMaxFactors] = {};
    int32_t factorCount = 0;
    FftRadixData* factorData[kMaxFactors] = {};
    RealLeafPass realLeaf[kMaxFactors] = {};
    RealTwiddlePass realPass[kMaxFactors] = {};
    ComplexLeafPass complexLeaf[kMaxFactors] = {};
    ComplexTwiddlePass complexPass[kMaxFactors] = {};
    // For a fixed outermost radix: its real twiddle pass that also does the
    // butterflies ending the real inverse (null where it has none).
    RealTwiddlePass realHartleyPass = nullptr;
    // For two levels, radix 2 or 4 over a fixed radix with pair kernels: the
    // leaves of a contiguous transform in one call (null otherwise).
    ComplexPairLeafPass complexPairLeaf = nullptr;
    RealPairLeafPass realPairLeaf = nullptr;
    // Working storage of the general and Rader passes, made with the plan so
    // that transforms never allocate. Passes of one plan never overlap.
    double* work = nullptr;
    FftPlan* previous = nullptr;
    FftPlan* next = nullptr;
};

// The cached plan of length n with its user count raised, or a new one; null
// for n < 1 or when memory is exhausted.
FftPlan* FftPlanGet(int32_t n);
// Lowers the user count and frees the plan when it reaches zero; null is ignored.
void FftPlanRelease(FftPlan* plan);

// Unscaled forward DFT (sign -1) and the inverse scaled by 1/n. Input and output
// are distinct; the input is not modified. -1 (nothing done) when n is not the
// plan's length.
int32_t CxFftForward(FftPlan* plan, const double* inRe, const double* inIm, double* outRe,
                     double* outIm, int32_t inStride, int32_t outStride, int32_t n);
int32_t CxFftInverse(FftPlan* plan, const double* inRe, const double* inIm, double* outRe,
                     double* outIm, int32_t inStride, int32_t outStride, int32_t n);

// Real forward transform into the half-complex layout, and back. The inverse
// uses its input as working storage and overwrites it.
int32_t ReFftForward(FftPlan* plan, const double* in, double* out, int32_t inStride,
                     int32_t outStride, int32_t n);
int32_t ReFftInverse(FftPlan* plan, double* inHc, double* out, int32_t inStride, int32_t outStride,
                     int32_t n);

// Smallest power of two >= n; 0 for n <= 0.
int32_t NextPowerOfTwo(int32_t n);

// Number of plans in the cache (tests check it is empty between calls).
int32_t FftPlanCacheSize();

// Owner of one plan reference for the duration of a scope.
class PlanRef {
  public:
    PlanRef() = default;  // no plan until Take
    explicit PlanRef(int32_t n) : plan_(FftPlanGet(n)) {}
    PlanRef(const PlanRef&) = delete;
    PlanRef& operator=(const PlanRef&) = delete;
    ~PlanRef() {
        if (plan_) FftPlanRelease(plan_);
    }
    // Holds a plan of length n instead of the one held; false when it cannot be had.
    bool Take(int32_t n) {
        if (plan_) FftPlanRelease(plan_);
        plan_ = FftPlanGet(n);
        return plan_ != nullptr;
    }
    FftPlan* get() const { return plan_; }
    explicit operator bool() const { return plan_ != nullptr; }

  private:
    FftPlan* plan_ = nullptr;
};

}  // namespace engine
