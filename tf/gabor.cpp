// Gabor transform and expansion of real and complex signals, whole and block-wise.

#include "gabor.h"

#include <algorithm>

#include "status.h"

namespace tf {
namespace {

constexpr int32_t kPeriodicExtension = 2;

}  // namespace

int32_t CheckGaborLattice(const StftParams& p) {
    const int32_t L = p.windowLength, D = p.timeStep, N = p.freqBins;
    if (L <= 0 || D <= 0 || N <= 0 || L % D != 0 || L % N != 0 || !IsPowerOfTwo(N) || N < D)
        return status::kBadLattice;
    return status::kOk;
}

int32_t CheckSynthesisLattice(const StftParams& p, int32_t N) {
    const int32_t L = p.windowLength, D = p.timeStep;
    if (L <= 0 || D <= 0 || N <= 0 || L % D != 0 || L % N != 0 || N != p.freqBins ||
        !IsPowerOfTwo(N) || N < D)
        return status::kBadLattice;
    return status::kOk;
}

int32_t GaborAnalysis::AllocateBuffer(int64_t n, const StftParams& p, int32_t doublesPerSample) {
    p_ = p;
    n_ = n;
    padded_ = p.timeStep * GaborFrames(n, p.timeStep);
    half_ = p.windowLength / 2;
    // The extension addresses the padded signal with 32-bit lengths.
    if (p.windowLength + padded_ > INT32_MAX) return status::kNoMemory;
    buffer_ = ScratchArray<double>(doublesPerSample * (p.windowLength + padded_));
    return buffer_ ? status::kOk : status::kNoMemory;
}

int32_t GaborAnalysis::PrepareTransform(bool complexSignal) {
    // The STFT runs over (n mod D) + P + L − D samples of the extended signal:
    // exactly P/D frames, the first centred on sample 0.
    const int64_t length = n_ % p_.timeStep + padded_ + p_.windowLength - p_.timeStep;
    if (const int32_t code = CheckStft(length, p_); code != status::kOk) return code;
    frames_ = FrameCount(length, p_.windowLength, p_.timeStep);
    return stft_.Prepare(p_, complexSignal ? 2 : 1);
}

void GaborAnalysis::Place(const double* x, std::ptrdiff_t inStride, double* to,
                          std::ptrdiff_t step) const {
    const int64_t length = p_.windowLength + padded_;
    for (int64_t t = 0; t < n_; ++t) to[(half_ + t) * step] = x[t * inStride];
    // Padding up to P, and the sample that an odd window leaves after the extension.
    for (int64_t t = half_ + n_; t < half_ + padded_; ++t) to[t * step] = 0.0;
    for (int64_t t = 2 * half_ + padded_; t < length; ++t) to[t * step] = 0.0;
}

void GaborAnalysis::Real(const double* x, double* out) {
    double* buffer = buffer_.get();
    Place(x, 1, buffer, 1);
    ReExtension(buffer + half_, static_cast<int32_t>(padded_), kPeriodicExtension,
                static_cast<int32_t>(half_), buffer, buffer + half_ + padded_);
    stft_.ReFrames(buffer, frames_, 0, out);
}

void GaborAnalysis::Complex(const double* xRe, const double* xIm, bool interleaved, double* outRe,
                            double* outIm, int32_t outStride) {
    double* buffer = buffer_.get();
    const auto P = static_cast<int32_t>(padded_), h = static_cast<int32_t>(half_);
    if (interleaved) {
        Place(xRe, 2, buffer, 2);
        Place(xRe + 1, 2, buffer + 1, 2);
        CxExtension(buffer + 2 * half_, P, kPeriodicExtension, h, buffer,
                    buffer + 2 * (half_ + padded_));
        stft_.CxFrames(buffer, buffer + 1, 2, frames_, 0, outRe, outIm, outStride);
        return;
    }
    double* re = buffer;
    double* im = buffer + p_.windowLength + padded_;
    Place(xRe, 1, re, 1);
    Place(xIm, 1, im, 1);
    ReExtension(re + half_, P, kPeriodicExtension, h, re, re + half_ + padded_);
    ReExtension(im + half_, P, kPeriodicExtension, h, im, im + half_ + padded_);
    stft_.CxFrames(re, im, 1, frames_, 0, outRe, outIm, outStride);
}

int32_t GaborSynthesis::Prepare(int64_t M, const StftParams& p, bool complexSignal) {
    p_ = p;
    frames_ = M;
    period_ = M * p.timeStep;
    length_ = p.windowLength + period_;
    channels_ = complexSignal ? 2 : 1;
    const int64_t N = p.freqBins;
    work_ = ScratchArray<double>(channels_ * length_ + p.windowLength + 2 * N);
    if (!work_) return status::kNoMemory;
    window_ = work_.get() + channels_ * length_;
    y_ = window_ + p.windowLength;
    for (int32_t k = 0; k < p.windowLength; ++k) window_[k] = p.timeStep * p.window[k];
    plan_.emplace(p.freqBins);
    if (!*plan_) return status::kNoMemory;
    return status::kOk;
}

void GaborSynthesis::Clear() { std::fill_n(work_.get(), channels_ * length_, 0.0); }

// accumulator[i·D + j·N + k] += g[j·N + k]·y[(k + e) mod N] with e = i·D mod N:
// the frame's rotation to absolute time undone, repeated over the window.
void GaborSynthesis::AddFrame(int64_t frame, const double* y, double* to) {
    const int32_t N = p_.freqBins;
    const auto e = static_cast<int32_t>(frame * p_.timeStep % N);
    double* base = to + frame * p_.timeStep;
    for (int32_t start = 0; start < p_.windowLength; start += N) {
        double* __restrict__ a = base + start;
        const double* __restrict__ g = window_ + start;
        for (int32_t k = 0; k < N - e; ++k) a[k] += g[k] * y[k + e];
        for (int32_t k = N - e; k < N; ++k) a[k] += g[k] * y[k + e - N];
    }
}

void GaborSynthesis::AccumulateReal(const double* coef) {
    Clear();
    const int64_t N = p_.freqBins;
    double* copy = y_;  // the inverse transform works in its input
    double* y = y_ + N;
    for (int64_t i = 0; i < frames_; ++i) {
        std::copy_n(coef + i * N, N, copy);
        engine::ReFftInverse(plan_->get(), copy, y, 1, 1, p_.freqBins);
        AddFrame(i, y, work_.get());
    }
}

void GaborSynthesis::AccumulateComplex(const double* coefRe, const double* coefIm,
                                       std::ptrdiff_t stride) {
    Clear();
    const int64_t N = p_.freqBins;
    double* yRe = y_;
    double* yIm = y_ + N;
    for (int64_t i = 0; i < frames_; ++i) {
        engine::CxFftInverse(plan_->get(), coefRe + i * N * stride, coefIm + i * N * stride, yRe,
                             yIm, static_cast<int32_t>(stride), 1, p_.freqBins);
        AddFrame(i, yRe, work_.get());
        AddFrame(i, yIm, work_.get() + length_);
    }
}

void GaborSynthesis::WrapPeriodic() {
    const int64_t L = p_.windowLength, h = L / 2, T = period_;
    for (int32_t c = 0; c < channels_; ++c) {
        double* acc = work_.get() + c * length_;
        // What lies past the period folds back onto it; going downwards lets a
        // window longer than the period fold back more than once.
        for (int64_t k = L - h - 1; k >= 0; --k) acc[h + k] += acc[T + h + k];
        // What lies before it folds forwards, as often as it takes.
        if (L > 1)
            for (int64_t k = 0; k < h; ++k) acc[T + k] += acc[k];
    }
}

void GaborSynthesis::ExpandReal(const double* coef, double* out, int64_t outLength) {
    AccumulateReal(coef);
    WrapPeriodic();
    WriteReal(out, outLength);
}

void GaborSynthesis::ExpandComplex(const double* coefRe, const double* coefIm,
                                   std::ptrdiff_t coefStride, double* outRe, double* outIm,
                                   std::ptrdiff_t outStride, int64_t outLength) {
    AccumulateComplex(coefRe, coefIm, coefStride);
    WrapPeriodic();
    WriteComplex(outRe, outIm, outStride, outLength);
}

void GaborSynthesis::WriteReal(double* out, int64_t outLength) const {
    WriteComplex(out, nullptr, 1, outLength);
}

void GaborSynthesis::WriteComplex(double* outRe, double* outIm, std::ptrdiff_t stride,
                                  int64_t outLength) const {
    const int64_t h = p_.windowLength / 2, written = std::min(outLength, period_);
    double* outs[2] = {outRe, outIm};
    for (int32_t c = 0; c < channels_; ++c) {
        const double* acc = work_.get() + c * length_ + h;
        double* out = outs[c];
        for (int64_t t = 0; t < written; ++t) out[t * stride] = acc[t];
        for (int64_t t = written; t < outLength; ++t) out[t * stride] = 0.0;
    }
}

}  // namespace tf

