// The display of stored results (power grid, decibels, intensity mapping with
// clipping) and binary masking of the stored cells.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "bridge_testing.h"
#include "host_testing.h"
#include "kessling.h"
#include "rhombel.h"
#include "rhombel_testing.h"

namespace {

using bridgetest::BridgeRef;
using bridgetest::ReadStored;
using hosttest::HostArray;

const uint8_t kYes = 1, kNo = 0;

std::vector<double> Values(std::size_t count, uint32_t seed) {
    return bridgetest::Samples(count, seed);
}

// Stores a matrix with the given layout: real values for layout 1, complex
// values (interleaved) for layouts 2 and 3; layout 3 keeps them as half-complex
// rows, so the values must be spectra of real rows.
void Store(int32_t ref, int32_t layout, int32_t rows, int32_t columns,
           const std::vector<double>& values, int32_t first = 0) {
    HostArray matrix = HostArray::Doubles({rows, columns}, values);
    HostArray none = HostArray::Empty(2);
    const SptInfoCluster info{0, 100, layout, 16, columns, first, -1};
    const bool real = layout == SPT_LAYOUT_REAL;
    ASSERT_EQ(SptSetDataH(ref, 0, real ? matrix.handle() : none.handle(),
                          real ? none.handle() : matrix.handle(), &info),
              0);
}

// Spectra of real rows: X[N-k] = conj X[k], X[0] and X[N/2] real.
std::vector<double> RealRowSpectra(int32_t rows, int32_t n) {
    std::vector<double> v = Values(2 * static_cast<std::size_t>(rows) * n, 5);
    for (int32_t r = 0; r < rows; ++r) {
        double* x = v.data() + 2 * static_cast<std::size_t>(r) * n;
        x[1] = x[n + 1] = 0.0;
        for (int32_t k = 1; k < n / 2; ++k) {
            x[2 * (n - k)] = x[2 * k];
            x[2 * (n - k) + 1] = -x[2 * k + 1];
        }
    }
    return v;
}

struct Graph {
    int32_t status;
    HostArray graph = HostArray::Empty(2), image = HostArray::Empty(2);
    SptAxis time{-1, -1}, frequency{-1, -1}, level{-1, -1};
    std::vector<uint8_t> Bytes() const {
        const auto size = image.Sizes(2);
        std::vector<uint8_t> bytes(static_cast<std::size_t>(size[0]) * size[1]);
        if (!bytes.empty())
            std::memcpy(bytes.data(), reinterpret_cast<const char*>(*image.handle()) + 8,
                        bytes.size());
        return bytes;
    }
};

Graph GetGraph(int32_t ref, bool centred, bool keep, bool decibel, double top = 0,
               double bottom = 0) {
    Graph g;
    g.status = SptGetGraphH(ref, centred, keep ? &kYes : &kNo, decibel ? &kYes : &kNo, top, bottom,
                            g.graph.handle(), g.image.handle(), &g.time, &g.frequency, &g.level);
    return g;
}

TEST(Graph, PowerOfEveryLayoutOnItsDisplayGrid) {
    const int32_t rows = 3;
    struct Case {
        const char* what;
        int32_t layout, columns, displayed;
        std::vector<double> stored;
    } const cases[] = {
        {"real values as they are", SPT_LAYOUT_REAL, 10, 10, Values(30, 1)},
        {"complex magnitudes squared", SPT_LAYOUT_COMPLEX, 8, 8, Values(48, 2)},
        {"half-complex rows of 256 bins show 128", SPT_LAYOUT_HALF_COMPLEX, 256, 128,
         RealRowSpectra(rows, 256)},
    };
    for (const Case& c : cases) {
        for (const bool centred : {false, true}) {
            SCOPED_TRACE(::testing::Message() << c.what << (centred ? ", centred" : ""));
            BridgeRef ref;
            Store(ref.number, c.layout, rows, c.columns, c.stored, 4);
            const Graph g = GetGraph(ref.number, centred, true, false);
            ASSERT_EQ(g.status, 0);
            ASSERT_EQ(g.graph.Sizes(2), (std::vector<int32_t>{rows, c.displayed}));
            EXPECT_EQ(g.image.Sizes(2), (std::vector<int32_t>{0, 0}));
            const std::vector<double> power = g.graph.Values(2);
            for (int32_t r = 0; r < rows; ++r) {
                for (int32_t k = 0; k < c.displayed; ++k) {
                    const int32_t shown = centred ? (k + c.displayed / 2) % c.displayed : k;
                    const std::size_t i = static_cast<std::size_t>(r) * c.columns + k;
                    const double expected = c.layout == SPT_LAYOUT_REAL
                                                ? c.stored[i]
                                                : c.stored[2 * i] * c.stored[2 * i] +
                                                      c.stored[2 * i + 1] * c.stored[2 * i + 1];
                    EXPECT_NEAR(power[static_cast<std::size_t>(r) * c.displayed + shown], expected,
                                1e-15)
                        << "row " << r << " bin " << k;
                }
            }
            EXPECT_EQ(g.time.offset, 0.0);
            EXPECT_EQ(g.time.step, 16.0);
            EXPECT_EQ(g.frequency.offset, 4.0 / c.columns);
            EXPECT_EQ(g.frequency.step, 1.0 / c.columns);
            EXPECT_EQ(g.level.offset, 0.0);
            EXPECT_EQ(g.level.step, 1.0);
        }
    }
}

TEST(Graph, DecibelsReachSeventyDecibelsBelowThePeak) {
    BridgeRef ref;
    Store(ref.number, SPT_LAYOUT_REAL, 1, 6, {0.5, 1.0, 1e-7, 1e-9, 0.0, 0.001});
    const Graph g = GetGraph(ref.number, false, true, true);
    ASSERT_EQ(g.status, 0);
    const std::vector<double> db = g.graph.Values(2);
    const std::vector<double> expected = {10 * std::log10(0.5), 0, -70, -70, -70, -30};
    for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_NEAR(db[i], expected[i], 1e-12);
}

TEST(Graph, IntensityMapsTheRangeOntoTwoHundredAndFiftySixLevels) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    std::vector<double> ramp(256);
    for (int i = 0; i < 256; ++i) ramp[i] = 10.0 + i;
    struct Case {
        const char* what;
        std::vector<double> values;
        std::vector<uint8_t> bytes;  // of the first values
        SptAxis level;
    } const cases[] = {
        {"minimum to 0, maximum to 255", ramp, {0, 1, 2}, {10.0 + 255.0 / 512, 255.0 / 256}},
        {"a constant graph", std::vector<double>(12, 5.0), std::vector<uint8_t>(12, 0), {5.0, 1.0}},
        {"nothing finite", {nan, inf, -inf, nan}, {0, 0, 0, 0}, {0.0, 1.0}},
        {"non-finite values at level 0", {0.0, nan, 256.0, inf}, {0, 0, 255, 0}, {0.5, 1.0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BridgeRef ref;
        Store(ref.number, SPT_LAYOUT_REAL, 1, static_cast<int32_t>(c.values.size()), c.values);
        const Graph g = GetGraph(ref.number, false, false, false);
        ASSERT_EQ(g.status, 0);
        EXPECT_EQ(g.graph.Sizes(2), (std::vector<int32_t>{0, 0}));
        const std::vector<uint8_t> bytes = g.Bytes();
        ASSERT_EQ(bytes.size(), c.values.size());
        EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + c.bytes.size()), c.bytes);
        EXPECT_EQ(g.level.offset, c.level.offset);
        EXPECT_EQ(g.level.step, c.level.step);
        if (c.values == ramp) {
            EXPECT_EQ(bytes.back(), 255);
        }
    }
}

