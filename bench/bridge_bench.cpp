// The bridge's overhead: SptReDGTH and SptGetGraphH on host arrays, beside
// ReDGT on plain arrays and a plain loop that makes the same display.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "fftw_frames.h"
#include "kessling.h"
#include "mornavel.h"
#include "ratio_table.h"
#include "rhombel.h"
#include "testhost.h"

namespace {

using namespace benchframes;

// A host array holding `values` as a 1-D array of doubles.
HostArrayHandle HostDoubles(const std::vector<double>& values) {
    const auto count = static_cast<int32_t>(values.size());
    HostArrayHandle h = TestHostNewHandle(4 + 8 * count);
    std::memcpy(*h, &count, 4);
    std::memcpy(reinterpret_cast<char*>(*h) + 4, values.data(), values.size() * 8);
    return h;
}

struct Host {
    HostArrayHandle signal, window, graph, image;
    SptWindowCluster cluster;
    int32_t ref = 0;
    Host() {
        const Signal& s = Data();
        signal = HostDoubles(s.x);
        window = HostDoubles(s.w);
        graph = TestHostNewHandle(8);
        image = TestHostNewHandle(8);
        cluster = SptWindowCluster{window, kD, kN};
        SptCreateRefH(&ref);
    }
    ~Host() {
        SptDisposeRefH(ref);
        for (HostArrayHandle h : {signal, window, graph, image}) TestHostDisposeHandle(h);
    }
};

void Bridge(benchmark::State& state, bool image) {
    Host host;
    const uint8_t keep = image ? 0 : 1, decibel = image ? 1 : 0;
    SptAxis time, frequency, level;
    for (auto _ : state) {
        if (SptReDGTH(host.ref, host.signal, &host.cluster) != 0 ||
            SptGetGraphH(host.ref, 0, &keep, &decibel, 0.0, 0.0, host.graph, host.image, &time,
                         &frequency, &level) != 0)
            state.SkipWithError("the bridge failed");
        benchmark::DoNotOptimize(*host.graph);
        benchmark::DoNotOptimize(*host.image);
    }
}

// ReDGT, then per cell x[k]^2 + x[N - k]^2 of the half-complex rows; for the
// image, decibels floored 70 dB below the peak and 256 levels over the range.
void Plain(benchmark::State& state, bool image) {
    const Signal& s = Data();
    const int64_t n = static_cast<int64_t>(s.x.size()), rows = (n + kD - 1) / kD;
    const int64_t cells = rows * (kN / 2);
    AlignedArray coefficients(rows * kN), power(cells);
    std::vector<unsigned char> bytes(cells);
    for (auto _ : state) {
        if (ReDGT(s.x.data(), static_cast<int>(n), &s.p, coefficients.data) != 0)
            state.SkipWithError("ReDGT failed");
        for (int64_t r = 0; r < rows; ++r) {
            const double* x = coefficients.data + r * kN;
            double* p = power.data + r * (kN / 2);
            p[0] = x[0] * x[0];
            for (int k = 1; k < kN / 2; ++k) p[k] = x[k] * x[k] + x[kN - k] * x[kN - k];
        }
        if (image) {
            const double floor = *std::max_element(power.data, power.data + cells) * 1e-7;
            for (int64_t i = 0; i < cells; ++i)
                power.data[i] = 10.0 * std::log10(std::max(power.data[i], floor));
            const auto [lo, hi] = std::minmax_element(power.data, power.data + cells);
            const double scale = 256.0 / (*hi - *lo);
            for (int64_t i = 0; i < cells; ++i)
                bytes[i] = static_cast<unsigned char>(
                    std::min(255.0, std::floor((power.data[i] - *lo) * scale)));
        }
        benchmark::DoNotOptimize(power.data);
        benchmark::DoNotOptimize(bytes.data());
    }
}

BENCHMARK_CAPTURE(Bridge, power, false)->Name("DGT+power/ours")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Plain, power, false)->Name("DGT+power/ref")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Bridge, image, true)->Name("DGT+dB image/ours")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Plain, image, true)->Name("DGT+dB image/ref")->Unit(benchmark::kMicrosecond);

}  // namespace

// The test host moves a handle's block on every resize, as a host's memory
// manager may, to catch stale pointers; with the C library's default threshold
// each move of a large output would map fresh pages, a cost of the stand-in
// host rather than of the bridge. The C library adapts here.
int main(int argc, char** argv) {
    return benchframes::RunAll(argc, argv, benchsupport::Mapping::kAdaptive);
}
