// The bridge's linear transforms on host arrays: what each stores and where,
// streaming across blocks, reconstruction through the dual window, the order of
// the argument checks, and every failure path (statuses, emptied outputs, an
// unchanged stream).

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <vector>

#include "bridge_testing.h"
#include "fault_walk.h"
#include "host_testing.h"
#include "kessling.h"
#include "mornavel.h"
#include "rhombel.h"
#include "rhombel_testing.h"

namespace {

using hosttest::HostArray;

using namespace bridgetest;
constexpr int32_t kEmptyInput = kMissingArgument;

constexpr int32_t kL = 256, kD = 64, kN = 256;

std::vector<double> GaussianWindow(int32_t length) {
    std::vector<double> w(length);
    Gaussian(length, 0.5 * (length - 1), length * length / 36.0, w.data());
    return w;
}

HostArray Signal(const std::vector<double>& values, bool complex) {
    return HostArray::Doubles({static_cast<int32_t>(values.size() / (complex ? 2 : 1))}, values);
}

SptParamCluster Params(int32_t ref) {
    int32_t rows = 0, columns = 0;
    SptParamCluster p{-1, -1, -1, -1, -1};
    EXPECT_EQ(SptGetParamH(ref, 0, &rows, &columns, &p), 0);
    return p;
}

void ExpectParams(int32_t ref, int32_t layout, int32_t n) {
    const SptParamCluster p = Params(ref);
    EXPECT_EQ(p.layout, layout);
    EXPECT_EQ(p.signalLength, n);
    EXPECT_EQ(p.timeStep, kD);
    EXPECT_EQ(p.frequencyBins, kN);
    EXPECT_EQ(p.firstFrequency, 0);
}

void ExpectEmpty(const HostArray& array, int32_t dims) {
    EXPECT_EQ(array.Sizes(dims), std::vector<int32_t>(dims, 0));
    EXPECT_EQ(array.Bytes(), dims * 4);
}

double MaxDifference(const std::vector<double>& a, const std::vector<double>& b) {
    EXPECT_EQ(a.size(), b.size());
    double worst = 0;
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i)
        worst = std::max(worst, std::fabs(a[i] - b[i]));
    return worst;
}

// ---------------------------------------------------------------------------
// Streaming

class Streaming : public ::testing::TestWithParam<bool> {
  protected:
    bool complex() const { return GetParam(); }
    int32_t per() const { return complex() ? 2 : 1; }
    int32_t Call(int32_t ref, const HostArray& signal, const HostArray& carry, int32_t* shift) {
        return complex()
                   ? SptCxSTFTWithICH(ref, signal.handle(), window.get(), carry.handle(), shift)
                   : SptReSTFTWithICH(ref, signal.handle(), window.get(), carry.handle(), shift);
    }
    // Frames of one transform over the first `total` samples of x.
    std::vector<double> OneTransform(const std::vector<double>& x, int32_t total) {
        std::vector<double> out(static_cast<std::size_t>((total - kL) / kD + 1) * kN * per());
        const StftParams p{windowSamples.data(), kL, kD, kN};
        EXPECT_EQ(complex() ? CxSTFT(x.data(), total, &p, out.data())
                            : ReSTFT(x.data(), total, &p, out.data()),
                  0);
        return out;
    }
    std::vector<double> Slice(const std::vector<double>& v, int64_t from, int64_t to) {
        return {v.begin() + from * per(), v.begin() + to * per()};
    }

    std::vector<double> windowSamples = GaussianWindow(kL);
    HostWindow window{windowSamples, kD, kN};
};

