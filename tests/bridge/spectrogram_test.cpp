// The Gabor spectrogram through the host: incremental order updates against
// fresh computations, the resampled grid, the default variance, statuses,
// exhausted memory and the lock order shared with copies; the mean and plain
// instantaneous frequencies of stored results.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "bridge_testing.h"
#include "fault_walk.h"
#include "host_testing.h"
#include "kessling.h"
#include "mornavel.h"
#include "rhombel.h"
#include "rhombel_testing.h"

namespace {

using namespace bridgetest;
using hosttest::HostArray;

constexpr int32_t kSamples = 256, kL = 64, kD = 8, kN = 32;

// Gabor coefficients of a two-tone complex signal, stored in `ref`.
void Analyse(int32_t ref, int32_t samples = kSamples) {
    std::vector<double> z(2 * static_cast<std::size_t>(samples));
    for (int32_t i = 0; i < samples; ++i) {
        z[2 * i] = std::cos(0.6 * i) + 0.5 * std::cos(2.1 * i);
        z[2 * i + 1] = std::sin(0.6 * i) + 0.5 * std::sin(2.1 * i);
    }
    HostArray signal = HostArray::Doubles({samples}, z);
    std::vector<double> w(kL);
    Gaussian(kL, 0.5 * (kL - 1), 100.0, w.data());
    const HostWindow window(w, kD, kN);
    ASSERT_EQ(SptCxDGTH(ref, signal.handle(), window.get()), 0);
}

struct Spectrogram {
    int32_t status;
    bool recomputed;
    Stored stored;
};

Spectrogram Compute(int32_t source, int32_t& destination, int32_t order, bool recompute = false,
                    double timeFactor = 1.0, double frequencyFactor = 1.0, double variance = 20.0) {
    uint8_t flag = recompute ? 1 : 0;
    const int32_t status = SptGaborSpH(source, 0, variance, order, timeFactor, frequencyFactor, 0,
                                       0, &flag, &destination);
    return {status, flag != 0, ReadStored(destination)};
}

double Relative(const std::vector<double>& a, const std::vector<double>& b) {
    EXPECT_EQ(a.size(), b.size());
    double worst = 0, peak = 0;
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
        worst = std::max(worst, std::fabs(a[i] - b[i]));
        peak = std::max(peak, std::fabs(b[i]));
    }
    return worst / peak;
}

TEST(GaborSpectrogram, OrderChangesAddOrRemoveTermsOrRecomputeAsAFreshComputationWould) {
    BridgeRef source;
    Analyse(source.number);
    struct Case {
        int32_t from, to;
        bool recomputes;
    } const cases[] = {{1, 2, false}, {3, 2, false}, {3, 0, true}, {0, 4, false}, {2, 2, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.from << " -> " << c.to);
        BridgeRef updated, fresh;
        ASSERT_EQ(Compute(source.number, updated.number, c.from).status, 0);
        const Spectrogram step = Compute(source.number, updated.number, c.to);
        ASSERT_EQ(step.status, 0);
        EXPECT_EQ(step.recomputed, c.recomputes);
        const Spectrogram direct = Compute(source.number, fresh.number, c.to);
        EXPECT_EQ(step.stored.rows, direct.stored.rows);
        EXPECT_EQ(step.stored.columns, direct.stored.columns);
        EXPECT_LT(Relative(step.stored.values, direct.stored.values), 1e-12);
        int32_t rows, columns;
        SptParamCluster p;
        ASSERT_EQ(SptGetParamH(updated.number, 0, &rows, &columns, &p), 0);
        EXPECT_EQ(p.layout, SPT_LAYOUT_REAL);
        EXPECT_EQ(p.timeStep, kD);
        EXPECT_EQ(p.frequencyBins, kN);
    }
    // Other factors than those stored: computed afresh.
    BridgeRef destination;
    ASSERT_EQ(Compute(source.number, destination.number, 1).status, 0);
    EXPECT_TRUE(Compute(source.number, destination.number, 2, false, 0.5).recomputed);
}

