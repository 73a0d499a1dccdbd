// Short-time Fourier transforms of real and complex signals and their spectrograms.

#include "stft.h"

#include <algorithm>

#include "status.h"

namespace tf {
namespace {

// dst[j] += w[j]·x[j·stride] for j < count; the unit stride is the common case
// and is kept apart so that it vectorises.
void AddProducts(double* __restrict__ dst, const double* __restrict__ w,
                 const double* __restrict__ x, std::ptrdiff_t stride, int32_t count) {
    if (stride == 1) {
        for (int32_t j = 0; j < count; ++j) dst[j] += w[j] * x[j];
    } else {
        for (int32_t j = 0; j < count; ++j) dst[j] += w[j] * x[j * stride];
    }
}

// The shift handed back for the next block: (initial shift mod N) + frames·D.
// Should it leave the 32-bit range, only its phase modulo N is kept, which is
// all the next call uses.
int32_t NextShift(int64_t reducedShift, int64_t frames, int32_t D, int32_t N) {
    const int64_t next = reducedShift + frames * D;
    if (next > INT32_MAX) return static_cast<int32_t>(PositiveModulo(next, N));
    return static_cast<int32_t>(next);
}

int32_t ReStftWithShift(const double* x, int64_t n, const StftParams& p, int32_t* shift,
                        double* out) {
    if (const int32_t code = CheckStft(n, p); code != status::kOk) return code;
    Stft stft;
    if (stft.Prepare(p, 1) != status::kOk) return status::kNoMemory;
    const int64_t reduced = shift ? PositiveModulo(*shift, p.freqBins) : 0;
    const int64_t frames = FrameCount(n, p.windowLength, p.timeStep);
    stft.ReFrames(x, frames, reduced, out);
    if (shift) *shift = NextShift(reduced, frames, p.timeStep, p.freqBins);
    return status::kOk;
}

int32_t CxStftWithShift(const double* xRe, const double* xIm, int32_t inStride, int64_t n,
                        const StftParams& p, int32_t* shift, double* outRe, double* outIm,
                        int32_t outStride) {
    if (const int32_t code = CheckStft(n, p); code != status::kOk) return code;
    Stft stft;
    if (stft.Prepare(p, 2) != status::kOk) return status::kNoMemory;
    const int64_t reduced = shift ? PositiveModulo(*shift, p.freqBins) : 0;
    const int64_t frames = FrameCount(n, p.windowLength, p.timeStep);
    stft.CxFrames(xRe, xIm, inStride, frames, reduced, outRe, outIm, outStride);
    if (shift) *shift = NextShift(reduced, frames, p.timeStep, p.freqBins);
    return status::kOk;
}

}  // namespace

void FoldFrame(const double* x, std::ptrdiff_t stride, const double* w, int32_t L, int32_t N,
               int32_t rot, double* frame) {
    std::fill_n(frame, N, 0.0);
    for (int64_t start = 0; start < L; start += N) {
        const auto length = static_cast<int32_t>(std::min<int64_t>(N, L - start));
        const int32_t head = std::min(length, N - rot);  // up to the end of the frame
        const double* ws = w + start;
        const double* xs = x + start * stride;
        AddProducts(frame + rot, ws, xs, stride, head);
        if (length > head) AddProducts(frame, ws + head, xs + head * stride, stride, length - head);
    }
}

int32_t CheckStft(int64_t n, const StftParams& p) {
    if (p.windowLength >= n) return status::kShortSignal;
    if (p.timeStep <= 0) return status::kBadLattice;
    if (!IsPowerOfTwo(p.freqBins)) return status::kBadLattice;
    return status::kOk;
}

int32_t Stft::Prepare(const StftParams& p, int32_t buffers) {
    p_ = p;
    work_ = ScratchArray<double>(int64_t{buffers} * p.freqBins);
    if (!work_) return status::kNoMemory;
    plan_.emplace(p.freqBins);
    if (!*plan_) return status::kNoMemory;
    return status::kOk;
}

void Stft::ReFrame(const double* x, int64_t rotation, double* out) const {
    double* frame = Buffer(0);
    FoldFrame(x, 1, p_.window, p_.windowLength, p_.freqBins, static_cast<int32_t>(rotation), frame);
    engine::ReFftForward(plan(), frame, out, 1, 1, p_.freqBins);
}

void Stft::CxFrame(const double* xRe, const double* xIm, std::ptrdiff_t inStride, int64_t rotation,
                   double* outRe, double* outIm, int32_t outStride) const {
    double* re = Buffer(0);
    double* im = Buffer(1);
    const auto rot = static_cast<int32_t>(rotation);
    FoldFrame(xRe, inStride, p_.window, p_.windowLength, p_.freqBins, rot, re);
    FoldFrame(xIm, inStride, p_.window, p_.windowLength, p_.freqBins, rot, im);
    engine::CxFftForward(plan(), re, im, outRe, outIm, 1, outStride, p_.freqBins);
}

void Stft::ReFrames(const double* x, int64_t frames, int64_t shift, double* out) const {
    const int64_t D = p_.timeStep, N = p_.freqBins;
    for (int64_t i = 0; i < frames; ++i)
        ReFrame(x + i * D, PositiveModulo(shift + i * D, N), out + i * N);
}

void Stft::CxFrames(const double* xRe, const double* xIm, std::ptrdiff_t inStride, int64_t frames,
                    int64_t shift, double* outRe, double* outIm, int32_t outStride) const {
    const int64_t D = p_.timeStep, N = p_.freqBins;
    for (int64_t i = 0; i < frames; ++i) {
        const int64_t at = i * D * inStride, to = i * N * outStride;
        CxFrame(xRe + at, xIm + at, inStride, PositiveModulo(shift + i * D, N), outRe + to,
                outIm + to, outStride);
    }
}

}  // namespace tf

