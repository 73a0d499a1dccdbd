// Kessling's reference exports: validity, records, reading and writing stored
// matrices, copies, and every failure path (statuses, outputs, leaks, locks).

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "bridge_testing.h"
#include "fault_walk.h"
#include "host_testing.h"
#include "kessling.h"
#include "rhombel.h"
#include "rhombel_testing.h"
#include "tavik_info.h"

namespace {

using hosttest::HostArray;

using namespace bridgetest;

SptInfoCluster Info(int32_t layout, int32_t columns, int32_t first = 0, int32_t order = -1) {
    return SptInfoCluster{0, 1000, layout, 64, columns, first, order};
}

std::vector<double> Ramp(std::size_t count, double start) {
    std::vector<double> values(count);
    for (std::size_t i = 0; i < count; ++i) values[i] = start + 0.25 * static_cast<double>(i);
    return values;
}

// Spectrum of a real sequence (interleaved complex): X[k] by direct summation in
// long double for k <= n/2, X[n-k] = conj X[k].
std::vector<double> RealSpectrum(const std::vector<double>& x) {
    const std::size_t n = x.size();
    std::vector<double> spectrum(2 * n);
    for (std::size_t k = 0; k <= n / 2; ++k) {
        long double re = 0, im = 0;
        for (std::size_t j = 0; j < n; ++j) {
            const long double angle = -2.0L * 3.14159265358979323846264338327950288L *
                                      static_cast<long double>((j * k) % n) / n;
            re += x[j] * std::cos(angle);
            im += x[j] * std::sin(angle);
        }
        const bool selfConjugate = k == 0 || 2 * k == n;
        spectrum[2 * k] = static_cast<double>(re);
        spectrum[2 * k + 1] = selfConjugate ? 0.0 : static_cast<double>(im);
        if (!selfConjugate) {
            spectrum[2 * (n - k)] = spectrum[2 * k];
            spectrum[2 * (n - k) + 1] = -spectrum[2 * k + 1];
        }
    }
    return spectrum;
}

// Rows of real-sequence spectra, rows x n complex values.
std::vector<double> SpectrumRows(int32_t rows, int32_t n) {
    std::vector<double> matrix;
    for (int32_t r = 0; r < rows; ++r) {
        const auto spectrum = RealSpectrum(Ramp(n, r - 1.5));
        matrix.insert(matrix.end(), spectrum.begin(), spectrum.end());
    }
    return matrix;
}

// Centres every row of complex columns: zero frequency in the middle, host
// index (k + C/2) mod C holding column k.
std::vector<double> Centre(const std::vector<double>& matrix, int32_t columns) {
    std::vector<double> centred(matrix.size());
    for (std::size_t row = 0; row < matrix.size() / (2 * columns); ++row) {
        for (int32_t k = 0; k < columns; ++k) {
            const std::size_t to = 2 * (row * columns + (k + columns / 2) % columns);
            centred[to] = matrix[2 * (row * columns + k)];
            centred[to + 1] = matrix[2 * (row * columns + k) + 1];
        }
    }
    return centred;
}

// Exchanges the halves of every row of an even number of complex columns: host
// index j < C/2 holds column C/2 + j, host index C/2 + j holds column j.
std::vector<double> ExchangeHalves(const std::vector<double>& matrix, int32_t columns) {
    std::vector<double> exchanged(matrix.size());
    const int32_t half = columns / 2;
    for (std::size_t row = 0; row < matrix.size() / (2 * columns); ++row) {
        const double* in = matrix.data() + 2 * row * columns;
        double* out = exchanged.data() + 2 * row * columns;
        for (int32_t j = 0; j < half; ++j) {
            for (int part = 0; part < 2; ++part) {
                out[2 * j + part] = in[2 * (half + j) + part];
                out[2 * (half + j) + part] = in[2 * j + part];
            }
        }
    }
    return exchanged;
}

// What SptGetParamH reports about a reference.
struct Described {
    int32_t status, rows, columns;
    SptParamCluster params;
};

Described Describe(int32_t ref, uint8_t centred = 0) {
    Described d{0, -1, -1, {-1, -1, -1, -1, -1}};
    d.status = SptGetParamH(ref, centred, &d.rows, &d.columns, &d.params);
    return d;
}

const kessling::TavikInfo& Record(int32_t ref) {
    return *static_cast<const kessling::TavikInfo*>(SptRefGetUserData(ref));
}

void ExpectEmptyMatrix(const HostArray& array) {
    EXPECT_EQ(array.Sizes(2), (std::vector<int32_t>{0, 0}));
}

TEST(References, ForeignStaleAndMadeUpNumbersAreRejectedByEveryExport) {
    struct Foreign {
        const char* tag;
        int32_t fields[6];
    };
    static const char sameText[] = "SptJTavikInfo";  // equal text, other address
    Foreign lookalike{sameText, {1000, 2, 64, 256, 0, -1}};

    const int32_t plain = SptRefCreate();
    const int32_t disguised = SptRefCreate();
    SptRefSetUserData(disguised, &lookalike, nullptr);
    int32_t stale = 0;
    ASSERT_EQ(SptCreateRefH(&stale), 0);
    ASSERT_EQ(SptDisposeRefH(stale), 0);

    struct Case {
        const char* what;
        int32_t ref;
    } const cases[] = {
        {"made outside the bridge", plain},
        {"tagged with another copy of the text", disguised},
        {"disposed", stale},
        {"none", 0},
        {"made up", 12345},
    };
    HostArray real = HostArray::Doubles({1, 2}, {1.0, 2.0});
    HostArray complex = HostArray::Empty(2);
    const SptInfoCluster params = Info(SPT_LAYOUT_REAL, 2);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        int32_t rows = -7, columns = -7, destination = -7;
        SptParamCluster cluster{-7, -7, -7, -7, -7};
        EXPECT_EQ(SptDisposeRefH(c.ref), kInvalidReference);
        EXPECT_EQ(SptCopyRefH(c.ref, &destination), kInvalidReference);
        EXPECT_EQ(SptGetParamH(c.ref, 1, &rows, &columns, &cluster), kInvalidReference);
        EXPECT_EQ(SptGetSizeH(c.ref, &rows, &columns), kInvalidReference);
        EXPECT_EQ(SptGetDataH(c.ref, 0, real.handle(), complex.handle()), kInvalidReference);
        EXPECT_EQ(SptSetDataH(c.ref, 0, real.handle(), complex.handle(), &params),
                  kInvalidReference);
        EXPECT_EQ(rows, -7);
        EXPECT_EQ(columns, -7);
        EXPECT_EQ(destination, -7);
        EXPECT_EQ(cluster.layout, -7);
        EXPECT_EQ(real.Values(2), (std::vector<double>{1.0, 2.0}));
    }
    EXPECT_EQ(SptRefIsValid(plain), 1);
    EXPECT_EQ(SptRefGetDataType(disguised), RHOMBEL_TYPE_NONE);
    SptRefDispose(plain);
    SptRefDispose(disguised);
}

