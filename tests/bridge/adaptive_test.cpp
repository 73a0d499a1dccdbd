// The adaptive representation through host arrays: every export against the
// core call it stands for, the zoom cluster's rules, the longest-window rule,
// shrinking to the terms found, and the outputs emptied on every failure.

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>
#include <vector>

#include "bridge_testing.h"
#include "fault_walk.h"
#include "host_testing.h"
#include "kessling.h"
#include "mornavel.h"

namespace {

using namespace bridgetest;
using hosttest::HostArray;

const uint8_t kYes = 1, kNo = 0;

// Three chirplets {alpha, time, frequency, rate} and their coefficients.
const std::vector<double> kParams = {0.002, 60, 0.6,   0.001, 0.01, 150,
                                     2.0,   0,  0.004, 220,   4.0,  -0.002};
const std::vector<double> kCoefs = {1.0, 0.5, -0.7, 0.2, 0.4, -0.9};

// The parameter array of the host: a size field counting terms, four doubles each.
HostArray TermParameters(const std::vector<double>& params) {
    return HostArray::Doubles({static_cast<int32_t>(params.size() / 4)}, params);
}

TEST(AdaptiveExpansion, MatchesTheCoreOverTheSmallerCountAndRefusesWithoutChange) {
    const HostArray params = TermParameters(kParams);  // three terms
    const HostArray coefs = HostArray::Doubles({2}, {kCoefs.begin(), kCoefs.begin() + 4});
    for (const bool complex : {false, true}) {
        SCOPED_TRACE(complex ? "complex" : "real");
        constexpr int32_t n = 300;
        std::vector<double> expected(complex ? 2 * n : n);
        ASSERT_EQ((complex ? CxAdaptiveExpansion : ReAdaptiveExpansion)(
                      kParams.data(), kCoefs.data(), 2, n, expected.data()),
                  0);
        HostArray out = HostArray::Empty(1);
        const auto expand = complex ? SptCxAdaptExpanH : SptReAdaptExpanH;
        ASSERT_EQ(expand(params.handle(), coefs.handle(), n, out.handle()), 0);
        EXPECT_EQ(out.Sizes(1)[0], n);
        EXPECT_EQ(out.Values(1), expected);

        EXPECT_EQ(expand(params.handle(), coefs.handle(), 0, out.handle()), kMissingArgument);
        EXPECT_EQ(out.Values(1), expected) << "a refused call changed the output";
    }
}

struct Zoom {
    SptZoomCluster in;
    bool real;
    SptZoomCluster out;
};

TEST(AdaptiveSpectrogram, BringsTheZoomIntoRangeAndDrawsWhatTheCoreDraws) {
    const HostArray params = TermParameters(kParams);
    const HostArray coefs = HostArray::Doubles({3}, kCoefs);
    constexpr int32_t n = 300, S = 4, N = 64;
    const Zoom cases[] = {
        {{0, 5, 0}, true, {1, 5, 27}},    // the published case
        {{2, 3, 10}, false, {2, 6, 10}},  // first bin counted in oversampled bins
        {{1, 40, 5}, true, {1, 0, 32}},   // first bin beyond the half circle: all of it
        {{1, -1, 5}, false, {1, 0, 64}},  // negative first bin: all of it
        {{1, 30, 5}, true, {1, 30, 2}},   // too many bins: to the end
        {{4, 10, 500}, false, {4, 40, 216}},
    };
    for (const Zoom& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.in.factor << "/" << c.in.firstBin << "/"
                                          << c.in.binCount << (c.real ? " real" : " complex"));
        SptZoomCluster zoom = c.in;
        HostArray out = HostArray::Empty(2);
        const uint8_t real = c.real ? kYes : kNo, centre = 1;
        ASSERT_EQ(SptAdaptSpExH(params.handle(), coefs.handle(), n, S, N, &zoom, &real,
                                out.handle(), centre),
                  0);
        EXPECT_EQ(zoom.factor, c.out.factor);
        EXPECT_EQ(zoom.firstBin, c.out.firstBin);
        EXPECT_EQ(zoom.binCount, c.out.binCount);
        std::vector<double> expected(static_cast<std::size_t>(n / S) * zoom.binCount);
        const int32_t status =
            c.real ? ReAdaptiveSp(kCoefs.data(), kParams.data(), 3, S, zoom.factor * N, 0,
                                  zoom.firstBin, n / S, zoom.binCount, expected.data())
                   : CxAdaptiveSp(kCoefs.data(), kParams.data(), 3, S, zoom.factor * N, 0,
                                  zoom.firstBin, n / S, zoom.binCount, expected.data(), centre);
        ASSERT_EQ(status, 0);
        EXPECT_EQ(out.Sizes(2), (std::vector<int32_t>{n / S, zoom.binCount}));
        EXPECT_EQ(out.Values(2), expected);
    }

