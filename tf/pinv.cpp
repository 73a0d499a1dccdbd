// Golub-Reinsch singular value decomposition: Householder reduction to upper
// bidiagonal form, accumulation of the right-hand and then the left-hand
// transformations, and diagonalisation by implicit-shift QR sweeps made of
// Givens rotations.

#include "pinv.h"

#include <cmath>
#include <cstddef>
#include <limits>
#include <utility>

#include "scratch.h"
#include "status.h"

namespace pinv {
namespace {

constexpr int kConvergenceTests = 30;

// An element is negligible when adding its magnitude to the norm of the
// bidiagonal matrix changes that norm by less than 1e-16. From a norm of 0.5
// up, where one unit in the last place exceeds 1e-16, this is "the norm does
// not change at all"; below, it is an absolute bound of about 1e-16, far under
// the singular values the pseudo-inverse keeps.
bool Negligible(double value, double norm) { return (norm + std::fabs(value)) - norm < 1e-16; }

// sqrt(a² + b²) without overflow or destructive underflow: the larger
// magnitude goes outside the root.
double Hypotenuse(double a, double b) {
    const double absA = std::fabs(a), absB = std::fabs(b);
    if (absA > absB) {
        const double ratio = absB / absA;
        return absA * std::sqrt(1.0 + ratio * ratio);
    }
    if (absB == 0.0) return 0.0;
    const double ratio = absA / absB;
    return absB * std::sqrt(1.0 + ratio * ratio);
}

// |magnitude| with the sign of `sign`.
double WithSign(double magnitude, double sign) {
    return sign >= 0.0 ? std::fabs(magnitude) : -std::fabs(magnitude);
}

// Row-major view of a matrix with `cols` columns.
struct Matrix {
    double* data;
    int32_t cols;
    double& operator()(int32_t r, int32_t c) const {
        return data[static_cast<std::ptrdiff_t>(r) * cols + c];
    }
};

// Applies the plane rotation (c, s) to columns p and q of the first `rows` rows.
void RotateColumns(Matrix a, int32_t rows, int32_t p, int32_t q, double c, double s) {
    for (int32_t r = 0; r < rows; ++r) {
        const double x = a(r, p), y = a(r, q);
        a(r, p) = x * c + y * s;
        a(r, q) = y * c - x * s;
    }
}

// out[j] = Σ x[t·xStep]·y[t·yStep + j·yNext] over t = 0 ... count-1, for
// j = 0 ... vectors-1: the dot products of one vector with several columns
// (yStep = row length, yNext = 1) or rows (yStep = 1, yNext = row length), as
// the reflections need them. Four sums run side by side, each taken in
// increasing t as if alone: the results are the same to the last bit, but the
// sums no longer wait for one another.
void Dots(const double* x, std::ptrdiff_t xStep, const double* y, std::ptrdiff_t yStep,
          std::ptrdiff_t yNext, int32_t count, int32_t vectors, double* out) {
    int32_t j = 0;
    for (; j + 4 <= vectors; j += 4) {
        const double* y0 = y + j * yNext;
        double d0 = 0.0, d1 = 0.0, d2 = 0.0, d3 = 0.0;
        for (int32_t t = 0; t < count; ++t) {
            const double xt = x[t * xStep];
            const double* yt = y0 + t * yStep;
            d0 += xt * yt[0];
            d1 += xt * yt[yNext];
            d2 += xt * yt[2 * yNext];
            d3 += xt * yt[3 * yNext];
        }
        out[j] = d0;
        out[j + 1] = d1;
        out[j + 2] = d2;
        out[j + 3] = d3;
    }
    for (; j < vectors; ++j) {
        double d = 0.0;
        for (int32_t t = 0; t < count; ++t) d += x[t * xStep] * y[t * yStep + j * yNext];
        out[j] = d;
    }
}

// A Householder reflector made in place from the `count` values x[0],
// x[stride], ...: they are scaled by their sum of magnitudes and x[0] becomes
// f - g, where g is minus the norm with the sign of f = x[0]. Scale 0 means
// there is nothing to reflect and x is left as it is.
struct Reflector {
    double scale = 0.0, g = 0.0, h = 0.0;
};

Reflector MakeReflector(double* x, std::ptrdiff_t stride, int32_t count) {
    Reflector reflector;
    for (int32_t i = 0; i < count; ++i) reflector.scale += std::fabs(x[i * stride]);
    if (reflector.scale == 0.0) return reflector;
    double sum = 0.0;
    for (int32_t i = 0; i < count; ++i) {
        x[i * stride] /= reflector.scale;
        sum += x[i * stride] * x[i * stride];
    }
    const double f = x[0];
    reflector.g = -WithSign(std::sqrt(sum), f);
    reflector.h = f * reflector.g - sum;
    x[0] = f - reflector.g;
    return reflector;
}

// Householder reduction of a (m×k) to bidiagonal form: the diagonal goes to s,
// the superdiagonal to e (e[0] = 0); the reflectors stay in a. `dots` holds m
// doubles. Returns the norm used by the negligibility test.
double Bidiagonalise(Matrix a, int32_t m, int32_t k, double* s, double* e, double* dots) {
    double norm = 0.0;
    Reflector right;
    for (int32_t i = 0; i < k; ++i) {
        const int32_t l = i + 1;
        e[i] = right.scale * right.g;
        // Left reflector: zeroes column i below the diagonal.
        const Reflector left = MakeReflector(&a(i, i), a.cols, m - i);
        if (left.scale != 0.0) {
            // e[l ...] is free until the right reflector below.
            double* factor = e;
            if (l < k) Dots(&a(i, i), a.cols, &a(i, l), a.cols, 1, m - i, k - l, factor + l);
            for (int32_t c = l; c < k; ++c) factor[c] = factor[c] / left.h;
            for (int32_t r = i; r < m; ++r)
                for (int32_t c = l; c < k; ++c) a(r, c) += factor[c] * a(r, i);
            for (int32_t r = i; r < m; ++r) a(r, i) *= left.scale;
        }
        s[i] = left.scale * left.g;
        // Right reflector: zeroes row i right of the superdiagonal.
        right = Reflector{};
        if (i != k - 1) {
            right = MakeReflector(&a(i, l), 1, k - l);
            if (right.scale != 0.0) {
                for (int32_t c = l; c < k; ++c) e[c] = a(i, c) / right.h;
                Dots(&a(i, l), 1, &a(l, l), 1, a.cols, k - l, m - l, dots + l);
                for (int32_t r = l; r < m; ++r)
                    for (int32_t c = l; c < k; ++c) a(r, c) += dots[r] * e[c];
                for (int32_t c = l; c < k; ++c) a(i, c) *= right.scale;
            }
        }
        norm = std::fmax(norm, std::fabs(s[i]) + std::fabs(e[i]));
    }
    return norm;
}

// V from the right reflectors kept in the rows of a; `dots` holds k doubles.
void AccumulateRight(Matrix a, Matrix v, int32_t k, const double* e, double* dots) {
    double g = 0.0;
    int32_t l = k;
    for (int32_t i = k - 1; i >= 0; --i) {
        if (i < k - 1) {
            if (g != 0.0) {
                // Divided twice to avoid underflow.
                for (int32_t r = l; r < k; ++r) v(r, i) = (a(i, r) / a(i, l)) / g;
                Dots(&a(i, l), 1, &v(l, l), v.cols, 1, k - l, k - l, dots + l);
                for (int32_t r = l; r < k; ++r)
                    for (int32_t c = l; c < k; ++c) v(r, c) += dots[c] * v(r, i);
            }
            for (int32_t c = l; c < k; ++c) v(i, c) = v(c, i) = 0.0;
        }
        v(i, i) = 1.0;
        g = e[i];
        l = i;
    }
}

// U, in place of the left reflectors kept in the columns of a; `dots` holds k
// doubles.
void AccumulateLeft(Matrix a, int32_t m, int32_t k, const double* s, double* dots) {
    for (int32_t i = k - 1; i >= 0; --i) {
        const int32_t l = i + 1;
        double g = s[i];
        for (int32_t c = l; c < k; ++c) a(i, c) = 0.0;
        if (g != 0.0) {
            g = 1.0 / g;
            if (l < k) Dots(&a(l, i), a.cols, &a(l, l), a.cols, 1, m - l, k - l, dots + l);
            for (int32_t c = l; c < k; ++c) dots[c] = (dots[c] / a(i, i)) * g;
            for (int32_t r = i; r < m; ++r)
                for (int32_t c = l; c < k; ++c) a(r, c) += dots[c] * a(r, i);
            for (int32_t r = i; r < m; ++r) a(r, i) *= g;
        } else {
            for (int32_t r = i; r < m; ++r) a(r, i) = 0.0;
        }
        a(i, i) += 1.0;
    }
}

// U and V while the bidiagonal matrix is diagonalised. Only their leading
// uRows and vRows rows are kept up to date: the rows are rotated independently,
// so callers that need a few rows only are spared the others.
struct Factors {
    Matrix u, v;
    int32_t uRows, vRows;
    void RotateU(int32_t p, int32_t q, double c, double s) const {
        RotateColumns(u, uRows, p, q, c, s);
    }
    void RotateV(int32_t p, int32_t q, double c, double s) const {
        RotateColumns(v, vRows, p, q, c, s);
    }
};

// Zeroes the superdiagonal element e[l] once s[l-1] is negligible, by rotations
// of rows l ... j of the bidiagonal matrix against row l - 1.
void CancelSuperdiagonal(const Factors& f, int32_t l, int32_t j, double norm, double* s,
                         double* e) {
    const int32_t previous = l - 1;
    double c = 0.0, sn = 1.0;
    for (int32_t i = l; i <= j; ++i) {
        const double g0 = sn * e[i];
        e[i] = c * e[i];
        if (Negligible(g0, norm)) break;
        const double g = s[i];
        double h = Hypotenuse(g0, g);
        s[i] = h;
        h = 1.0 / h;
        c = g * h;
        sn = -g0 * h;
        f.RotateU(previous, i, c, sn);
    }
}

// One implicit-shift QR sweep over rows l ... j of the bidiagonal matrix, the
// shift taken from the trailing 2×2 block.
void Sweep(const Factors& factors, int32_t l, int32_t j, double* s, double* e) {
    double x = s[l];
    const double z0 = s[j];
    double y = s[j - 1], g = e[j - 1], h = e[j];
    double f = ((y - z0) * (y + z0) + (g - h) * (g + h)) / (2.0 * h * y);
    g = Hypotenuse(f, 1.0);
    f = ((x - z0) * (x + z0) + h * ((y / (f + WithSign(g, f))) - h)) / x;
    double c = 1.0, sn = 1.0;
    for (int32_t p = l; p < j; ++p) {
        const int32_t q = p + 1;
        g = e[q];
        y = s[q];
        h = sn * g;
        g = c * g;
        double z = Hypotenuse(f, h);
        e[p] = z;
        c = f / z;
        sn = h / z;
        f = x * c + g * sn;
        g = g * c - x * sn;
        h = y * sn;
        y *= c;
        factors.RotateV(p, q, c, sn);
        z = Hypotenuse(f, h);
        s[p] = z;
        // A zero hypotenuse leaves the rotation as it was.
        if (z != 0.0) {
            z = 1.0 / z;
            c = f * z;
            sn = h * z;
        }
        f = c * g + sn * y;
        x = c * y - sn * g;
        factors.RotateU(p, q, c, sn);
    }
    e[l] = 0.0;
    e[j] = f;
    s[j] = x;
}

// Diagonalises the k×k bidiagonal matrix (s, e), updating U and V.
int32_t Diagonalise(const Factors& f, int32_t k, double norm, double* s, double* e) {
    for (int32_t j = k - 1; j >= 0; --j) {
        for (int test = 1;; ++test) {
            // Find the start l of the unreduced block ending at j. e[0] stands
            // outside the matrix and counts as zero, whatever the norm.
            bool cancel = true;
            int32_t l = j;
            for (; l >= 0; --l) {
                if (l == 0 || Negligible(e[l], norm)) {
                    cancel = false;
                    break;
                }
                if (Negligible(s[l - 1], norm)) break;
            }
            if (cancel) CancelSuperdiagonal(f, l, j, norm, s, e);
            if (l == j) {
                if (s[j] < 0.0) {
                    s[j] = -s[j];
                    for (int32_t r = 0; r < f.vRows; ++r) f.v(r, j) = -f.v(r, j);
                }
                break;
            }
            if (test == kConvergenceTests) return status::kNoConvergence;
            Sweep(f, l, j, s, e);
        }
    }
    return status::kOk;
}

// Decreasing order, the columns of U and V exchanged alike.
void Sort(const Factors& f, int32_t k, double* s) {
    for (int32_t i = 0; i < k; ++i) {
        int32_t largest = i;
        for (int32_t c = i + 1; c < k; ++c)
            if (s[c] > s[largest]) largest = c;
        if (largest == i) continue;
        std::swap(s[i], s[largest]);
        for (int32_t r = 0; r < f.uRows; ++r) std::swap(f.u(r, i), f.u(r, largest));
        for (int32_t r = 0; r < f.vRows; ++r) std::swap(f.v(r, i), f.v(r, largest));
    }
}

}  // namespace

int32_t Decompose(const Svd& svd, double* work) {
    const Matrix u{svd.u, svd.k}, v{svd.v, svd.k};
    double* e = work;
    double* dots = work + svd.k;
    const double norm = Bidiagonalise(u, svd.m, svd.k, svd.s, e, dots);
    AccumulateRight(u, v, svd.k, e, dots);
    AccumulateLeft(u, svd.m, svd.k, svd.s, dots);
    const Factors factors{u, v, svd.uRows, svd.vRows};
    const int32_t status = Diagonalise(factors, svd.k, norm, svd.s, e);
    if (status != status::kOk) return status;
    Sort(factors, svd.k, svd.s);
    return status::kOk;
}

double PseudoInverseAt(const Svd& svd, double threshold, int32_t r, int32_t c) {
    const Matrix u{svd.u, svd.k}, v{svd.v, svd.k};
    double sum = 0.0;
    // The values are sorted: the first one at or below the threshold ends the sum.
    for (int32_t l = 0; l < svd.k && svd.s[l] > threshold; ++l)
        sum += (v(r, l) * (1.0 / svd.s[l])) * u(c, l);
    return sum;
}

int64_t MatrixCount(int64_t rows, int64_t cols) {
    constexpr int64_t kMost =
        static_cast<int64_t>(std::numeric_limits<std::ptrdiff_t>::max() / sizeof(double));
    if (rows < 0 || cols < 0 || (cols != 0 && rows > kMost / cols)) return -1;
    return rows * cols;
}

int32_t PseudoInverse(const double* a, int32_t m, int32_t k, double threshold, double* p) {
    if (m < 1 || k < 1) return status::kBadMatrixSize;
    if (threshold < 0.0) threshold = std::ldexp(1.0, -52) * (m < k ? m : k);
    // The taller orientation is decomposed: A itself, or Aᵀ for a wide A.
    const bool transposed = m < k;
    const int32_t rows = transposed ? k : m, cols = transposed ? m : k;
    const int64_t count = MatrixCount(rows, cols);
    if (count < 0) return status::kNoMemory;
    scratch::Array<double> u(static_cast<std::size_t>(count)),
        v(static_cast<std::size_t>(cols) * cols), s(cols),
        work(static_cast<std::size_t>(rows) + cols);
    if (!u || !v || !s || !work) return status::kNoMemory;
    for (int32_t r = 0; r < m; ++r)
        for (int32_t c = 0; c < k; ++c) {
            const std::ptrdiff_t at = transposed ? static_cast<std::ptrdiff_t>(c) * m + r
                                                 : static_cast<std::ptrdiff_t>(r) * k + c;
            u[at] = a[static_cast<std::ptrdiff_t>(r) * k + c];
        }
    const Svd svd{u.get(), s.get(), v.get(), rows, cols, rows, cols};
    const int32_t status = Decompose(svd, work.get());
    if (status != status::kOk) return status;
    // V·diag(s⁺)·Uᵀ is cols×rows: the pseudo-inverse itself, or its transpose.
    for (int32_t r = 0; r < k; ++r)
        for (int32_t c = 0; c < m; ++c)
            p[static_cast<std::ptrdiff_t>(r) * m + c] = transposed
                                                            ? PseudoInverseAt(svd, threshold, c, r)
                                                            : PseudoInverseAt(svd, threshold, r, c);
    return status::kOk;
}

}  // namespace pinv
