// Singular value decomposition and pseudo-inverse against matrices whose
// decomposition is known by construction (built in long double) and against
// the Penrose conditions.

#include "pinv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "fault_walk.h"
#include "status.h"

namespace {

constexpr double kSentinel = -777.0;

struct Matrix {
    int rows = 0, cols = 0;
    std::vector<long double> a;
    Matrix(int r, int c) : rows(r), cols(c), a(static_cast<size_t>(r) * c, 0.0L) {}
    long double& operator()(int r, int c) { return a[static_cast<size_t>(r) * cols + c]; }
    long double operator()(int r, int c) const { return a[static_cast<size_t>(r) * cols + c]; }
};

Matrix Multiply(const Matrix& x, const Matrix& y) {
    Matrix z(x.rows, y.cols);
    for (int r = 0; r < x.rows; ++r)
        for (int c = 0; c < y.cols; ++c) {
            long double sum = 0;
            for (int l = 0; l < x.cols; ++l) sum += x(r, l) * y(l, c);
            z(r, c) = sum;
        }
    return z;
}

Matrix Transpose(const Matrix& x) {
    Matrix t(x.cols, x.rows);
    for (int r = 0; r < x.rows; ++r)
        for (int c = 0; c < x.cols; ++c) t(c, r) = x(r, c);
    return t;
}

long double MaxAbs(const Matrix& x) {
    long double most = 0;
    for (long double v : x.a) most = std::max(most, std::fabs(v));
    return most;
}

long double MaxDifference(const Matrix& x, const Matrix& y) {
    long double most = 0;
    for (size_t i = 0; i < x.a.size(); ++i) most = std::max(most, std::fabs(x.a[i] - y.a[i]));
    return most;
}

// A random orthogonal matrix: a product of Householder reflections.
Matrix Orthogonal(int size, std::mt19937& rng) {
    std::normal_distribution<double> normal;
    Matrix q(size, size);
    for (int i = 0; i < size; ++i) q(i, i) = 1;
    for (int reflection = 0; reflection < 3; ++reflection) {
        std::vector<long double> v(size);
        long double norm = 0;
        for (auto& e : v) {
            e = normal(rng);
            norm += e * e;
        }
        for (int r = 0; r < size; ++r) {
            long double dot = 0;
            for (int c = 0; c < size; ++c) dot += q(r, c) * v[c];
            for (int c = 0; c < size; ++c) q(r, c) -= 2 * dot * v[c] / norm;
        }
    }
    return q;
}

// A = Q1·Σ·Q2ᵀ with Q1 (m×m) and Q2 (k×k) orthogonal and Σ (m×k) holding `sigma`.
struct Constructed {
    Matrix a, pinv;  // pinv = Q2·Σ⁺·Q1ᵀ for the nonzero values
};

Constructed Construct(int m, int k, const std::vector<double>& sigma, unsigned seed) {
    std::mt19937 rng(seed);
    const Matrix q1 = Orthogonal(m, rng), q2 = Orthogonal(k, rng);
    Matrix s(m, k), sPlus(k, m);
    for (size_t i = 0; i < sigma.size(); ++i) {
        s(i, i) = sigma[i];
        if (sigma[i] != 0) sPlus(i, i) = 1.0L / sigma[i];
    }
    Matrix a = Multiply(Multiply(q1, s), Transpose(q2));
    for (auto& v : a.a) v = static_cast<double>(v);  // what the solver receives
    return {a, Multiply(Multiply(q2, sPlus), Transpose(q1))};
}

std::vector<double> ToDoubles(const Matrix& x) { return {x.a.begin(), x.a.end()}; }

Matrix FromDoubles(const std::vector<double>& v, int rows, int cols) {
    Matrix x(rows, cols);
    std::copy(v.begin(), v.end(), x.a.begin());
    return x;
}

struct Decomposition {
    int32_t status;
    std::vector<double> u, s, v;
};

Decomposition Decompose(const Matrix& a) {
    Decomposition d{0, ToDoubles(a), std::vector<double>(a.cols),
                    std::vector<double>(static_cast<size_t>(a.cols) * a.cols)};
    std::vector<double> work(a.rows + a.cols);
    const pinv::Svd svd{d.u.data(), d.s.data(), d.v.data(), a.rows, a.cols, a.rows, a.cols};
    d.status = pinv::Decompose(svd, work.data());
    return d;
}

struct Shape {
    int m, k;
    std::vector<double> sigma;
};

TEST(SingularValues, KnownMatricesDecomposeIntoOrthogonalFactors) {
    const Shape shapes[] = {
        {1, 1, {3}},
        {5, 1, {2}},
        {4, 4, {4, 3, 2, 1}},
        {6, 3, {1, 1, 1}},                         // repeated values
        {8, 5, {1e3, 1, 1e-3, 1e-8, 0}},           // graded, with a null direction
        {10, 10, {5, 4, 3, 2, 1, 0, 0, 0, 0, 0}},  // half rank
        {3, 3, {0, 0, 0}},                         // zero matrix
        {30, 12, {9, 8.5, 8, 7, 6, 5.5, 5, 4, 3, 2, 1, 0.5}},
        {40, 40, {}},
    };
    for (const auto& shape : shapes) {
        std::vector<double> sigma = shape.sigma;
        if (sigma.empty())
            for (int i = 0; i < shape.k; ++i) sigma.push_back(1.0 + i * 0.25);
        SCOPED_TRACE(::testing::Message() << shape.m << "x" << shape.k);
        const auto built = Construct(shape.m, shape.k, sigma, shape.m * 100 + shape.k);
        const auto d = Decompose(built.a);
        ASSERT_EQ(d.status, 0);

        std::sort(sigma.begin(), sigma.end(), std::greater<>());
        const long double scale = std::max(1.0, sigma[0]);
        for (int i = 0; i < shape.k; ++i) {
            EXPECT_NEAR(d.s[i], sigma[i], 1e-14 * scale) << i;
            if (i > 0) {
                EXPECT_GE(d.s[i - 1], d.s[i]);
            }
            EXPECT_GE(d.s[i], 0.0);
        }
        const Matrix u = FromDoubles(d.u, shape.m, shape.k), v = FromDoubles(d.v, shape.k, shape.k);
        Matrix identity(shape.k, shape.k);
        for (int i = 0; i < shape.k; ++i) identity(i, i) = 1;
        EXPECT_LT(MaxDifference(Multiply(Transpose(u), u), identity), 1e-14);
        EXPECT_LT(MaxDifference(Multiply(Transpose(v), v), identity), 1e-14);
        Matrix us = u;
        for (int r = 0; r < shape.m; ++r)
            for (int c = 0; c < shape.k; ++c) us(r, c) *= d.s[c];
        EXPECT_LT(MaxDifference(Multiply(us, Transpose(v)), built.a), 1e-14 * scale);
    }
}

TEST(SingularValues, DiagonalMatricesGiveTheirMagnitudesExactly) {
    // Negative and unsorted entries: the signs move into V, the order into U and V.
    const double diagonal[] = {-2, 5, 0, -7, 1};
    for (int m : {5, 7}) {
        Matrix a(m, 5);
        for (int i = 0; i < 5; ++i) a(i, i) = diagonal[i];
        const auto d = Decompose(a);
        ASSERT_EQ(d.status, 0);
        EXPECT_EQ(d.s, (std::vector<double>{7, 5, 2, 1, 0}));
        Matrix us = FromDoubles(d.u, m, 5);
        for (int r = 0; r < m; ++r)
            for (int c = 0; c < 5; ++c) us(r, c) *= d.s[c];
        EXPECT_EQ(MaxDifference(Multiply(us, Transpose(FromDoubles(d.v, 5, 5))), a), 0.0L);
    }
}

TEST(PseudoInverse, MatchesTheConstructedInverseAndThePenroseConditions) {
    const Shape shapes[] = {
        {1, 1, {-0.5}},
        {1, 6, {2}},
        {6, 1, {2}},
        {5, 5, {3, 2, 1, 0.5, 0.25}},
        {9, 4, {2, 1.5, 1, 0.5}},
        {4, 9, {2, 1.5, 1, 0.5}},
        {12, 7, {4, 3, 2, 1, 0, 0, 0}},
        {7, 12, {4, 3, 2, 1, 0, 0, 0}},
        {20, 20, {8, 4, 2, 1, 0.5, 0.25, 0}},
    };
    for (const auto& shape : shapes) {
        SCOPED_TRACE(::testing::Message() << shape.m << "x" << shape.k);
        const int m = shape.m, k = shape.k;
        const auto built = Construct(m, k, shape.sigma, 7 * m + k);
        const auto a = ToDoubles(built.a);
        std::vector<double> p(static_cast<size_t>(k) * m, kSentinel);
        ASSERT_EQ(pinv::PseudoInverse(a.data(), m, k, 1e-10, p.data()), 0);
        const Matrix x = built.a, px = FromDoubles(p, k, m);
        const long double tolerance = 1e-13L;

        EXPECT_LT(MaxDifference(px, built.pinv), tolerance * MaxAbs(built.pinv));
        EXPECT_LT(MaxDifference(Multiply(Multiply(x, px), x), x), tolerance * MaxAbs(x));
        EXPECT_LT(MaxDifference(Multiply(Multiply(px, x), px), px), tolerance * MaxAbs(px));
        const Matrix xp = Multiply(x, px), pxx = Multiply(px, x);
        EXPECT_LT(MaxDifference(xp, Transpose(xp)), tolerance);
        EXPECT_LT(MaxDifference(pxx, Transpose(pxx)), tolerance);
    }
}

TEST(PseudoInverse, DropsSingularValuesAtOrBelowTheThreshold) {
    struct Case {
        std::vector<double> diagonal;
        double threshold;
        std::vector<double> inverse;
    };
    const Case cases[] = {
        {{2, 1e-10, 1e-9}, 1e-10, {0.5, 0, 1 / 1e-9}},
        // A negative threshold stands for 2^-52·min(m, k).
        {{2e-16}, -1, {0}},
        {{3e-16}, -1, {1 / 3e-16}},
        {{1, 4e-16}, -1, {1, 0}},
        {{1, 5e-16}, -1, {1, 1 / 5e-16}},
        {{0}, 0, {0}},
    };
    for (const auto& c : cases) {
        const int n = static_cast<int>(c.diagonal.size());
        SCOPED_TRACE(::testing::Message() << "n " << n << " threshold " << c.threshold);
        std::vector<double> a(n * n, 0.0), p(n * n, kSentinel);
        for (int i = 0; i < n; ++i) a[i * n + i] = c.diagonal[i];
        ASSERT_EQ(pinv::PseudoInverse(a.data(), n, n, c.threshold, p.data()), 0);
        for (int r = 0; r < n; ++r)
            for (int col = 0; col < n; ++col) {
                const double want = r == col ? c.inverse[r] : 0.0;
                EXPECT_NEAR(p[r * n + col], want, 4 * DBL_EPSILON * want) << r << "," << col;
            }
    }
}

TEST(PseudoInverse, FailuresLeaveTheResultUntouched) {
    const double a[6] = {1, 2, 3, 4, 5, 6};
    double p[6];
    const auto untouched = [&] {
        for (double v : p)
            if (v != kSentinel) return false;
        return true;
    };
    struct Case {
        int m, k;
        int32_t status;
    };
    for (const Case c : {Case{0, 3, -20003}, Case{2, 0, -20003}, Case{-1, 3, -20003}}) {
        std::fill(p, p + 6, kSentinel);
        EXPECT_EQ(pinv::PseudoInverse(a, c.m, c.k, 1e-10, p), c.status);
        EXPECT_TRUE(untouched());
    }
    for (int m : {2, 3}) {  // tall and wide
        SCOPED_TRACE(m);
        const int allocations = testsupport::WalkAllocationFailures(
            [&] {
                std::fill(p, p + 6, kSentinel);
                return pinv::PseudoInverse(a, m, 6 / m, 1e-10, p);
            },
            [&](int64_t, int32_t status) {
                EXPECT_EQ(status, status::kNoMemory);
                EXPECT_TRUE(untouched());
            });
        EXPECT_EQ(allocations, 4);
    }
}

TEST(PseudoInverse, NonFiniteMatricesReportNoConvergence) {
    const double kNaN = std::numeric_limits<double>::quiet_NaN();
    const double kInf = std::numeric_limits<double>::infinity();
    for (double bad : {kNaN, kInf, -kInf}) {
        SCOPED_TRACE(bad);
        const double a[6] = {1, bad, 3, 4, 5, 6};
        double p[6];
        std::fill(p, p + 6, kSentinel);
        EXPECT_EQ(pinv::PseudoInverse(a, 3, 2, 1e-10, p), status::kNoConvergence);
        for (double v : p) EXPECT_EQ(v, kSentinel);
    }
}

}  // namespace
