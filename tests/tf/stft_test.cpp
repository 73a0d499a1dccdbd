// Short-time Fourier transforms and their spectrograms against the defining
// sums, block-wise use with a carried shift, and bad input.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

#include "analysis_support.h"
#include "mornavel.h"

namespace {

using namespace analysis;

struct Lattice {
    int32_t n, L, D, N, shift;
};

// Folding (L > N), short windows (L < N), steps that do not divide n − L, one
// frame (n = L + 1), shifts beyond N, and the smallest transforms.
const Lattice kLattices[] = {
    {40, 16, 4, 16, 0},   {53, 24, 5, 16, 3}, {30, 6, 3, 8, 13}, {17, 16, 7, 8, 0},
    {70, 40, 9, 32, 100}, {12, 3, 2, 1, 0},   {21, 5, 4, 2, 1},  {45, 7, 50, 4, 2},
};

int64_t Frames(const Lattice& c) { return (c.n - c.L) / c.D + 1; }

std::function<Complex(int64_t)> RealSignal(const std::vector<double>& x) {
    return [&x](int64_t t) { return Complex(x[t], 0); };
}

TEST(Stft, RealFramesAreTheDefiningSumsAndTheShiftMovesOn) {
    for (const Lattice& c : kLattices) {
        SCOPED_TRACE(::testing::Message() << "n=" << c.n << " L=" << c.L << " D=" << c.D
                                          << " N=" << c.N << " shift=" << c.shift);
        const auto x = Random(c.n, 11);
        const auto w = Random(c.L, 12);
        const StftParams p = Params(w, c.D, c.N);
        const int64_t M = Frames(c);
        std::vector<double> out(M * c.N + 3, kSentinel), plain(M * c.N, kSentinel);
        int32_t shift = c.shift;
        ASSERT_EQ(ReSTFTWithShift(x.data(), c.n, &p, &shift, out.data()), 0);
        ASSERT_EQ(ReSTFT(x.data(), c.n, &p, plain.data()), 0);
        EXPECT_EQ(shift, c.shift % c.N + M * c.D);
        for (int k = 0; k < 3; ++k) EXPECT_EQ(out[M * c.N + k], kSentinel);
        for (int64_t i = 0; i < M; ++i) {
            const long double scale = FrameScale(RealSignal(x), w, i * c.D);
            for (int64_t b = 0; b < c.N; ++b) {
                const Complex shifted =
                    FrameBin(RealSignal(x), w, i * c.D, i * c.D + c.shift % c.N, b, c.N);
                const Complex unshifted = FrameBin(RealSignal(x), w, i * c.D, i * c.D, b, c.N);
                EXPECT_LE(std::abs(HalfComplexBin(&out[i * c.N], b, c.N) - shifted), 1e-13L * scale)
                    << "frame " << i << " bin " << b;
                EXPECT_LE(std::abs(HalfComplexBin(&plain[i * c.N], b, c.N) - unshifted),
                          1e-13L * scale)
                    << "frame " << i << " bin " << b;
            }
        }
    }
}

TEST(Stft, ComplexFramesAreTheDefiningSumsInEveryLayout) {
    for (const Lattice& c : kLattices) {
        SCOPED_TRACE(::testing::Message() << "n=" << c.n << " L=" << c.L << " D=" << c.D
                                          << " N=" << c.N << " shift=" << c.shift);
        const auto z = Random(2 * c.n, 21);  // interleaved
        const auto w = Random(c.L, 22);
        const StftParams p = Params(w, c.D, c.N);
        const int64_t M = Frames(c), size = M * c.N;
        const auto signal = [&z](int64_t t) { return Complex(z[2 * t], z[2 * t + 1]); };

        // Interleaved in and out; then strided input (3) into split arrays with stride 2.
        std::vector<double> inter(2 * size, kSentinel);
        ASSERT_EQ(CxSTFT(z.data(), c.n, &p, inter.data()), 0);
        std::vector<double> strided(3 * c.n);
        for (int32_t t = 0; t < c.n; ++t) {
            strided[3 * t] = z[2 * t];
            strided[3 * t + 1] = z[2 * t + 1];
        }
        std::vector<double> re(2 * size, kSentinel), im(2 * size, kSentinel);
        ASSERT_EQ(CxSTFTEx(strided.data(), strided.data() + 1, 3, c.n, &p, re.data(), im.data(), 2),
                  0);
        std::vector<double> shRe(size, kSentinel), shIm(size, kSentinel);
        int32_t shift = c.shift;
        ASSERT_EQ(CxSTFTExWithShift(z.data(), z.data() + 1, 2, c.n, &p, &shift, shRe.data(),
                                    shIm.data(), 1),
                  0);
        EXPECT_EQ(shift, c.shift % c.N + M * c.D);

        for (int64_t i = 0; i < M; ++i) {
            const long double tol = 1e-13L * FrameScale(signal, w, i * c.D);
            for (int64_t b = 0; b < c.N; ++b) {
                const int64_t at = i * c.N + b;
                const Complex want = FrameBin(signal, w, i * c.D, i * c.D, b, c.N);
                const Complex wantShifted =
                    FrameBin(signal, w, i * c.D, i * c.D + c.shift % c.N, b, c.N);
                EXPECT_LE(std::abs(Complex(inter[2 * at], inter[2 * at + 1]) - want), tol);
                EXPECT_LE(std::abs(Complex(re[2 * at], im[2 * at]) - want), tol);
                EXPECT_EQ(re[2 * at + 1], kSentinel);
                EXPECT_EQ(im[2 * at + 1], kSentinel);
                EXPECT_LE(std::abs(Complex(shRe[at], shIm[at]) - wantShifted), tol);
            }
        }
    }
}

TEST(Stft, SpectrogramsAreTheSquaredMagnitudesOverN) {
    for (const Lattice& c : kLattices) {
        SCOPED_TRACE(::testing::Message() << "n=" << c.n << " L=" << c.L << " N=" << c.N);
        const auto x = Random(2 * c.n, 31);
        const auto w = Random(c.L, 32);
        const StftParams p = Params(w, c.D, c.N);
        const int64_t M = Frames(c), half = c.N / 2;
        std::vector<double> re(M * half + 2, kSentinel), cx(M * c.N + 2, kSentinel);
        ASSERT_EQ(ReSTFTsp(x.data(), c.n, &p, re.data()), 0);
        ASSERT_EQ(CxSTFTsp(x.data(), c.n, &p, cx.data()), 0);
        const auto real = RealSignal(x);
        const auto complexSignal = [&x](int64_t t) { return Complex(x[2 * t], x[2 * t + 1]); };
        for (int64_t i = 0; i < M; ++i) {
            const long double sr = FrameScale(real, w, i * c.D),
                              sc = FrameScale(complexSignal, w, i * c.D);
            for (int64_t b = 0; b < c.N; ++b) {
                const long double wantCx =
                    std::norm(FrameBin(complexSignal, w, i * c.D, 0, b, c.N)) / c.N;
                EXPECT_NEAR(cx[i * c.N + b], wantCx, 1e-13L * sc * sc / c.N);
                if (b >= half) continue;
                const long double wantRe = std::norm(FrameBin(real, w, i * c.D, 0, b, c.N)) / c.N;
                EXPECT_NEAR(re[i * half + b], wantRe, 1e-13L * sr * sr / c.N);
            }
        }
        // N/2 bins per real frame (none for N = 1), N per complex frame.
        EXPECT_EQ(re[M * half], kSentinel);
        EXPECT_EQ(cx[M * c.N], kSentinel);
    }
}

// Blocks as a streaming caller forms them: the samples not used by a whole
// frame step are carried over and joined with the next block.
TEST(Stft, BlocksWithACarriedShiftGiveTheFramesOfOneCall) {
    const int32_t L = 24, D = 5, N = 16;
    const int32_t sizes[] = {30, 7, 51, 2, 40, 72, 19};
    int32_t total = 0;
    for (int32_t s : sizes) total += s;
    const auto x = Random(2 * total, 41);  // also read as interleaved complex
    const auto w = Random(L, 42);
    const StftParams p = Params(w, D, N);

    const int64_t M = (total - L) / D + 1;
    std::vector<double> whole(M * N), wholeRe(M * N), wholeIm(M * N);
    ASSERT_EQ(ReSTFT(x.data(), total, &p, whole.data()), 0);
    ASSERT_EQ(CxSTFTEx(x.data(), x.data() + 1, 2, total, &p, wholeRe.data(), wholeIm.data(), 1), 0);

    int32_t start = 0, end = 0, shift = 0, cxShift = 0;
    int64_t done = 0;
    for (int32_t size : sizes) {
        end += size;
        const int32_t joined = end - start;
        if (joined <= L) continue;  // not yet longer than the window: everything waits
        const int64_t frames = (joined - L) / D + 1;
        std::vector<double> out(frames * N), re(frames * N), im(frames * N);
        ASSERT_EQ(ReSTFTWithShift(&x[start], joined, &p, &shift, out.data()), 0);
        ASSERT_EQ(CxSTFTExWithShift(&x[2 * start], &x[2 * start + 1], 2, joined, &p, &cxShift,
                                    re.data(), im.data(), 1),
                  0);
        for (int64_t k = 0; k < frames * N; ++k) {
            ASSERT_EQ(out[k], whole[done * N + k]) << "frame " << done + k / N;
            ASSERT_EQ(re[k], wholeRe[done * N + k]) << "frame " << done + k / N;
            ASSERT_EQ(im[k], wholeIm[done * N + k]) << "frame " << done + k / N;
        }
        done += frames;
        start += static_cast<int32_t>(frames * D);
    }
    EXPECT_EQ(done, M);
}

TEST(Stft, ANegativeShiftCountsModuloN) {
    const auto x = Random(40, 51);
    const auto w = Random(12, 52);
    const StftParams p = Params(w, 4, 8);
    std::vector<double> negative(8 * 8), positive(8 * 8);
    int32_t a = -3, b = 5;
    ASSERT_EQ(ReSTFTWithShift(x.data(), 40, &p, &a, negative.data()), 0);
    ASSERT_EQ(ReSTFTWithShift(x.data(), 40, &p, &b, positive.data()), 0);
    EXPECT_EQ(negative, positive);
    EXPECT_EQ(a, b);
}

using StftExport =
    std::function<int32_t(const double*, int32_t, const StftParams*, int32_t*, double*)>;

struct NamedExport {
    const char* name;
    StftExport call;
};

const NamedExport kExports[] = {
    {"ReSTFT", [](const double* x, int32_t n, const StftParams* p, int32_t*,
                  double* out) { return ReSTFT(x, n, p, out); }},
    {"ReSTFTWithShift", [](const double* x, int32_t n, const StftParams* p, int32_t* shift,
                           double* out) { return ReSTFTWithShift(x, n, p, shift, out); }},
    {"CxSTFT", [](const double* x, int32_t n, const StftParams* p, int32_t*,
                  double* out) { return CxSTFT(x, n, p, out); }},
    {"CxSTFTEx", [](const double* x, int32_t n, const StftParams* p, int32_t*,
                    double* out) { return CxSTFTEx(x, x + 1, 2, n, p, out, out + 1, 2); }},
    {"CxSTFTExWithShift",
     [](const double* x, int32_t n, const StftParams* p, int32_t* shift, double* out) {
         return CxSTFTExWithShift(x, x + 1, 2, n, p, shift, out, out + 1, 2);
     }},
    {"ReSTFTsp", [](const double* x, int32_t n, const StftParams* p, int32_t*,
                    double* sp) { return ReSTFTsp(x, n, p, sp); }},
    {"CxSTFTsp", [](const double* x, int32_t n, const StftParams* p, int32_t*,
                    double* sp) { return CxSTFTsp(x, n, p, sp); }},
};

TEST(Stft, BadArgumentsReturnTheirStatusInOrderAndWriteNothing) {
    struct Case {
        int32_t n, L, D, N, status;
    };
    const Case cases[] = {
        {16, 16, 4, 8, 1},   {10, 16, 4, 8, 1},   {0, 16, 4, 8, 1},    {16, 16, 0, 12, 1},
        {30, 16, 0, 8, 19},  {30, 16, -2, 8, 19}, {30, 16, 0, 12, 19}, {30, 16, 4, 0, 19},
        {30, 16, 4, -8, 19}, {30, 16, 4, 12, 19},
    };
    const auto x = Random(64, 61);
    for (const NamedExport& e : kExports) {
        for (const Case& c : cases) {
            SCOPED_TRACE(::testing::Message()
                         << e.name << " n=" << c.n << " L=" << c.L << " D=" << c.D << " N=" << c.N);
            const auto w = Random(c.L, 62);
            const StftParams p = Params(w, c.D, c.N);
            std::vector<double> out(256, kSentinel);
            int32_t shift = 7;
            EXPECT_EQ(e.call(x.data(), c.n, &p, &shift, out.data()), c.status);
            EXPECT_TRUE(AllEqual(out, kSentinel));
            EXPECT_EQ(shift, 7);
        }
    }
}

TEST(Stft, ExhaustedMemoryReturnsTheStatusAndWritesNothing) {
    const auto x = Random(80, 71);
    const auto w = Random(20, 72);
    const StftParams p = Params(w, 6, 16);
    const int allocations = 1 + PlanAllocations(16);
    for (const NamedExport& e : kExports) {
        SCOPED_TRACE(e.name);
        std::vector<double> out(2 * 11 * 16, kSentinel);
        int32_t shift = 3;
        WalkEveryAllocation(
            allocations,
            [&] {
                std::fill(out.begin(), out.end(), kSentinel);
                shift = 3;
                return e.call(x.data(), 40, &p, &shift, out.data());
            },
            [&](int32_t status) {
                EXPECT_EQ(status, -20001);
                EXPECT_TRUE(AllEqual(out, kSentinel));
                EXPECT_EQ(shift, 3);
            });
    }
}

}  // namespace