using namespace tf;

extern "C" {

int32_t ReSTFTWithShift(const double* x, int32_t n, const StftParams* p, int32_t* shift,
                        double* out) {
    return ReStftWithShift(x, n, *p, shift, out);
}

int32_t ReSTFT(const double* x, int32_t n, const StftParams* p, double* out) {
    return ReStftWithShift(x, n, *p, nullptr, out);
}

int32_t CxSTFTExWithShift(const double* xRe, const double* xIm, int32_t inStride, int32_t n,
                          const StftParams* p, int32_t* shift, double* outRe, double* outIm,
                          int32_t outStride) {
    return CxStftWithShift(xRe, xIm, inStride, n, *p, shift, outRe, outIm, outStride);
}

int32_t CxSTFTEx(const double* xRe, const double* xIm, int32_t inStride, int32_t n,
                 const StftParams* p, double* outRe, double* outIm, int32_t outStride) {
    return CxStftWithShift(xRe, xIm, inStride, n, *p, nullptr, outRe, outIm, outStride);
}

int32_t CxSTFT(const double* x, int32_t n, const StftParams* p, double* out) {
    return CxStftWithShift(x, x + 1, 2, n, *p, nullptr, out, out + 1, 2);
}

int32_t ReSTFTsp(const double* x, int32_t n, const StftParams* p, double* sp) {
    if (const int32_t code = CheckStft(n, *p); code != status::kOk) return code;
    Stft stft;
    if (stft.Prepare(*p, 2) != status::kOk) return status::kNoMemory;
    const int64_t D = p->timeStep, N = p->freqBins, half = N / 2;
    const int64_t frames = FrameCount(n, p->windowLength, D);
    const double c = 1.0 / N;
    double* hc = stft.Buffer(1);
    for (int64_t i = 0; i < frames; ++i) {
        stft.ReFrame(x + i * D, PositiveModulo(i * D, N), hc);
        double* row = sp + i * half;
        if (half > 0) row[0] = c * (hc[0] * hc[0]);  // N = 1 has no bins to write
        for (int64_t b = 1; b < half; ++b) row[b] = c * (hc[b] * hc[b] + hc[N - b] * hc[N - b]);
    }
    return status::kOk;
}

int32_t CxSTFTsp(const double* x, int32_t n, const StftParams* p, double* sp) {
    if (const int32_t code = CheckStft(n, *p); code != status::kOk) return code;
    Stft stft;
    if (stft.Prepare(*p, 4) != status::kOk) return status::kNoMemory;
    const int64_t D = p->timeStep, N = p->freqBins;
    const int64_t frames = FrameCount(n, p->windowLength, D);
    const double c = 1.0 / N;
    double* re = stft.Buffer(2);
    double* im = stft.Buffer(3);
    for (int64_t i = 0; i < frames; ++i) {
        stft.CxFrame(x + 2 * i * D, x + 2 * i * D + 1, 2, PositiveModulo(i * D, N), re, im, 1);
        double* row = sp + i * N;
        for (int64_t b = 0; b < N; ++b) row[b] = (re[b] * re[b] + im[b] * im[b]) * c;
    }
    return status::kOk;
}

}  // extern "C"