TEST(Graph, ClippingLeavesTheFractionsOfTheCellsOutsideTheLevelScale) {
    std::vector<double> values(2000);
    for (std::size_t i = 0; i < values.size(); ++i) values[i] = 3.0 + 0.5 * static_cast<double>(i);
    BridgeRef ref;
    Store(ref.number, SPT_LAYOUT_REAL, 40, 50, values);
    struct Case {
        double top, bottom;
        long below, above;  // cells expected below and above the scale, within one
    } const cases[] = {
        {0.1, 0.0, 0, 200},
        {0.0, 0.25, 500, 0},
        {0.05, 0.05, 100, 100},
        // The top fraction must be below 1 - bottom, else it is ignored.
        {0.5, 0.6, 1200, 0},
        {-0.2, 1.5, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "top " << c.top << ", bottom " << c.bottom);
        const Graph g = GetGraph(ref.number, false, false, false, c.top, c.bottom);
        ASSERT_EQ(g.status, 0);
        const double lo = g.level.offset - g.level.step / 2;
        const double hi = lo + 256 * g.level.step;
        EXPECT_NEAR(std::count_if(values.begin(), values.end(), [&](double v) { return v < lo; }),
                    c.below, 1.0);
        EXPECT_NEAR(std::count_if(values.begin(), values.end(), [&](double v) { return v > hi; }),
                    c.above, 1.0);
        const std::vector<uint8_t> bytes = g.Bytes();
        EXPECT_TRUE(std::is_sorted(bytes.begin(), bytes.end()));  // levels keep the order
        EXPECT_EQ(bytes.front(), 0);
        EXPECT_EQ(bytes.back(), 255);
    }
}

