// Plans: factorisation, the shared cache and its lifetimes, exhausted memory,
// argument checks.

#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "accuracy.h"
#include "fault_walk.h"
#include "fft.h"
#include "oracle.h"
#include "scratch.h"

namespace {

using engine::FftPlan;
using engine::FftPlanGet;
using engine::FftPlanRelease;
using engine::kFixedRadix;
using engine::kGeneralRadix;
using engine::kRaderRadix;
using engine::PlanRef;

std::vector<int32_t> Factors(const FftPlan& plan) {
    return {plan.factors, plan.factors + plan.factorCount};
}

std::vector<int32_t> Kinds(const FftPlan& plan) {
    return {plan.kinds, plan.kinds + plan.factorCount};
}

struct Factorisation {
    int32_t n;
    std::vector<int32_t> factors, kinds;
};

TEST(Plan, FactorsIntoPreferredRadicesInAscendingOrder) {
    const int32_t F = kFixedRadix, G = kGeneralRadix, R = kRaderRadix;
    const Factorisation cases[] = {
        {1, {}, {}},
        {43, {43}, {F}},
        {64, {2, 32}, {F, F}},
        {256, {8, 32}, {F, F}},
        {1024, {32, 32}, {F, F}},
        {2048, {2, 32, 32}, {F, F, F}},
        {48, {3, 16}, {F, F}},
        {100, {10, 10}, {F, F}},
        {1000, {10, 10, 10}, {F, F, F}},
        {60, {2, 3, 10}, {F, F, F}},
        {46, {2, 23}, {F, G}},
        {47, {47}, {G}},
        {529, {23, 23}, {G, G}},
        {106, {2, 53}, {F, R}},
        {1009, {1009}, {R}},
        {3127, {53, 59}, {R, R}},
        {2 * 23 * 53, {2, 23, 53}, {F, G, R}},
        {1 << 20, {32, 32, 32, 32}, {F, F, F, F}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.n);
        PlanRef plan(c.n);
        ASSERT_TRUE(plan);
        EXPECT_EQ(plan.get()->length, c.n);
        EXPECT_EQ(Factors(*plan.get()), c.factors);
        EXPECT_EQ(Kinds(*plan.get()), c.kinds);
    }
}

TEST(Plan, RaderRadixHoldsThePlanOfOneLess) {
    PlanRef plan(106);
    ASSERT_TRUE(plan);
    const FftPlan* sub = plan.get()->factorData[1]->subPlan;
    ASSERT_NE(sub, nullptr);
    EXPECT_EQ(sub->length, 52);
    EXPECT_EQ(Factors(*sub), (std::vector<int32_t>{4, 13}));
    EXPECT_EQ(plan.get()->factorData[0]->subPlan, nullptr);
}

TEST(Plan, NoPlanForLengthsBelowOne) {
    EXPECT_EQ(FftPlanGet(0), nullptr);
    EXPECT_EQ(FftPlanGet(-5), nullptr);
    EXPECT_EQ(FftPlanGet(INT32_MIN), nullptr);
    FftPlanRelease(nullptr);
    EXPECT_EQ(engine::FftPlanCacheSize(), 0);
}

TEST(PlanCache, SameLengthSharesOnePlanUntilTheLastRelease) {
    FftPlan* a = FftPlanGet(64);
    FftPlan* b = FftPlanGet(64);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a, b);
    EXPECT_EQ(a->users, 2);
    EXPECT_EQ(engine::FftPlanCacheSize(), 1);
    FftPlanRelease(a);
    EXPECT_EQ(engine::FftPlanCacheSize(), 1);
    EXPECT_EQ(b->users, 1);
    FftPlanRelease(b);
    EXPECT_EQ(engine::FftPlanCacheSize(), 0);
}

TEST(PlanCache, RaderSubPlanIsSharedAndReleasedWithItsParent) {
    FftPlan* parent = FftPlanGet(106);
    ASSERT_NE(parent, nullptr);
    EXPECT_EQ(engine::FftPlanCacheSize(), 2);
    FftPlan* sub = FftPlanGet(52);
    EXPECT_EQ(sub, parent->factorData[1]->subPlan);
    EXPECT_EQ(sub->users, 2);
    FftPlanRelease(parent);
    EXPECT_EQ(engine::FftPlanCacheSize(), 1);
    EXPECT_EQ(sub->users, 1);
    FftPlanRelease(sub);
    EXPECT_EQ(engine::FftPlanCacheSize(), 0);
}

TEST(PlanCache, NestedRaderPlansLiveAsLongAsTheOuterOne) {
    // 643 -> 642 = 2*3*107 -> 106 = 2*53 -> 52 = 4*13
    FftPlan* plan = FftPlanGet(643);
    ASSERT_NE(plan, nullptr);
    EXPECT_EQ(engine::FftPlanCacheSize(), 4);
    for (const int32_t n : {642, 106, 52}) {
        FftPlan* inner = FftPlanGet(n);
        EXPECT_EQ(inner->users, 2) << n;
        FftPlanRelease(inner);
    }
    FftPlanRelease(plan);
    EXPECT_EQ(engine::FftPlanCacheSize(), 0);
}

