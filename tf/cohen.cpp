// Cohen-class distributions: the Wigner-Ville computation with the local
// autocorrelation smoothed along time by a Doppler-lag kernel; the generic
// kernel, the Choi-Williams and the cone-shaped one.

#include <algorithm>
#include <cmath>

#include "distribution.h"

namespace tf {
namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kTwoPi = 6.283185307179586;
// e^x rounds to +0 below this (e^−746 is under half the smallest subnormal), so
// the heavily smoothed corners of a kernel need no exponential.
constexpr double kExpUnderflow = -746.0;

// Lengths of one smoothing: T output instants, the time transform of NF points
// over the instants that have products, and its fold onto T2 = NF/S points.
struct Smoothing {
    int32_t T = 0, T2 = 0, NF = 0, count = 0;
    scratch::Array<double> work;
    std::optional<engine::PlanRef> full, folded;

    int32_t Check(int32_t Ny, int32_t lags, int32_t g, int32_t S, int32_t kernelRows, int32_t H) {
        if (!IsPowerOfTwo(S)) return status::kBadSmoothingStep;
        const int64_t n = Ny / g, instants = n / S;
        const int64_t T2Wide = NextPowerOfTwo64(instants), NFWide = S * T2Wide;
        if (NFWide != H || kernelRows < lags) return status::kBadKernelSize;
        T = static_cast<int32_t>(instants);
        T2 = static_cast<int32_t>(T2Wide);
        NF = H;
        count = static_cast<int32_t>(std::min<int64_t>(n, NF));  // instants k < NF only
        return status::kOk;
    }
    // The checks, then `blocks` work arrays of NF doubles and both plans.
    int32_t Prepare(int32_t Ny, int32_t lags, int32_t g, int32_t S, int32_t kernelRows, int32_t H,
                    int32_t blocks) {
        if (const int32_t code = Check(Ny, lags, g, S, kernelRows, H); code != status::kOk)
            return code;
        work = ScratchArray<double>(int64_t{blocks} * NF);
        if (!work) return status::kNoMemory;
        full.emplace(NF);
        if (!*full) return status::kNoMemory;
        folded.emplace(T2);
        return *folded ? status::kOk : status::kNoMemory;
    }
    double* Block(int32_t index) const { return work.get() + int64_t{index} * NF; }
};

// Real and imaginary part of bin p of a half-complex spectrum of length N.
inline double HcRe(const double* hc, int32_t p, int32_t N) {
    return 2 * p <= N ? hc[p] : hc[N - p];
}
inline double HcIm(const double* hc, int32_t p, int32_t N) {
    if (p == 0 || 2 * p == N) return 0.0;
    return 2 * p < N ? hc[N - p] : -hc[p];
}

// Column j = H/2 + 1 + k repeats column H/2 − 1 − k; column 0 stands alone.
void MirrorRow(double* row, int32_t H) {
    for (int32_t k = 0; k <= (H - 1) / 2 - 1; ++k) row[H / 2 + 1 + k] = row[H / 2 - 1 - k];
}

using KernelBuilder = void (*)(int32_t B, int32_t H, double parameter, double* kernel);

// CWD and CSD: their own checks, the kernel over the whole time transform, then Cohen.
int32_t WithBuiltKernel(const double* re, const double* im, int32_t n, int32_t B, int32_t S,
                        double parameter, int32_t analytic, double* out, KernelBuilder build) {
    if (n <= 0) return status::kShortSignal;
    if (!IsPowerOfTwo(S)) return status::kBadTimeStep;
    if (B != 0 && !IsPowerOfTwo(B)) return status::kBadBinCount;
    const int64_t T = n / S, H = S * NextPowerOfTwo64(T);
    if (H > INT32_MAX || B * H > INT32_MAX) return status::kNoMemory;
    scratch::Array<double> kernel = ScratchArray<double>(B * H);
    if (!kernel) return status::kNoMemory;
    if (T == 0) return status::kBadKernelSize;
    const auto width = static_cast<int32_t>(H);
    build(B, width, parameter, kernel.get());
    return Cohen(re, im, n, kernel.get(), B, width, S, analytic, out);
}

}  // namespace