TEST(References, ANewReferenceHoldsNoLayoutAndAcceptsNoRead) {
    BridgeRef ref;
    ASSERT_NE(ref.number, 0);
    const Described fresh = Describe(ref.number);
    ASSERT_EQ(fresh.status, 0);
    EXPECT_EQ(fresh.rows, 0);
    EXPECT_EQ(fresh.columns, 0);
    EXPECT_EQ(fresh.params.layout, SPT_LAYOUT_NONE);
    EXPECT_EQ(fresh.params.signalLength, 0);
    EXPECT_EQ(fresh.params.timeStep, 0);
    EXPECT_EQ(fresh.params.frequencyBins, 0);
    EXPECT_EQ(fresh.params.firstFrequency, 0);
    EXPECT_EQ(Record(ref.number).order, -1);

    HostArray real = HostArray::Doubles({1, 1}, {5.0});
    HostArray complex = HostArray::Doubles({1, 1}, {6.0, 7.0});
    EXPECT_EQ(SptGetDataH(ref.number, 0, real.handle(), complex.handle()), kUnsupportedData);
    EXPECT_EQ(real.Values(2), std::vector<double>{5.0});  // nothing emptied
    EXPECT_EQ(complex.Values(2), (std::vector<double>{6.0, 7.0}));

    // Layouts that hold no data are refused before anything changes.
    for (const int32_t layout : {int32_t{SPT_LAYOUT_NONE}, 4, -1}) {
        SCOPED_TRACE(layout);
        const SptInfoCluster info = Info(layout, 1);
        EXPECT_EQ(SptSetDataH(ref.number, 0, real.handle(), complex.handle(), &info),
                  kUnsupportedData);
        EXPECT_EQ(Record(ref.number).layout, SPT_LAYOUT_NONE);
        EXPECT_EQ(Record(ref.number).signalLength, 0);
    }
}

