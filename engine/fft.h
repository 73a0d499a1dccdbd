#pragma once
// Mixed-radix FFT engine: cached, reference-counted plans of any length n >= 1
// and complex and real transforms on split arrays with strides.

#include <cstdint>

namespace engine {

struct FftPlan {
    int32_t length = 0;
    int32_t users = 0;
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
    explicit PlanRef(int32_t n) : plan_(FftPlanGet(n)) {}
    PlanRef(const PlanRef&) = delete;
    PlanRef& operator=(const PlanRef&) = delete;
    ~PlanRef() { FftPlanRelease(plan_); }
    FftPlan* get() const { return plan_; }
    explicit operator bool() const { return plan_ != nullptr; }

  private:
    FftPlan* plan_;
};

}  // namespace engine
