// The adaptive representation through host arrays: expansions and the
// adaptive spectrogram of a set of terms, and the matching-pursuit transform
// that finds them. Nothing is kept in references; every output is a host
// array, emptied on every path that does not end in success.

#include <algorithm>
#include <cstring>
#include <limits>

#include "host_arrays.h"
#include "host_data.h"
#include "host_status.h"
#include "kessling.h"
#include "mornavel.h"
#include "status.h"

namespace kessling {
namespace {

constexpr int32_t kDoublesPerTerm = 4;

// The size field of a 1-D array (the blocks of term parameters hold four
// doubles per counted term).
void SetCount(HostArrayHandle handle, int32_t count) noexcept {
    std::memcpy(reinterpret_cast<std::byte*>(*handle), &count, sizeof count);
}

// Terms given by the host: parameters (four doubles each) and complex
// coefficients, as many as both arrays hold.
class Terms {
  public:
    Terms(HostArrayHandle parameters, HostArrayHandle coefficients) noexcept
        : parameters_(parameters),
          coefficients_(coefficients),
          count_(std::min(Length(parameters), Length(coefficients))) {}
    int32_t count() const noexcept { return count_; }
    // Aligned views of the first count() terms; false when memory is exhausted.
    bool Read() noexcept {
        const auto n = static_cast<std::size_t>(count_);
        return params_.Read(hostbind::Elements(parameters_, 1), kDoublesPerTerm * n) &&
               coefs_.Read(hostbind::Elements(coefficients_, 1), 2 * n);
    }
    const double* params() const noexcept { return params_.get(); }
    const double* coefs() const noexcept { return coefs_.get(); }

