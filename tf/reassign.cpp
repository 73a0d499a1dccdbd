// Reassigned STFT spectrograms: the energy of every cell moves to the cell
// nearest to the centre of gravity of the energy that produced it, estimated
// from two more transforms taken with a time-weighted window and with the
// window's derivative.

#include <algorithm>
#include <cmath>

#include "status.h"
#include "stft.h"

namespace tf {
namespace {

constexpr double kInverseTwoPi = 0.15915494309189535;

// The scaled window g = w/sqrt(N) and from it the time-weighted window wt
// (time measured from the window centre) and the derivative window wd (L >= 2).
void ReassignWindows(const double* w, int32_t L, int32_t N, double* g, double* wt, double* wd) {
    const double scale = std::sqrt(1.0 / N);
    for (int32_t k = 0; k < L; ++k) g[k] = scale * w[k];
    const double centre = (L - 1) / 2.0;
    for (int32_t k = 0; k < L; ++k) wt[k] = (k - centre) * g[k];
    for (int32_t k = 1; k < L - 1; ++k) wd[k] = 0.5 * (g[k + 1] - g[k - 1]);
    const double s = (g[L - 1] - g[0]) / (L - 1);
    wd[0] = 0.5 * (g[1] + g[L - 1] + s);
    wd[L - 1] = 0.5 * (s - g[L - 2] - g[0]);
}

int32_t CheckReassign(int32_t n, const StftParams& p) {
    if (n < p.windowLength) return status::kShortSignal;
    if (p.timeStep < 1) return status::kBadLattice;
    if (!IsPowerOfTwo(p.freqBins)) return status::kBadLattice;
    // The derivative window needs two samples.
    if (p.windowLength < 2) return status::kBadLattice;
    return status::kOk;
}

// Where the energy of bin j of frame i goes: the frame i + h and the bin j − φ
// (mod N) given by the centre of gravity. False when the frame falls outside
// 0 … frames−1 or the estimate is not finite.
struct Target {
    int64_t frame;
    int64_t bin;
};

[[gnu::always_inline]] inline bool Reassign(int64_t i, int64_t j, double timeProduct,
                                            double freqProduct, double e, int32_t D, int32_t N,
                                            int64_t frames, Target& target) {
    const double frame = i + std::floor(timeProduct / e / D + 0.5);
    if (!(frame >= 0 && frame < static_cast<double>(frames))) return false;
    const double phi = std::floor(freqProduct / e * N * kInverseTwoPi + 0.5);
    const double shifted = j - phi;  // a whole number
    int64_t bin;
    if (std::abs(shifted) < 0x1p52) {
        bin = static_cast<int64_t>(shifted) & (N - 1);  // N is a power of two
    } else {
        double reduced = std::fmod(shifted, static_cast<double>(N));
        if (std::isnan(reduced)) return false;
        if (reduced < 0) reduced += N;
        bin = static_cast<int64_t>(reduced);
    }
    target = {static_cast<int64_t>(frame), bin};
    return true;
}

// t_w[j] += window_w[j]·x[j·stride] for the three windows, j < count; the
// unit stride is kept apart so that it vectorises.
template <std::ptrdiff_t kStride>
void AddThree(const double* __restrict__ x, const double* __restrict__ g,
              const double* __restrict__ wt, const double* __restrict__ wd, double* __restrict__ t0,
              double* __restrict__ t1, double* __restrict__ t2, int32_t count) {
    for (int32_t j = 0; j < count; ++j) {
        const double v = x[j * kStride];
        t0[j] += g[j] * v;
        t1[j] += wt[j] * v;
        t2[j] += wd[j] * v;
    }
}

// The segment (real, or one part of an interleaved complex signal) folded onto
// N points with each of the three windows, in one pass over it.
void FoldThree(const double* x, bool interleaved, const double* const windows[3], int32_t L,
               int32_t N, double* const folded[3]) {
    for (int w = 0; w < 3; ++w) std::fill_n(folded[w], N, 0.0);
    for (int64_t start = 0; start < L; start += N) {
        const auto length = static_cast<int32_t>(std::min<int64_t>(N, L - start));
        const double *g = windows[0] + start, *wt = windows[1] + start, *wd = windows[2] + start;
        if (interleaved)
            AddThree<2>(x + 2 * start, g, wt, wd, folded[0], folded[1], folded[2], length);
        else
            AddThree<1>(x + start, g, wt, wd, folded[0], folded[1], folded[2], length);
    }
}

// The scaled, time-weighted and derivative windows, and the FFT plan.
class ReassignWork {
  public:
    int32_t Prepare(const StftParams& p, int32_t transformDoubles) {
        const int64_t L = p.windowLength;
        work_ = ScratchArray<double>(3 * L + transformDoubles * int64_t{p.freqBins});
        if (!work_) return status::kNoMemory;
        plan_.emplace(p.freqBins);
        if (!*plan_) return status::kNoMemory;
        g = work_.get();
        wt = g + L;
        wd = wt + L;
        transforms = wd + L;
        ReassignWindows(p.window, p.windowLength, p.freqBins, g, wt, wd);
        windows[0] = g;
        windows[1] = wt;
        windows[2] = wd;
        return status::kOk;
    }
    engine::FftPlan* plan() const { return plan_->get(); }

