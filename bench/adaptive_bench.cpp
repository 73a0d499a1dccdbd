// The adaptive transform beside the limit of a matching-pursuit step that
// correlates the residual with every probing atom: one FFTW correlation
// (forward transform of the atom, product with the residual's spectrum,
// inverse transform, interleaved complex of the signal's length) per probe,
// six probes per refinement attempt. Its stages are measured beside the FFTW
// transforms they contain: the search over the whole signal and its update
// around an atom beside the r2c transforms of their frames, an attempt beside
// six correlations, the real projection beside one complex and one c2r
// transform of its support.

#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "adaptive.h"
#include "fftw_frames.h"
#include "fftw_repeated.h"
#include "mornavel.h"
#include "ratio_table.h"

namespace {

using benchframes::Repeated;

constexpr int32_t kSamples = 4096;
constexpr int32_t kAtoms = 20;

// Eight chirplets in white noise at about 10 dB: more structure than atoms.
const std::vector<double>& Signal() {
    static const std::vector<double> x = [] {
        std::vector<double> v = benchframes::Noise(kSamples);
        for (double& s : v) s *= 0.1;
        for (int a = 0; a < 8; ++a) {
            const double alpha = 2e-4 * (1 + a), tc = 300 + 480 * a, omega = 0.3 + 0.33 * a;
            const double beta = (a % 3 - 1) * 2e-4;
            const double amplitude = 2 * std::sqrt(std::sqrt(alpha / 3.141592653589793));
            for (int k = 0; k < kSamples; ++k) {
                const double d = k - tc;
                v[k] +=
                    amplitude * std::exp(-alpha * d * d / 2) * std::cos(d * (beta * d / 2 + omega));
            }
        }
        return v;
    }();
    return x;
}

// Work of one transform of the signal: attempts, and the first atom and its
// region for the stage measurements.
struct Profile {
    int32_t atoms = 0;
    int64_t attempts = 0;
    AtomParams start{}, first{};
    tf::SampleRange region{};
};

const Profile& Measured() {
    static const Profile profile = [] {
        Profile p;
        std::vector<double> coefs(2 * kAtoms), params(4 * kAtoms), residual(kSamples);
        double percent = 0;
        tf::AdaptiveStats stats;
        tf::AdaptiveTransform(Signal().data(), kSamples, false, 0, 0, 0, 0, 0, kAtoms, &p.atoms,
                              &percent, coefs.data(), params.data(), residual.data(), &stats);
        p.attempts = stats.attempts;
        tf::AdaptiveState s;
        s.Prepare(Signal().data(), kSamples, false, 0, 0);
        tf::AdaptiveSearchUpdate(s, 0, kSamples);
        p.start = tf::AdaptiveStartPoint(s);
        p.first = p.start;
        tf::AdaptiveRefine(s, p.first, 0, 0);
        p.region = tf::AdaptiveRegion(p.first, 4.0, kSamples);
        return p;
    }();
    return profile;
}

// Correlation of the residual with one atom by FFTW: the atom's spectrum,
// its product with the residual's, the inverse transform.
class Correlation {
  public:
    explicit Correlation(int n)
        : n_(n),
          atom_(fftw_alloc_complex(n)),
          spectrum_(fftw_alloc_complex(n)),
          residual_(fftw_alloc_complex(n)),
          out_(fftw_alloc_complex(n)),
          forward_(
              fftw_plan_dft_1d(n, atom_, spectrum_, FFTW_FORWARD, benchframes::PlannerFlags())),
          backward_(
              fftw_plan_dft_1d(n, spectrum_, out_, FFTW_BACKWARD, benchframes::PlannerFlags())) {
        const std::vector<double> x = benchframes::Noise(4 * int64_t{n});
        for (int k = 0; k < n; ++k) {
            atom_[k][0] = x[k];
            atom_[k][1] = x[n + k];
            residual_[k][0] = x[2 * n + k];
            residual_[k][1] = x[3 * n + k];
        }
    }
    Correlation(const Correlation&) = delete;
    Correlation& operator=(const Correlation&) = delete;
    ~Correlation() {
        fftw_destroy_plan(forward_);
        fftw_destroy_plan(backward_);
        for (fftw_complex* p : {atom_, spectrum_, residual_, out_}) fftw_free(p);
    }
    void Run() const {
        fftw_execute(forward_);
        for (int k = 0; k < n_; ++k) {
            const double ar = spectrum_[k][0], ai = spectrum_[k][1];
            const double rr = residual_[k][0], ri = residual_[k][1];
            spectrum_[k][0] = rr * ar + ri * ai;
            spectrum_[k][1] = ri * ar - rr * ai;
        }
        fftw_execute(backward_);
        benchmark::DoNotOptimize(out_);
    }