TEST(Graph, FailuresEmptyBothOutputs) {
    BridgeRef fresh, ref;
    Store(ref.number, SPT_LAYOUT_COMPLEX, 2, 4, Values(16, 3));
    const int32_t foreign = SptRefCreate();
    EXPECT_EQ(GetGraph(foreign, false, false, false).status, -42642);
    SptRefDispose(foreign);

    const auto emptied = [](const Graph& g) {
        EXPECT_EQ(g.graph.Sizes(2), (std::vector<int32_t>{0, 0}));
        EXPECT_EQ(g.image.Sizes(2), (std::vector<int32_t>{0, 0}));
        EXPECT_EQ(g.graph.Bytes(), 8);
        EXPECT_EQ(g.image.Bytes(), 8);
    };
    emptied(GetGraph(fresh.number, false, false, false));
    EXPECT_EQ(GetGraph(fresh.number, false, false, false).status, -42643);
    for (const bool keep : {false, true}) {
        SCOPED_TRACE(keep ? "values kept" : "image");
        std::unique_ptr<Graph> g;
        // The last resizes empty an output; a failure there is not one to report.
        const int resizes = hosttest::WalkResizeFailures(
            TESTHOST_MEMORY_FULL,
            [&] {
                g = std::make_unique<Graph>(GetGraph(ref.number, false, keep, true));
                return g->status;
            },
            [&](int, int32_t status) {
                if (status == 0) return;
                EXPECT_EQ(status, -42602);
                emptied(*g);
            });
        EXPECT_EQ(resizes, keep ? 2 : 3);
    }
}

TEST(Graph, MaskZeroesTheExcludedCellsOfTheOverlapOnly) {
    const int32_t rows = 3, columns = 8;
    // Mask of 4 x 6 over a display grid of 3 x 8 (3 x 4 for half-complex
    // rows): the overlap has 3 rows and min(display, 6) columns.
    std::vector<double> maskBytes(3, 0.0);  // room for 24 bytes, filled below
    HostArray mask = HostArray::Doubles({4, 6}, maskBytes);
    std::vector<uint8_t> m(24, 1);
    for (int32_t r = 0; r < 4; ++r) m[r * 6 + (r + 1) % 6] = m[r * 6 + 5] = 0;
    std::memcpy(reinterpret_cast<char*>(*mask.handle()) + 8, m.data(), m.size());
    std::vector<double> allOnes(3);
    std::memset(allOnes.data(), 1, 24);
    HostArray onesMask = HostArray::Doubles({4, 6}, allOnes);

    for (const int32_t layout : {SPT_LAYOUT_REAL, SPT_LAYOUT_COMPLEX, SPT_LAYOUT_HALF_COMPLEX}) {
        SCOPED_TRACE(::testing::Message() << "layout " << layout);
        const std::vector<double> values =
            layout == SPT_LAYOUT_REAL
                ? Values(rows * columns, 4)
                : (layout == SPT_LAYOUT_COMPLEX ? Values(2 * rows * columns, 4)
                                                : RealRowSpectra(rows, columns));
        BridgeRef ref;
        Store(ref.number, layout, rows, columns, values);
        const std::vector<double> before = ReadStored(ref.number).values;
        ASSERT_EQ(SptBinanryMaskH(ref.number, onesMask.handle()), 0);
        EXPECT_EQ(ReadStored(ref.number).values, before);

        ASSERT_EQ(SptBinanryMaskH(ref.number, mask.handle()), 0);
        const std::vector<double> after = ReadStored(ref.number).values;
        const int32_t displayed = layout == SPT_LAYOUT_HALF_COMPLEX ? columns / 2 : columns;
        std::vector<double> expected = before;
        for (int32_t r = 0; r < rows; ++r) {
            for (int32_t k = 0; k < std::min(displayed, 6); ++k) {
                if (m[r * 6 + k] != 0) continue;
                const std::size_t i = static_cast<std::size_t>(r) * columns + k;
                if (layout == SPT_LAYOUT_COMPLEX) {
                    expected[2 * i] = expected[2 * i + 1] = 0;
                } else {
                    expected[i] = 0;
                    if (layout == SPT_LAYOUT_HALF_COMPLEX && k > 0)
                        expected[static_cast<std::size_t>(r) * columns + columns - k] = 0;
                }
            }
        }
        EXPECT_EQ(after, expected);
    }

    BridgeRef fresh;
    EXPECT_EQ(SptBinanryMaskH(fresh.number, mask.handle()), -42643);
    EXPECT_EQ(SptBinanryMaskH(0, mask.handle()), -42642);
}

}  // namespace
