// Signal extension: every rule against its definition evaluated directly,
// complex signals, bad types and short signals.

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <random>
#include <vector>

#include "fault_walk.h"
#include "mornavel.h"

namespace {

constexpr double kSentinel = -777.0;
constexpr int kTypes[] = {0, 1, 2, 3, 5, 6};

// The definition of each rule at one position of `before` or `after`, in long double.
long double Defined(const std::vector<double>& x, int type, int extLen, bool isBefore, int p) {
    const int n = static_cast<int>(x.size());
    const auto at = [&](long long i) -> long double { return i >= 0 && i < n ? x[i] : 0.0L; };
    const long double t = p;
    // Polynomial through points (a + j, y[j]), Lagrange form.
    const auto through = [&](long double a, const std::vector<long double>& y) {
        long double sum = 0;
        for (size_t j = 0; j < y.size(); ++j) {
            long double term = y[j];
            for (size_t l = 0; l < y.size(); ++l)
                if (l != j) term *= (t - (a + l)) / (static_cast<long double>(j) - l);
            sum += term;
        }
        return sum;
    };
    const int k = isBefore ? extLen - 1 - p : p;  // distance from the signal
    switch (type) {
        case 0:
            return 0;
        case 1:
            return k < n ? at(isBefore ? k : n - 1 - k) : 0;
        case 2:
            return isBefore ? x[n - 1 - k % n] : x[k % n];
        case 3: {
            const long double s = std::sin(
                (extLen - 1 + k) * 3.14159265358979323846264338327950288L / (2 * extLen + 1));
            return s * s * at(isBefore ? k : n - 1 - k);
        }
        case 5:
            return isBefore ? through(extLen, {x[0], x[1]}) : through(-2, {x[n - 2], x[n - 1]});
        default:
            return isBefore ? through(extLen, {x[0], x[1], x[2]})
                            : through(-3, {x[n - 3], x[n - 2], x[n - 1]});
    }
}

// How far a rule may stray from its definition: the fits are formed in powers
// of the abscissae, which reach the extension length.
double Tolerance(int type, int extLen, double scale) {
    if (type <= 2) return 0;
    if (type == 3) return 4 * DBL_EPSILON * scale;
    const double reach = extLen + 3.0;
    return 32 * DBL_EPSILON * reach * reach * scale;
}

std::vector<double> Random(int count, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(-1, 1);
    std::vector<double> v(count);
    for (auto& e : v) e = u(rng);
    return v;
}

void ExpectDefined(const std::vector<double>& x, int type, int extLen, const double* before,
                   const double* after, int stride) {
    const double tolerance = Tolerance(type, extLen, 1.0);
    for (int p = 0; p < extLen; ++p) {
        EXPECT_NEAR(before[p * stride], static_cast<double>(Defined(x, type, extLen, true, p)),
                    tolerance)
            << "before[" << p << "]";
        EXPECT_NEAR(after[p * stride], static_cast<double>(Defined(x, type, extLen, false, p)),
                    tolerance)
            << "after[" << p << "]";
    }
}

std::vector<int> Lengths(int n) { return {1, 2, 3, n - 1, n, n + 1, 2 * n + 1, 3 * n + 2}; }

TEST(Extension, EveryRuleFollowsItsDefinition) {
    for (int type : kTypes) {
        for (int n : {1, 2, 3, 4, 7, 16}) {
            if ((type == 5 && n < 2) || (type == 6 && n < 3)) continue;
            const auto x = Random(n, 10 * type + n);
            for (int extLen : Lengths(n)) {
                if (extLen < 1) continue;
                SCOPED_TRACE(::testing::Message()
                             << "type " << type << " n " << n << " extLen " << extLen);
                std::vector<double> before(extLen + 1, kSentinel), after(extLen + 1, kSentinel);
                ASSERT_EQ(ReExtension(x.data(), n, type, extLen, before.data(), after.data()), 0);
                ExpectDefined(x, type, extLen, before.data(), after.data(), 1);
                EXPECT_EQ(before[extLen], kSentinel);
                EXPECT_EQ(after[extLen], kSentinel);
            }
        }
    }
}

TEST(Extension, ComplexSignalsExtendEachPartByTheRule) {
    for (int type : kTypes) {
        for (int n : {3, 5, 8}) {
            const int extLen = 2 * n + 1;
            SCOPED_TRACE(::testing::Message() << "type " << type << " n " << n);
            const auto z = Random(2 * n, 100 + type + n);
            std::vector<double> re(n), im(n);
            for (int k = 0; k < n; ++k) {
                re[k] = z[2 * k];
                im[k] = z[2 * k + 1];
            }
            std::vector<double> before(2 * extLen + 1, kSentinel), after(2 * extLen + 1, kSentinel);
            ASSERT_EQ(CxExtension(z.data(), n, type, extLen, before.data(), after.data()), 0);
            ExpectDefined(re, type, extLen, before.data(), after.data(), 2);
            ExpectDefined(im, type, extLen, before.data() + 1, after.data() + 1, 2);
            EXPECT_EQ(before[2 * extLen], kSentinel);
            EXPECT_EQ(after[2 * extLen], kSentinel);
        }
    }
}

TEST(Extension, FitsContinueLinesAndParabolasExactly) {
    // Integer samples keep every step of the fits exact, however long the extension.
    struct Case {
        int type;
        int extLen;
    };
    for (const Case c : {Case{5, 1}, Case{5, 1000}, Case{6, 1}, Case{6, 100000}}) {
        SCOPED_TRACE(::testing::Message() << "type " << c.type << " extLen " << c.extLen);
        const int n = 9;
        const auto curve = [&](double t) {
            return c.type == 5 ? 3.0 - 2.0 * t : 5.0 + t - 3.0 * t * t;
        };
        std::vector<double> x(n), before(c.extLen), after(c.extLen);
        for (int i = 0; i < n; ++i) x[i] = curve(i);
        ASSERT_EQ(ReExtension(x.data(), n, c.type, c.extLen, before.data(), after.data()), 0);
        for (int p = 0; p < c.extLen; ++p) {
            ASSERT_EQ(before[p], curve(p - c.extLen)) << p;
            ASSERT_EQ(after[p], curve(n + p)) << p;
        }
    }
}

struct Rejection {
    int type;
    int n;
    int extLen;
    int32_t status;
};

TEST(Extension, RejectedCallsWriteNothing) {
    const Rejection cases[] = {
        {4, 8, 4, 4},       {-1, 8, 4, 4}, {7, 8, 4, 4}, {INT_MIN, 8, 4, 4},
        {INT_MAX, 8, 4, 4}, {4, 0, 4, 4},  // the type is checked before the length
        {5, 1, 4, 1},       {5, 0, 4, 1},  {5, 1, 0, 1}, {6, 2, 4, 1},
        {6, -3, 4, 1},      {2, 0, 4, 1},  // nothing to repeat
        {2, -5, 1, 1},
    };
    const auto x = Random(16, 7);  // 8 complex samples
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << "type " << c.type << " n " << c.n << " extLen " << c.extLen);
        std::vector<double> before(16, kSentinel), after(16, kSentinel);
        EXPECT_EQ(ReExtension(x.data(), c.n, c.type, c.extLen, before.data(), after.data()),
                  c.status);
        EXPECT_EQ(CxExtension(x.data(), c.n, c.type, c.extLen, before.data(), after.data()),
                  c.status);
        for (int i = 0; i < 16; ++i) {
            ASSERT_EQ(before[i], kSentinel) << i;
            ASSERT_EQ(after[i], kSentinel) << i;
        }
    }
}