TEST_P(Streaming, BlocksGiveTheFramesOfOneTransformOverTheJoinedSignal) {
    const std::vector<int32_t> blocks = {100, 200, 0, 1, 19, 64, 63, 65, 700, 7, 300, 1};
    int32_t total = 0;
    for (const int32_t b : blocks) total += b;
    const std::vector<double> x = Samples(static_cast<std::size_t>(total) * per(), 7);
    const std::vector<double> oracle = OneTransform(x, total);

    BridgeRef ref;
    HostArray carry = HostArray::Empty(1);
    int32_t shift = 0;
    int64_t frames = 0, offset = 0;
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        SCOPED_TRACE(::testing::Message() << "block " << i);
        const int32_t b = blocks[i];
        HostArray signal = Signal(Slice(x, offset, offset + b), complex());
        ASSERT_EQ(Call(ref.number, signal, carry, &shift), 0);
        const int64_t joined = offset + b - frames * kD;
        const int64_t expected = joined > kL ? (joined - kL) / kD + 1 : 0;
        const auto stored = ReadStored(ref.number);
        EXPECT_EQ(stored.rows, expected);
        EXPECT_EQ(stored.columns, kN);
        EXPECT_EQ(stored.values, Slice(oracle, (frames)*kN, (frames + expected) * kN));
        frames += expected;
        offset += b;
        EXPECT_EQ(carry.Sizes(1)[0], offset - frames * kD);
        EXPECT_EQ(carry.Values(1), Slice(x, frames * kD, offset));
        ExpectParams(ref.number, complex() ? SPT_LAYOUT_COMPLEX : SPT_LAYOUT_HALF_COMPLEX, b);
        if (i == 0) {
            EXPECT_EQ(carry.Sizes(1)[0], 100);  // 100 < L: no frame yet
        }
        if (i == 1) {
            EXPECT_EQ(stored.rows, 1);  // (300 - 256) / 64 + 1
            EXPECT_EQ(carry.Sizes(1)[0], 236);
        }
    }
    EXPECT_EQ(frames * kN * per(), static_cast<int64_t>(oracle.size()));
}

TEST_P(Streaming, AFailedBlockChangesNothingAndCanBeOfferedAgain) {
    const std::vector<double> x = Samples(400 * per(), 11);
    const std::vector<double> oracle = OneTransform(x, 400);
    BridgeRef ref;
    HostArray first = Signal(Slice(x, 0, 100), complex());
    HostArray second = Signal(Slice(x, 100, 400), complex());
    const std::vector<double> carried = Slice(x, 0, 100);
    const int32_t carriedShift = 0;

    std::unique_ptr<HostArray> carry;
    int32_t shift = 0;
    const auto offer = [&] {
        carry.reset();
        carry = std::make_unique<HostArray>(Signal(carried, complex()));
        shift = carriedShift;
        return Call(ref.number, second, *carry, &shift);
    };
    const auto unchanged = [&](int32_t expectedStatus) {
        return [&, expectedStatus](int, int32_t status) {
            EXPECT_EQ(status, expectedStatus);
            EXPECT_EQ(carry->Values(1), carried);
            EXPECT_EQ(shift, carriedShift);
            const auto stored = ReadStored(ref.number);
            EXPECT_EQ(stored.rows, 0);
            EXPECT_EQ(stored.columns, 0);
        };
    };
    EXPECT_GE(testsupport::WalkAllocationFailures(offer, unchanged(kNoMemory)), 2);
    EXPECT_EQ(hosttest::WalkResizeFailures(TESTHOST_MEMORY_FULL, offer, unchanged(kHostMemoryFull)),
              1);
    SptRefInitBuf(ref.number, RHOMBEL_TYPE_DOUBLE);  // so that the next size needs a buffer
    RhombelTestFailResize(1);
    const int32_t status = offer();
    RhombelTestFailResize(0);
    unchanged(kReferenceNotMade)(0, status);

    // The block offered again after all of that continues the stream exactly.
    ASSERT_EQ(offer(), 0);
    EXPECT_EQ(ReadStored(ref.number).values, Slice(oracle, 0, 3 * kN));
    EXPECT_EQ(carry->Values(1), Slice(x, 3 * kD, 400));
    EXPECT_EQ(shift, 3 * kD);
    carry.reset();
}

INSTANTIATE_TEST_SUITE_P(RealAndComplex, Streaming, ::testing::Bool(),
                         [](const auto& param) { return param.param ? "Complex" : "Real"; });

// ---------------------------------------------------------------------------
// What the exports store

