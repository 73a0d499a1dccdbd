#pragma once
// The Gaussian chirplet of the adaptive representation and the stages of the
// adaptive transform: a multiscale search for a starting atom, its refinement
// by probing the residual at two instants and three frequencies, and its
// projection out of the residual. Complex arrays are interleaved.

#include <cmath>
#include <cstdint>

#include "fft.h"
#include "mornavel.h"
#include "scratch.h"

namespace tf {

constexpr double kAdaptivePi = 3.141592653589793;
constexpr double kAdaptiveTwoPi = 6.283185307179586;
constexpr double kInversePi = 0.3183098861837907;
constexpr double kInverseTwoPi = 0.15915494309189535;

inline AtomParams LoadAtom(const double* p) { return {p[0], p[1], p[2], p[3]}; }
inline void StoreAtom(const AtomParams& a, double* p) {
    p[0] = a.alpha;
    p[1] = a.centerTime;
    p[2] = a.centerFrequency;
    p[3] = a.chirpRate;
}

// v rounded by the caller, clamped to lo … hi; not a number gives lo. Keeps
// doubles that may be huge or undefined from becoming indices.
inline int64_t ClampIndex(double v, int64_t lo, int64_t hi) {
    if (!(v > static_cast<double>(lo))) return lo;
    if (!(v < static_cast<double>(hi))) return hi;
    return static_cast<int64_t>(v);
}

// (α/π)^(1/4): the factor that gives the atom unit energy.
inline double AtomAmplitude(double alpha) { return std::sqrt(std::sqrt(alpha * kInversePi)); }

// The atom at distance d from its centre, as amplitude·e^(−α·d²/2)·e^(i·phase);
// split so that atoms of one envelope and several frequencies share it.
inline double AtomEnvelopeAt(double amplitude, double alpha, double d) {
    return amplitude * std::exp(-alpha * (d * d) / 2);
}
inline double AtomPhaseAt(double beta, double omega, double d) {
    return d * (beta * d / 2 + omega);
}

// The atom at samples first … first+count−1 (d = i − tc), interleaved complex
// into out. A part of an atom is sampled from index 0 with tc shifted by the
// part's first index; whole-signal atoms are sampled where they lie.
void ChirpletAtom(const AtomParams& atom, int64_t first, int64_t count, double* out);

// Samples lo … hi−1 of 0 … n−1 outside which the atom's envelope is exactly
// zero (all of them when its parameters are not usable).
struct SampleRange {
    int64_t lo, hi;
};
SampleRange AtomEnvelope(const AtomParams& atom, int64_t n);

// Whether the fractional part of ωc/(2π) lies below 0.5: the atom is rebuilt
// from the positive side of its spectrum.
bool PositiveSide(double omega);

// y (L doubles) = the real signal whose spectrum is the chosen side of the
// spectrum of z (L complex values, L a power of two), with the real parts of
// its DC and Nyquist terms. work holds 3·L doubles.
void ReOneSided(engine::FftPlan* plan, const double* z, int32_t L, double* y, bool positive,
                double* work);

// The plans of the powers of two up to 2^30, taken on first use and held to
// the end of the call.
class PowerOfTwoPlans {
  public:
    PowerOfTwoPlans() = default;
    PowerOfTwoPlans(const PowerOfTwoPlans&) = delete;
    PowerOfTwoPlans& operator=(const PowerOfTwoPlans&) = delete;
    ~PowerOfTwoPlans();
    // Null when memory is exhausted (L a power of two).
    engine::FftPlan* Get(int32_t L);

  private:
    engine::FftPlan* plans_[31] = {};
};

// One level of the multiscale search: window length L, hop H, and per
// analysis instant j·H the largest spectral power and its bin.
struct AdaptiveLevel {
    int32_t L = 0, H = 0;
    int64_t count = 0;  // ceil(n/H) instants
    double* power = nullptr;
    int32_t* bin = nullptr;
    double* window = nullptr;
    engine::FftPlan* plan = nullptr;
};

// Everything one transform call works on: the residual, the extended residual
// of the search, the level tables and the buffers of the real projection.
class AdaptiveState {
  public:
    // Levels, tables, windows and plans for a signal whose arguments passed
    // the checks, and the residual set to the signal: kOk or kNoMemory.
    int32_t Prepare(const double* signal, int32_t n, bool complex, int32_t extType,
                    int32_t maxWindow);

