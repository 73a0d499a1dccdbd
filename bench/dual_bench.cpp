// Dual window of a Gaussian on three lattices, both periodicity modes, beside
// the same phase systems solved by LAPACK's SVD-based minimum-norm least
// squares (dgelss).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "mornavel.h"
#include "ratio_table.h"

extern "C" void dgelss_(const int* m, const int* n, const int* nrhs, double* a, const int* lda,
                        double* b, const int* ldb, double* s, const double* rcond, int* rank,
                        double* work, const int* lwork, int* info);

namespace {

struct Lattice {
    int L, D, N;
};

constexpr Lattice kLattices[] = {{1024, 64, 256}, {4096, 128, 512}, {8192, 256, 1024}};

std::vector<double> Window(int L) {
    std::vector<double> w(L);
    const double deviation = L / 8.0;
    Gaussian(L, L / 2.0, deviation * deviation, w.data());
    return w;
}

// The dual computed the generic way: for every phase, the minimum-norm
// solution of Aᵀ·γ = (1, 0, ..., 0) from a general SVD least-squares solver.
int ReferenceDual(const std::vector<double>& w, const Lattice& t, int mode, double* dual) {
    const long long g = mode == 0 ? t.L : 2LL * t.L - t.N;
    const int n = t.L / t.D, e = mode == 0 ? t.L / t.N : 2 * t.L / t.N - 1;
    const int rows = std::max(n, e), one = 1;
    // Column-major Aᵀ (e×n) is row-major A.
    std::vector<double> a(static_cast<size_t>(n) * e), b(rows), s(std::min(n, e));
    const double rcond = 1e-10;
    int rank = 0, info = 0, lwork = -1;
    double query = 0;
    dgelss_(&e, &n, &one, a.data(), &e, b.data(), &rows, s.data(), &rcond, &rank, &query, &lwork,
            &info);
    lwork = static_cast<int>(query);
    std::vector<double> work(lwork);
    for (int i = 0; i < t.D; ++i) {
        for (int j = 0; j < n; ++j)
            for (int r = 0; r < e; ++r) {
                const long long k =
                    (i + static_cast<long long>(j) * t.D + static_cast<long long>(r) * t.N) % g;
                a[static_cast<size_t>(j) * e + r] = k < t.L ? w[k] : 0.0;
            }
        std::fill(b.begin(), b.end(), 0.0);
        b[0] = 1;
        dgelss_(&e, &n, &one, a.data(), &e, b.data(), &rows, s.data(), &rcond, &rank, work.data(),
                &lwork, &info);
        if (info != 0) return info;
        for (int j = 0; j < n; ++j) dual[i + j * t.D] = b[j] / t.D;
    }
    return 0;
}

std::string CaseName(const Lattice& t, int mode) {
    return "FastDual/L" + std::to_string(t.L) + "_D" + std::to_string(t.D) + "_N" +
           std::to_string(t.N) + "/mode" + std::to_string(mode);
}

void RegisterAll() {
    for (const Lattice& t : kLattices) {
        for (int mode : {0, 1}) {
            const std::string name = CaseName(t, mode);
            benchmark::RegisterBenchmark((name + "/ours").c_str(), [t,
                                                                    mode](benchmark::State& state) {
                const auto w = Window(t.L);
                std::vector<double> dual(t.L);
                for (auto _ : state) {
                    if (FastDual(w.data(), t.L, t.D, t.N, mode, dual.data()) != 0)
                        state.SkipWithError("FastDual failed");
                    benchmark::DoNotOptimize(dual.data());
                }
            })->Unit(benchmark::kMicrosecond);
            benchmark::RegisterBenchmark((name + "/ref").c_str(), [t,
                                                                   mode](benchmark::State& state) {
                const auto w = Window(t.L);
                std::vector<double> dual(t.L);
                for (auto _ : state) {
                    if (ReferenceDual(w, t, mode, dual.data()) != 0)
                        state.SkipWithError("dgelss failed");
                    benchmark::DoNotOptimize(dual.data());
                }
            })->Unit(benchmark::kMicrosecond);
        }
    }
}

// How far the two duals are apart, relative to the largest dual sample.
void ReportAgreement() {
    for (const Lattice& t : kLattices) {
        for (int mode : {0, 1}) {
            const auto w = Window(t.L);
            std::vector<double> ours(t.L), ref(t.L);
            FastDual(w.data(), t.L, t.D, t.N, mode, ours.data());
            ReferenceDual(w, t, mode, ref.data());
            double difference = 0, scale = 0;
            for (int k = 0; k < t.L; ++k) {
                difference = std::max(difference, std::fabs(ours[k] - ref[k]));
                scale = std::max(scale, std::fabs(ref[k]));
            }
            std::printf("%-36s max |ours - ref| / max |ref| = %.3g\n", CaseName(t, mode).c_str(),
                        difference / scale);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    RegisterAll();
    ReportAgreement();
    return benchsupport::RunAndReport(
        argc, argv,
        {{"mode 0 (periodic window)",
          [](const std::string& c) { return c.find("/mode0") != std::string::npos; }},
         {"mode 1 (any signal length)",
          [](const std::string& c) { return c.find("/mode1") != std::string::npos; }}});
}