struct Analysis {
    const char* what;
    bool complex;
    int32_t n;
    std::function<int32_t(int32_t, HostArrayHandle, const SptWindowCluster*)> bridge;
    std::function<int32_t(const double*, int32_t, const StftParams*, double*)> core;
    int32_t rows, columns, layout;
};

const uint8_t kYes = 1, kNo = 0;

std::vector<Analysis> Analyses() {
    const auto sp = [](bool reassigned, bool complex) {
        return [reassigned, complex](int32_t ref, HostArrayHandle x, const SptWindowCluster* w) {
            const uint8_t* flag = reassigned ? &kYes : &kNo;
            return complex ? SptCxSTFTSpH(ref, x, w, flag) : SptReSTFTSpH(ref, x, w, flag);
        };
    };
    return {
        {"ReDGTH, 1000 samples in 16 rows", false, 1000, SptReDGTH, ReDGT, 16, kN, 3},
        {"CxDGTH", true, 1000, SptCxDGTH, CxDGT, 16, kN, 2},
        {"ReSTFTSpH", false, 1000, sp(false, false), ReSTFTsp, 12, kN / 2, 1},
        {"ReSTFTSpH, one sample beyond the window", false, kL + 1, sp(false, false), ReSTFTsp, 1,
         kN / 2, 1},
        {"ReSTFTSpH reassigned", false, 1000, sp(true, false), ReReassignedSTFTSp, 12, kN / 2, 1},
        {"CxSTFTSpH", true, 1000, sp(false, true), CxSTFTsp, 12, kN, 1},
        {"CxSTFTSpH reassigned", true, 1000, sp(true, true), CxReassignedSTFTSp, 12, kN, 1},
    };
}

TEST(Transforms, ResultsHaveTheShapesRecordsAndValuesOfTheirAnalysis) {
    const std::vector<double> w = GaussianWindow(kL);
    const HostWindow window(w, kD, kN);
    const StftParams p{w.data(), kL, kD, kN};
    for (const Analysis& a : Analyses()) {
        SCOPED_TRACE(a.what);
        const std::vector<double> x =
            Samples(static_cast<std::size_t>(a.n) * (a.complex ? 2 : 1), 3);
        HostArray signal = Signal(x, a.complex);
        BridgeRef ref;
        ASSERT_EQ(a.bridge(ref.number, signal.handle(), window.get()), 0);
        const auto stored = ReadStored(ref.number);
        EXPECT_EQ(stored.rows, a.rows);
        EXPECT_EQ(stored.columns, a.columns);
        std::vector<double> expected(stored.values.size());
        ASSERT_EQ(a.core(x.data(), a.n, &p, expected.data()), 0);
        EXPECT_EQ(stored.values, expected);
        ExpectParams(ref.number, a.layout, a.n);
    }
}

TEST(Transforms, ASpectrogramOfExactlyOneWindowIsRefusedByTheAnalysisAndLeavesNothing) {
    const HostWindow window(GaussianWindow(kL), kD, kN);
    HostArray signal = Signal(Samples(kL, 5), false);
    BridgeRef ref;
    ASSERT_EQ(SptReDGTH(ref.number, signal.handle(), window.get()), 0);
    EXPECT_EQ(SptReSTFTSpH(ref.number, signal.handle(), window.get(), &kNo), kEmptyInput);
    EXPECT_EQ(ReadStored(ref.number).rows, 0);
    ExpectParams(ref.number, SPT_LAYOUT_REAL, kL);  // the new record stays
}