TEST(GaborSpectrogram, FactorsBelowOneKeepEveryOtherRowOrBinAtTwiceTheStep) {
    BridgeRef source, full, halfTime, halfFrequency;
    Analyse(source.number);
    const Spectrogram f = Compute(source.number, full.number, 2);
    const Spectrogram t = Compute(source.number, halfTime.number, 2, false, 0.5, 1.0);
    const Spectrogram q = Compute(source.number, halfFrequency.number, 2, false, 1.0, 0.5);
    ASSERT_EQ(f.status | t.status | q.status, 0);
    ASSERT_EQ(t.stored.rows, f.stored.rows / 2);
    ASSERT_EQ(q.stored.columns, f.stored.columns / 2);
    int32_t rows, columns;
    SptParamCluster p;
    ASSERT_EQ(SptGetParamH(halfTime.number, 0, &rows, &columns, &p), 0);
    EXPECT_EQ(p.timeStep, 2 * kD);
    ASSERT_EQ(SptGetParamH(halfFrequency.number, 0, &rows, &columns, &p), 0);
    EXPECT_EQ(p.frequencyBins, kN / 2);
    for (int32_t r = 0; r < t.stored.rows; ++r)
        for (int32_t k = 0; k < t.stored.columns; ++k)
            EXPECT_EQ(t.stored.values[r * t.stored.columns + k],
                      f.stored.values[2 * r * f.stored.columns + k]);
    // Every second bin of the spectrogram computed on the full grid, scaled by 2.
    for (int32_t k = 0; k < q.stored.columns; ++k)
        EXPECT_NEAR(q.stored.values[k], 2 * f.stored.values[2 * k],
                    1e-12 * std::fabs(f.stored.values[2 * k]) + 1e-300);
}

TEST(GaborSpectrogram, TheDefaultVarianceHalvesTheLatticeProductInIntegers) {
    // Time step 8 and 32 columns: (8 * 32 / 2) / pi.
    BridgeRef source, byDefault, byHand;
    Analyse(source.number);
    const Spectrogram d = Compute(source.number, byDefault.number, 1, false, 1.0, 1.0, 0.0);
    ASSERT_EQ(d.status, 0);
    EXPECT_EQ(d.stored.values,
              Compute(source.number, byHand.number, 1, false, 1.0, 1.0, 128 * 0.3183098861837907)
                  .stored.values);
    // One column of time step 1: 1 * 1 / 2 is 0 in integers, a variance the
    // spectrogram refuses.
    BridgeRef single, destination;
    HostArray coefficients = HostArray::Doubles({4, 1}, Samples(8, 5));
    HostArray none = HostArray::Empty(2);
    const SptInfoCluster info{0, 4, SPT_LAYOUT_COMPLEX, 1, 1, 0, -1};
    ASSERT_EQ(SptSetDataH(single.number, 0, none.handle(), coefficients.handle(), &info), 0);
    EXPECT_EQ(Compute(single.number, destination.number, 0, false, 1.0, 1.0, 0.0).status, -42617);
    EXPECT_EQ(Compute(single.number, destination.number, 0, false, 1.0, 1.0, 0.5).status, 0);
}