    double *g = nullptr, *wt = nullptr, *wd = nullptr, *transforms = nullptr;
    const double* windows[3] = {};

  private:
    scratch::Array<double> work_;
    std::optional<engine::PlanRef> plan_;
};

}  // namespace
}  // namespace tf

using namespace tf;

extern "C" {

int32_t ReReassignedSTFTSp(const double* x, int32_t n, const StftParams* p, double* out) {
    if (const int32_t code = CheckReassign(n, *p); code != status::kOk) return code;
    const int32_t L = p->windowLength, D = p->timeStep, N = p->freqBins;
    ReassignWork work;
    if (work.Prepare(*p, 6) != status::kOk) return status::kNoMemory;
    double* xg = work.transforms;
    double* xt = xg + N;
    double* xd = xt + N;
    double* const folded[3] = {xd + N, xd + 2 * N, xd + 3 * N};

    double sum = 0.0;
    for (int32_t k = 0; k < n; ++k) sum += x[k] * x[k];
    const double rms = std::sqrt(sum / n);
    const double threshold = rms * rms * 1e-6;

    const int64_t frames = FrameCount(n, L, D), half = N / 2;
    std::fill_n(out, frames * half, 0.0);
    for (int64_t i = 0; i < frames; ++i) {
        FoldThree(x + i * D, false, work.windows, L, N, folded);
        double* spectra[3] = {xg, xt, xd};
        for (int w = 0; w < 3; ++w)
            engine::ReFftForward(work.plan(), folded[w], spectra[w], 1, 1, N);
        for (int64_t j = 0; j < half; ++j) {
            const double gRe = xg[j], gIm = j == 0 ? 0.0 : xg[N - j];
            const double e = j == 0 ? gRe * gRe : gRe * gRe + gIm * gIm;
            if (e <= threshold) {
                out[i * half + j] += e;
                continue;
            }
            Target target{};
            if (j == 0) {
                // Both transforms are real at DC; the frequency stays.
                const double frame = i + std::floor(xt[0] / xg[0] / D + 0.5);
                if (!(frame >= 0 && frame < static_cast<double>(frames))) continue;
                out[static_cast<int64_t>(frame) * half] += e;
                continue;
            }
            const double tRe = xt[j], tIm = xt[N - j], dRe = xd[j], dIm = xd[N - j];
            if (!Reassign(i, j, tRe * gRe + tIm * gIm, dIm * gRe - dRe * gIm, e, D, N, frames,
                          target))
                continue;
            // Negative frequencies fold back onto the positive ones.
            const int64_t bin = target.bin > N / 2 ? N - target.bin : target.bin;
            if (bin < half) out[target.frame * half + bin] += e;
        }
    }
    return status::kOk;
}

int32_t CxReassignedSTFTSp(const double* z, int32_t n, const StftParams* p, double* out) {
    if (const int32_t code = CheckReassign(n, *p); code != status::kOk) return code;
    const int32_t L = p->windowLength, D = p->timeStep, N = p->freqBins;
    ReassignWork work;
    if (work.Prepare(*p, 12) != status::kOk) return status::kNoMemory;
    double* spectra[6];
    for (int s = 0; s < 6; ++s) spectra[s] = work.transforms + s * int64_t{N};
    double* const foldedRe[3] = {spectra[5] + N, spectra[5] + 2 * N, spectra[5] + 3 * N};
    double* const foldedIm[3] = {spectra[5] + 4 * N, spectra[5] + 5 * N, spectra[5] + 6 * N};

    double sum = 0.0;
    for (int64_t k = 0; k < n; ++k) sum += z[2 * k] * z[2 * k] + z[2 * k + 1] * z[2 * k + 1];
    const double threshold = sum / n * 1e-6;

    const int64_t frames = FrameCount(n, L, D);
    std::fill_n(out, frames * N, 0.0);
    for (int64_t i = 0; i < frames; ++i) {
        const double* segment = z + 2 * i * D;
        FoldThree(segment, true, work.windows, L, N, foldedRe);
        FoldThree(segment + 1, true, work.windows, L, N, foldedIm);
        for (int w = 0; w < 3; ++w)
            engine::CxFftForward(work.plan(), foldedRe[w], foldedIm[w], spectra[2 * w],
                                 spectra[2 * w + 1], 1, 1, N);
        const double *gRe = spectra[0], *gIm = spectra[1], *tRe = spectra[2], *tIm = spectra[3],
                     *dRe = spectra[4], *dIm = spectra[5];
        for (int64_t j = 0; j < N; ++j) {
            const double e = gRe[j] * gRe[j] + gIm[j] * gIm[j];
            if (e == 0.0) continue;  // nothing to move (a zero signal has a zero threshold)
            if (e < threshold) {
                out[i * N + j] += e;
                continue;
            }
            Target target{};
            if (Reassign(i, j, tRe[j] * gRe[j] + tIm[j] * gIm[j], dIm[j] * gRe[j] - dRe[j] * gIm[j],
                         e, D, N, frames, target))
                out[target.frame * N + target.bin] += e;
        }
    }
    return status::kOk;
}

}  // extern "C"
