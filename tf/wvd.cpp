// Pseudo Wigner-Ville distribution: the local autocorrelation of the prepared
// signal at the output instants, transformed over the lag.

#include "distribution.h"

using namespace tf;

extern "C" {

int32_t WVD(const double* re, const double* im, int32_t n, int32_t B, int32_t S, int32_t analytic,
            double* out) {
    if (n <= 0) return status::kShortSignal;
    if (!IsPowerOfTwo(B)) return status::kBadBinCount;
    if (S <= 0) return status::kBadTimeStep;  // the row count divides by it
    DistributionLayout l;
    if (const int32_t code = MakeLayout(im, n, B, S, analytic, false, &l); code != status::kOk)
        return code;
    if (l.T == 0) return status::kOk;  // S > n: no rows

    // Rows r·S are the points r·d of the prepared signal.
    const int32_t d = l.grid * S;
    return RunDistribution(
        re, im, l,
        [&l, d](const double* yRe, const double* yIm, double* kRe, double* kIm) {
            for (int32_t tau = 0; tau < l.lags; ++tau) {
                const int64_t at = int64_t{tau} * l.T;
                if (kIm)
                    CxLagProducts(yRe, yIm, l.Ny, tau, d, l.T, kRe + at, kIm + at);
                else
                    ReLagProducts(yRe, l.Ny, tau, d, l.T, kRe + at);
            }
            return status::kOk;
        },
        out);
}

}  // extern "C"