  private:
    HostArrayHandle parameters_, coefficients_;
    int32_t count_;
    HostDoubles params_, coefs_;
};

template <class Core>
int32_t Expansion(HostArrayHandle parameters, HostArrayHandle coefficients, int32_t length,
                  HostArrayHandle output, bool complex, Core core) noexcept {
    if (!output || length < 1 || Length(parameters) < 0 || Length(coefficients) < 0)
        return kEmptyInput;
    HostOutput out(output, complex ? LMRT_TYPE_COMPLEX128 : LMRT_TYPE_DOUBLE, 1);
    Terms terms(parameters, coefficients);
    if (!terms.Read()) return out.Finish(kNoMemory);
    if (const int32_t status = out.Resize({length})) return out.Finish(status);
    HostDoublesOut samples;
    const auto count = static_cast<std::size_t>(length) * (complex ? 2 : 1);
    if (!samples.Open(out.Elements(), count)) return out.Finish(kNoMemory);
    const int32_t status =
        core(terms.params(), terms.coefs(), terms.count(), length, samples.get());
    if (status == kOk) samples.Store();
    return out.Finish(status);
}

// The bridge's one rule for the longest analysis window: 8 or more is
// rounded up to a power of two and halved while it exceeds the signal, so
// that the scale analysis never extends a signal by more than its own length;
// smaller values are left to the transform, which then takes the power of two
// nearest the signal length.
int32_t LongestWindow(int32_t maxWindow, int32_t n) noexcept {
    if (maxWindow < 8) return maxWindow;
    int64_t window = 8;
    while (window < maxWindow) window *= 2;
    while (window > n && window > 8) window /= 2;
    return static_cast<int32_t>(window);
}

using TransformFn = int32_t (*)(const double*, int32_t, int32_t, int32_t, int32_t, double, int32_t,
                                int32_t, int32_t*, double*, double*, double*, double*);

int32_t Transform(HostArrayHandle signal, int32_t mode, int32_t extType, int32_t maxWindow,
                  double support, int32_t iterations, int32_t terms, double* residual,
                  HostArrayHandle coefficients, HostArrayHandle parameters,
                  HostArrayHandle approximation, bool complex, TransformFn core) noexcept {
    const int32_t n = Length(signal);
    if (n < 1 || !residual || !coefficients || !parameters || !approximation) return kEmptyInput;
    if (terms < 0) return kNegativeTerms;
    const int32_t type = complex ? LMRT_TYPE_COMPLEX128 : LMRT_TYPE_DOUBLE;
    HostOutput coefs(coefficients, LMRT_TYPE_COMPLEX128, 1),
        params(parameters, LMRT_TYPE_DOUBLE, 1), rest(approximation, type, 1);
    // After the checks every path that does not succeed empties the three
    // outputs and sets the residual to 0.
    const auto finish = [&](int32_t status) {
        if (status != kOk) *residual = 0.0;
        coefs.Finish(status);
        params.Finish(status);
        return rest.Finish(status);
    };
    if (support < 0.0) support = 4.0;
    if (iterations < 0) iterations = 15;
    if (int64_t{kDoublesPerTerm} * terms > std::numeric_limits<int32_t>::max())
        return finish(kNoMemory);

    HostDoubles input;
    if (!input.Read(hostbind::Elements(signal, 1), static_cast<std::size_t>(n) * (complex ? 2 : 1)))
        return finish(kNoMemory);
    for (const int32_t status :
         {rest.Resize({n}), coefs.Resize({terms}), params.Resize({kDoublesPerTerm * terms})})
        if (status != kOk) return finish(status);
    HostDoublesOut restOut, coefsOut, paramsOut;
    if (!restOut.Open(rest.Elements(), static_cast<std::size_t>(n) * (complex ? 2 : 1)) ||
        !coefsOut.Open(coefs.Elements(), 2 * static_cast<std::size_t>(terms)) ||
        !paramsOut.Open(params.Elements(), kDoublesPerTerm * static_cast<std::size_t>(terms)))
        return finish(kNoMemory);

    int32_t found = 0;
    double percent = 0.0;
    const int32_t status =
        core(input.get(), n, mode, extType, LongestWindow(maxWindow, n), support, iterations, terms,
             &found, &percent, coefsOut.get(), paramsOut.get(), restOut.get());
    // A failure of the transform is reported whatever it found.
    if (status != kOk) return finish(status);
    restOut.Store();
    coefsOut.Store();
    paramsOut.Store();
    if (found < terms) {
        for (const int32_t shrunk :
             {coefs.Resize({found}), params.Resize({kDoublesPerTerm * found})})
            if (shrunk != kOk) return finish(shrunk);
    }
    SetCount(parameters, found);
    *residual = percent;
    return finish(kOk);
}

int32_t AdaptiveSpectrogram(HostArrayHandle parameters, HostArrayHandle coefficients, int32_t n,
                            int32_t S, int32_t N, SptZoomCluster* zoom, const uint8_t* real,
                            HostArrayHandle output, int32_t extra) noexcept {
    if (!output) return kEmptyInput;
    HostOutput out(output, LMRT_TYPE_DOUBLE, 2);
    if (S < 1) return out.Finish(kAdaptiveStepBelowOne);
    if (!IsPowerOfTwo(N)) return out.Finish(kBinsNotPowerOfTwo);
    if (Length(parameters) < 1 || Length(coefficients) < 1 || !zoom || !real)
        return out.Finish(kEmptyInput);
    const bool isReal = *real != 0;

    if (zoom->factor < 1) zoom->factor = 1;
    const int64_t bins = int64_t{zoom->factor} * N;
    const int64_t available = isReal ? bins / 2 : bins;
    int64_t first = int64_t{zoom->factor} * zoom->firstBin;
    int64_t count = zoom->binCount;
    if (available <= first || first < 0) {
        first = 0;
        count = available;
    }
    if (first + count > available || count < 1) count = available - first;
    if (bins > std::numeric_limits<int32_t>::max()) return out.Finish(kNoMemory);
    zoom->firstBin = static_cast<int32_t>(first);
    zoom->binCount = static_cast<int32_t>(count);

    const int32_t rows = n / S;
    if (rows < 1 || count < 1) return out.Finish(kEmptyInput);
    Terms terms(parameters, coefficients);
    if (!terms.Read()) return out.Finish(kNoMemory);
    if (const int32_t status = out.Resize({rows, zoom->binCount})) return out.Finish(status);
    HostDoublesOut cells;
    if (!cells.Open(out.Elements(), static_cast<std::size_t>(rows) * zoom->binCount))
        return out.Finish(kNoMemory);
    const auto nf = static_cast<int32_t>(bins);
    const int32_t status =
        isReal ? ReAdaptiveSp(terms.coefs(), terms.params(), terms.count(), S, nf, 0,
                              zoom->firstBin, rows, zoom->binCount, cells.get())
               : CxAdaptiveSp(terms.coefs(), terms.params(), terms.count(), S, nf, 0,
                              zoom->firstBin, rows, zoom->binCount, cells.get(), extra);
    if (status == kOk) cells.Store();
    return out.Finish(status);
}

int32_t AdaptiveExpansion(HostArrayHandle parameters, HostArrayHandle coefficients, int32_t length,
                          HostArrayHandle output, bool complex) noexcept {
    return Expansion(parameters, coefficients, length, output, complex,
                     complex ? CxAdaptiveExpansion : ReAdaptiveExpansion);
}

int32_t AdaptiveTransform(HostArrayHandle signal, int32_t mode, int32_t extType, int32_t maxWindow,
                          double support, int32_t iterations, int32_t terms, double* residual,
                          HostArrayHandle coefficients, HostArrayHandle parameters,
                          HostArrayHandle approximation, bool complex) noexcept {
    return Transform(signal, mode, extType, maxWindow, support, iterations, terms, residual,
                     coefficients, parameters, approximation, complex,
                     complex ? CxAdaptiveTransform : ReAdaptiveTransform);
}

}  // namespace
}  // namespace kessling

