// Pseudo Wigner-Ville distribution: the local autocorrelation of the prepared
// signal at the output instants, transformed over the lag.

#include <algorithm>

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
    // Row r is the autocorrelation at point r·d of the prepared signal.
    const int64_t d = int64_t{l.grid} * S;
    // Rows whose lags all lie inside the signal go sixteen at a time, along the
    // lag in the vectors' lanes; the rows near the ends one at a time.
    const int32_t L = l.lags;
    const int64_t first = (L - 1 + d - 1) / d;
    const int64_t last = std::min<int64_t>(l.Ny >= L ? (l.Ny - L) / d : -1, l.T - 1);
    const int64_t batches =
        LagRows::Suits(L) && last >= first ? (last - first + 1) / LagRows::kRows : 0;
    RowPhases phases;
    LagRows lagRows;
    if (batches > 0) {
        if (const int32_t code = phases.Split(y.Re(), y.Im(), l.Ny, static_cast<int32_t>(d));
            code != status::kOk)
            return code;
        if (const int32_t code = lagRows.Prepare(L); code != status::kOk) return code;
        lagRows.Index(phases);
    }
    const int64_t batchEnd = first + batches * LagRows::kRows;
    for (int64_t r = 0; r < l.T;) {
        double* row = out + r * l.F;
        if (r == first && batches > 0) {
            for (; r < batchEnd; r += LagRows::kRows) {
                if (y.Im())
                    lagRows.ComplexProducts(phases, r, out, l.F);
                else
                    lagRows.RealProducts(phases, r, out, l.F);
            }
            continue;
        }
        if (y.Im())
            transform.ComplexRowAt(y.Re(), y.Im(), l.Ny, r * d, l.F, row);
        else
            transform.RealRowAt(y.Re(), l.Ny, r * d, l.F, row);
        ++r;
    }
    return status::kOk;
}

}  // extern "C"
