// Accuracy of the forward transforms against the direct sums in long double,
// for every length from 1 to 2048 and for lengths that put the general odd
// radix and Rader's algorithm at outer levels.

#include <gtest/gtest.h>

#include "accuracy.h"
#include "fft.h"
#include "oracle.h"

namespace {

using engine::PlanRef;

// One long-double evaluation per length serves both transforms: the real
// transform takes the real part of the complex input.
void CheckForwardTransforms(int n, accuracy::Worst& complexWorst, accuracy::Worst& realWorst) {
    SCOPED_TRACE(testing::Message() << "n = " << n);
    const auto re = oracle::Random(n, 2 * n + 1), im = oracle::Random(n, 2 * n + 2);
    const auto want = oracle::DirectDft(re, im);
    PlanRef plan(n);
    ASSERT_TRUE(plan);
    std::vector<double> outRe(n), outIm(n), hc(n);
    ASSERT_EQ(
        engine::CxFftForward(plan.get(), re.data(), im.data(), outRe.data(), outIm.data(), 1, 1, n),
        0);
    ASSERT_EQ(engine::ReFftForward(plan.get(), re.data(), hc.data(), 1, 1, n), 0);
    accuracy::ExpectForwardAccurate(oracle::Compare(outRe.data(), outIm.data(), 1, want), n,
                                    complexWorst);
    accuracy::ExpectForwardAccurate(
        oracle::CompareHalfComplex(hc.data(), 1, oracle::RealPart(want)), n, realWorst);
}

TEST(Sweep, ForwardTransformsMatchDirectSumsForEveryLengthUpTo2048) {
    accuracy::Worst complexWorst("complex forward, n <= 2048");
    accuracy::Worst realWorst("real forward, n <= 2048");
    for (int n = 1; n <= 2048; ++n) CheckForwardTransforms(n, complexWorst, realWorst);
}

// 47 and Rader's primes as outer levels (47*47, 47*53, 53*53, 53*59), nested
// Rader beyond 2048 (2*1279: 1278 = 2*9*71), and a length with both kinds.
TEST(Sweep, ForwardTransformsMatchDirectSumsWhereOddRadicesAreOuterLevels) {
    accuracy::Worst complexWorst("complex forward, outer odd radices");
    accuracy::Worst realWorst("real forward, outer odd radices");
    for (int n : {2209, 2491, 2809, 3127, 2558, 2 * 23 * 53})
        CheckForwardTransforms(n, complexWorst, realWorst);
}

}  // namespace
