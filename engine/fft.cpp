// Provisional engine: direct DFTs behind the final interface, so that the
// analysis code can be written and tested while the fast engine is built.

#include "fft.h"

#include <cmath>

#include "scratch.h"

namespace engine {
namespace {

FftPlan* cacheHead = nullptr;

void Dft(int32_t n, const double* inRe, const double* inIm, int32_t inStride, double* outRe,
         double* outIm, int32_t outStride, double sign) {
    for (int32_t k = 0; k < n; ++k) {
        long double re = 0, im = 0;
        for (int32_t j = 0; j < n; ++j) {
            const long double a = 2.0L * 3.14159265358979323846264338327950288L *
                                  static_cast<long double>((static_cast<int64_t>(j) * k) % n) / n;
            const long double c = std::cos(a), s = sign * std::sin(a);
            const long double xr = inRe[j * inStride], xi = inIm ? inIm[j * inStride] : 0.0;
            re += xr * c - xi * s;
            im += xr * s + xi * c;
        }
        outRe[k * outStride] = static_cast<double>(re);
        outIm[k * outStride] = static_cast<double>(im);
    }
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
    *plan = FftPlan{};
    plan->length = n;
    plan->users = 1;
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
    scratch::Release(plan);
}

int32_t CxFftForward(FftPlan* plan, const double* inRe, const double* inIm, double* outRe,
                     double* outIm, int32_t inStride, int32_t outStride, int32_t n) {
    if (!plan || n != plan->length) return -1;
    Dft(n, inRe, inIm, inStride, outRe, outIm, outStride, -1.0);
    return 0;
}

int32_t CxFftInverse(FftPlan* plan, const double* inRe, const double* inIm, double* outRe,
                     double* outIm, int32_t inStride, int32_t outStride, int32_t n) {
    if (!plan || n != plan->length) return -1;
    Dft(n, inRe, inIm, inStride, outRe, outIm, outStride, 1.0);
    for (int32_t k = 0; k < n; ++k) {
        outRe[k * outStride] /= n;
        outIm[k * outStride] /= n;
    }
    return 0;
}

int32_t ReFftForward(FftPlan* plan, const double* in, double* out, int32_t inStride,
                     int32_t outStride, int32_t n) {
    if (!plan || n != plan->length) return -1;
    scratch::Array<double> re(n), im(n);
    Dft(n, in, nullptr, inStride, re.get(), im.get(), 1, -1.0);
    for (int32_t k = 0; k <= n / 2; ++k) out[k * outStride] = re[k];
    for (int32_t k = 1; k < (n + 1) / 2; ++k) out[(n - k) * outStride] = im[k];
    return 0;
}

int32_t ReFftInverse(FftPlan* plan, double* inHc, double* out, int32_t inStride, int32_t outStride,
                     int32_t n) {
    if (!plan || n != plan->length) return -1;
    scratch::Array<double> re(n), im(n), xr(n), xi(n);
    for (int32_t k = 0; k < n; ++k) re[k] = im[k] = 0;
    re[0] = inHc[0];
    for (int32_t k = 1; k < (n + 1) / 2; ++k) {
        re[k] = re[n - k] = inHc[k * inStride];
        im[k] = inHc[(n - k) * inStride];
        im[n - k] = -im[k];
    }
    if (n % 2 == 0) re[n / 2] = inHc[(n / 2) * inStride];
    Dft(n, re.get(), im.get(), 1, xr.get(), xi.get(), 1, 1.0);
    for (int32_t k = 0; k < n; ++k) out[k * outStride] = xr[k] / n;
    for (int32_t k = 0; k < n; ++k) inHc[k * inStride] = 0;
    return 0;
}

int32_t NextPowerOfTwo(int32_t n) {
    if (n <= 0) return 0;
    int32_t p = 1;
    while (p < n && p < (1 << 30)) p <<= 1;
    return p < n ? 0 : p;
}

int32_t FftPlanCacheSize() {
    int32_t count = 0;
    for (FftPlan* p = cacheHead; p; p = p->next) ++count;
    return count;
}

}  // namespace engine