using hostbind::MapStatus;

extern "C" {

int32_t SptReAdaptExpanH(HostArrayHandle parameters, HostArrayHandle coefficients, int32_t length,
                         HostArrayHandle output) {
    return MapStatus(kessling::AdaptiveExpansion(parameters, coefficients, length, output, false));
}

int32_t SptCxAdaptExpanH(HostArrayHandle parameters, HostArrayHandle coefficients, int32_t length,
                         HostArrayHandle output) {
    return MapStatus(kessling::AdaptiveExpansion(parameters, coefficients, length, output, true));
}

int32_t SptAdaptSpExH(HostArrayHandle parameters, HostArrayHandle coefficients, int32_t n,
                      int32_t S, int32_t N, SptZoomCluster* zoom, const uint8_t* real,
                      HostArrayHandle output, int32_t extra) {
    return MapStatus(kessling::AdaptiveSpectrogram(parameters, coefficients, n, S, N, zoom, real,
                                                   output, extra));
}

int32_t SptReAdaptTransH(HostArrayHandle signal, int32_t mode, int32_t extType, int32_t maxWindow,
                         double support, int32_t iterations, int32_t terms, double* residual,
                         HostArrayHandle coefficients, HostArrayHandle parameters,
                         HostArrayHandle approximation) {
    return MapStatus(kessling::AdaptiveTransform(signal, mode, extType, maxWindow, support,
                                                 iterations, terms, residual, coefficients,
                                                 parameters, approximation, false));
}

int32_t SptCxAdaptTransH(HostArrayHandle signal, int32_t mode, int32_t extType, int32_t maxWindow,
                         double support, int32_t iterations, int32_t terms, double* residual,
                         HostArrayHandle coefficients, HostArrayHandle parameters,
                         HostArrayHandle approximation) {
    return MapStatus(kessling::AdaptiveTransform(signal, mode, extType, maxWindow, support,
                                                 iterations, terms, residual, coefficients,
                                                 parameters, approximation, true));
}

}  // extern "C"
