#pragma once
// Repeated executions of one FFTW plan on data in cache: the transforms of an
// analysis run alone, the limit its own transforms set.

#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <cstdint>
#include <vector>

#include "fftw_frames.h"
#include "ratio_table.h"

namespace benchframes {

inline unsigned PlannerFlags() { return benchsupport::Smoke() ? FFTW_ESTIMATE : FFTW_MEASURE; }

// `count` executions of one FFTW plan of length n on its own buffers.
class Repeated {
  public:
    enum Kind { kForward, kBackward, kR2c, kC2r };

    Repeated(Kind kind, int n, int64_t count)
        : count_(count),
          in_(static_cast<double*>(fftw_malloc(sizeof(fftw_complex) * n))),
          out_(static_cast<double*>(fftw_malloc(sizeof(fftw_complex) * n))) {
        auto* cin = reinterpret_cast<fftw_complex*>(in_);
        auto* cout = reinterpret_cast<fftw_complex*>(out_);
        switch (kind) {
            case kForward:
                plan_ = fftw_plan_dft_1d(n, cin, cout, FFTW_FORWARD, PlannerFlags());
                break;
            case kBackward:
                plan_ = fftw_plan_dft_1d(n, cin, cout, FFTW_BACKWARD, PlannerFlags());
                break;
            case kR2c:
                plan_ = fftw_plan_dft_r2c_1d(n, in_, cout, PlannerFlags());
                break;
            case kC2r:
                plan_ = fftw_plan_dft_c2r_1d(n, cin, out_, PlannerFlags());
                break;
        }
        const std::vector<double> x = Noise(2 * int64_t{n});
        for (int k = 0; k < 2 * n; ++k) in_[k] = x[k] / n;
    }
    Repeated(const Repeated&) = delete;
    Repeated& operator=(const Repeated&) = delete;
    ~Repeated() {
        fftw_destroy_plan(plan_);
        fftw_free(in_);
        fftw_free(out_);
    }
    void Run() const {
        for (int64_t i = 0; i < count_; ++i) fftw_execute(plan_);
        benchmark::DoNotOptimize(out_);
    }

  private:
    int64_t count_;
    double* in_;
    double* out_;
    fftw_plan plan_ = nullptr;
};

}  // namespace benchframes