TEST(Transforms, ExpansionWithTheDualWindowGivesBackTheAnalysedSignal) {
    const HostWindow window(GaussianWindow(kL), kD, kN);
    const int32_t mode = 1;
    HostArray dual = HostArray::Empty(1);
    ASSERT_EQ(SptFastDualH(window.get(), &mode, dual.handle()), 0);
    ASSERT_EQ(dual.Sizes(1)[0], kL);
    const HostWindow synthesis(dual.Values(1), kD, kN);

    const std::vector<double> x = Samples(1000, 9);
    const std::vector<double> z = Samples(2000, 10);
    std::vector<double> widened(2000, 0.0);
    for (std::size_t i = 0; i < 1000; ++i) widened[2 * i] = x[i];

    enum Out { kRealOut, kComplexOut, kEither };
    struct Case {
        const char* what;
        const std::vector<double>* input;
        bool complexInput;
        Out out;
        bool real;  // for SptDGEH
        const std::vector<double>* expected;
    } const cases[] = {
        {"ReDGEH of 1000 samples returns 1000, not 16 * 64", &x, false, kRealOut, false, &x},
        {"CxDGEH of half-complex rows widens the samples", &x, false, kComplexOut, false, &widened},
        {"DGEH real of complex rows", &widened, true, kEither, true, &x},
        {"DGEH complex of complex rows", &z, true, kEither, false, &z},
        {"CxDGEH of complex rows", &z, true, kComplexOut, false, &z},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BridgeRef ref;
        HostArray signal = Signal(*c.input, c.complexInput);
        ASSERT_EQ(
            (c.complexInput ? SptCxDGTH : SptReDGTH)(ref.number, signal.handle(), window.get()), 0);
        HostArray realOut = HostArray::Empty(1);
        HostArray complexOut = HostArray::Empty(1);
        switch (c.out) {
            case kRealOut:
                ASSERT_EQ(SptReDGEH(ref.number, realOut.handle(), synthesis.get()), 0);
                break;
            case kComplexOut:
                ASSERT_EQ(SptCxDGEH(ref.number, complexOut.handle(), synthesis.get()), 0);
                break;
            case kEither:
                ASSERT_EQ(SptDGEH(ref.number, complexOut.handle(), realOut.handle(),
                                  synthesis.get(), c.real ? &kYes : &kNo),
                          0);
                break;
        }
        const bool realResult = c.out == kRealOut || (c.out == kEither && c.real);
        const HostArray& result = realResult ? realOut : complexOut;
        EXPECT_EQ(result.Sizes(1)[0], 1000);
        EXPECT_LT(MaxDifference(result.Values(1), *c.expected), 1e-12);
        if (c.out == kEither) ExpectEmpty(realResult ? complexOut : realOut, 1);
    }
}

TEST(Transforms, TwoDimensionalTransformAndExpansionRoundTrip) {
    const int32_t rows = 37, columns = 50;
    const std::vector<double> image = Samples(rows * columns, 21);
    HostArray pixels = HostArray::Doubles({rows, columns}, image);
    const std::vector<double> w1 = GaussianWindow(32), w2 = GaussianWindow(16);
    const HostWindow rowWindow(w1, 8, 16), columnWindow(w2, 4, 8);
    HostArray coefficients = HostArray::Empty(4);
    ASSERT_EQ(
        SptDGT2DH(pixels.handle(), rowWindow.get(), columnWindow.get(), coefficients.handle()), 0);
    EXPECT_EQ(coefficients.Sizes(4), (std::vector<int32_t>{5, 16, 13, 8}));

    std::vector<double> d1(32), d2(16);
    ASSERT_EQ(FastDual(w1.data(), 32, 8, 16, 1, d1.data()), 0);
    ASSERT_EQ(FastDual(w2.data(), 16, 4, 8, 1, d2.data()), 0);
    const HostWindow rowDual(d1, 8, 16), columnDual(d2, 4, 8);
    HostArray back = HostArray::Empty(2);
    ASSERT_EQ(SptDGE2DH(coefficients.handle(), rowDual.get(), columnDual.get(), back.handle(), rows,
                        columns),
              0);
    EXPECT_EQ(back.Sizes(2), (std::vector<int32_t>{rows, columns}));
    EXPECT_LT(MaxDifference(back.Values(2), image), 1e-12);
}

// ---------------------------------------------------------------------------
// Checks and failures

