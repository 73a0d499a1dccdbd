// WVD and CWD beside the limit set by their transforms: the same count of FFTW
// transforms of the same lengths (interleaved complex, r2c and c2r plans),
// run on data in cache with nothing else around them ("ref"), and the same
// transforms with the lag transforms writing the rows of an output as large
// as the distribution's ("rows"), which no implementation can skip. Each
// preparation of the signal is a case of its own.

#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fft.h"
#include "fftw_frames.h"
#include "fftw_repeated.h"
#include "mornavel.h"
#include "ratio_table.h"

namespace {

enum Mode { kComplex, kAnalytic, kInterpolated };
const char* const kModeNames[] = {"complex", "analytic", "interpolated"};

using benchframes::Noise;
using benchframes::Repeated;

// The same transforms on the engine's plans (split arrays, half-complex real
// layout): what the distributions would cost if the transforms were all they did.
class EngineRepeated {
  public:
    EngineRepeated(Repeated::Kind kind, int n, int64_t count)
        : kind_(kind), n_(n), count_(count), plan_(n), data_(Noise(6 * int64_t{n})) {
        for (double& v : data_) v /= n;
    }
    void Run() {
        double* a = data_.data();
        double* b = a + 2 * n_;
        double* c = b + 2 * n_;
        for (int64_t i = 0; i < count_; ++i) {
            switch (kind_) {
                case Repeated::kForward:
                    engine::CxFftForward(plan_.get(), a, a + n_, b, b + n_, 1, 1, n_);
                    break;
                case Repeated::kBackward:
                    engine::CxFftInverse(plan_.get(), a, a + n_, b, b + n_, 1, 1, n_);
                    break;
                case Repeated::kR2c:
                    engine::ReFftForward(plan_.get(), a, b, 1, 1, n_);
                    break;
                case Repeated::kC2r:
                    std::copy_n(a, n_, c);  // the inverse works in its input
                    engine::ReFftInverse(plan_.get(), c, b, 1, 1, n_);
                    break;
            }
        }
        benchmark::DoNotOptimize(b);
    }

  private:
    Repeated::Kind kind_;
    int n_;
    int64_t count_;
    engine::PlanRef plan_;
    std::vector<double> data_;
};

// The lag transforms as an FFTW implementation of the distribution would run
// them: one per output row, each row's F bins left in its place in an output
// as large as the distribution's (straight from c2r; from r2c, the real parts).
class RowsWritten {
  public:
    RowsWritten(Repeated::Kind kind, int n, int64_t rows, int F)
        : kind_(kind),
          rows_(rows),
          F_(F),
          in_(static_cast<double*>(fftw_malloc(sizeof(fftw_complex) * n))),
          spectrum_(static_cast<double*>(fftw_malloc(sizeof(fftw_complex) * (n / 2 + 1)))),
          out_(static_cast<double*>(fftw_malloc(sizeof(double) * rows * F))) {
        auto* c = reinterpret_cast<fftw_complex*>(spectrum_);
        plan_ = kind == Repeated::kC2r
                    ? fftw_plan_dft_c2r_1d(n, c, out_, benchframes::PlannerFlags())
                    : fftw_plan_dft_r2c_1d(n, in_, c, benchframes::PlannerFlags());
        const std::vector<double> x = Noise(2 * int64_t{n / 2 + 1});
        for (int k = 0; k < n; ++k) in_[k] = x[k] / n;
        std::copy(x.begin(), x.end(), spectrum_);
        std::fill_n(out_, rows * F, 0.0);
    }
    RowsWritten(const RowsWritten&) = delete;
    RowsWritten& operator=(const RowsWritten&) = delete;
    ~RowsWritten() {
        fftw_destroy_plan(plan_);
        fftw_free(in_);
        fftw_free(spectrum_);
        fftw_free(out_);
    }
    void Run() const {
        auto* c = reinterpret_cast<fftw_complex*>(spectrum_);
        for (int64_t r = 0; r < rows_; ++r) {
            double* row = out_ + r * F_;
            if (kind_ == Repeated::kC2r) {
                fftw_execute_dft_c2r(plan_, c, row);
            } else {
                fftw_execute_dft_r2c(plan_, in_, c);
                for (int k = 0; k < F_; ++k) row[k] = spectrum_[2 * k];
            }
        }
        benchmark::DoNotOptimize(out_);
    }

