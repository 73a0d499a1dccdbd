#pragma once
// Stages of the quadratic distributions (Wigner-Ville and the Cohen class):
// preparation of the signal, the local autocorrelation y[t+τ]·conj(y[t−τ]),
// its optional smoothing along time with a Doppler-lag kernel, and the
// transform from lag to frequency. Each stage takes its own work arrays and
// FFT plans and releases them before it returns; all of them take their
// memory before they write anything.

#include <cstdint>
#include <cstring>
#include <type_traits>

#include "kernel_entry.h"
#include "scratch.h"
#include "status.h"
#include "stft.h"

namespace tf {

// Signal preparations. Each returns status::kOk, status::kShortSignal for
// n <= 0 or status::kNoMemory.
//
// The signal at twice its rate by band-limited interpolation on the zero-padded
// circle of NextPowerOfTwo(n) points: y[2j] = x[j], y[2j+1] = x(j + ½); 2n
// samples (for a complex signal in each of yRe, yIm).
int32_t CxHalfSampleInterp(const double* re, const double* im, int32_t n, double* yRe, double* yIm);
int32_t ReHalfSampleInterp(const double* x, int32_t n, double* y);
// The analytic signal of x with gain √2 on the positive frequencies, n samples.
int32_t ReAnalytic(const double* x, int32_t n, double* zRe, double* zIm);

// Row τ (lag τ) of the Choi-Williams and cone-shaped kernels, H columns
// (column H/2 is zero Doppler); a negative parameter counts as 0. CWD and CSD
// build one row at a time, when its lag is smoothed.
// Choi-Williams: e^(−τ²·σ·θ²) at the Doppler θ of each column.
void ChoiWilliamsKernel(int32_t tau, int32_t H, double sigma, double* row);
// The same row for an even τ, bit for bit, half of it taken from row τ/2.
void ChoiWilliamsKernelFromHalfLag(int32_t tau, int32_t H, double sigma, const double* halfLag,
                                   double* row);
// Cone: e^(−α·τ²)·sin(a)/a with a = π·τ·(j − H/2)/H.
void ConeKernel(int32_t tau, int32_t H, double alpha, double* row);
using KernelRowBuilder = void (*)(int32_t tau, int32_t H, double parameter, double* row);
using KernelRowDeriver = void (*)(int32_t tau, int32_t H, double parameter, const double* halfLag,
                                  double* row);

// Four doubles as one value, for the loops run by RunVectorised, and eight.
typedef double Quad __attribute__((vector_size(4 * sizeof(double))));
typedef double Oct __attribute__((vector_size(8 * sizeof(double))));
// The vector of W = 4 or 8 doubles.
template <int W>
using LaneVector = std::conditional_t<W == 4, Quad, Oct>;

// Always inlined: no ABI is crossed, whatever the vector registers.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"
[[gnu::always_inline]] inline Quad Load4(const double* p) {
    Quad v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
[[gnu::always_inline]] inline void Store4(double* p, Quad v) { std::memcpy(p, &v, sizeof v); }
[[gnu::always_inline]] inline Quad Reverse4(Quad v) {
    return __builtin_shufflevector(v, v, 3, 2, 1, 0);
}
#pragma GCC diagnostic pop

// Runs `body`, a lambda marked __attribute__((always_inline)), built for AVX2 where
// the engine runs its AVX2 (or wider) kernels and for the baseline elsewhere,
// so that the loops inside it are vectorised for the wider registers. The
// operations, and so the results, are the same in both.
template <class Body>
[[gnu::always_inline]] inline void RunBaseline(const Body& body) {
    body();
}
#if TF_HAVE_AVX2
template <class Body>
__attribute__((target("avx2"), noinline)) void RunAvx2(const Body& body) {
    body();
}
#endif
template <class Body>
[[gnu::always_inline]] inline void RunVectorised(const Body& body) {
#if TF_HAVE_AVX2
    if (engine::FasterKernelsChosen()) return RunAvx2(body);
#endif
    RunBaseline(body);
}

// Runs body(std::integral_constant<int, W>{}) for vectors of W doubles: W = 8
// built for AVX-512 where the engine runs its AVX-512 kernels, W = 4 otherwise
// (as RunVectorised). The body's lanes must not meet, so that its results do
// not depend on W.
#if TF_HAVE_AVX2
template <class Body>
__attribute__((target("avx2,avx512f,avx512vl,avx512dq"), noinline)) void RunAvx512(
    const Body& body) {
    body(std::integral_constant<int, 8>{});
}
#endif
template <class Body>
[[gnu::always_inline]] inline void RunLanes(const Body& body) {
#if TF_HAVE_AVX2
    if (engine::ChosenKernelVariant() == engine::KernelVariant::kAvx512) return RunAvx512(body);
#endif
    RunVectorised([&]() __attribute__((always_inline)) { body(std::integral_constant<int, 4>{}); });
}

// Smallest power of two >= v for v >= 1 (0 for v <= 0), in 64 bits.
inline int64_t NextPowerOfTwo64(int64_t v) {
    if (v <= 0) return 0;
    int64_t p = 1;
    while (p < v) p <<= 1;
    return p;
}

// How a distribution call prepares its signal and the sizes that follow.
enum class Preparation {
    kComplex,       // complex signal, interpolated
    kAnalytic,      // real signal, analytic
    kInterpolated,  // real signal, interpolated
};

struct DistributionLayout {
    Preparation mode = Preparation::kComplex;
    int32_t n = 0;
    int32_t S = 0;
    int32_t grid = 0;  // points of the prepared signal per input sample
    int32_t Ny = 0;    // prepared samples
    int32_t lags = 0;  // lags of the autocorrelation, also its transform length
    int32_t T = 0;     // output rows, ⌊n/S⌋
    int32_t F = 0;     // bins per row
    int32_t NF = 0;    // length of the transform along time (smoothing only)
    bool ComplexLags() const { return mode != Preparation::kInterpolated; }
    int32_t Channels() const { return ComplexLags() ? 2 : 1; }
};

// The layout of a call whose arguments passed the export's own checks (n >= 1,
// B a power of two, S >= 1). status::kBadBinCount when the mode leaves no lags
// (a real signal, analytic, B = 1); status::kNoMemory when a size of the call,
// its products or (with `smoothing`) the time transform, leaves 32 bits.
int32_t MakeLayout(const double* im, int32_t n, int32_t B, int32_t S, int32_t analytic,
                   bool smoothing, DistributionLayout* layout);

// Work arrays of `count` blocks of N doubles and the plan of length N, taken
// together by a stage before it computes anything.
class StageMemory {
  public:
    int32_t Take(int64_t count, int32_t N);  // status::kOk or status::kNoMemory
    double* Block(int64_t index) const { return work_.get() + index * N_; }
    engine::FftPlan* Plan() const { return plan_.get(); }

  private:
    int32_t N_ = 0;
    scratch::Array<double> work_;
    engine::PlanRef plan_;
};

// The transform from lag to frequency of one instant's L lags at a time, with
// its memory and plan taken once.
// - CxLagToFrequency: the lags' real parts w at Lags(), imaginary parts v at
//   Lags() + L, folded into the half-complex array h[0] = w[0],
//   h[k] = w[k] + w[L−k], h[L−k] = v[L−k] − v[k], h[L/2] = 2·w[L/2] (the lags
//   L − τ read as −τ, K(−τ) = conj K(τ)), then HalfComplexRow.
// - HalfComplexRow: the inverse real transform of h (scaled by 1/L; h is
//   overwritten and out may be h), its first F <= L values to out:
//   (1/L)·(K[0] + 2·Re Σ_τ K[τ]·e^(−2πi·τm/L)).
// - ReLagToFrequency: v = (2/L)·K with v[0] halved, its forward real transform, the
//   real parts of bins 0 … F−1 to out; the lags at Lags() are overwritten.
class LagTransform {
  public:
    // status::kOk, status::kShortSignal for L <= 0, or status::kNoMemory.
    int32_t Prepare(int32_t L);
    double* Lags() const { return memory_.Block(0); }
    void CxLagToFrequency(int32_t F, double* out) const;
    void HalfComplexRow(double* h, int32_t F, double* out) const;
    void ReLagToFrequency(int32_t F, double* out) const;
    // CxLagToFrequency and ReLagToFrequency of the L lags y[c+τ]·conj(y[c−τ]) at point c of
    // the prepared signal (Ny samples), products past its ends zero.
    void ComplexRowAt(const double* yRe, const double* yIm, int32_t Ny, int64_t c, int32_t F,
                      double* out) const;
    void RealRowAt(const double* y, int32_t Ny, int64_t c, int32_t F, double* out) const;

  private:
    void FromScaledLags(int32_t F, double* out) const;

    int32_t L_ = 0;
    StageMemory memory_;  // real and imaginary lags, h, a spare row
};

// The prepared signal of a call: yRe, yIm of Ny samples each (yIm null when
// the prepared signal is real).
class PreparedSignal {
  public:
    // Runs the layout's preparation; its status.
    int32_t Prepare(const double* re, const double* im, const DistributionLayout& l);
    const double* Re() const { return y_.get(); }
    const double* Im() const { return im_; }
    void Release() {
        y_ = {};
        im_ = nullptr;
    }

  private:
    scratch::Array<double> y_;
    const double* im_ = nullptr;
};

// The prepared signal split into its phases d points apart (the grid of the
// output rows, or of the instants the Cohen class smooths): sample r·d + p is
// element r of phase p, so that the products of one lag at consecutive rows
// read consecutive elements.
class RowPhases {
  public:
    // status::kOk or status::kNoMemory.
    int32_t Split(const double* yRe, const double* yIm, int32_t Ny, int32_t d);
    const double* Re() const { return split_.get(); }
    const double* Im() const { return im_; }
    int32_t Step() const { return d_; }
    // Where lag k of row r lies: y[r·d + k] at element r + Ahead(k) of Re()
    // and Im(), y[r·d − k] at element r + Behind(k).
    int64_t Ahead(int32_t k) const { return k % d_ * length_ + k / d_; }
    int64_t Behind(int32_t k) const {
        const int32_t p = k % d_;
        return (p == 0 ? 0 : d_ - p) * length_ - (k + d_ - 1) / d_;
    }

  private:
    int32_t d_ = 1;
    int64_t length_ = 0;
    double* im_ = nullptr;
    scratch::Array<double> split_;
};

// The twiddles e^(−2πi·j/n), j < n, of the lane DFTs of length n (a power of
// two), and where they leave each bin.
class LaneDftTables {
  public:
    int32_t Prepare(int32_t n);  // status::kOk or status::kNoMemory
    const double* Cosine() const { return twiddles_.get(); }
    const double* Sine() const { return twiddles_.get() + n_; }
    const int32_t* Order() const { return order_.get(); }

  private:
    int32_t n_ = 0;
    scratch::Array<double> twiddles_;
    scratch::Array<int32_t> order_;
};

// The lag-to-frequency transform of kRows = 16 output rows at once: the
// same values as CxLagToFrequency and ReLagToFrequency row by row, to
// rounding. Each call fills the sixteen rows from their lags.
class LagRows {
  public:
    static constexpr int32_t kRows = 16;
    // status::kOk or status::kNoMemory; for lengths where Suits(L) only.
    int32_t Prepare(int32_t L);
    static bool Suits(int32_t L) { return L >= 16; }
    // Where the products of ComplexProducts and RealProducts read their lags.
    void Index(const RowPhases& y);
    // Rows r0 … r0+15 of out (rows of F bins) whose L lags all lie inside the
    // prepared signal: complex (CxLagToFrequency) or real (ReLagToFrequency) products.
    void ComplexProducts(const RowPhases& y, int64_t r0, double* out, int32_t F);
    void RealProducts(const RowPhases& y, int64_t r0, double* out, int32_t F);
    // Rows r0 … r0+15 of out from the lag-major autocorrelation matrix, its
    // lags `stride` apart: complex (CxLagToFrequency) or real (ReLagToFrequency).
    void FromComplexLags(const double* kRe, const double* kIm, int64_t stride, int64_t r0,
                         double* out, int32_t F);
    void FromRealLags(const double* k, int64_t stride, int64_t r0, double* out, int32_t F);

  private:
    template <class Lanes>
    void Finish(int32_t F, double* out, int64_t stride);
    double* Sequences() const { return memory_.get(); }

    int32_t L_ = 0;
    scratch::Array<double> memory_;
    scratch::Array<int64_t> lagAt_;  // RowPhases::Ahead at 2k, Behind at 2k + 1
    LaneDftTables tables_;
};

// Lag τ of the autocorrelation at the instants k = 0 … count−1 (point g·k of
// the prepared signal of Ny samples): y[g·k+τ]·conj(y[g·k−τ]), or zero where a
// factor falls outside 0 … Ny−1.
void CxLagProducts(const RowPhases& y, int32_t Ny, int32_t tau, int32_t count, double* outRe,
                   double* outIm);
void ReLagProducts(const RowPhases& y, int32_t Ny, int32_t tau, int32_t count, double* out);

}  // namespace tf