using namespace tf;

namespace {

// inLayout of a complex signal: 1 two arrays, 2 interleaved pairs.
int32_t Transform(const double* xRe, const double* xIm, bool complexSignal, int32_t inLayout,
                  int32_t n, const StftParams& p, double* outRe, double* outIm, int32_t outStride) {
    if (n <= 0) return status::kShortSignal;
    if (const int32_t code = CheckGaborLattice(p); code != status::kOk) return code;
    GaborAnalysis analysis;
    if (analysis.AllocateBuffer(n, p, complexSignal ? 2 : 1) != status::kOk)
        return status::kNoMemory;
    if (complexSignal && inLayout != 1 && !(inLayout == 2 && xIm == xRe + 1))
        return status::kBadLayout;
    if (const int32_t code = analysis.PrepareTransform(complexSignal); code != status::kOk)
        return code;
    if (complexSignal)
        analysis.Complex(xRe, xIm, inLayout == 2, outRe, outIm, outStride);
    else
        analysis.Real(xRe, outRe);
    return status::kOk;
}

int32_t Expansion(const double* coefRe, const double* coefIm, int32_t coefStride, int32_t M,
                  int32_t N, const StftParams& p, double* outRe, double* outIm, int32_t outStride,
                  int32_t outLength, bool complexSignal) {
    if (outLength <= 0 || M <= 0 || N <= 0) return status::kShortSignal;
    if (const int32_t code = CheckSynthesisLattice(p, N); code != status::kOk) return code;
    GaborSynthesis synthesis;
    if (synthesis.Prepare(M, p, complexSignal) != status::kOk) return status::kNoMemory;
    if (complexSignal)
        synthesis.ExpandComplex(coefRe, coefIm, coefStride, outRe, outIm, outStride, outLength);
    else
        synthesis.ExpandReal(coefRe, outRe, outLength);
    return status::kOk;
}

}  // namespace