TEST(Extension, NonPositiveLengthsWriteNothing) {
    const auto x = Random(8, 8);
    for (int type : kTypes) {
        for (int extLen : {0, -1, INT_MIN}) {
            SCOPED_TRACE(::testing::Message() << "type " << type << " extLen " << extLen);
            double before = kSentinel, after = kSentinel;
            EXPECT_EQ(ReExtension(x.data(), 8, type, extLen, &before, &after), 0);
            EXPECT_EQ(CxExtension(x.data(), 4, type, extLen, &before, &after), 0);
            EXPECT_EQ(before, kSentinel);
            EXPECT_EQ(after, kSentinel);
        }
    }
}

TEST(Extension, EmptySignalsExtendByZeros) {
    // Without samples, the mirror rules have nothing to reflect.
    for (int type : {0, 1, 3}) {
        SCOPED_TRACE(type);
        std::vector<double> before(5, kSentinel), after(5, kSentinel);
        ASSERT_EQ(ReExtension(nullptr, 0, type, 5, before.data(), after.data()), 0);
        for (int p = 0; p < 5; ++p) {
            EXPECT_EQ(before[p], 0.0);
            EXPECT_EQ(after[p], 0.0);
        }
    }
}

TEST(Extension, NeedsNoScratchMemory) {
    const auto x = Random(8, 9);
    std::vector<double> before(20), after(20);
    for (int type : kTypes) {
        SCOPED_TRACE(type);
        const int allocations = testsupport::WalkAllocationFailures(
            [&] { return CxExtension(x.data(), 4, type, 10, before.data(), after.data()); },
            [](int64_t, int32_t) {});
        EXPECT_EQ(allocations, 0);
    }
}

}  // namespace
