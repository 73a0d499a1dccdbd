// The Gabor spectrogram beside the limit set by its transforms: per pair
// offset M·(1 + G) + G complex transforms of length N and Q + P of the padded
// time length, run by FFTW on data in cache with nothing else around them.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fftw_frames.h"
#include "fftw_repeated.h"
#include "mornavel.h"
#include "ratio_table.h"

namespace {

using benchframes::Noise;
using benchframes::Repeated;

struct Case {
    int32_t M, N, dM, order, P, G;
    double Variance() const { return dM * N / 6.283185307179586; }
    int32_t Q() const { return N * G; }
    int64_t PaddedTime() const {
        const int64_t v = M + static_cast<int64_t>(std::ceil(6.3 * std::sqrt(Variance()) / dM));
        int64_t p = 1;
        while (p < v) p <<= 1;
        return p;
    }
    // Pair offsets of orders 0 … order: Δk >= 0 at Δm = 0, both signs after it.
    int64_t Offsets() const {
        int64_t count = order + 1;
        for (int dm = 1; dm <= order; ++dm) count += 1 + 2 * (order - dm);
        return count;
    }
    std::string Name() const {
        return "CxGaborSp M" + std::to_string(M) + " N" + std::to_string(N) + " order " +
               std::to_string(order) + " (" + std::to_string(Offsets()) + " offsets)";
    }
};

void Ours(benchmark::State& state, Case c) {
    const std::vector<double> coef = Noise(2 * int64_t{c.M} * c.N);
    std::vector<double> out(int64_t{c.M} * c.P * c.Q());
    for (auto _ : state) {
        if (CxGaborSp(coef.data(), c.M, c.N, 0, c.dM, c.Variance(), 0, c.order, c.P, c.G, 0, c.Q(),
                      out.data()) != 0)
            state.SkipWithError("the spectrogram failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["per offset"] = benchmark::Counter(
        static_cast<double>(c.Offsets()),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void TransformsAlone(benchmark::State& state, Case c) {
    const int64_t offsets = c.Offsets();
    const Repeated rows(Repeated::kForward, c.N, offsets * (int64_t{c.M} * (1 + c.G) + c.G));
    const Repeated columns(Repeated::kForward, static_cast<int>(c.PaddedTime()),
                           offsets * (c.Q() + c.P));
    for (auto _ : state) {
        rows.Run();
        columns.Run();
    }
    state.counters["per offset"] = benchmark::Counter(
        static_cast<double>(offsets),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

}  // namespace

int main(int argc, char** argv) {
    for (int order : {0, 2, 4}) {
        const Case c{256, 128, 16, order, 2, 2};
        benchmark::RegisterBenchmark((c.Name() + "/ours").c_str(), Ours, c)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((c.Name() + "/ref").c_str(), TransformsAlone, c)
            ->Unit(benchmark::kMillisecond);
    }
    return benchsupport::RunAndReport(argc, argv,
                                      {{"Gabor spectrogram", [](const std::string& name) {
                                            return name.rfind("CxGaborSp", 0) == 0;
                                        }}});
}
