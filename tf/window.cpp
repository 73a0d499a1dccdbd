// The Gaussian analysis window and the dual (synthesis) window of a Gabor lattice.

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "mornavel.h"
#include "pinv.h"
#include "scratch.h"
#include "status.h"

namespace {

constexpr double kPi = 3.141592653589793;
// log2(e) rounded to double: exp(x) is evaluated as exp2(x·log2(e)).
constexpr double kLog2E = 1.4426950408889634;
// Singular values of the phase systems at or below this are dropped.
constexpr double kDualThreshold = 1e-10;

bool PowerOfTwo(int32_t n) { return n > 0 && (n & (n - 1)) == 0; }

}  // namespace

extern "C" {

int32_t Gaussian(int32_t L, double center, double variance, double* w) {
    const double factor = 1.0 / std::sqrt(std::sqrt(kPi * variance));
    const double coefficient = -0.5 / variance;
    for (int32_t i = 0; i < L; ++i) {
        const double d = center - static_cast<double>(i);
        w[i] = factor * std::exp2(coefficient * (d * d) * kLog2E);
    }
    return status::kOk;
}

int32_t FastDual(const double* w, int32_t L, int32_t D, int32_t N, int32_t mode, double* dual) {
    if (D <= 0 || N <= 0 || !PowerOfTwo(N)) return status::kBadLattice;
    if (L <= 0 || L % D != 0 || L % N != 0) return status::kShortSignal;
    if (N < D) return status::kBadLattice;
    if (mode != 0 && mode != 1) return status::kBadPeriodicityMode;

    // Mode 0 takes the window as periodic with period L and uses the shifts
    // 0 ... L - N; mode 1 zero-extends it to 2L - N samples, so that wrapping
    // modulo that length covers the shifts -(L - N) ... L - N of the window.
    const int64_t period = mode == 0 ? L : 2 * static_cast<int64_t>(L) - N;
    const int64_t unknowns = L / D;
    const int64_t shifts = mode == 0 ? L / N : 2 * static_cast<int64_t>(L) / N - 1;
    // Each phase system goes to the solver in its taller orientation.
    const bool transposed = unknowns < shifts;
    const int64_t rows = transposed ? shifts : unknowns, cols = transposed ? unknowns : shifts;

    const int64_t matrixCount = pinv::MatrixCount(rows, cols);
    const int64_t periodCount = pinv::MatrixCount(period, 1);
    if (matrixCount < 0 || periodCount < 0 || rows > INT32_MAX) return status::kNoMemory;
    // cols <= rows, so cols² doubles fit wherever rows·cols do.
    const auto columns = static_cast<std::size_t>(cols);
    scratch::Array<double> extended(static_cast<std::size_t>(periodCount)),
        matrix(static_cast<std::size_t>(matrixCount)), v(columns * columns), s(columns),
        work(static_cast<std::size_t>(rows) + columns);
    if (!extended || !matrix || !v || !s || !work) return status::kNoMemory;

    for (int64_t k = 0; k < period; ++k) extended[k] = k < L ? w[k] : 0.0;

    // γ needs all of U and the first row of V, or (transposed) the first row of
    // U and all of V.
    const auto m = static_cast<int32_t>(rows), k = static_cast<int32_t>(cols);
    const pinv::Svd svd{matrix.get(),       s.get(),           v.get(), m, k,
                        transposed ? 1 : m, transposed ? k : 1};
    for (int32_t i = 0; i < D; ++i) {
        // A[j][r] = w̃[(i + j·D + r·N) mod period]: row j is sample j of the
        // phase, column r one shift of the window.
        for (int64_t j = 0; j < unknowns; ++j) {
            int64_t sample = i + j * D;  // < L <= period
            for (int64_t r = 0; r < shifts; ++r) {
                matrix[transposed ? r * cols + j : j * cols + r] = extended[sample];
                sample += N;
                if (sample >= period) sample -= period;
            }
        }
        const int32_t solved = pinv::Decompose(svd, work.get());
        if (solved != status::kOk) return solved;
        // The minimum-norm solution of Aᵀ·γ = (1, 0, ..., 0) is the first row
        // of pinv(A), that is the first column of pinv(Aᵀ).
        for (int32_t j = 0; j < unknowns; ++j) {
            const double gamma = transposed ? pinv::PseudoInverseAt(svd, kDualThreshold, j, 0)
                                            : pinv::PseudoInverseAt(svd, kDualThreshold, 0, j);
            dual[i + static_cast<int64_t>(j) * D] = gamma / D;
        }
    }
    return status::kOk;
}

}  // extern "C"