int32_t CxKernelSmooth(const double* yRe, const double* yIm, int32_t Ny, int32_t lags, int32_t g,
                       int32_t S, const double* kernel, int32_t kernelRows, int32_t H,
                       double* outRe, double* outIm) {
    Smoothing sm;
    if (const int32_t code = sm.Prepare(Ny, lags, g, S, kernelRows, H, 4); code != status::kOk)
        return code;
    const int32_t NF = sm.NF, T2 = sm.T2, half = NF / 2;
    double* uRe = sm.Block(0);
    double* uIm = sm.Block(1);
    double* aRe = sm.Block(2);
    double* aIm = sm.Block(3);
    const double inverseS = 1.0 / S;
    for (int32_t tau = 0; tau < lags; ++tau) {
        CxLagProducts(yRe, yIm, Ny, tau, g, sm.count, uRe, uIm);
        std::fill(uRe + sm.count, uRe + NF, 0.0);
        std::fill(uIm + sm.count, uIm + NF, 0.0);
        engine::CxFftForward(sm.full->get(), uRe, uIm, aRe, aIm, 1, 1, NF);
        // Bin p has the Doppler of column (p + NF/2) mod NF.
        const double* phi = kernel + int64_t{tau} * H;
        for (int32_t p = 0; p < half; ++p) {
            aRe[p] *= phi[half + p];
            aIm[p] *= phi[half + p];
        }
        for (int32_t p = half; p < NF; ++p) {
            aRe[p] *= phi[p - half];
            aIm[p] *= phi[p - half];
        }
        // Sampling every S-th instant folds the spectrum onto T2 bins.
        std::copy_n(aRe, T2, uRe);
        std::copy_n(aIm, T2, uIm);
        for (int32_t s = 1; s < S; ++s) {
            const double* bRe = aRe + int64_t{s} * T2;
            const double* bIm = aIm + int64_t{s} * T2;
            for (int32_t q = 0; q < T2; ++q) {
                uRe[q] += bRe[q];
                uIm[q] += bIm[q];
            }
        }
        for (int32_t q = 0; q < T2; ++q) {
            uRe[q] *= inverseS;
            uIm[q] *= inverseS;
        }
        engine::CxFftInverse(sm.folded->get(), uRe, uIm, aRe, aIm, 1, 1, T2);
        std::copy_n(aRe, sm.T, outRe + int64_t{tau} * sm.T);
        std::copy_n(aIm, sm.T, outIm + int64_t{tau} * sm.T);
    }
    return status::kOk;
}

int32_t ReKernelSmooth(const double* y, int32_t Ny, int32_t lags, int32_t g, int32_t S,
                       const double* kernel, int32_t kernelRows, int32_t H, double* out) {
    Smoothing sm;
    if (const int32_t code = sm.Prepare(Ny, lags, g, S, kernelRows, H, 2); code != status::kOk)
        return code;
    const int32_t NF = sm.NF, T2 = sm.T2, half = NF / 2;
    double* u = sm.Block(0);
    double* a = sm.Block(1);
    const double inverseS = 1.0 / S;
    for (int32_t tau = 0; tau < lags; ++tau) {
        ReLagProducts(y, Ny, tau, g, sm.count, u);
        std::fill(u + sm.count, u + NF, 0.0);
        engine::ReFftForward(sm.full->get(), u, a, 1, 1, NF);
        // A real autocorrelation has a symmetric spectrum: bins q and NF − q take
        // the mean of the kernel's two Doppler columns ±q.
        const double* phi = kernel + int64_t{tau} * H;
        a[0] *= phi[half];
        for (int32_t q = 1; q <= (NF + 1) / 2 - 1; ++q) {
            const double f = 0.5 * (phi[half - q] + phi[half + q]);
            a[q] *= f;
            a[NF - q] *= f;
        }
        if (NF % 2 == 0) a[half] *= phi[0];
        // The fold of the full spectrum onto T2 bins, straight into half-complex form.
        for (int32_t q = 0; 2 * q <= T2; ++q) {
            double sum = HcRe(a, q, NF);
            for (int32_t s = 1; s < S; ++s) sum += HcRe(a, s * T2 + q, NF);
            u[q] = sum;
        }
        for (int32_t q = 1; 2 * q < T2; ++q) {
            double sum = HcIm(a, q, NF);
            for (int32_t s = 1; s < S; ++s) sum += HcIm(a, s * T2 + q, NF);
            u[T2 - q] = sum;
        }
        for (int32_t q = 0; q < T2; ++q) u[q] *= inverseS;
        engine::ReFftInverse(sm.folded->get(), u, a, 1, 1, T2);
        std::copy_n(a, sm.T, out + int64_t{tau} * sm.T);
    }
    return status::kOk;
}