TEST(References, WhatIsSetIsReadBackTheSameWayCentredOrNot) {
    struct Case {
        int32_t layout, rows, columns;
    } const cases[] = {
        {SPT_LAYOUT_REAL, 3, 4},         {SPT_LAYOUT_REAL, 2, 5},
        {SPT_LAYOUT_COMPLEX, 3, 8},      {SPT_LAYOUT_COMPLEX, 1, 7},
        {SPT_LAYOUT_HALF_COMPLEX, 4, 8}, {SPT_LAYOUT_HALF_COMPLEX, 2, 7},
        {SPT_LAYOUT_COMPLEX, 0, 0},      {SPT_LAYOUT_REAL, 1, 1},
    };
    for (const auto& c : cases) {
        for (const uint8_t centred : {0, 1}) {
            SCOPED_TRACE(::testing::Message() << "layout " << c.layout << ", " << c.rows << " x "
                                              << c.columns << ", centred " << int{centred});
            const bool real = c.layout == SPT_LAYOUT_REAL;
            const std::size_t count = static_cast<std::size_t>(c.rows) * c.columns;
            // Half-complex storage keeps only the spectrum of a real sequence.
            std::vector<double> values = Ramp(real ? count : 2 * count, -3.0);
            if (c.layout == SPT_LAYOUT_HALF_COMPLEX) {
                values = SpectrumRows(c.rows, c.columns);
                if (centred) values = Centre(values, c.columns);
            }
            HostArray in = HostArray::Doubles({c.rows, c.columns}, values);
            HostArray unused = HostArray::Empty(2);
            BridgeRef ref;
            const SptInfoCluster params{99, 777, c.layout, 16, 2 * c.columns, 3, 2};
            ASSERT_EQ(SptSetDataH(ref.number, centred, real ? in.handle() : unused.handle(),
                                  real ? unused.handle() : in.handle(), &params),
                      0);

            HostArray realOut = HostArray::Doubles({1, 1}, {9.0});
            HostArray complexOut = HostArray::Doubles({1, 1}, {9.0, 9.0});
            ASSERT_EQ(SptGetDataH(ref.number, centred, realOut.handle(), complexOut.handle()), 0);
            const HostArray& out = real ? realOut : complexOut;
            const HostArray& other = real ? complexOut : realOut;
            EXPECT_EQ(out.Sizes(2), (std::vector<int32_t>{c.rows, c.columns}));
            EXPECT_EQ(out.Bytes(), 8 + static_cast<int32_t>(count) * (real ? 8 : 16));
            EXPECT_EQ(out.Values(2), values);
            ExpectEmptyMatrix(other);
            EXPECT_EQ(other.Bytes(), 8);

            const Described stored = Describe(ref.number);
            ASSERT_EQ(stored.status, 0);
            EXPECT_EQ(stored.rows, c.rows);
            EXPECT_EQ(stored.columns, c.columns);
            EXPECT_EQ(stored.params.layout, c.layout);
            EXPECT_EQ(stored.params.signalLength, 777);
            EXPECT_EQ(stored.params.timeStep, 16);
            EXPECT_EQ(stored.params.frequencyBins, 2 * c.columns);
            EXPECT_EQ(stored.params.firstFrequency, 3);
            EXPECT_EQ(Record(ref.number).order, 2);
            EXPECT_EQ(Record(ref.number).tag, kessling::kTavikTag);
        }
    }
}