  private:
    Repeated::Kind kind_;
    int64_t rows_;
    int F_;
    double* in_;
    double* spectrum_;
    double* out_;
    fftw_plan plan_ = nullptr;
};

struct Case {
    int32_t n, B, S;
    Mode mode;
    bool smoothed;  // CWD rather than WVD
};

int64_t NextPowerOfTwo(int64_t v) {
    int64_t p = 1;
    while (p < v) p <<= 1;
    return p;
}

// The transforms of one call: the preparation's pair on the zero-padded
// signal, for CWD one transform along time and one of the folded spectrum per
// lag, and one lag transform per row.
template <class Transform>
std::vector<std::unique_ptr<Transform>> TransformsOf(const Case& c) {
    using R = Repeated;
    const int N2 = static_cast<int>(NextPowerOfTwo(c.n));
    const int64_t T = c.n / c.S, T2 = NextPowerOfTwo(T), NF = c.S * T2;
    const int lags = c.mode == kAnalytic ? c.B / 2 : c.B;
    std::vector<std::unique_ptr<Transform>> t;
    const auto add = [&t](R::Kind kind, int64_t n, int64_t count) {
        t.push_back(std::make_unique<Transform>(kind, static_cast<int>(n), count));
    };
    switch (c.mode) {
        case kComplex:
            add(R::kForward, N2, 1);
            add(R::kBackward, N2, 1);
            break;
        case kAnalytic:
            add(R::kR2c, N2, 1);
            add(R::kBackward, N2, 1);
            break;
        case kInterpolated:
            add(R::kR2c, N2, 1);
            add(R::kC2r, N2, 1);
            break;
    }
    if (c.smoothed) {
        const bool real = c.mode == kInterpolated;
        add(real ? R::kR2c : R::kForward, NF, lags);
        add(real ? R::kC2r : R::kBackward, T2, lags);
    }
    if (c.mode == kInterpolated)
        add(R::kR2c, lags, T);
    else
        add(R::kC2r, lags, T);
    return t;
}

// FFTW's transforms of one call, the lag transforms writing the output rows.
void RowsWrittenRef(benchmark::State& state, Case c) {
    auto before = TransformsOf<Repeated>(c);
    before.pop_back();  // the lag transforms, run below
    const int lags = c.mode == kAnalytic ? c.B / 2 : c.B, F = c.mode == kComplex ? c.B : c.B / 2;
    const RowsWritten rows(c.mode == kInterpolated ? Repeated::kR2c : Repeated::kC2r, lags,
                           c.n / c.S, F);
    for (auto _ : state) {
        for (const auto& t : before) t->Run();
        rows.Run();
    }
}

void Ours(benchmark::State& state, Case c) {
    const auto noise = Noise(2 * int64_t{c.n});
    const std::vector<double> re(noise.begin(), noise.begin() + c.n),
        im(noise.begin() + c.n, noise.end());
    const double* imag = c.mode == kComplex ? im.data() : nullptr;
    const int32_t analytic = c.mode == kAnalytic;
    std::vector<double> out(int64_t{c.n / c.S} * c.B);
    for (auto _ : state) {
        const int32_t status = c.smoothed
                                   ? CWD(re.data(), imag, c.n, c.B, c.S, 0.05, analytic, out.data())
                                   : WVD(re.data(), imag, c.n, c.B, c.S, analytic, out.data());
        if (status != 0) state.SkipWithError("the distribution failed");
        benchmark::DoNotOptimize(out.data());
    }
}

template <class Transform>
void TransformsAlone(benchmark::State& state, Case c) {
    const auto transforms = TransformsOf<Transform>(c);
    for (auto _ : state)
        for (const auto& t : transforms) t->Run();
}

}  // namespace

int main(int argc, char** argv) {
    for (Mode mode : {kComplex, kAnalytic, kInterpolated}) {
        for (bool smoothed : {false, true}) {
            const Case c =
                smoothed ? Case{4096, 128, 2, mode, true} : Case{16384, 256, 4, mode, false};
            const std::string name = std::string(smoothed ? "CWD " : "WVD ") + kModeNames[mode] +
                                     " n" + std::to_string(c.n) + " B" + std::to_string(c.B) +
                                     " S" + std::to_string(c.S);
            benchmark::RegisterBenchmark((name + "/ours").c_str(), Ours, c)
                ->Unit(benchmark::kMicrosecond);
            benchmark::RegisterBenchmark((name + "/ref").c_str(), TransformsAlone<Repeated>, c)
                ->Unit(benchmark::kMicrosecond);
            benchmark::RegisterBenchmark((name + "/rows").c_str(), RowsWrittenRef, c)
                ->Unit(benchmark::kMicrosecond);
            // The engine's transforms alone beside FFTW's, one call per transform
            // as the reference runs them. The distributions run most lag
            // transforms sixteen rows at a time instead, without these calls.
            benchmark::RegisterBenchmark(("engine: " + name + "/ours").c_str(),
                                         TransformsAlone<EngineRepeated>, c)
                ->Unit(benchmark::kMicrosecond);
            benchmark::RegisterBenchmark(("engine: " + name + "/ref").c_str(),
                                         TransformsAlone<Repeated>, c)
                ->Unit(benchmark::kMicrosecond);
        }
    }
    const auto startsWith = [](const char* prefix) {
        return [prefix](const std::string& c) { return c.rfind(prefix, 0) == 0; };
    };
    return benchsupport::RunAndReport(argc, argv,
                                      {{"WVD", startsWith("WVD")},
                                       {"CWD", startsWith("CWD")},
                                       {"the engine's transforms alone", startsWith("engine")}},
                                      {"rows"});
}