// Runs the transforms of `plan` on random data and checks them against the
// direct sums and the input.
void ExpectPlanComputes(FftPlan* plan, accuracy::Worst& worst) {
    const int32_t n = plan->length;
    const auto re = oracle::Random(n, 11), im = oracle::Random(n, 12);
    const auto want = oracle::DirectDft(re, im);
    std::vector<double> outRe(n), outIm(n), hc(n), back(n);
    ASSERT_EQ(engine::CxFftForward(plan, re.data(), im.data(), outRe.data(), outIm.data(), 1, 1, n),
              0);
    ASSERT_EQ(engine::ReFftForward(plan, re.data(), hc.data(), 1, 1, n), 0);
    accuracy::ExpectForwardAccurate(oracle::Compare(outRe.data(), outIm.data(), 1, want), n, worst);
    accuracy::ExpectForwardAccurate(
        oracle::CompareHalfComplex(hc.data(), 1, oracle::RealPart(want)), n, worst);
    ASSERT_EQ(engine::ReFftInverse(plan, hc.data(), back.data(), 1, 1, n), 0);
    accuracy::ExpectRoundTripAccurate(oracle::CompareReal(back.data(), 1, re), n, worst);
}

// Every allocation of building a plan may fail: no plan, nothing left
// allocated, the cache as it was. General and Rader radices, nested Rader
// (107, 643), the same Rader radix at two levels (2809), two Rader radices.
TEST(PlanMemory, FailedAllocationLeavesNoPlanNoBlockAndTheCacheAsItWas) {
    accuracy::Worst worst("plans built after failures");
    for (const int32_t n : {1024, 46, 529, 53, 106, 107, 643, 2809, 3127, 2 * 23 * 53}) {
        SCOPED_TRACE(n);
        const int64_t blocks = scratch::LiveBlocks();
        FftPlan* made = nullptr;
        const int allocations =
            testsupport::WalkAllocationFailures([&] { return made = FftPlanGet(n); },
                                                [&](int64_t, FftPlan* plan) {
                                                    EXPECT_EQ(plan, nullptr);
                                                    EXPECT_EQ(scratch::LiveBlocks(), blocks);
                                                    EXPECT_EQ(engine::FftPlanCacheSize(), 0);
                                                });
        EXPECT_GT(allocations, 1);
        ASSERT_NE(made, nullptr);
        ExpectPlanComputes(made, worst);
        FftPlanRelease(made);
    }
}

TEST(PlanMemory, FailureKeepsAnAlreadyCachedSubPlanAsItWas) {
    PlanRef sub(52);
    ASSERT_TRUE(sub);
    const int64_t blocks = scratch::LiveBlocks();
    FftPlan* made = nullptr;
    testsupport::WalkAllocationFailures([&] { return made = FftPlanGet(106); },
                                        [&](int64_t, FftPlan* plan) {
                                            EXPECT_EQ(plan, nullptr);
                                            EXPECT_EQ(scratch::LiveBlocks(), blocks);
                                            EXPECT_EQ(engine::FftPlanCacheSize(), 1);
                                            EXPECT_EQ(sub.get()->users, 1);
                                        });
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->factorData[1]->subPlan, sub.get());
    FftPlanRelease(made);
}

// The work space of general and Rader passes comes with the plan: transforms
// never allocate, so they cannot fail for lack of memory.
TEST(PlanMemory, TransformsNeverAllocate) {
    accuracy::Worst worst("transforms with allocation failing");
    for (const int32_t n : {46, 47, 53, 106, 643, 2809, 2048}) {
        SCOPED_TRACE(n);
        PlanRef plan(n);
        ASSERT_TRUE(plan);
        scratch::FailAllocation(1);
        ExpectPlanComputes(plan.get(), worst);
        EXPECT_FALSE(scratch::AllocationFailed());
        scratch::ClearAllocationFailure();
    }
}

TEST(Transforms, LengthMismatchReturnsMinusOneAndTouchesNothing) {
    PlanRef plan(8);
    ASSERT_TRUE(plan);
    constexpr double kSentinel = -777.0;
    for (const int32_t n : {7, 9, 0, -8}) {
        SCOPED_TRACE(n);
        std::vector<double> in(16, 1.5), in2(16, 2.5), outRe(16, kSentinel), outIm(16, kSentinel);
        EXPECT_EQ(engine::CxFftForward(plan.get(), in.data(), in2.data(), outRe.data(),
                                       outIm.data(), 1, 1, n),
                  -1);
        EXPECT_EQ(engine::CxFftInverse(plan.get(), in.data(), in2.data(), outRe.data(),
                                       outIm.data(), 1, 1, n),
                  -1);
        EXPECT_EQ(engine::ReFftForward(plan.get(), in.data(), outRe.data(), 1, 1, n), -1);
        EXPECT_EQ(engine::ReFftInverse(plan.get(), in.data(), outRe.data(), 1, 1, n), -1);
        EXPECT_EQ(outRe, std::vector<double>(16, kSentinel));
        EXPECT_EQ(outIm, std::vector<double>(16, kSentinel));
        EXPECT_EQ(in, std::vector<double>(16, 1.5));
    }
    std::vector<double> x(8, 1.0), y(8, kSentinel);
    EXPECT_EQ(engine::ReFftForward(nullptr, x.data(), y.data(), 1, 1, 8), -1);
    EXPECT_EQ(engine::CxFftForward(nullptr, x.data(), x.data(), y.data(), y.data(), 1, 1, 8), -1);
    EXPECT_EQ(y, std::vector<double>(8, kSentinel));
}

TEST(NextPowerOfTwo, SmallestPowerOfTwoNotBelowN) {
    const struct {
        int32_t n, want;
    } cases[] = {{INT32_MIN, 0},
                 {-5, 0},
                 {0, 0},
                 {1, 1},
                 {2, 2},
                 {3, 4},
                 {5, 8},
                 {8, 8},
                 {1000, 1024},
                 {1025, 2048},
                 {(1 << 30) - 1, 1 << 30},
                 {1 << 30, 1 << 30},
                 {(1 << 30) + 1, 0},
                 {INT32_MAX, 0}};
    for (const auto& c : cases) EXPECT_EQ(engine::NextPowerOfTwo(c.n), c.want) << c.n;
}

}  // namespace
