#pragma once
// Stages of the Gabor spectrogram and of its mean instantaneous frequency: the
// products of coefficient pairs one offset (Δm, Δk) apart, the Gaussian
// kernels of the cross terms of two atoms in frequency and in time, and the
// two convolutions done with transforms. Complex arrays are split into real
// and imaginary parts.

#include <cstdint>

#include "fft.h"

namespace tf {

// One offset between the two coefficients of a pair.
struct PairOffset {
    int32_t dm;  // time positions, >= 0
    int32_t dk;  // channels
};

// P[m][k] = conj(C[m][k])·C[m+Δm][(k+Δk) mod N]·e^(iφm) for the pairs that do
// not cross the Nyquist frequency, 0 elsewhere and in the last Δm rows; M·N
// values, row-major.
void GaborSpPairProducts(const double* coef, int32_t M, int32_t N, int32_t dM, PairOffset o,
                         double* pRe, double* pIm);

// The frequency kernel of an offset on N·G samples, then the G spectra of
// length N of its phases (spectrum s at s·N). `work` holds 2·N·G doubles.
void GaborSpFreqKernel(engine::FftPlan* planN, int32_t N, int32_t G, double v, double tau0,
                       double omega0, double* work, double* specRe, double* specIm);

// The time kernel on T4·P samples and the P spectra of length T4 of its
// phases (spectrum s at s·T4); `work` holds 2·T4·P doubles.
void GaborSpTimeKernel(engine::FftPlan* planT4, int32_t T4, int32_t dM, int32_t P, double v,
                       double omega1, double t0, double* work, double* specRe, double* specIm);

// Multiplies the P time-kernel spectra by `factor`.
void ScaleTimeKernel(int32_t T4, int32_t P, double factor, double* specRe, double* specIm);

// Adds the convolution of `count` values (x[j·stride]) with each time-kernel
// phase into the P accumulator blocks of T4 values at accRe, accIm (block s at
// s·T4). `work` holds 4·T4 doubles.
void GaborSpTimeConv(engine::FftPlan* planT4, int32_t T4, int32_t P, const double* xRe,
                     const double* xIm, int64_t stride, int32_t count, const double* specRe,
                     const double* specIm, double* work, double* accRe, double* accIm);

// Denominator and numerator terms of the mean frequency for the offset,
// for m = 0 … M−Δm−1.
void MifPairSums(const double* coef, int32_t M, int32_t N, int32_t dM, double v, PairOffset o,
                 double* dRe, double* dIm, double* nRe, double* nIm);

// w·Re(C[m+Δm][0]·conj C[m][0]) for m = 0 … M−Δm−1 (imaginary parts 0).
void MifDcPairs(const double* coef, int32_t M, int32_t N, int32_t dM, double v, int32_t dm,
                double* dcRe, double* dcIm);

}  // namespace tf
