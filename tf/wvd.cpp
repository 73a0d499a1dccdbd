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

    PreparedSignal y;
    if (const int32_t code = y.Prepare(re, im, l); code != status::kOk) return code;
    LagTransform transform;
    if (const int32_t code = transform.Prepare(l.lags); code != status::kOk) return code;
    // Row r is the autocorrelation at point r·d of the prepared signal,
    // formed along the lag straight into the lag transform's row.
    const int64_t d = int64_t{l.grid} * S;
    for (int64_t r = 0; r < l.T; ++r) {
        double* row = out + r * l.F;
        if (y.Im())
            transform.ComplexRowAt(y.Re(), y.Im(), l.Ny, r * d, l.F, row);
        else
            transform.RealRowAt(y.Re(), l.Ny, r * d, l.F, row);
    }
    return status::kOk;
}

}  // extern "C"
