#pragma once
// Straightforward FFTW-based framing used as the yardstick of the STFT, Gabor
// and reassignment benchmarks: fold the windowed segment onto N points, rotate
// it to absolute time, and transform it with an FFTW half-complex plan.

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "mornavel.h"
#include "ratio_table.h"

namespace benchframes {

// FFTW's real-to-half-complex plan of length N on aligned buffers.
class R2hc {
  public:
    explicit R2hc(int N)
        : N_(N),
          in_(fftw_alloc_real(N)),
          out_(fftw_alloc_real(N)),
          plan_(fftw_plan_r2r_1d(N, in_, out_, FFTW_R2HC,
                                 benchsupport::Smoke() ? FFTW_ESTIMATE : FFTW_MEASURE)) {
        for (int k = 0; k < N; ++k) in_[k] = 0.0;
    }
    R2hc(const R2hc&) = delete;
    R2hc& operator=(const R2hc&) = delete;
    ~R2hc() {
        fftw_destroy_plan(plan_);
        fftw_free(in_);
        fftw_free(out_);
    }
    double* in() const { return in_; }
    double* out() const { return out_; }
    // Transforms in() into `out` (aligned like the buffers the plan was made with).
    void Run(double* out) const { fftw_execute_r2r(plan_, in_, out); }

  private:
    int N_;
    double* in_;
    double* out_;
    fftw_plan plan_;
};

// frame[(k + rot) mod N] = Σ over the blocks of N of w[k]·x[k]: fold block by
// block into `folded` (N doubles), then rotate with two copies.
inline void FoldRotate(const double* x, const double* w, int L, int N, int rot, double* frame,
                       double* folded) {
    std::fill_n(folded, N, 0.0);
    for (int start = 0; start < L; start += N) {
        const int length = std::min(N, L - start);
        for (int j = 0; j < length; ++j) folded[j] += w[start + j] * x[start + j];
    }
    std::copy_n(folded, N - rot, frame + rot);
    std::copy_n(folded + N - rot, rot, frame);
}

inline std::vector<double> Noise(int64_t n) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> u(-1, 1);
    std::vector<double> x(n);
    for (auto& v : x) v = u(rng);
    return x;
}

// A unit-energy Gaussian of L samples centred on the window.
inline std::vector<double> GaussianWindow(int L, double variance) {
    std::vector<double> w(L);
    const double scale = 1.0 / std::sqrt(std::sqrt(3.141592653589793 * variance));
    for (int k = 0; k < L; ++k) {
        const double t = k - (L - 1) / 2.0;
        w[k] = scale * std::exp(-t * t / (2 * variance));
    }
    return w;
}

// Aligned output of `count` doubles.
struct AlignedArray {
    explicit AlignedArray(int64_t count) : data(fftw_alloc_real(count)) {
        for (int64_t k = 0; k < count; ++k) data[k] = 0.0;
    }
    AlignedArray(const AlignedArray&) = delete;
    AlignedArray& operator=(const AlignedArray&) = delete;
    ~AlignedArray() { fftw_free(data); }
    double* data;
};

// The measured case: 88200 samples of noise (4096 under --smoke), a 1024-sample
// Gaussian window, time step 64, 256 frequency bins.
constexpr int kL = 1024, kD = 64, kN = 256;

struct Signal {
    std::vector<double> x, w;
    StftParams p;
    int64_t frames;  // of the STFT
};

inline const Signal& Data() {
    static const Signal signal = [] {
        Signal s{
            Noise(benchsupport::Smoke() ? 4096 : 88200), GaussianWindow(kL, 128.0 * 128.0), {}, 0};
        s.p = StftParams{s.w.data(), kL, kD, kN};
        s.frames = (static_cast<int64_t>(s.x.size()) - kL) / kD + 1;
        return s;
    }();
    return signal;
}

inline int RunAll(int argc, char** argv,
                  benchsupport::Mapping mapping = benchsupport::Mapping::kDefaultThreshold) {
    return benchsupport::RunAndReport(
        argc, argv, {{"all cases", [](const std::string&) { return true; }}}, {}, mapping);
}

}  // namespace benchframes