    // Refusals empty the output.
    struct Refusal {
        int32_t n, S, N, coefficients;
        int32_t status;
    };
    for (const Refusal& r :
         {Refusal{n, 0, N, 3, -42611}, Refusal{n, S, 48, 3, -42603},
          Refusal{n, S, N, 0, kMissingArgument}, Refusal{3, S, N, 3, kMissingArgument}}) {
        SCOPED_TRACE(r.status);
        const HostArray someCoefs = HostArray::Doubles({r.coefficients}, kCoefs);
        HostArray out = HostArray::Doubles({2, 2}, {1, 2, 3, 4});
        SptZoomCluster zoom{1, 0, 0};
        EXPECT_EQ(SptAdaptSpExH(params.handle(), someCoefs.handle(), r.n, r.S, r.N, &zoom, &kYes,
                                out.handle(), 0),
                  r.status);
        EXPECT_EQ(out.Sizes(2), (std::vector<int32_t>{0, 0}));
    }
}

// One chirplet and a little of another in a signal of n samples.
std::vector<double> Signal(int32_t n, bool complex) {
    std::vector<double> x(complex ? 2 * n : n);
    EXPECT_EQ((complex ? CxAdaptiveExpansion : ReAdaptiveExpansion)(kParams.data(), kCoefs.data(),
                                                                    2, n, x.data()),
              0);
    return x;
}

struct Transformed {
    int32_t status;
    double residual;
    HostArray coefs, params, rest;
};

Transformed Transform(bool complex, const std::vector<double>& x, int32_t maxWindow, int32_t terms,
                      int32_t extType = 2) {
    const auto n = static_cast<int32_t>(complex ? x.size() / 2 : x.size());
    const HostArray signal = HostArray::Doubles({n}, x);
    Transformed t{0, -1, HostArray::Empty(1), HostArray::Empty(1), HostArray::Empty(1)};
    t.status = (complex ? SptCxAdaptTransH : SptReAdaptTransH)(
        signal.handle(), 0, extType, maxWindow, 4.0, 10, terms, &t.residual, t.coefs.handle(),
        t.params.handle(), t.rest.handle());
    return t;
}

// The wrapper gives what the core gives for the window the bridge's rule
// chooses: 8 or more rounded up to a power of two and halved while above the
// signal length, smaller values passed on. Found fewer terms than asked, its
// arrays hold the terms found.
TEST(AdaptiveTransform, GivesTheCoresTermsForTheRuledWindowAndShrinksToThem) {
    constexpr int32_t n = 300, terms = 40;
    struct Window {
        int32_t given, passed;
    };
    for (const bool complex : {false, true}) {
        const std::vector<double> x = Signal(n, complex);
        for (const Window w : {Window{0, 0}, Window{5, 5}, Window{8, 8}, Window{100, 128},
                               Window{256, 256}, Window{300, 256}, Window{5000, 256}}) {
            SCOPED_TRACE(::testing::Message() << (complex ? "complex " : "real ") << w.given);
            int32_t found = 0;
            double percent = 0;
            std::vector<double> coefs(2 * terms), params(4 * terms), rest(x.size());
            ASSERT_EQ((complex ? CxAdaptiveTransform : ReAdaptiveTransform)(
                          x.data(), n, 0, 2, w.passed, 4.0, 10, terms, &found, &percent,
                          coefs.data(), params.data(), rest.data()),
                      0);
            ASSERT_LT(found, terms);
            coefs.resize(2 * found);
            params.resize(4 * found);

            const Transformed t = Transform(complex, x, w.given, terms);
            ASSERT_EQ(t.status, 0);
            EXPECT_EQ(t.residual, percent);
            EXPECT_EQ(t.coefs.Sizes(1)[0], found);
            EXPECT_EQ(t.coefs.Values(1), coefs);
            EXPECT_EQ(t.params.Sizes(1)[0], found);
            EXPECT_EQ(t.params.Values(1), params);
            EXPECT_EQ(t.rest.Sizes(1)[0], n);
            EXPECT_EQ(t.rest.Values(1), rest);
        }
    }
}

TEST(AdaptiveTransform, RefusesWithoutChangeAndEmptiesEveryOutputOnFailure) {
    const std::vector<double> x = Signal(300, false);
    // Checks change nothing.
    for (const auto& [signal, terms, status] :
         {std::tuple{std::vector<double>{}, 3, kMissingArgument}, std::tuple{x, -1, -42615}}) {
        Transformed t = Transform(false, signal, 0, terms);
        EXPECT_EQ(t.status, status);
        EXPECT_EQ(t.residual, -1);
    }
    const auto emptied = [](const Transformed& t) {
        EXPECT_EQ(t.residual, 0);
        for (const HostArray* a : {&t.coefs, &t.params, &t.rest}) EXPECT_EQ(a->Sizes(1)[0], 0);
    };
    // A failing transform is reported whatever it found.
    const Transformed badExtension = Transform(false, x, 0, 5, 4);
    EXPECT_EQ(badExtension.status, -42604);
    emptied(badExtension);

    const auto call = [&] {
        Transformed t = Transform(true, Signal(300, true), 64, 5);
        if (t.status != 0) emptied(t);
        return t.status;
    };
    EXPECT_GE(hosttest::WalkResizeFailures(
                  2, call, [](int, int32_t status) { EXPECT_EQ(status, kHostMemoryFull); }),
              3);
    EXPECT_GE(testsupport::WalkAllocationFailures(
                  call, [](int, int32_t status) { EXPECT_EQ(status, kNoMemory); }),
              1);
}

}  // namespace
