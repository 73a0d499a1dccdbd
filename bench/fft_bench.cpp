// The engine's transforms beside FFTW's, in one run: complex transforms on
// split arrays (FFTW's guru split interface), real transforms in the
// half-complex layout (FFTW's R2HC and HC2R). Inverses include the 1/n scaling
// on both sides; the real inverse uses its input as working storage, so both
// sides restore it every iteration.

#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "fft.h"
#include "ratio_table.h"

namespace {

constexpr int kLengths[] = {64,  128,  256,  512,  1024,  2048, 4096, 16384, 65536, 48,
                            100, 1000, 1008, 4410, 44100, 46,   47,   53,    106,   1009};

bool IsPowerOfTwo(int n) { return (n & (n - 1)) == 0; }

unsigned PlannerFlags() { return benchsupport::Smoke() ? FFTW_ESTIMATE : FFTW_MEASURE; }

// An FFTW-allocated array of n doubles with values in [-1, 1).
class Array {
  public:
    explicit Array(int n) : data_(fftw_alloc_real(n)), n_(n) { Fill(0); }
    Array(const Array&) = delete;
    Array& operator=(const Array&) = delete;
    ~Array() { fftw_free(data_); }
    double* get() const { return data_; }
    void Fill(unsigned seed) {
        std::mt19937 rng(seed + n_);
        std::uniform_real_distribution<double> u(-1.0, 1.0);
        for (int i = 0; i < n_; ++i) data_[i] = u(rng);
    }
    void CopyFrom(const Array& other) {
        for (int i = 0; i < n_; ++i) data_[i] = other.data_[i];
    }

  private:
    double* data_;
    int n_;
};

void Scale(double* x, int n) {
    const double c = 1.0 / n;
    for (int i = 0; i < n; ++i) x[i] *= c;
}

void ComplexOurs(benchmark::State& state, int n, bool inverse) {
    Array inRe(n), inIm(n), outRe(n), outIm(n);
    inIm.Fill(1);
    engine::PlanRef plan(n);
    for (auto _ : state) {
        if (inverse)
            engine::CxFftInverse(plan.get(), inRe.get(), inIm.get(), outRe.get(), outIm.get(), 1, 1,
                                 n);
        else
            engine::CxFftForward(plan.get(), inRe.get(), inIm.get(), outRe.get(), outIm.get(), 1, 1,
                                 n);
        benchmark::DoNotOptimize(outRe.get());
        benchmark::ClobberMemory();
    }
}

void ComplexRef(benchmark::State& state, int n, bool inverse) {
    Array inRe(n), inIm(n), outRe(n), outIm(n);
    fftw_iodim dim{n, 1, 1};
    // The split interface transforms backwards with real and imaginary parts swapped.
    fftw_plan plan = inverse ? fftw_plan_guru_split_dft(1, &dim, 0, nullptr, inIm.get(), inRe.get(),
                                                        outIm.get(), outRe.get(), PlannerFlags())
                             : fftw_plan_guru_split_dft(1, &dim, 0, nullptr, inRe.get(), inIm.get(),
                                                        outRe.get(), outIm.get(), PlannerFlags());
    inRe.Fill(0);
    inIm.Fill(1);
    for (auto _ : state) {
        fftw_execute(plan);
        if (inverse) {
            Scale(outRe.get(), n);
            Scale(outIm.get(), n);
        }
        benchmark::DoNotOptimize(outRe.get());
        benchmark::ClobberMemory();
    }
    fftw_destroy_plan(plan);
}

void RealOurs(benchmark::State& state, int n, bool inverse) {
    Array in(n), work(n), out(n);
    engine::PlanRef plan(n);
    for (auto _ : state) {
        if (inverse) {
            work.CopyFrom(in);
            engine::ReFftInverse(plan.get(), work.get(), out.get(), 1, 1, n);
        } else {
            engine::ReFftForward(plan.get(), in.get(), out.get(), 1, 1, n);
        }
        benchmark::DoNotOptimize(out.get());
        benchmark::ClobberMemory();
    }
}

void RealRef(benchmark::State& state, int n, bool inverse) {
    Array in(n), work(n), out(n);
    fftw_plan plan = fftw_plan_r2r_1d(n, inverse ? work.get() : in.get(), out.get(),
                                      inverse ? FFTW_HC2R : FFTW_R2HC, PlannerFlags());
    in.Fill(0);
    for (auto _ : state) {
        if (inverse) {
            work.CopyFrom(in);
            fftw_execute(plan);
            Scale(out.get(), n);
        } else {
            fftw_execute(plan);
        }
        benchmark::DoNotOptimize(out.get());
        benchmark::ClobberMemory();
    }
    fftw_destroy_plan(plan);
}

using Body = void (*)(benchmark::State&, int, bool);

void Register(const std::string& name, Body ours, Body ref, int n, bool inverse) {
    benchmark::RegisterBenchmark((name + "/ours").c_str(), ours, n, inverse);
    benchmark::RegisterBenchmark((name + "/ref").c_str(), ref, n, inverse);
}

// "cx_fwd/1024" -> 1024
int LengthOf(const std::string& caseName) {
    return std::atoi(caseName.substr(caseName.find('/') + 1).c_str());
}

}  // namespace

int main(int argc, char** argv) {
    for (const int n : kLengths) {
        const std::string len = std::to_string(n);
        Register("cx_fwd/" + len, ComplexOurs, ComplexRef, n, false);
        Register("cx_inv/" + len, ComplexOurs, ComplexRef, n, true);
        Register("re_fwd/" + len, RealOurs, RealRef, n, false);
        Register("re_inv/" + len, RealOurs, RealRef, n, true);
    }
    const auto complex = [](const std::string& c) { return c.rfind("cx_", 0) == 0; };
    const auto real = [](const std::string& c) { return c.rfind("re_", 0) == 0; };
    const std::vector<benchsupport::Group> groups = {
        {"complex, powers of two",
         [&](const std::string& c) { return complex(c) && IsPowerOfTwo(LengthOf(c)); }},
        {"complex, all lengths", complex},
        {"real, powers of two",
         [&](const std::string& c) { return real(c) && IsPowerOfTwo(LengthOf(c)); }},
        {"real, all lengths", real},
    };
    return benchsupport::RunAndReport(argc, argv, groups);
}