TEST(Transforms, RefusedArgumentsReportTheFirstFailingCheckAndChangeNothing) {
    const std::vector<double> w = GaussianWindow(kL);
    const HostWindow good(w, kD, kN), noStep(w, 0, kN), oddBins(w, kD, 100),
        offLattice(GaussianWindow(200), 8, 16), stepAboveBins(GaussianWindow(512), 512, 256),
        noWindow({}, kD, kN), binsBelowStep(w, 128, 64);
    HostArray x = Signal(Samples(1000, 1), false), z = Signal(Samples(2000, 2), true);
    HostArray shortX = Signal(Samples(kL - 1, 3), false), none = HostArray::Empty(1);
    const int32_t foreign = SptRefCreate();

    BridgeRef ref;
    HostArray preset = HostArray::Doubles({2, 2}, {1, 2, 3, 4});
    const SptInfoCluster presetInfo{0, 4, SPT_LAYOUT_REAL, kD, kN, 0, -1};
    HostArray unused = HostArray::Empty(2);
    ASSERT_EQ(SptSetDataH(ref.number, 0, preset.handle(), unused.handle(), &presetInfo), 0);
    HostArray carry = Signal({5, 6, 7}, false);
    int32_t shift = 17;
    const int32_t r = ref.number;
    HostArray out = HostArray::Doubles({1}, {42});
    HostArray both = HostArray::Empty(1);  // SptDGEH empties its outputs on any failure

    struct Case {
        const char* what;
        std::function<int32_t()> call;
        int32_t status;
    } const cases[] = {
        {"stream, foreign reference",
         [&] { return SptReSTFTWithICH(foreign, x.handle(), good.get(), carry.handle(), &shift); },
         kInvalidReference},
        {"stream, foreign before bad window",
         [&] {
             return SptReSTFTWithICH(foreign, x.handle(), oddBins.get(), carry.handle(), &shift);
         },
         kInvalidReference},
        {"stream, no window",
         [&] { return SptReSTFTWithICH(r, x.handle(), noWindow.get(), carry.handle(), &shift); },
         kBadWindow},
        {"stream, time step 0",
         [&] { return SptCxSTFTWithICH(r, z.handle(), noStep.get(), carry.handle(), &shift); },
         kBadWindow},
        {"stream, bins not a power of two",
         [&] { return SptReSTFTWithICH(r, x.handle(), oddBins.get(), carry.handle(), &shift); },
         kBadWindow},
        {"stream, no shift",
         [&] { return SptReSTFTWithICH(r, x.handle(), good.get(), carry.handle(), nullptr); },
         kEmptyInput},
        {"spectrogram, no window before short signal",
         [&] { return SptReSTFTSpH(r, shortX.handle(), noWindow.get(), &kNo); }, kBadWindow},
        {"spectrogram, short signal before odd bins",
         [&] { return SptReSTFTSpH(r, shortX.handle(), oddBins.get(), &kNo); }, kEmptyInput},
        {"spectrogram, odd bins", [&] { return SptCxSTFTSpH(r, z.handle(), oddBins.get(), &kYes); },
         kBadWindow},
        {"spectrogram, time step 0",
         [&] { return SptReSTFTSpH(r, x.handle(), noStep.get(), &kYes); }, kBadWindow},
        {"Gabor, no samples before a bad window",
         [&] { return SptReDGTH(r, none.handle(), offLattice.get()); }, kEmptyInput},
        {"Gabor, window off the lattice",
         [&] { return SptReDGTH(r, x.handle(), offLattice.get()); }, kBadWindow},
        {"Gabor, time step above the bins",
         [&] { return SptCxDGTH(r, z.handle(), stepAboveBins.get()); }, kBadWindow},
        {"Gabor, foreign reference", [&] { return SptCxDGTH(foreign, z.handle(), good.get()); },
         kInvalidReference},
        {"expansion, off the lattice", [&] { return SptReDGEH(r, out.handle(), offLattice.get()); },
         kBadWindow},
        {"expansion, bins below the step",
         [&] { return SptCxDGEH(r, out.handle(), binsBelowStep.get()); }, kBinsBelowStep},
        {"expansion, real stored matrix", [&] { return SptReDGEH(r, out.handle(), good.get()); },
         kUnsupportedData},
        {"expansion, foreign reference",
         [&] { return SptDGEH(foreign, both.handle(), both.handle(), good.get(), &kYes); },
         kInvalidReference},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.call(), c.status);
        EXPECT_EQ(ReadStored(r).values, (std::vector<double>{1, 2, 3, 4}));
        EXPECT_EQ(Params(r).signalLength, 4);
        EXPECT_EQ(carry.Values(1), (std::vector<double>{5, 6, 7}));
        EXPECT_EQ(shift, 17);
    }
    SptRefDispose(foreign);

    BridgeRef fresh;
    EXPECT_EQ(SptReDGEH(fresh.number, out.handle(), good.get()), kEmptyInput);  // no rows
    EXPECT_EQ(out.Values(1), std::vector<double>{42});
}