extern "C" {

int32_t ReDGT(const double* x, int32_t n, const StftParams* p, double* out) {
    return Transform(x, nullptr, false, 0, n, *p, out, nullptr, 1);
}

int32_t CxDGTEx(const double* xRe, const double* xIm, int32_t inLayout, int32_t n,
                const StftParams* p, double* outRe, double* outIm, int32_t outStride) {
    return Transform(xRe, xIm, true, inLayout, n, *p, outRe, outIm, outStride);
}

int32_t CxDGT(const double* x, int32_t n, const StftParams* p, double* out) {
    return Transform(x, x + 1, true, 2, n, *p, out, out + 1, 2);
}

int32_t ReDGTWithIC(const double* x, int32_t n, double* state, int32_t* stateLength,
                    const StftParams* p, double* out) {
    if (n <= 0) return status::kShortSignal;
    if (const int32_t code = CheckGaborLattice(*p); code != status::kOk) return code;
    const int32_t L = p->windowLength, D = p->timeStep, N = p->freqBins;
    if (!IsPowerOfTwo(D)) return status::kBadLattice;
    // What a previous call can have kept: less than a window plus N/D − 1 steps.
    const int64_t carried = stateLength ? *stateLength : -1;
    if (carried < 0 || carried > int64_t{L} + N - D - 1) return status::kShortSignal;

    // The samples kept must be countable in *stateLength.
    const int64_t joined = carried + n;
    if (joined > INT32_MAX) return status::kNoMemory;
    scratch::Array<double> signal = ScratchArray<double>(joined);
    if (!signal) return status::kNoMemory;
    // Whole frames of the joined samples, emitted in groups of N/D so that every
    // call starts on a multiple of N samples and the rotation carries on.
    const int64_t whole = joined >= L ? FrameCount(joined, L, D) : 0;
    const int64_t frames = whole / (N / D) * (N / D);
    Stft stft;
    if (frames > 0 && stft.Prepare(*p, 1) != status::kOk) return status::kNoMemory;

    std::copy_n(state, carried, signal.get());
    std::copy_n(x, n, signal.get() + carried);
    stft.ReFrames(signal.get(), frames, 0, out);
    const int64_t kept = joined - frames * D;
    std::copy_n(signal.get() + frames * D, kept, state);
    *stateLength = static_cast<int32_t>(kept);
    return status::kOk;
}

int32_t ReDGE(const double* coef, int32_t M, int32_t N, const StftParams* p, double* out,
              int32_t outLength) {
    return Expansion(coef, nullptr, 1, M, N, *p, out, nullptr, 1, outLength, false);
}

int32_t CxDGEEx(const double* coefRe, const double* coefIm, int32_t coefStride, int32_t M,
                int32_t N, const StftParams* p, double* outRe, double* outIm, int32_t outStride,
                int32_t outLength) {
    return Expansion(coefRe, coefIm, coefStride, M, N, *p, outRe, outIm, outStride, outLength,
                     true);
}

int32_t CxDGE(const double* coef, int32_t M, int32_t N, const StftParams* p, double* out,
              int32_t outLength) {
    return Expansion(coef, coef + 1, 2, M, N, *p, out, out + 1, 2, outLength, true);
}

int32_t ReDGEWithIC(const double* coef, int32_t M, int32_t N, const StftParams* p, double* out,
                    double* state, int32_t* stateLength) {
    if (M <= 0 || N <= 0) return status::kShortSignal;
    if (const int32_t code = CheckSynthesisLattice(*p, N); code != status::kOk) return code;
    if (!IsPowerOfTwo(p->timeStep)) return status::kBadLattice;
    // The state holds the L − D samples a previous call left; more cannot be in it.
    const int64_t tail = p->windowLength - p->timeStep;
    const int64_t carried = stateLength ? *stateLength : -1;
    if (carried < 0 || carried > tail) return status::kShortSignal;

    GaborSynthesis synthesis;
    if (synthesis.Prepare(M, *p, false) != status::kOk) return status::kNoMemory;
    synthesis.AccumulateReal(coef);
    double* acc = synthesis.accumulator();
    for (int64_t j = 0; j < carried; ++j) acc[j] += state[j];
    const int64_t T = synthesis.period();
    std::copy_n(acc, T, out);
    std::copy_n(acc + T, tail, state);
    *stateLength = static_cast<int32_t>(tail);
    return status::kOk;
}

}  // extern "C"
