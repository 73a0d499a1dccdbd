// The engine's transforms beside FFTW's, in one run, against two kinds of
// reference: the forms that share our layout ("ref": complex transforms on
// split arrays through FFTW's guru split interface, real transforms in the
// half-complex layout through R2HC and HC2R) and FFTW's fastest forms ("best":
// interleaved complex, r2c and c2r). Inverses include the 1/n scaling on every
// side; the real inverses use their input as working storage, so each side
// restores it every iteration.

#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "fft.h"
#include "ratio_table.h"

namespace {

// Every power of two from 64 to 65536, then mixed radices, odd lengths and Rader.
constexpr int kLengths[] = {64, 128, 256,  512,  1024, 2048,  4096, 8192, 16384, 32768, 65536,
                            48, 100, 1000, 1008, 4410, 44100, 46,   47,   53,    106,   1009};

bool IsPowerOfTwo(int n) { return (n & (n - 1)) == 0; }

// The lengths the speed targets are stated over.
bool IsTargetLength(int n) { return IsPowerOfTwo(n) && n >= 64 && n <= 65536; }

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

// The first `count` values of x times 1/n.
void Scale(double* x, int count, int n) {
    const double c = 1.0 / n;
    for (int i = 0; i < count; ++i) x[i] *= c;
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
            Scale(outRe.get(), n, n);
            Scale(outIm.get(), n, n);
        }
        benchmark::DoNotOptimize(outRe.get());
        benchmark::ClobberMemory();
    }
    fftw_destroy_plan(plan);
}

// FFTW's interleaved complex transform on the same values.
void ComplexBest(benchmark::State& state, int n, bool inverse) {
    Array in(2 * n), out(2 * n);
    auto* cin = reinterpret_cast<fftw_complex*>(in.get());
    auto* cout = reinterpret_cast<fftw_complex*>(out.get());
    fftw_plan plan =
        fftw_plan_dft_1d(n, cin, cout, inverse ? FFTW_BACKWARD : FFTW_FORWARD, PlannerFlags());
    in.Fill(0);
    for (auto _ : state) {
        fftw_execute(plan);
        if (inverse) Scale(out.get(), 2 * n, n);
        benchmark::DoNotOptimize(out.get());
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

// Runs a real FFTW plan made on these arrays (the inverse from work, restored
// from in every iteration, and scaled) and destroys it.
void RunReal(benchmark::State& state, fftw_plan plan, Array& in, Array& work, Array& out, int n,
             bool inverse) {
    in.Fill(0);
    for (auto _ : state) {
        if (inverse) {
            work.CopyFrom(in);
            fftw_execute(plan);
            Scale(out.get(), n, n);
        } else {
            fftw_execute(plan);
        }
        benchmark::DoNotOptimize(out.get());
        benchmark::ClobberMemory();
    }
    fftw_destroy_plan(plan);
}

void RealRef(benchmark::State& state, int n, bool inverse) {
    Array in(n), work(n), out(n);
    fftw_plan plan = fftw_plan_r2r_1d(n, inverse ? work.get() : in.get(), out.get(),
                                      inverse ? FFTW_HC2R : FFTW_R2HC, PlannerFlags());
    RunReal(state, plan, in, work, out, n, inverse);
}

// FFTW's r2c transform, and its c2r transform from the n/2 + 1 complex values.
void RealBest(benchmark::State& state, int n, bool inverse) {
    const int bins = n / 2 + 1;
    Array in(inverse ? 2 * bins : n), work(2 * bins), out(inverse ? n : 2 * bins);
    auto* spectrum = reinterpret_cast<fftw_complex*>(inverse ? work.get() : out.get());
    fftw_plan plan = inverse ? fftw_plan_dft_c2r_1d(n, spectrum, out.get(), PlannerFlags())
                             : fftw_plan_dft_r2c_1d(n, in.get(), spectrum, PlannerFlags());
    RunReal(state, plan, in, work, out, n, inverse);
}

using Body = void (*)(benchmark::State&, int, bool);

void Register(const std::string& name, Body ours, Body ref, Body best, int n, bool inverse) {
    benchmark::RegisterBenchmark((name + "/ours").c_str(), ours, n, inverse);
    benchmark::RegisterBenchmark((name + "/ref").c_str(), ref, n, inverse);
    benchmark::RegisterBenchmark((name + "/best").c_str(), best, n, inverse);
}

// "cx_fwd/1024" -> 1024
int LengthOf(const std::string& caseName) {
    return std::atoi(caseName.substr(caseName.find('/') + 1).c_str());
}

}  // namespace

int main(int argc, char** argv) {
    const char* directions[] = {"cx_fwd", "cx_inv", "re_fwd", "re_inv"};
    for (const int n : kLengths) {
        const std::string len = std::to_string(n);
        for (int d = 0; d < 4; ++d) {
            const bool complex = d < 2, inverse = d % 2 == 1;
            Register(std::string(directions[d]) + "/" + len, complex ? ComplexOurs : RealOurs,
                     complex ? ComplexRef : RealRef, complex ? ComplexBest : RealBest, n, inverse);
        }
    }
    std::vector<benchsupport::Group> groups;
    for (const char* direction : directions) {
        const std::string prefix = std::string(direction) + "/";
        groups.push_back({prefix + " powers of two 64 ... 65536", [prefix](const std::string& c) {
                              return c.rfind(prefix, 0) == 0 && IsTargetLength(LengthOf(c));
                          }});
    }
    for (const char* kind : {"cx_", "re_"})
        groups.push_back({std::string(kind) + " all lengths",
                          [kind](const std::string& c) { return c.rfind(kind, 0) == 0; }});
    return benchsupport::RunAndReport(argc, argv, groups, {"best"});
}
