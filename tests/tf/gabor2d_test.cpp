// Two-dimensional Gabor transform and expansion: the separable defining sums,
// reconstruction with dual windows, and bad input.

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "analysis_support.h"
#include "mornavel.h"

namespace {

using namespace analysis;

// Bin b of frame i of the Gabor transform of a sequence of n values, taken as
// periodic with period D·⌈n/D⌉ after zero padding.
Complex GaborBin(const std::vector<Complex>& x, const std::vector<double>& w, int64_t D, int64_t i,
                 int64_t b, int64_t N) {
    const int64_t n = static_cast<int64_t>(x.size()), P = (n + D - 1) / D * D;
    const auto periodic = [&](int64_t t) {
        const int64_t r = ((t % P) + P) % P;
        return r < n ? x[r] : Complex(0);
    };
    return FrameBin(periodic, w, i * D - static_cast<int64_t>(w.size()) / 2, i * D, b, N);
}

struct Shape {
    int32_t R, C, L1, D1, N1, L2, D2, N2;
};

// R < D1 (one frame along the first dimension), padding in both, square lattices.
const Shape kShapes[] = {
    {10, 12, 16, 4, 8, 8, 2, 4},
    {3, 9, 16, 4, 8, 16, 4, 16},
    {8, 5, 8, 2, 4, 8, 8, 8},
};

TEST(Gabor2d, CoefficientsAreTheSeparableDefiningSums) {
    for (const Shape& s : kShapes) {
        SCOPED_TRACE(::testing::Message() << "R=" << s.R << " C=" << s.C);
        const auto image = Random(int64_t{s.R} * s.C, 201);
        const auto w1 = Random(s.L1, 202), w2 = Random(s.L2, 203);
        const StftParams p1 = Params(w1, s.D1, s.N1), p2 = Params(w2, s.D2, s.N2);
        const int64_t M1 = (s.R + s.D1 - 1) / s.D1, M2 = (s.C + s.D2 - 1) / s.D2;
        const int64_t rows = M1 * s.N1, columns = M2 * s.N2;
        std::vector<double> coef(2 * rows * columns + 1, kSentinel);
        ASSERT_EQ(DGT2d(image.data(), s.R, s.C, &p1, &p2, coef.data()), 0);
        EXPECT_EQ(coef.back(), kSentinel);

        // First dimension: every column c gives the values first[j][c].
        std::vector<std::vector<Complex>> first(rows, std::vector<Complex>(s.C));
        for (int64_t c = 0; c < s.C; ++c) {
            std::vector<Complex> column(s.R);
            for (int64_t r = 0; r < s.R; ++r) column[r] = image[r * s.C + c];
            for (int64_t j = 0; j < rows; ++j)
                first[j][c] = GaborBin(column, w1, s.D1, j / s.N1, j % s.N1, s.N1);
        }
        // A bound of every coefficient: Σ|w1|·Σ|w2|·max|image|.
        long double sum1 = 0, sum2 = 0;
        for (double v : w1) sum1 += std::abs(v);
        for (double v : w2) sum2 += std::abs(v);
        const long double scale = sum1 * sum2;
        for (int64_t j = 0; j < rows; ++j) {
            for (int64_t k = 0; k < columns; ++k) {
                const Complex want = GaborBin(first[j], w2, s.D2, k / s.N2, k % s.N2, s.N2);
                const Complex got(coef[2 * (j * columns + k)], coef[2 * (j * columns + k) + 1]);
                EXPECT_LE(std::abs(got - want), 1e-13L * scale) << "row " << j << " column " << k;
            }
        }
    }
}

TEST(Gabor2d, TransformThenExpansionWithDualWindowsRestoresTheImage) {
    const int32_t L1 = 32, D1 = 4, N1 = 8, L2 = 16, D2 = 2, N2 = 4;
    std::vector<double> w1(L1), w2(L2), g1(L1), g2(L2);
    ASSERT_EQ(Gaussian(L1, (L1 - 1) / 2.0, L1 * L1 / 40.0, w1.data()), 0);
    ASSERT_EQ(Gaussian(L2, (L2 - 1) / 2.0, L2 * L2 / 40.0, w2.data()), 0);
    ASSERT_EQ(FastDual(w1.data(), L1, D1, N1, 1, g1.data()), 0);
    ASSERT_EQ(FastDual(w2.data(), L2, D2, N2, 1, g2.data()), 0);
    const StftParams a1 = Params(w1, D1, N1), a2 = Params(w2, D2, N2);
    const StftParams s1 = Params(g1, D1, N1), s2 = Params(g2, D2, N2);
    for (const auto& [R, C] : {std::pair{13, 7}, std::pair{3, 1}, std::pair{16, 6}}) {
        SCOPED_TRACE(::testing::Message() << "R=" << R << " C=" << C);
        const int32_t M1 = (R + D1 - 1) / D1, M2 = (C + D2 - 1) / D2;
        const auto image = Random(int64_t{R} * C, 211);
        std::vector<double> coef(2 * int64_t{M1} * N1 * M2 * N2);
        std::vector<double> back(int64_t{R} * C + 1, kSentinel);
        ASSERT_EQ(DGT2d(image.data(), R, C, &a1, &a2, coef.data()), 0);
        ASSERT_EQ(DGE2d(coef.data(), M1, N1, M2, N2, &s1, &s2, back.data(), R, C), 0);
        EXPECT_EQ(back.back(), kSentinel);
        long double error = 0, norm = 0;
        for (int64_t k = 0; k < int64_t{R} * C; ++k) {
            error = std::max(error, std::abs(static_cast<long double>(back[k]) - image[k]));
            norm = std::max(norm, std::abs(static_cast<long double>(image[k])));
        }
        EXPECT_LE(error / norm, 1e-10L);
    }
}

TEST(Gabor2d, BadArgumentsReturnTheirStatusInOrderAndWriteNothing) {
    const auto w16 = Random(16, 221), w8 = Random(8, 222);
    const StftParams good1 = Params(w16, 4, 8), good2 = Params(w8, 2, 4);
    const StftParams skewed = Params(w16, 3, 8);
    const auto image = Random(256, 223);
    std::vector<double> out(2048, kSentinel);
    struct TransformCase {
        int32_t R, C;
        const StftParams *p1, *p2;
        int32_t status;
    };
    // R = D1 or C = D2: the one-dimensional transform's own status.
    for (const TransformCase& c :
         {TransformCase{0, 5, &good1, &good2, 1}, TransformCase{5, -1, &skewed, &good2, 1},
          TransformCase{5, 5, &skewed, &good2, 19}, TransformCase{5, 5, &good1, &skewed, 19},
          TransformCase{4, 5, &good1, &good2, 1}, TransformCase{5, 2, &good1, &good2, 1}}) {
        SCOPED_TRACE(::testing::Message() << "R=" << c.R << " C=" << c.C);
        EXPECT_EQ(DGT2d(image.data(), c.R, c.C, c.p1, c.p2, out.data()), c.status);
        EXPECT_TRUE(AllEqual(out, kSentinel));
    }
    struct ExpansionCase {
        int32_t M1, N1, M2, N2, R, C;
        const StftParams *p1, *p2;
        int32_t status;
    };
    for (const ExpansionCase& c : {
             ExpansionCase{0, 8, 2, 4, 5, 5, &good1, &good2, 1},
             ExpansionCase{2, 8, 2, 0, 5, 5, &skewed, &good2, 1},
             ExpansionCase{2, 8, 2, 4, 5, 0, &good1, &good2, 1},
             ExpansionCase{2, 8, 2, 4, -5, 5, &good1, &good2, 1},
             ExpansionCase{2, 8, 2, 4, 5, 5, &skewed, &good2, 19},
             ExpansionCase{2, 8, 2, 4, 5, 5, &good1, &skewed, 19},
             ExpansionCase{2, 4, 2, 4, 5, 5, &good1, &good2, 19},  // N1 differs from p1's bins
             ExpansionCase{2, 8, 2, 8, 5, 5, &good1, &good2, 19},  // N2 differs from p2's bins
         }) {
        SCOPED_TRACE(::testing::Message()
                     << "M1=" << c.M1 << " N2=" << c.N2 << " R=" << c.R << " C=" << c.C);
        EXPECT_EQ(DGE2d(image.data(), c.M1, c.N1, c.M2, c.N2, c.p1, c.p2, out.data(), c.R, c.C),
                  c.status);
        EXPECT_TRUE(AllEqual(out, kSentinel));
    }
}

TEST(Gabor2d, ExhaustedMemoryReturnsTheStatusAndWritesNothing) {
    const auto w16 = Random(16, 231), w8 = Random(8, 232);
    const StftParams p1 = Params(w16, 4, 8), p2 = Params(w8, 2, 4);
    const auto data = Random(2 * 3 * 8 * 5 * 4, 233);
    std::vector<double> out(2 * 3 * 8 * 5 * 4, kSentinel);
    const int plans = PlanAllocations(8) + PlanAllocations(4);
    const auto reset = [&] { std::fill(out.begin(), out.end(), kSentinel); };
    const auto untouched = [&](int32_t status) {
        EXPECT_EQ(status, -20001);
        EXPECT_TRUE(AllEqual(out, kSentinel));
    };
    // Two work arrays, then per dimension the extended signal, the frame buffers and the plan.
    WalkEveryAllocation(
        6 + plans,
        [&] {
            reset();
            return DGT2d(data.data(), 10, 9, &p1, &p2, out.data());
        },
        untouched);
    // Two work arrays, then per dimension the accumulator and the plan.
    WalkEveryAllocation(
        4 + plans,
        [&] {
            reset();
            return DGE2d(data.data(), 3, 8, 5, 4, &p1, &p2, out.data(), 10, 9);
        },
        untouched);
}

}  // namespace