  private:
    int n_;
    fftw_complex *atom_, *spectrum_, *residual_, *out_;
    fftw_plan forward_, backward_;
};

void Correlations(benchmark::State& state, int64_t count, int64_t perUnit, const char* unit) {
    const Correlation c(kSamples);
    for (auto _ : state)
        for (int64_t i = 0; i < count; ++i) c.Run();
    state.counters[unit] = benchmark::Counter(
        static_cast<double>(perUnit),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void TransformOurs(benchmark::State& state) {
    const std::vector<double>& x = Signal();
    std::vector<double> coefs(2 * kAtoms), params(4 * kAtoms), residual(kSamples);
    int32_t count = 0;
    double percent = 0;
    for (auto _ : state) {
        if (ReAdaptiveTransform(x.data(), kSamples, 0, 0, 0, 0, 0, kAtoms, &count, &percent,
                                coefs.data(), params.data(), residual.data()) != 0 ||
            count != Measured().atoms)
            state.SkipWithError("the transform failed");
        benchmark::DoNotOptimize(residual.data());
    }
    state.counters["per atom"] = benchmark::Counter(
        count, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void TransformRef(benchmark::State& state) {
    Correlations(state, 6 * Measured().attempts, Measured().atoms, "per atom");
}

// The stages on the residual of the signal, through the internal interface.
struct Stage {
    tf::AdaptiveState s;
    Stage() { s.Prepare(Signal().data(), kSamples, false, 0, 0); }
};

void SearchUpdate(benchmark::State& state, tf::SampleRange region) {
    Stage st;
    for (auto _ : state) tf::AdaptiveSearchUpdate(st.s, region.lo, region.hi);
}

// The r2c transforms of the frames the update recomputes, level by level.
void SearchTransforms(benchmark::State& state, tf::SampleRange region) {
    Stage st;
    std::vector<std::unique_ptr<Repeated>> levels;
    for (int32_t l = 0; l < st.s.levelCount; ++l) {
        const int64_t L = st.s.levels[l].L, H = st.s.levels[l].H;
        const int64_t jLo = std::max<int64_t>(region.lo - L / 2, 0) / H;
        const int64_t jHi = (std::min<int64_t>(region.hi + L / 2, kSamples) + H - 1) / H;
        levels.push_back(
            std::make_unique<Repeated>(Repeated::kR2c, static_cast<int>(L), jHi - jLo));
    }
    for (auto _ : state)
        for (const auto& level : levels) level->Run();
}

void SearchUpdateOurs(benchmark::State& state) { SearchUpdate(state, Measured().region); }
void SearchUpdateRef(benchmark::State& state) { SearchTransforms(state, Measured().region); }
void FirstSearchOurs(benchmark::State& state) { SearchUpdate(state, {0, kSamples}); }
void FirstSearchRef(benchmark::State& state) { SearchTransforms(state, {0, kSamples}); }

void AttemptOurs(benchmark::State& state) {
    Stage st;
    const AtomParams p = Measured().start;
    const double dt = 0.1 / std::sqrt(p.alpha), dw = 0.1 * std::sqrt(p.alpha);
    tf::ProbeResult r{};
    for (auto _ : state) {
        tf::AdaptiveProbe(st.s, p, dt, dw, 0, r);
        benchmark::DoNotOptimize(r);
    }
}

void AttemptRef(benchmark::State& state) { Correlations(state, 6, 6, "per probe"); }

void ProjectionOurs(benchmark::State& state) {
    Stage st;
    double coef[2];
    for (auto _ : state) {
        if (tf::ReAtomProject(st.s, Measured().first, coef) != 0)
            state.SkipWithError("the projection failed");
        benchmark::DoNotOptimize(coef);
    }
}

// One complex forward and one c2r transform of the atom's padded support.
void ProjectionRef(benchmark::State& state) {
    const AtomParams& a = Measured().first;
    const double w = std::min(9 / std::sqrt(a.alpha), kSamples - 1.0);
    const auto L =
        static_cast<int64_t>(std::ceil(a.centerTime + w) + 1 - std::trunc(a.centerTime - w));
    int L2 = 1;
    while (L2 < L) L2 <<= 1;
    const Repeated forward(Repeated::kForward, L2, 1), inverse(Repeated::kC2r, L2, 1);
    for (auto _ : state) {
        forward.Run();
        inverse.Run();
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::string transform = "ReAdaptiveTransform n" + std::to_string(kSamples) + ", " +
                                  std::to_string(kAtoms) + " atoms";
    struct Pair {
        std::string name;
        void (*ours)(benchmark::State&);
        void (*ref)(benchmark::State&);
        benchmark::TimeUnit unit;
    };
    const Pair pairs[] = {
        {transform, TransformOurs, TransformRef, benchmark::kMillisecond},
        {"stage: first search over the signal", FirstSearchOurs, FirstSearchRef,
         benchmark::kMicrosecond},
        {"stage: search update around an atom", SearchUpdateOurs, SearchUpdateRef,
         benchmark::kMicrosecond},
        {"stage: refinement attempt (6 probes)", AttemptOurs, AttemptRef, benchmark::kMicrosecond},
        {"stage: real projection", ProjectionOurs, ProjectionRef, benchmark::kMicrosecond},
    };
    for (const Pair& p : pairs) {
        benchmark::RegisterBenchmark((p.name + "/ours").c_str(), p.ours)->Unit(p.unit);
        benchmark::RegisterBenchmark((p.name + "/ref").c_str(), p.ref)->Unit(p.unit);
    }
    std::printf("%s: %d atoms found, %lld refinement attempts\n", transform.c_str(),
                Measured().atoms, static_cast<long long>(Measured().attempts));
    return benchsupport::RunAndReport(
        argc, argv,
        {{"adaptive transform",
          [](const std::string& name) { return name.rfind("ReAdaptive", 0) == 0; }},
         {"stages", [](const std::string& name) { return name.rfind("stage", 0) == 0; }}});
}