TEST(References, HalfComplexRowsAreStoredPackedAndReadAsFullSpectra) {
    constexpr int32_t kRows = 3;
    constexpr int32_t kBins = 8;
    const std::vector<double> spectra = SpectrumRows(kRows, kBins);
    HostArray in = HostArray::Doubles({kRows, kBins}, spectra);
    HostArray unused = HostArray::Empty(2);
    BridgeRef ref;
    const SptInfoCluster params = Info(SPT_LAYOUT_HALF_COMPLEX, kBins);
    ASSERT_EQ(SptSetDataH(ref.number, 0, unused.handle(), in.handle(), &params), 0);

    // Stored: Re X[k] for k <= N/2, Im X[k] at N - k.
    ASSERT_EQ(SptRefGetDataType(ref.number), RHOMBEL_TYPE_DOUBLE);
    const auto* stored = static_cast<const double*>(SptRefGetDataPtr(ref.number));
    for (int32_t r = 0; r < kRows; ++r) {
        const double* x = spectra.data() + 2 * r * kBins;
        const double* hc = stored + r * kBins;
        for (int32_t k = 0; k <= kBins / 2; ++k) EXPECT_EQ(hc[k], x[2 * k]) << r << ", " << k;
        for (int32_t k = 1; k < kBins / 2; ++k) EXPECT_EQ(hc[kBins - k], x[2 * k + 1]);
    }

    HostArray realOut = HostArray::Doubles({2, 1}, {1.0, 2.0});
    HostArray complexOut = HostArray::Empty(2);
    ASSERT_EQ(SptGetDataH(ref.number, 1, realOut.handle(), complexOut.handle()), 0);
    EXPECT_EQ(complexOut.Sizes(2), (std::vector<int32_t>{kRows, kBins}));
    EXPECT_EQ(complexOut.Values(2), ExchangeHalves(spectra, kBins));
    ExpectEmptyMatrix(realOut);
}

TEST(References, CentringExchangesTheHalvesOfEachRow) {
    // Even columns: the literal exchange; odd columns: zero frequency in the middle.
    struct Case {
        int32_t columns;
        std::vector<double> host;  // real parts of the centred row; stored row is 0, 1, ...
    } const cases[] = {
        {8, {4, 5, 6, 7, 0, 1, 2, 3}},
        {2, {1, 0}},
        {5, {3, 4, 0, 1, 2}},
        {1, {0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.columns);
        std::vector<double> stored, centred;
        for (int32_t k = 0; k < c.columns; ++k)
            stored.insert(stored.end(), {double(k), -double(k)});
        for (const double v : c.host) centred.insert(centred.end(), {v, -v});

        BridgeRef ref;
        HostArray in = HostArray::Doubles({1, c.columns}, centred);
        HostArray realOut = HostArray::Empty(2);
        const SptInfoCluster params = Info(SPT_LAYOUT_COMPLEX, c.columns);
        ASSERT_EQ(SptSetDataH(ref.number, 1, realOut.handle(), in.handle(), &params), 0);
        const auto* data = static_cast<const double*>(SptRefGetDataPtr(ref.number));
        EXPECT_EQ(std::vector<double>(data, data + 2 * c.columns), stored);

        HostArray complexOut = HostArray::Empty(2);
        ASSERT_EQ(SptGetDataH(ref.number, 1, realOut.handle(), complexOut.handle()), 0);
        EXPECT_EQ(complexOut.Values(2), centred);
        ASSERT_EQ(SptGetDataH(ref.number, 0, realOut.handle(), complexOut.handle()), 0);
        EXPECT_EQ(complexOut.Values(2), stored);
    }
}

TEST(References, CentredFirstFrequencyIsShiftedByHalfTheBins) {
    struct Case {
        int32_t bins, first, centred;
    } const cases[] = {
        {256, 0, -128},  // complex STFT of 256 bins
        {7, 10, 7},      // half of 7 truncates to 3
        {3, -5, -6},
        {-3, 0, 1},                        // truncation toward zero
        {2, -2147483647 - 1, 2147483647},  // wraps as 32-bit arithmetic does
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bins);
        BridgeRef ref;
        HostArray empty = HostArray::Empty(2);
        const SptInfoCluster params{0, 1, SPT_LAYOUT_COMPLEX, 1, c.bins, c.first, -1};
        ASSERT_EQ(SptSetDataH(ref.number, 0, empty.handle(), empty.handle(), &params), 0);
        EXPECT_EQ(Describe(ref.number, 1).params.firstFrequency, c.centred);
        EXPECT_EQ(Describe(ref.number, 0).params.firstFrequency, c.first);
    }
}