TEST(Transforms, RefusedArgumentsOfTheHostArrayExportsEmptyTheirOutput) {
    const std::vector<double> w = GaussianWindow(16);
    const HostWindow good(w, 4, 8), noStep(w, 0, 8), noWindow({}, 4, 8), offLattice(w, 3, 8),
        binsBelowStep(w, 8, 4);
    HostArray image = HostArray::Doubles({2, 3}, {1, 2, 3, 4, 5, 6});
    HostArray noRows = HostArray::Doubles({0, 3}, {});
    HostArray coefficients = HostArray::Doubles({1, 8, 1, 8}, std::vector<double>(128, 0.5));
    HostArray noCoefficients = HostArray::Doubles({1, 8, 0, 8}, {});
    const int32_t mode = 0;

    struct Case {
        const char* what;
        std::function<int32_t(HostArrayHandle)> call;
        int32_t dims, status;
    } const cases[] = {
        {"2-D transform, no rows",
         [&](HostArrayHandle o) { return SptDGT2DH(noRows.handle(), good.get(), good.get(), o); },
         4, kEmptyInput},
        {"2-D transform, row window",
         [&](HostArrayHandle o) { return SptDGT2DH(image.handle(), noStep.get(), good.get(), o); },
         4, kBadWindow},
        {"2-D transform, column window",
         [&](HostArrayHandle o) {
             return SptDGT2DH(image.handle(), good.get(), noWindow.get(), o);
         },
         4, kBadWindow},
        {"2-D expansion, a coefficient size 0",
         [&](HostArrayHandle o) {
             return SptDGE2DH(noCoefficients.handle(), good.get(), good.get(), o, 2, 3);
         },
         2, kEmptyInput},
        {"2-D expansion, window before rows",
         [&](HostArrayHandle o) {
             return SptDGE2DH(coefficients.handle(), noStep.get(), good.get(), o, 0, 3);
         },
         2, kBadWindow},
        {"2-D expansion, no rows",
         [&](HostArrayHandle o) {
             return SptDGE2DH(coefficients.handle(), good.get(), good.get(), o, 0, 3);
         },
         2, kEmptyInput},
        {"2-D expansion, no columns",
         [&](HostArrayHandle o) {
             return SptDGE2DH(coefficients.handle(), good.get(), good.get(), o, 2, 0);
         },
         2, kEmptyInput},
        {"dual, off the lattice",
         [&](HostArrayHandle o) { return SptFastDualH(offLattice.get(), &mode, o); }, 1,
         kBadWindow},
        {"dual, bins below the step",
         [&](HostArrayHandle o) { return SptFastDualH(binsBelowStep.get(), &mode, o); }, 1,
         kBadWindow},
        {"dual, no parameter",
         [&](HostArrayHandle o) { return SptFastDualH(good.get(), nullptr, o); }, 1, kEmptyInput},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HostArray out = HostArray::Doubles({1, 1, 1, 1}, {9});
        EXPECT_EQ(c.call(out.handle()), c.status);
        ExpectEmpty(out, c.dims);
    }
}