    int32_t n = 0;
    bool complex = false;
    int32_t extType = 0;
    int64_t Lmax = 0;
    int32_t levelCount = 0;
    AdaptiveLevel levels[31];
    double* residual = nullptr;      // n samples
    double* contribution = nullptr;  // n samples: the last atom's
    double* extended = nullptr;      // n + Lmax samples
    double* segment = nullptr;       // Lmax samples
    double* spectrum = nullptr;      // 2·Lmax doubles
    // Real projection: an atom on its support and its one-sided part.
    scratch::Array<double> oneSided;
    int64_t oneSidedLength = 0;
    PowerOfTwoPlans plans;

    int64_t Width() const { return complex ? 2 : 1; }

  private:
    scratch::Array<double> work_;
    scratch::Array<int32_t> bins_;
};

// Samples around an atom, support/sqrt(α/2) on either side, whose level
// entries a subtraction of it changes; within 0 … n, all of them when the
// atom's place is not a number.
SampleRange AdaptiveRegion(const AtomParams& a, double support, int64_t n);

// Recomputes the level entries whose windows reach samples start … end−1.
void AdaptiveSearchUpdate(AdaptiveState& s, int64_t start, int64_t end);

// The atom of the strongest entry (longest window first, earliest instant,
// first bin on ties); α = 2π/Lmax, tc = ωc = 0 when no entry has any power.
AtomParams AdaptiveStartPoint(const AdaptiveState& s);

// Powers |<residual, atom>|² at ωc − Δω, ωc, ωc + Δω; the curvature of the
// logarithm of the magnitude across them and its peak frequency.
struct FreqPeak {
    double power[3];
    double kappa, omegaStar;
};
// False when the curvature is not positive.
bool AdaptiveFreqPeak(const AdaptiveState& s, const AtomParams& p, double dw, FreqPeak& peak);

struct ProbeResult {
    AtomParams estimate;
    AtomParams best;  // the strongest of the six probes
    double bestPower;
    double slope;
};
// The estimate from the peaks at two instants T1 < T2, and the slope of the
// peak frequency between them; false when its alpha is not positive or any
// parameter is not finite (the new parameters are written even then).
bool AdaptiveEstimate(const AtomParams& p, double T1, double T2, const FreqPeak& peak1,
                      const FreqPeak& peak2, int32_t mode, AtomParams& estimate, double& slope);
// Frequency peaks at tc − Δt and tc + Δt and the estimate from them (an atom
// at zero frequency is its own estimate); false when a peak or the estimate fails.
bool AdaptiveProbe(const AdaptiveState& s, const AtomParams& p, double dt, double dw, int32_t mode,
                   ProbeResult& result);

// Refines the atom in place: the first estimate that succeeds, probing with
// the slope of the failed attempt before, else the strongest probe seen;
// returns the number of attempts made.
int32_t AdaptiveRefine(const AdaptiveState& s, AtomParams& p, int32_t iterations, int32_t mode);

// The coefficient of the atom and its contribution to the residual (into
// s.contribution). The real projection needs buffers and plans: kOk or kNoMemory.
int32_t ReAtomProject(AdaptiveState& s, const AtomParams& p, double coef[2]);
void CxAtomProject(AdaptiveState& s, const AtomParams& p, double coef[2]);

// Counts of the work of a transform call, for measurements.
struct AdaptiveStats {
    int64_t attempts = 0;  // refinement attempts (six inner products each)
};

// The whole transform; stats may be null.
int32_t AdaptiveTransform(const double* signal, int32_t n, bool complex, int32_t mode,
                          int32_t extType, int32_t maxWindow, double support, int32_t iterations,
                          int32_t maxAtoms, int32_t* numAtoms, double* residualPercent,
                          double* coefs, double* params, double* residual, AdaptiveStats* stats);

}  // namespace tf