void ChoiWilliamsKernel(int32_t B, int32_t H, double sigma, double* kernel) {
    const double s = sigma < 0 ? 0.0 : sigma;
    const double omega0 = kTwoPi / H;
    for (int32_t tau = 0; tau < B; ++tau) {
        double* row = kernel + int64_t{tau} * H;
        const double tau2 = static_cast<double>(tau) * tau;
        for (int32_t j = 0; j <= H / 2; ++j) {
            const double w = omega0 * (j - H / 2);
            const double exponent = -tau2 * s * (w * w);
            row[j] = exponent < kExpUnderflow ? 0.0 : std::exp(exponent);
        }
        MirrorRow(row, H);
    }
}

void ConeKernel(int32_t B, int32_t H, double alpha, double* kernel) {
    const double a0 = alpha < 0 ? 0.0 : alpha;
    for (int32_t tau = 0; tau < B; ++tau) {
        double* row = kernel + int64_t{tau} * H;
        const double tau2 = static_cast<double>(tau) * tau;
        const double g = std::exp(-a0 * tau2);
        for (int32_t j = 0; j <= H / 2; ++j) {
            const double a = kPi * tau * (j - H / 2) / H;
            row[j] = a == 0 ? g : g * std::sin(a) / a;
        }
        MirrorRow(row, H);
    }
}

}  // namespace tf

using namespace tf;

extern "C" {

int32_t Cohen(const double* re, const double* im, int32_t n, const double* kernel, int32_t B,
              int32_t H, int32_t S, int32_t analytic, double* out) {
    if (n <= 0) return status::kShortSignal;
    if (!IsPowerOfTwo(B) || !IsPowerOfTwo(H)) return status::kBadKernelSize;
    if (!IsPowerOfTwo(S)) return status::kBadTimeStep;
    DistributionLayout l;
    if (const int32_t code = MakeLayout(im, n, B, S, analytic, true, &l); code != status::kOk)
        return code;
    PreparedSignal y;
    if (const int32_t code = y.Prepare(re, im, l); code != status::kOk) return code;
    const int64_t size = int64_t{l.lags} * l.T;
    scratch::Array<double> k = ScratchArray<double>(l.Channels() * size);
    if (!k) return status::kNoMemory;
    double* kRe = k.get();
    double* kIm = kRe + size;
    // The kernel width is checked here, after the preparation.
    const int32_t code =
        y.Im() ? CxKernelSmooth(y.Re(), y.Im(), l.Ny, l.lags, l.grid, S, kernel, B, H, kRe, kIm)
               : ReKernelSmooth(y.Re(), l.Ny, l.lags, l.grid, S, kernel, B, H, kRe);
    if (code != status::kOk) return code;
    y.Release();
    if (l.ComplexLags()) return CxLagToFrequency(kRe, kIm, l.lags, l.T, l.F, out);
    return ReLagToFrequency(kRe, l.lags, l.T, l.F, out);
}

int32_t CWD(const double* re, const double* im, int32_t n, int32_t B, int32_t S, double sigma,
            int32_t analytic, double* out) {
    return WithBuiltKernel(re, im, n, B, S, sigma, analytic, out, ChoiWilliamsKernel);
}

int32_t CSD(const double* re, const double* im, int32_t n, int32_t B, int32_t S, double alpha,
            int32_t analytic, double* out) {
    return WithBuiltKernel(re, im, n, B, S, alpha, analytic, out, ConeKernel);
}

}  // extern "C"
