#pragma once
// Helpers of the STFT, Gabor and reassignment suites: random data, windows,
// oracles evaluated in long double, and the walk of injected allocation failures.

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <functional>
#include <random>
#include <vector>

#include "fault_walk.h"
#include "fft.h"
#include "mornavel.h"
#include "scratch.h"

namespace analysis {

using Complex = std::complex<long double>;
constexpr double kSentinel = -777.0;
constexpr long double kTwoPi = 6.283185307179586476925286766559005768L;

inline std::vector<double> Random(int64_t count, uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(-1, 1);
    std::vector<double> v(count);
    for (auto& x : v) x = u(rng);
    return v;
}

// A Gaussian bell over L samples, centred, with the given spread in samples.
inline std::vector<double> Bell(int32_t L, double spread) {
    std::vector<double> w(L);
    for (int32_t k = 0; k < L; ++k) {
        const double t = (k - (L - 1) / 2.0) / spread;
        w[k] = std::exp(-0.5 * t * t);
    }
    return w;
}

// e^(−2πi·m/N) with m reduced modulo N first, so that the angle stays exact.
inline Complex Twiddle(int64_t m, int64_t N) {
    const int64_t r = ((m % N) + N) % N;
    const long double a = kTwoPi * static_cast<long double>(r) / static_cast<long double>(N);
    return {std::cos(a), -std::sin(a)};
}

// Σ_k w[k]·x(start + k)·e^(−2πi·b·(k + reference)/N): bin b of a frame whose
// phase refers to sample `reference`.
inline Complex FrameBin(const std::function<Complex(int64_t)>& x, const std::vector<double>& w,
                        int64_t start, int64_t reference, int64_t b, int64_t N) {
    Complex sum = 0;
    for (int64_t k = 0; k < static_cast<int64_t>(w.size()); ++k)
        sum += static_cast<long double>(w[k]) * x(start + k) * Twiddle(b * (k + reference), N);
    return sum;
}

// Σ_k |w[k]·x(start + k)|: the scale of a frame's rounding errors.
inline long double FrameScale(const std::function<Complex(int64_t)>& x,
                              const std::vector<double>& w, int64_t start) {
    long double s = 0;
    for (int64_t k = 0; k < static_cast<int64_t>(w.size()); ++k)
        s += std::abs(static_cast<long double>(w[k]) * x(start + k));
    return s;
}

// Element b of a half-complex spectrum of length N.
inline Complex HalfComplexBin(const double* hc, int64_t b, int64_t N) {
    if (b == 0) return {hc[0], 0};
    if (2 * b == N) return {hc[b], 0};
    if (2 * b < N) return {hc[b], hc[N - b]};
    return {hc[N - b], -hc[b]};
}

inline StftParams Params(const std::vector<double>& w, int32_t D, int32_t N) {
    return StftParams{w.data(), static_cast<int32_t>(w.size()), D, N};
}

// Allocations an FFT plan of length n makes when it is built.
inline int PlanAllocations(int32_t n) {
    return testsupport::WalkAllocationFailures(
        [n] {
            engine::PlanRef plan(n);
            return plan ? 0 : -1;
        },
        [](int64_t, int status) { EXPECT_EQ(status, -1); });
}

// Walks an injected failure over every allocation of a call, checks each run
// with `check(status)`, and checks that the call made exactly `allocations`
// allocations (its own work arrays and its FFT plans; transforms never allocate).
template <class Call, class Check>
void WalkEveryAllocation(int allocations, Call&& call, Check&& check) {
    const int walked =
        testsupport::WalkAllocationFailures(call, [&](int64_t, int32_t status) { check(status); });
    EXPECT_EQ(walked, allocations) << "allocations made by the call";
}

inline bool AllEqual(const std::vector<double>& v, double value) {
    for (double x : v)
        if (!(x == value)) return false;
    return true;
}

}  // namespace analysis