// Every export with every allocation, host resize and reference resize failing
// in turn: the status says which, and no output keeps a partial result.
TEST(Transforms, ExhaustedMemoryLeavesEveryOutputEmpty) {
    const std::vector<double> w = GaussianWindow(kL);
    const HostWindow window(w, kD, kN);
    std::vector<double> dual(kL);
    ASSERT_EQ(FastDual(w.data(), kL, kD, kN, 1, dual.data()), 0);
    const HostWindow synthesis(dual, kD, kN);
    HostArray x = Signal(Samples(1000, 1), false), z = Signal(Samples(2000, 2), true);
    BridgeRef halfComplex, complex;
    ASSERT_EQ(SptReDGTH(halfComplex.number, x.handle(), window.get()), 0);
    ASSERT_EQ(SptCxDGTH(complex.number, z.handle(), window.get()), 0);
    HostArray image = HostArray::Doubles({20, 20}, Samples(400, 3));
    const std::vector<double> w16 = GaussianWindow(16);
    const HostWindow small(w16, 4, 8);
    HostArray coefficients = HostArray::Empty(4);
    ASSERT_EQ(SptDGT2DH(image.handle(), small.get(), small.get(), coefficients.handle()), 0);
    const int32_t mode = 1;

    // Exports storing into a reference: it is left empty.
    for (const Analysis& a : Analyses()) {
        SCOPED_TRACE(a.what);
        BridgeRef ref;
        HostArray& signal = a.complex ? z : x;
        const auto run = [&] { return a.bridge(ref.number, signal.handle(), window.get()); };
        const auto empty = [&](int32_t expected) {
            return [&, expected](int, int32_t status) {
                EXPECT_EQ(status, expected);
                EXPECT_EQ(ReadStored(ref.number).rows, 0);
            };
        };
        EXPECT_GE(testsupport::WalkAllocationFailures(run, empty(kNoMemory)), 2);
        SptRefInitBuf(ref.number, RHOMBEL_TYPE_DOUBLE);  // so that the next run needs a buffer
        RhombelTestFailResize(1);
        const int32_t status = run();
        RhombelTestFailResize(0);
        empty(kReferenceNotMade)(0, status);
    }

    // Exports writing a host array: it is left empty.
    struct Case {
        const char* what;
        std::function<int32_t(HostArrayHandle)> call;
        int32_t dims;
    } const cases[] = {
        {"ReDGEH, half-complex",
         [&](HostArrayHandle o) { return SptReDGEH(halfComplex.number, o, synthesis.get()); }, 1},
        {"ReDGEH, complex",
         [&](HostArrayHandle o) { return SptReDGEH(complex.number, o, synthesis.get()); }, 1},
        {"CxDGEH, half-complex",
         [&](HostArrayHandle o) { return SptCxDGEH(halfComplex.number, o, synthesis.get()); }, 1},
        {"CxDGEH, complex",
         [&](HostArrayHandle o) { return SptCxDGEH(complex.number, o, synthesis.get()); }, 1},
        {"DGT2DH",
         [&](HostArrayHandle o) { return SptDGT2DH(image.handle(), small.get(), small.get(), o); },
         4},
        {"DGE2DH",
         [&](HostArrayHandle o) {
             return SptDGE2DH(coefficients.handle(), small.get(), small.get(), o, 20, 20);
         },
         2},
        {"FastDualH", [&](HostArrayHandle o) { return SptFastDualH(window.get(), &mode, o); }, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HostArray out = HostArray::Empty(c.dims);
        const auto run = [&] { return c.call(out.handle()); };
        const auto empty = [&](int32_t expected) {
            return [&, expected](int, int32_t status) {
                EXPECT_EQ(status, expected);
                ExpectEmpty(out, c.dims);
            };
        };
        EXPECT_GE(testsupport::WalkAllocationFailures(run, empty(kNoMemory)), 1);
        EXPECT_GE(hosttest::WalkResizeFailures(TESTHOST_MEMORY_FULL, run, empty(kHostMemoryFull)),
                  1);
    }

    // SptDGEH empties both of its outputs.
    HostArray realOut = HostArray::Doubles({1}, {1}), complexOut = HostArray::Doubles({1}, {1, 2});
    EXPECT_GE(testsupport::WalkAllocationFailures(
                  [&] {
                      return SptDGEH(complex.number, complexOut.handle(), realOut.handle(),
                                     synthesis.get(), &kYes);
                  },
                  [&](int, int32_t status) {
                      EXPECT_EQ(status, kNoMemory);
                      ExpectEmpty(realOut, 1);
                      ExpectEmpty(complexOut, 1);
                  }),
              1);
}

}  // namespace
