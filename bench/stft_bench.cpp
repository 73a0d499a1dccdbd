// ReSTFT and ReDGT beside a straightforward FFTW-based computation of the same
// frames: fold, rotate, FFTW half-complex transform.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

#include "fftw_frames.h"
#include "mornavel.h"
#include "ratio_table.h"

namespace {

using namespace benchframes;

// The reference frames of a signal whose frame i starts at sample i·D.
void ReferenceFrames(const R2hc& fft, const double* x, int64_t frames, const double* w,
                     double* folded, double* out) {
    for (int64_t i = 0; i < frames; ++i) {
        FoldRotate(x + i * kD, w, kL, kN, static_cast<int>(i * kD % kN), fft.in(), folded);
        fft.Run(out + i * kN);
    }
}

void StftOurs(benchmark::State& state) {
    const Signal& s = Data();
    AlignedArray out(s.frames * kN);
    for (auto _ : state) {
        if (ReSTFT(s.x.data(), static_cast<int>(s.x.size()), &s.p, out.data) != 0)
            state.SkipWithError("ReSTFT failed");
        benchmark::DoNotOptimize(out.data);
    }
}

void StftRef(benchmark::State& state) {
    const Signal& s = Data();
    const R2hc fft(kN);
    AlignedArray out(s.frames * kN);
    std::vector<double> folded(kN);
    for (auto _ : state) {
        ReferenceFrames(fft, s.x.data(), s.frames, s.w.data(), folded.data(), out.data);
        benchmark::DoNotOptimize(out.data);
    }
}

void DgtOurs(benchmark::State& state) {
    const Signal& s = Data();
    const int64_t n = static_cast<int64_t>(s.x.size());
    AlignedArray out((n + kD - 1) / kD * kN);
    for (auto _ : state) {
        if (ReDGT(s.x.data(), static_cast<int>(n), &s.p, out.data) != 0)
            state.SkipWithError("ReDGT failed");
        benchmark::DoNotOptimize(out.data);
    }
}

// The signal zero-padded to whole steps, wrapped periodically by half a window
// on each side, then framed like the STFT: frame i is centred on sample i·D.
void DgtRef(benchmark::State& state) {
    const Signal& s = Data();
    const int64_t n = static_cast<int64_t>(s.x.size()), frames = (n + kD - 1) / kD;
    const int64_t P = frames * kD, h = kL / 2;
    const R2hc fft(kN);
    AlignedArray out(frames * kN);
    std::vector<double> extended(kL + P), folded(kN);
    for (auto _ : state) {
        // The window is shorter than the period: one copy of each edge will do.
        std::copy_n(s.x.data(), n, extended.data() + h);
        std::fill(extended.data() + h + n, extended.data() + h + P, 0.0);
        std::copy_n(extended.data() + P, h, extended.data());
        std::copy(extended.data() + h, extended.data() + kL, extended.data() + h + P);
        ReferenceFrames(fft, extended.data(), frames, s.w.data(), folded.data(), out.data);
        benchmark::DoNotOptimize(out.data);
    }
}

BENCHMARK(StftOurs)->Name("ReSTFT/ours")->Unit(benchmark::kMicrosecond);
BENCHMARK(StftRef)->Name("ReSTFT/ref")->Unit(benchmark::kMicrosecond);
BENCHMARK(DgtOurs)->Name("ReDGT/ours")->Unit(benchmark::kMicrosecond);
BENCHMARK(DgtRef)->Name("ReDGT/ref")->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) { return benchframes::RunAll(argc, argv); }
