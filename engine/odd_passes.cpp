// Passes of the general odd radix (23 and 47) and of Rader's algorithm (primes
// of 53 and above), with the same shapes as the kernel passes. They work in the
// plan's work area, so they never allocate.

#include <cstring>

#include "fft_internal.h"

namespace engine::detail {
namespace {

typedef double Pair2 __attribute__((vector_size(2 * sizeof(double))));

Pair2 LoadPair(const double* p) {
    Pair2 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

Pair2 Splat(double v) { return Pair2{v, v}; }

// X_u = x_0 + sum_k c*s_k - i*sum_k s*d_k and X_(r-u) = x_0 + sum_k c*s_k + i*sum_k s*d_k
// with s_k = x_k + x_(r-k), d_k = x_k - x_(r-k), c = cos(2 pi uk/r), s = sin(2 pi uk/r).
// Four outputs u at a time, each sum in the order of k.
void GeneralDft(const FftRadixData& rd, int32_t r, const double* xr, const double* xi, ptrdiff_t xs,
                double* yr, double* yi, ptrdiff_t ys, double* work) {
    const int32_t h = (r - 1) / 2;
    const int32_t row = SumRowLength(r);
    double* sr = work;
    double* si = sr + h;
    double* dr = si + h;
    double* di = dr + h;
    const double x0r = xr[0], x0i = xi[0];
    double totalRe = x0r, totalIm = x0i;
    for (int32_t k = 1; k <= h; ++k) {
        const double pr = xr[k * xs], pi = xi[k * xs];
        const double qr = xr[(r - k) * xs], qi = xi[(r - k) * xs];
        sr[k - 1] = pr + qr;
        si[k - 1] = pi + qi;
        dr[k - 1] = pr - qr;
        di[k - 1] = pi - qi;
        totalRe += sr[k - 1];
        totalIm += si[k - 1];
    }
    yr[0] = totalRe;
    yi[0] = totalIm;
    const double* cosines = rd.sumRoots;
    const double* sines = rd.sumRoots + static_cast<ptrdiff_t>(h) * row;
    for (int32_t u0 = 0; u0 < h; u0 += 4) {
        Pair2 ar[2] = {Splat(x0r), Splat(x0r)}, ai[2] = {Splat(x0i), Splat(x0i)};
        Pair2 br[2] = {}, bi[2] = {};
        for (int32_t k = 0; k < h; ++k) {
            const double* c = cosines + static_cast<ptrdiff_t>(k) * row + u0;
            const double* s = sines + static_cast<ptrdiff_t>(k) * row + u0;
            const Pair2 skr = Splat(sr[k]), ski = Splat(si[k]), dkr = Splat(dr[k]),
                        dki = Splat(di[k]);
            for (int half = 0; half < 2; ++half) {
                const Pair2 cv = LoadPair(c + 2 * half), sv = LoadPair(s + 2 * half);
                ar[half] += cv * skr;
                ai[half] += cv * ski;
                br[half] += sv * dkr;
                bi[half] += sv * dki;
            }
        }
        for (int32_t i = 0; i < 4 && u0 + i < h; ++i) {
            const int32_t u = u0 + i + 1;
            const double a = ar[i / 2][i % 2], b = ai[i / 2][i % 2];
            const double c = br[i / 2][i % 2], d = bi[i / 2][i % 2];
            yr[u * ys] = a + d;
            yi[u * ys] = b - c;
            yr[(r - u) * ys] = a - d;
            yi[(r - u) * ys] = b + c;
        }
    }
}

// The same for real x; y gets the half-complex spectrum.
void GeneralRealDft(const FftRadixData& rd, int32_t r, const double* x, ptrdiff_t xs, double* y,
                    ptrdiff_t ys, double* work) {
    const int32_t h = (r - 1) / 2;
    const int32_t row = SumRowLength(r);
    double* s = work;
    double* d = s + h;
    const double x0 = x[0];
    double total = x0;
    for (int32_t k = 1; k <= h; ++k) {
        s[k - 1] = x[k * xs] + x[(r - k) * xs];
        d[k - 1] = x[k * xs] - x[(r - k) * xs];
        total += s[k - 1];
    }
    y[0] = total;
    const double* cosines = rd.sumRoots;
    const double* sines = rd.sumRoots + static_cast<ptrdiff_t>(h) * row;
    for (int32_t u0 = 0; u0 < h; u0 += 4) {
        Pair2 a[2] = {Splat(x0), Splat(x0)}, b[2] = {};
        for (int32_t k = 0; k < h; ++k) {
            const double* c = cosines + static_cast<ptrdiff_t>(k) * row + u0;
            const double* sn = sines + static_cast<ptrdiff_t>(k) * row + u0;
            const Pair2 sk = Splat(s[k]), dk = Splat(d[k]);
            for (int half = 0; half < 2; ++half) {
                a[half] += LoadPair(c + 2 * half) * sk;
                b[half] += LoadPair(sn + 2 * half) * dk;
            }
        }
        for (int32_t i = 0; i < 4 && u0 + i < h; ++i) {
            const int32_t u = u0 + i + 1;
            y[u * ys] = a[i / 2][i % 2];
            y[(r - u) * ys] = -b[i / 2][i % 2];
        }
    }
}

// Rader's algorithm for prime p: X_0 = sum x_k; the other outputs are x_0 plus
// the cyclic convolution of the inputs in the order of inputOrder with the
// kernel, done by two transforms of length p-1. Output positions 1 ... p-1
// hold the intermediate spectrum.
void RaderDft(const FftRadixData& rd, int32_t p, const double* xr, const double* xi, ptrdiff_t xs,
              double* yr, double* yi, ptrdiff_t ys, double* work) {
    const int32_t length = p - 1;
    double* aRe = work;
    double* aIm = aRe + length;
    double* bRe = aIm + length;
    double* bIm = bRe + length;
    const double x0r = xr[0], x0i = xi[0];
    double sumRe = x0r, sumIm = x0i;
    for (int32_t k = 1; k < p; ++k) {
        sumRe += xr[k * xs];
        sumIm += xi[k * xs];
    }
    for (int32_t k = 0; k < length; ++k) {
        const ptrdiff_t from = rd.inputOrder[k + 1] * xs;
        aRe[k] = xr[from];
        aIm[k] = xi[from];
    }
    double* spectrumRe = yr + ys;
    double* spectrumIm = yi + ys;
    CxFftForward(rd.subPlan, aRe, aIm, spectrumRe, spectrumIm, 1, static_cast<int32_t>(ys), length);
    for (int32_t k = 0; k < length; ++k) {
        const double ar = spectrumRe[k * ys], ai = spectrumIm[k * ys];
        const double kr = rd.kernelRe[k], ki = rd.kernelIm[k];
        spectrumRe[k * ys] = ar * kr - ai * ki;
        spectrumIm[k * ys] = -(ar * ki + ai * kr);
    }
    CxFftForward(rd.subPlan, spectrumRe, spectrumIm, bRe, bIm, static_cast<int32_t>(ys), 1, length);
    yr[0] = sumRe;
    yi[0] = sumIm;
    for (int32_t k = 0; k < length; ++k) {
        const ptrdiff_t to = rd.outputOrder[k + 1] * ys;
        yr[to] = x0r + bRe[k];
        yi[to] = x0i - bIm[k];
    }
}

// Rader's algorithm for real x: the first transform is real; of the outputs
// only the indices v <= p/2 are stored (real part at v, imaginary part at p-v).
void RaderRealDft(const FftRadixData& rd, int32_t p, const double* x, ptrdiff_t xs, double* y,
                  ptrdiff_t ys, double* work) {
    const int32_t length = p - 1;
    double* a = work;
    double* productRe = a + length;
    double* productIm = productRe + length;
    double* bRe = productIm + length;
    double* bIm = bRe + length;
    const double x0 = x[0];
    double sum = x0;
    for (int32_t k = 1; k < p; ++k) sum += x[k * xs];
    for (int32_t k = 0; k < length; ++k) a[k] = x[rd.inputOrder[k + 1] * xs];
    double* spectrum = y + ys;  // half-complex, length p-1
    ReFftForward(rd.subPlan, a, spectrum, 1, static_cast<int32_t>(ys), length);
    const int32_t half = length / 2;
    for (int32_t k = 0; k < length; ++k) {
        double ar, ai;
        if (k == 0 || k == half) {
            ar = spectrum[k * ys];
            ai = 0.0;
        } else if (k < half) {
            ar = spectrum[k * ys];
            ai = spectrum[(length - k) * ys];
        } else {
            ar = spectrum[(length - k) * ys];
            ai = -spectrum[k * ys];
        }
        const double kr = rd.kernelRe[k], ki = rd.kernelIm[k];
        productRe[k] = ar * kr - ai * ki;
        productIm[k] = -(ar * ki + ai * kr);
    }
    CxFftForward(rd.subPlan, productRe, productIm, bRe, bIm, 1, 1, length);
    y[0] = sum;
    for (int32_t k = 0; k < length; ++k) {
        const int32_t v = rd.outputOrder[k + 1];
        if (2 * v < p) {
            y[v * ys] = x0 + bRe[k];
            y[(p - v) * ys] = -bIm[k];
        }
    }
}

void OddDft(const FftPlan& plan, int d, const double* xr, const double* xi, ptrdiff_t xs,
            double* yr, double* yi, ptrdiff_t ys, double* work) {
    const FftRadixData& rd = *plan.factorData[d];
    if (plan.kinds[d] == kGeneralRadix)
        GeneralDft(rd, plan.factors[d], xr, xi, xs, yr, yi, ys, work);
    else
        RaderDft(rd, plan.factors[d], xr, xi, xs, yr, yi, ys, work);
}

void OddRealDft(const FftPlan& plan, int d, const double* x, ptrdiff_t xs, double* y, ptrdiff_t ys,
                double* work) {
    const FftRadixData& rd = *plan.factorData[d];
    if (plan.kinds[d] == kGeneralRadix)
        GeneralRealDft(rd, plan.factors[d], x, xs, y, ys, work);
    else
        RaderRealDft(rd, plan.factors[d], x, xs, y, ys, work);
}

// (re, im) times the twiddle of q and j at level d.
void Twiddle(const FftPlan& plan, int d, int32_t q, int32_t j, double& re, double& im) {
    const FftRadixData& rd = *plan.factorData[d];
    const std::size_t at = TwiddleIndex(plan.factors[d], q, j);
    const double wr = rd.twiddleRe[at], wi = rd.twiddleIm[at];
    const double a = re, b = im;
    re = a * wr - b * wi;
    im = a * wi + b * wr;
}

}  // namespace

void OddComplexLeaf(const FftPlan& plan, int d, const double* inRe, const double* inIm,
                    double* outRe, double* outIm, ptrdiff_t kernelStride, ptrdiff_t callStride,
                    ptrdiff_t outStride, int32_t count) {
    const ptrdiff_t r = plan.factors[d];
    for (int32_t t = 0; t < count; ++t)
        OddDft(plan, d, inRe + t * callStride, inIm + t * callStride, kernelStride,
               outRe + t * r * outStride, outIm + t * r * outStride, outStride, plan.work);
}

void OddComplexTwiddle(const FftPlan& plan, int d, double* re, double* im, ptrdiff_t stride,
                       int32_t m) {
    const int32_t r = plan.factors[d];
    const ptrdiff_t col = m * stride;
    double* xr = plan.work;
    double* xi = xr + r;
    for (int32_t j = 0; j < m; ++j) {
        for (int32_t q = 0; q < r; ++q) {
            xr[q] = re[j * stride + q * col];
            xi[q] = im[j * stride + q * col];
            if (j > 0 && q > 0) Twiddle(plan, d, q, j, xr[q], xi[q]);
        }
        OddDft(plan, d, xr, xi, 1, re + j * stride, im + j * stride, col, xi + r);
    }
}

void OddRealLeaf(const FftPlan& plan, int d, const double* in, double* out, ptrdiff_t kernelStride,
                 ptrdiff_t callStride, ptrdiff_t outStride, int32_t count) {
    const ptrdiff_t r = plan.factors[d];
    for (int32_t t = 0; t < count; ++t)
        OddRealDft(plan, d, in + t * callStride, kernelStride, out + t * r * outStride, outStride,
                   plan.work);
}

void OddRealTwiddle(const FftPlan& plan, int d, double* x, ptrdiff_t stride, int32_t m) {
    const int32_t r = plan.factors[d];
    const int32_t low = (r + 1) / 2;  // X[j + k*m] with k < low lies below N/2
    const ptrdiff_t col = m * stride;
    const ptrdiff_t end = r * col;  // position N
    double* g = plan.work;
    for (int32_t q = 0; q < r; ++q) g[q] = x[q * col];
    OddRealDft(plan, d, g, 1, x, col, g + r);

    double* yr = plan.work;
    double* yi = yr + r;
    double* zr = yi + r;
    double* zi = zr + r;
    double* rest = zi + r;
    for (int32_t j = 1; 2 * j < m; ++j) {
        for (int32_t q = 0; q < r; ++q) {
            yr[q] = x[j * stride + q * col];
            yi[q] = x[(m - j) * stride + q * col];
            if (q > 0) Twiddle(plan, d, q, j, yr[q], yi[q]);
        }
        OddDft(plan, d, yr, yi, 1, zr, zi, 1, rest);
        for (int32_t k = 0; k < r; ++k) {
            const ptrdiff_t lowAt = j * stride + k * col, highAt = end - lowAt;
            if (k < low) {
                x[lowAt] = zr[k];
                x[highAt] = zi[k];
            } else {
                x[highAt] = zr[k];
                x[lowAt] = -zi[k];
            }
        }
    }
    if (m % 2 == 0) {
        const int32_t j = m / 2;
        for (int32_t q = 0; q < r; ++q) {
            yr[q] = x[j * stride + q * col];
            yi[q] = 0.0;
            if (q > 0) Twiddle(plan, d, q, j, yr[q], yi[q]);
        }
        OddDft(plan, d, yr, yi, 1, zr, zi, 1, rest);
        // X[j + k*m] for k < (r-1)/2; k = (r-1)/2 is the real value at N/2.
        for (int32_t k = 0; 2 * k + 1 < r; ++k) {
            const ptrdiff_t lowAt = j * stride + k * col;
            x[lowAt] = zr[k];
            x[end - lowAt] = zi[k];
        }
        x[end / 2] = zr[(r - 1) / 2];
    }
}

}  // namespace engine::detail
