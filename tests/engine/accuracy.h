#pragma once
// The error bounds the engine's tests assert, and the worst figures seen.
//
// Against an exact reference, a forward transform of length n must have a
// relative RMS error of at most kRmsBound * eps * log2(n) and no element off by
// more than kMaxBound * eps * log2(n) of the spectrum's RMS magnitude
// (eps = 2^-52, log2(n) taken as at least 1). A round trip (forward, then
// inverse) must restore the input within twice those bounds.
//
// One exception: Rader's algorithm forms output 0 as the plain sum of its p
// inputs. In the inverse those inputs are a spectrum, whose partial sums grow
// with p, so for a Rader prime p above 2048 the element bound of a round trip
// is widened by sqrt(p/2048) (65537: 5.7 times).

#include <gtest/gtest.h>

#include <string>

#include "fft.h"
#include "oracle.h"

namespace accuracy {

constexpr double kEps = 2.220446049250313e-16;
constexpr double kRmsBound = 8.0;
constexpr double kMaxBound = 30.0;

double Log2(int64_t n);

// Worst errors seen by a group of checks, in units of eps * log2(n), printed
// when the group ends.
class Worst {
  public:
    explicit Worst(std::string what) : what_(std::move(what)) {}
    Worst(const Worst&) = delete;
    Worst& operator=(const Worst&) = delete;
    ~Worst();
    void Note(const oracle::Error& error, int64_t n);

  private:
    std::string what_;
    double rms_ = 0, max_ = 0;
    int64_t rmsAt_ = 0, maxAt_ = 0;
};

void ExpectForwardAccurate(const oracle::Error& error, int64_t n, Worst& worst);
void ExpectRoundTripAccurate(const oracle::Error& error, int64_t n, Worst& worst,
                             double elementScale = 1.0);
// The widening of the element bound of a round trip through `plan`.
double RoundTripElementScale(const engine::FftPlan& plan);

}  // namespace accuracy
