#pragma once
// Independent references for the engine's tests: the defining sums in long
// double, and error measures.

#include <cstdint>
#include <vector>

namespace oracle {

struct Spectrum {
    std::vector<long double> re, im;
};

// X[k] = sum_j x[j] e^(-2 pi i jk/n), evaluated directly in long double.
Spectrum DirectDft(const std::vector<double>& re, const std::vector<double>& im);
// The spectrum of the real part of a sequence, from the sequence's spectrum
// X: (X[k] + conj X[n-k]) / 2.
Spectrum RealPart(const Spectrum& x);

// Errors of a computed complex sequence against a reference: relative RMS
// error ||got - want|| / ||want||, and the largest error of one element
// relative to the reference's RMS magnitude ||want|| / sqrt(n).
struct Error {
    double rms = 0;
    double max = 0;
};
Error Compare(const double* gotRe, const double* gotIm, int64_t stride, const Spectrum& want);
// A half-complex array (stride apart) against the full spectrum of a real sequence.
Error CompareHalfComplex(const double* hc, int64_t stride, const Spectrum& want);
// A real sequence against a reference (the same measures, imaginary parts zero).
Error CompareReal(const double* x, int64_t stride, const std::vector<double>& want);

// Uniform values in [-1, 1), reproducible from the seed.
std::vector<double> Random(int64_t count, uint32_t seed);

}  // namespace oracle