TEST(GaborSpectrogram, RefusalsAndExhaustedMemory) {
    BridgeRef source, real;
    Analyse(source.number);
    HostArray matrix = HostArray::Doubles({2, 2}, {1, 2, 3, 4}), none = HostArray::Empty(2);
    const SptInfoCluster realInfo{0, 4, SPT_LAYOUT_REAL, kD, 2, 0, -1};
    ASSERT_EQ(SptSetDataH(real.number, 0, matrix.handle(), none.handle(), &realInfo), 0);
    BridgeRef oddStep;
    HostArray coefficients = HostArray::Doubles({2, 2}, Samples(8, 1));
    const SptInfoCluster oddInfo{0, 4, SPT_LAYOUT_COMPLEX, 3, 2, 0, -1};
    ASSERT_EQ(SptSetDataH(oddStep.number, 0, none.handle(), coefficients.handle(), &oddInfo), 0);

    struct Case {
        const char* what;
        int32_t source, order;
        double timeFactor, frequencyFactor;
        int32_t status;
        bool emptied;
    } const cases[] = {
        {"foreign source", 0, 1, 0.0, 1.0, kInvalidReference, false},
        {"time factor 0", source.number, 1, 0.0, 1.0, -42621, false},
        {"frequency factor below 0 before the order", source.number, -1, 1.0, -1.0, -42621, false},
        {"negative order", source.number, -1, 1.0, 1.0, -42613, false},
        {"time step not a power of two", oddStep.number, 1, 1.0, 1.0, kBadWindow, true},
        {"a real matrix", real.number, 1, 1.0, 1.0, kUnsupportedData, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BridgeRef destination;
        ASSERT_EQ(Compute(source.number, destination.number, 0).status, 0);
        const Spectrogram s =
            Compute(c.source, destination.number, c.order, false, c.timeFactor, c.frequencyFactor);
        EXPECT_EQ(s.status, c.status);
        EXPECT_EQ(s.stored.rows == 0, c.emptied);
    }

    BridgeRef destination;
    EXPECT_GE(testsupport::WalkAllocationFailures(
                  [&] { return Compute(source.number, destination.number, 2, true).status; },
                  [&](int, int32_t status) {
                      EXPECT_EQ(status, kNoMemory);
                      EXPECT_EQ(ReadStored(destination.number).rows, 0);
                  }),
              2);
}

// Two exports hold two references at once: a copy and the Gabor spectrogram.
// The lock hook makes the dangerous interleaving happen every time: each
// export checks both references (one brief lock each) and then locks the
// pair, so both threads are held before the first lock of the pair until the
// other has arrived there too, and again before the second lock. Were the
// copy to lock source then destination and the spectrogram destination then
// source, each thread would now hold the lock the other waits for. In one
// order, the second thread waits for the first reference instead, and the
// first goes on once its wait for a partner times out.
namespace crossing {
std::mutex mutex;
std::condition_variable arrived;
int atFirst = 0, atSecond = 0;
thread_local int unheldLocks = 0;

void Meet(int& count) {
    std::unique_lock<std::mutex> lock(mutex);
    ++count;
    arrived.notify_all();
    arrived.wait_for(lock, std::chrono::milliseconds(300), [&] { return count >= 2; });
}

void Hook(int32_t, int32_t heldElsewhere) {
    if (heldElsewhere == 1) return Meet(atSecond);
    if (heldElsewhere == 0 && ++unheldLocks == 3) Meet(atFirst);
}
}  // namespace crossing

TEST(GaborSpectrogram, ACopyAndASpectrogramOnCrossedReferencesDoNotDeadlock) {
    BridgeRef first, second;
    Analyse(first.number, 64);
    RhombelTestSetLockHook(crossing::Hook);
    for (int round = 0; round < 3; ++round) {
        crossing::atFirst = crossing::atSecond = 0;
        auto done = std::async(std::launch::async, [&] {
            std::thread copier([&] {
                crossing::unheldLocks = 0;
                int32_t destination = second.number;
                EXPECT_EQ(SptCopyRefH(first.number, &destination), 0);
            });
            crossing::unheldLocks = 0;
            uint8_t recompute = 1;
            int32_t destination = second.number;
            EXPECT_EQ(
                SptGaborSpH(first.number, 0, 20.0, 1, 1.0, 1.0, 0, 0, &recompute, &destination), 0);
            copier.join();
        });
        if (done.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
            ADD_FAILURE() << "the two exports deadlocked";
            std::_Exit(1);
        }
    }
    RhombelTestSetLockHook(nullptr);
}

TEST(InstantaneousFrequencies, OfTheGaborSpectrogramAndOfAStoredSpectrogram) {
    BridgeRef source;
    Analyse(source.number);
    int32_t rows = 0, columns = 0;
    SptGetSizeH(source.number, &rows, &columns);
    const Stored coefficients = ReadStored(source.number);
    std::vector<double> direct(static_cast<std::size_t>(rows - 1) * 2);
    ASSERT_EQ(
        MIFOfGaborSp(coefficients.values.data(), rows, columns, kD, 20.0, 2, 2, direct.data()), 0);
    HostArray mif = HostArray::Empty(1);
    ASSERT_EQ(SptMIFOfGaborSpH(source.number, 20.0, 2, 2.0, mif.handle()), 0);
    EXPECT_EQ(mif.Values(1), direct);
    ASSERT_EQ(SptMIFOfGaborSpH(source.number, 20.0, 2, 1.0 / 3, mif.handle()), 0);
    EXPECT_EQ(mif.Sizes(1)[0], (rows - 1) / 3);

    // A tone at bin 12 of 64 in a real spectrogram: 12/64 cycles per sample.
    std::vector<double> x(1000);
    for (std::size_t i = 0; i < x.size(); ++i) x[i] = std::cos(6.283185307179586 * 12 / 64 * i);
    HostArray signal = HostArray::Doubles({1000}, x);
    std::vector<double> w(128);
    Gaussian(128, 63.5, 400.0, w.data());
    const HostWindow window(w, 16, 64);
    BridgeRef sp;
    const uint8_t no = 0;
    ASSERT_EQ(SptReSTFTSpH(sp.number, signal.handle(), window.get(), &no), 0);
    HostArray frequency = HostArray::Empty(1);
    int32_t step = 0;
    ASSERT_EQ(SptInstantFreqH(sp.number, 0.0, frequency.handle(), &step), 0);
    EXPECT_EQ(step, 16);
    const std::vector<double> f = frequency.Values(1);
    ASSERT_EQ(f.size(), static_cast<std::size_t>(ReadStored(sp.number).rows));
    for (const double v : f) EXPECT_NEAR(v, 12.0 / 64, 1e-3);

    // Gabor coefficients are no spectrogram, and a spectrogram has no coefficients.
    HostArray out = HostArray::Doubles({1}, {7});
    EXPECT_EQ(SptInstantFreqH(source.number, 0.0, out.handle(), &step), kUnsupportedData);
    EXPECT_EQ(out.Sizes(1)[0], 0);
    EXPECT_EQ(SptMIFOfGaborSpH(sp.number, 20.0, 2, 1.0, mif.handle()), kUnsupportedData);
    EXPECT_EQ(mif.Sizes(1)[0], 0);
    EXPECT_EQ(SptMIFOfGaborSpH(source.number, 20.0, -1, 1.0, mif.handle()), -42613);
}

}  // namespace