TEST(References, ACopyCarriesTheMatrixAndAllSevenFields) {
    BridgeRef source;
    HostArray in = HostArray::Doubles({2, 3}, Ramp(12, 1.0));
    HostArray empty = HostArray::Empty(2);
    const SptInfoCluster params{0, 1000, SPT_LAYOUT_COMPLEX, 64, 256, 3, 2};
    ASSERT_EQ(SptSetDataH(source.number, 0, empty.handle(), in.handle(), &params), 0);

    BridgeRef existing;
    int32_t stale = 0;
    SptCreateRefH(&stale);
    SptDisposeRefH(stale);
    const int32_t foreign = SptRefCreate();
    struct Case {
        const char* what;
        int32_t start;
        bool created;
    } const cases[] = {
        {"into nothing", 0, true},
        {"into a stale number", stale, true},
        {"into a reference of another library", foreign, true},
        {"into an existing reference", existing.number, false},
        {"onto itself", source.number, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        int32_t destination = c.start;
        ASSERT_EQ(SptCopyRefH(source.number, &destination), 0);
        EXPECT_EQ(destination != c.start, c.created);
        const kessling::TavikInfo& copy = Record(destination);
        EXPECT_EQ(copy.tag, kessling::kTavikTag);
        EXPECT_EQ(copy.signalLength, 1000);
        EXPECT_EQ(copy.layout, SPT_LAYOUT_COMPLEX);
        EXPECT_EQ(copy.timeStep, 64);
        EXPECT_EQ(copy.frequencyBins, 256);
        EXPECT_EQ(copy.firstFrequency, 3);
        EXPECT_EQ(copy.order, 2);
        HostArray out = HostArray::Empty(2);
        ASSERT_EQ(SptGetDataH(destination, 0, empty.handle(), out.handle()), 0);
        EXPECT_EQ(out.Sizes(2), (std::vector<int32_t>{2, 3}));
        EXPECT_EQ(out.Values(2), Ramp(12, 1.0));
        if (c.created) SptDisposeRefH(destination);
    }
    EXPECT_EQ(SptRefIsValid(foreign), 1);
    SptRefDispose(foreign);
}

TEST(References, FailedCopiesLeaveTheDestinationAsItWas) {
    BridgeRef source, destination;
    HostArray big = HostArray::Doubles({2, 2}, Ramp(4, 0.0));
    HostArray small = HostArray::Doubles({1, 1}, {8.0});
    HostArray empty = HostArray::Empty(2);
    const SptInfoCluster bigInfo = Info(SPT_LAYOUT_REAL, 2);
    const SptInfoCluster smallInfo = Info(SPT_LAYOUT_REAL, 1, 5);
    ASSERT_EQ(SptSetDataH(source.number, 0, big.handle(), empty.handle(), &bigInfo), 0);
    ASSERT_EQ(SptSetDataH(destination.number, 0, small.handle(), empty.handle(), &smallInfo), 0);

    const auto expectUnchanged = [&] {
        HostArray out = HostArray::Empty(2);
        ASSERT_EQ(SptGetDataH(destination.number, 0, out.handle(), empty.handle()), 0);
        EXPECT_EQ(out.Values(2), std::vector<double>{8.0});
        EXPECT_EQ(Record(destination.number).firstFrequency, 5);
    };
    int32_t variable = destination.number;
    RhombelTestFailResize(1);
    EXPECT_EQ(SptCopyRefH(source.number, &variable), kReferenceNotMade);
    RhombelTestFailResize(0);
    EXPECT_EQ(variable, destination.number);
    expectUnchanged();

    const int calls =
        testsupport::WalkAllocationFailures([&] { return SptCopyRefH(source.number, &variable); },
                                            [&](int64_t, int32_t status) {
                                                EXPECT_EQ(status, kNoMemory);
                                                EXPECT_EQ(variable, destination.number);
                                                expectUnchanged();
                                            });
    EXPECT_EQ(calls, 1);

    // A destination the copy had to create is not left behind either.
    const int32_t live = RhombelTestLiveReferences();
    testsupport::WalkAllocationFailures(
        [&] {
            int32_t none = 0;
            const int32_t status = SptCopyRefH(source.number, &none);
            if (status == 0) SptDisposeRefH(none);
            return status;
        },
        [&](int64_t, int32_t status) {
            EXPECT_EQ(status, kNoMemory);
            EXPECT_EQ(RhombelTestLiveReferences(), live);
        });
}

TEST(References, CreationThatCannotCompleteLeavesNothing) {
    int32_t ref = -1;
    const int calls = testsupport::WalkAllocationFailures(
        [&] {
            const int32_t status = SptCreateRefH(&ref);
            if (status == 0) SptDisposeRefH(ref);
            return status;
        },
        [&](int64_t, int32_t status) {
            EXPECT_EQ(status, kNoMemory);
            EXPECT_EQ(ref, 0);
            EXPECT_EQ(RhombelTestLiveReferences(), 0);
        });
    EXPECT_EQ(calls, 1);
}

TEST(References, ReadsThatFailEmptyBothOutputs) {
    BridgeRef ref;
    HostArray in = HostArray::Doubles({2, 4}, SpectrumRows(2, 4));
    HostArray empty = HostArray::Empty(2);
    const SptInfoCluster params = Info(SPT_LAYOUT_HALF_COMPLEX, 4);
    ASSERT_EQ(SptSetDataH(ref.number, 0, empty.handle(), in.handle(), &params), 0);

    const auto fresh = [] { return HostArray::Doubles({1, 2}, {1.0, 2.0, 3.0, 4.0}); };
    HostArray realOut = fresh();
    HostArray complexOut = fresh();
    const int resizes = hosttest::WalkResizeFailures(
        2, [&] { return SptGetDataH(ref.number, 0, realOut.handle(), complexOut.handle()); },
        [&](int32_t k, int32_t status) {
            // The result's resize fails with the host code; a failing emptying goes unreported.
            EXPECT_EQ(status, k == 1 ? -42602 : 0);
            ExpectEmptyMatrix(realOut);
            if (k == 1) ExpectEmptyMatrix(complexOut);
        });
    EXPECT_EQ(resizes, 2);

    const int allocations = testsupport::WalkAllocationFailures(
        [&] { return SptGetDataH(ref.number, 0, realOut.handle(), complexOut.handle()); },
        [&](int64_t, int32_t status) {
            EXPECT_EQ(status, kNoMemory);
            ExpectEmptyMatrix(realOut);
            ExpectEmptyMatrix(complexOut);
        });
    EXPECT_EQ(allocations, 1);
}

TEST(References, WritesThatCannotGetMemoryChangeNothing) {
    BridgeRef ref;
    HostArray first = HostArray::Doubles({1, 2}, {1.0, 2.0});
    HostArray empty = HostArray::Empty(2);
    const SptInfoCluster firstInfo = Info(SPT_LAYOUT_REAL, 2, 4);
    ASSERT_EQ(SptSetDataH(ref.number, 0, first.handle(), empty.handle(), &firstInfo), 0);

    HostArray second = HostArray::Doubles({2, 4}, SpectrumRows(2, 4));
    const SptInfoCluster secondInfo = Info(SPT_LAYOUT_HALF_COMPLEX, 4, 9);
    const int allocations = testsupport::WalkAllocationFailures(
        [&] { return SptSetDataH(ref.number, 1, empty.handle(), second.handle(), &secondInfo); },
        [&](int64_t, int32_t status) {
            EXPECT_EQ(status, kNoMemory);
            EXPECT_EQ(Record(ref.number).layout, SPT_LAYOUT_REAL);
            EXPECT_EQ(Record(ref.number).firstFrequency, 4);
            HostArray out = HostArray::Empty(2);
            ASSERT_EQ(SptGetDataH(ref.number, 0, out.handle(), empty.handle()), 0);
            EXPECT_EQ(out.Values(2), (std::vector<double>{1.0, 2.0}));
        });
    EXPECT_EQ(allocations, 2);  // the conversion row and the record
}

TEST(References, AWriteTheReferenceCannotHoldLeavesItEmptyWithTheNewParameters) {
    BridgeRef ref;
    HostArray first = HostArray::Doubles({1, 2}, {1.0, 2.0});
    HostArray second = HostArray::Doubles({1, 3}, Ramp(6, 0.0));
    HostArray empty = HostArray::Empty(2);
    const SptInfoCluster firstInfo = Info(SPT_LAYOUT_REAL, 2);
    ASSERT_EQ(SptSetDataH(ref.number, 0, first.handle(), empty.handle(), &firstInfo), 0);
    const SptInfoCluster secondInfo = Info(SPT_LAYOUT_COMPLEX, 3, 7);
    RhombelTestFailResize(1);
    EXPECT_EQ(SptSetDataH(ref.number, 0, empty.handle(), second.handle(), &secondInfo),
              kReferenceNotMade);
    RhombelTestFailResize(0);

    const Described emptied = Describe(ref.number);
    ASSERT_EQ(emptied.status, 0);
    EXPECT_EQ(emptied.rows, 0);
    EXPECT_EQ(emptied.columns, 0);
    EXPECT_EQ(emptied.params.layout, SPT_LAYOUT_COMPLEX);
    EXPECT_EQ(emptied.params.firstFrequency, 7);
    HostArray realOut = HostArray::Empty(2);
    HostArray complexOut = HostArray::Doubles({1, 1}, {3.0, 3.0});
    ASSERT_EQ(SptGetDataH(ref.number, 0, realOut.handle(), complexOut.handle()), 0);
    ExpectEmptyMatrix(complexOut);
}

TEST(References, DataOfAnotherTypeThanTheLayoutIsNotRead) {
    // Another user of Rhombel re-typed the buffer behind the bridge's back; reading
    // it by the record's layout would overrun it or misread it.
    struct Case {
        int32_t layout, retype;
    } const cases[] = {
        {SPT_LAYOUT_REAL, RHOMBEL_TYPE_COMPLEX128},
        {SPT_LAYOUT_COMPLEX, RHOMBEL_TYPE_DOUBLE},
        {SPT_LAYOUT_HALF_COMPLEX, RHOMBEL_TYPE_COMPLEX128},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.layout);
        BridgeRef ref;
        HostArray in = HostArray::Doubles({2, 2}, SpectrumRows(2, 2));
        const SptInfoCluster params = Info(c.layout, 2);
        ASSERT_EQ(SptSetDataH(ref.number, 0, in.handle(), in.handle(), &params), 0);
        SptRefInitAndResize(ref.number, c.retype, 2, 2);
        HostArray realOut = HostArray::Doubles({1, 1}, {5.0});
        HostArray complexOut = HostArray::Doubles({1, 1}, {5.0, 5.0});
        EXPECT_EQ(SptGetDataH(ref.number, 0, realOut.handle(), complexOut.handle()),
                  kUnsupportedData);
        EXPECT_EQ(realOut.Values(2), std::vector<double>{5.0});
    }
}

