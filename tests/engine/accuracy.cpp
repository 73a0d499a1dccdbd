#include "accuracy.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace accuracy {

double Log2(int64_t n) { return std::max(1.0, std::log2(static_cast<double>(n))); }

Worst::~Worst() {
    std::printf(
        "%s: worst relative RMS error %.2f eps*log2(n) (n = %lld), worst element %.2f "
        "eps*log2(n) (n = %lld)\n",
        what_.c_str(), rms_, static_cast<long long>(rmsAt_), max_, static_cast<long long>(maxAt_));
}

void Worst::Note(const oracle::Error& error, int64_t n) {
    const double unit = kEps * Log2(n);
    if (error.rms / unit > rms_) rms_ = error.rms / unit, rmsAt_ = n;
    if (error.max / unit > max_) max_ = error.max / unit, maxAt_ = n;
}

namespace {

void Expect(const oracle::Error& error, int64_t n, double scale, double elementScale,
            Worst& worst) {
    worst.Note(error, n);
    const double unit = kEps * Log2(n) * scale;
    EXPECT_LE(error.rms, kRmsBound * unit) << "relative RMS error, n = " << n;
    EXPECT_LE(error.max, kMaxBound * elementScale * unit) << "largest element error, n = " << n;
}

}  // namespace

void ExpectForwardAccurate(const oracle::Error& error, int64_t n, Worst& worst) {
    Expect(error, n, 1.0, 1.0, worst);
}

void ExpectRoundTripAccurate(const oracle::Error& error, int64_t n, Worst& worst,
                             double elementScale) {
    Expect(error, n, 2.0, elementScale, worst);
}

double RoundTripElementScale(const engine::FftPlan& plan) {
    double scale = 1.0;
    for (int32_t d = 0; d < plan.factorCount; ++d) {
        if (plan.kinds[d] == engine::kRaderRadix)
            scale = std::max(scale, std::sqrt(plan.factors[d] / 2048.0));
    }
    return scale;
}

}  // namespace accuracy
