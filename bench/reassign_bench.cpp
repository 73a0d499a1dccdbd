// ReReassignedSTFTSp beside three FFTW-based spectrograms of the same frames
// (the window, its time-weighted copy and its derivative), which is the work
// the reassignment has to do before it moves any energy.

#include <benchmark/benchmark.h>

#include <vector>

#include "fftw_frames.h"
#include "mornavel.h"
#include "ratio_table.h"

namespace {

using namespace benchframes;

void ReassignedOurs(benchmark::State& state) {
    const Signal& s = Data();
    std::vector<double> out(s.frames * kN / 2);
    for (auto _ : state) {
        if (ReReassignedSTFTSp(s.x.data(), static_cast<int>(s.x.size()), &s.p, out.data()) != 0)
            state.SkipWithError("ReReassignedSTFTSp failed");
        benchmark::DoNotOptimize(out.data());
    }
}

void ThreeSpectrogramsRef(benchmark::State& state) {
    const Signal& s = Data();
    // The window, its time-weighted copy and a central-difference derivative.
    std::vector<double> windows[3] = {s.w, s.w, s.w};
    for (int k = 0; k < kL; ++k) {
        windows[1][k] = (k - (kL - 1) / 2.0) * s.w[k];
        windows[2][k] = 0.5 * (s.w[(k + 1) % kL] - s.w[(k + kL - 1) % kL]);
    }
    const R2hc fft(kN);
    std::vector<double> folded(kN), spectrograms(3 * s.frames * kN / 2);
    const double c = 1.0 / kN;
    for (auto _ : state) {
        for (int64_t i = 0; i < s.frames; ++i) {
            for (int v = 0; v < 3; ++v) {
                FoldRotate(s.x.data() + i * kD, windows[v].data(), kL, kN, 0, fft.in(),
                           folded.data());
                fft.Run(fft.out());
                const double* hc = fft.out();
                double* row = spectrograms.data() + (v * s.frames + i) * (kN / 2);
                row[0] = c * hc[0] * hc[0];
                for (int b = 1; b < kN / 2; ++b)
                    row[b] = c * (hc[b] * hc[b] + hc[kN - b] * hc[kN - b]);
            }
        }
        benchmark::DoNotOptimize(spectrograms.data());
    }
}

BENCHMARK(ReassignedOurs)->Name("ReReassignedSTFTSp/ours")->Unit(benchmark::kMicrosecond);
BENCHMARK(ThreeSpectrogramsRef)->Name("ReReassignedSTFTSp/ref")->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) { return benchframes::RunAll(argc, argv); }