TEST(References, DisposeEndsTheReferenceAndItsRecord) {
    int32_t ref = 0;
    ASSERT_EQ(SptCreateRefH(&ref), 0);
    EXPECT_EQ(scratch::LiveBlocks(), 1);
    EXPECT_EQ(SptDisposeRefH(ref), 0);
    EXPECT_EQ(SptRefIsValid(ref), 0);
    EXPECT_EQ(scratch::LiveBlocks(), 0);
    EXPECT_EQ(SptDisposeRefH(ref), kInvalidReference);
}

TEST(References, MissingArgumentsAreRefused) {
    BridgeRef ref;
    int32_t rows = 0;
    SptParamCluster cluster{};
    HostArray empty = HostArray::Empty(2);
    EXPECT_EQ(SptCreateRefH(nullptr), kMissingArgument);
    EXPECT_EQ(SptCopyRefH(ref.number, nullptr), kMissingArgument);
    EXPECT_EQ(SptGetParamH(ref.number, 0, &rows, nullptr, &cluster), kMissingArgument);
    EXPECT_EQ(SptGetParamH(ref.number, 0, &rows, &rows, nullptr), kMissingArgument);
    EXPECT_EQ(SptGetSizeH(ref.number, nullptr, &rows), kMissingArgument);
    EXPECT_EQ(SptSetDataH(ref.number, 0, empty.handle(), empty.handle(), nullptr),
              kMissingArgument);
    // A stored matrix, so that a read into a null handle would have the host make one.
    HostArray one = HostArray::Doubles({1, 1}, {2.0});
    const SptInfoCluster params = Info(SPT_LAYOUT_REAL, 1);
    ASSERT_EQ(SptSetDataH(ref.number, 0, one.handle(), empty.handle(), &params), 0);
    EXPECT_EQ(SptGetDataH(ref.number, 0, nullptr, empty.handle()), kMissingArgument);
    EXPECT_EQ(SptGetDataH(ref.number, 0, empty.handle(), nullptr), kMissingArgument);
    EXPECT_EQ(RhombelTestLiveReferences(), 1);
}

}  // namespace
