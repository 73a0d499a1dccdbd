#pragma once
// Singular value decomposition (Golub-Reinsch) and the pseudo-inverse built on
// it. Matrices are row-major arrays of doubles.

#include <cstddef>
#include <cstdint>

namespace pinv {

// A = U·diag(s)·Vᵀ of an m×k matrix with m >= k: U is m×k, V is k×k, the k
// singular values are non-negative and in decreasing order. Only the leading
// uRows rows of U and vRows rows of V are computed (m and k for all of them);
// the others are left meaningless.
struct Svd {
    double* u;
    double* s;
    double* v;
    int32_t m;
    int32_t k;
    int32_t uRows;
    int32_t vRows;
};

// Decomposes the m×k matrix held in svd.u (m >= k >= 1), overwriting it with U.
// `work` holds m + k doubles. Returns 0, or -20062 when a singular value has
// not converged after 30 tests.
int32_t Decompose(const Svd& svd, double* work);

// Element (r, c) of V·diag(s⁺)·Uᵀ, the pseudo-inverse of the decomposed matrix,
// where s⁺ = 1/s for s above the threshold and 0 otherwise.
double PseudoInverseAt(const Svd& svd, double threshold, int32_t r, int32_t c);

// The k×m pseudo-inverse of the m×k matrix a into p. A negative threshold
// stands for 2^-52·min(m, k). Returns 0, -20003 for an empty matrix, -20001
// when memory is exhausted or -20062 when the decomposition does not converge;
// p is written only on success.
int32_t PseudoInverse(const double* a, int32_t m, int32_t k, double threshold, double* p);

// Number of doubles in a rows×cols matrix, or -1 when no array that large can
// be addressed.
int64_t MatrixCount(int64_t rows, int64_t cols);

}  // namespace pinv
