// Quadratic distributions of host signals: Wigner-Ville, Cohen class with the
// host's kernel, Choi-Williams and cone-shaped, kept in a reference as a real
// matrix of n/S rows.

#include <limits>

#include "host_arrays.h"
#include "host_data.h"
#include "host_status.h"
#include "kessling.h"
#include "mornavel.h"
#include "reference.h"
#include "rhombel.h"
#include "scratch.h"
#include "status.h"

namespace kessling {
namespace {

// A host signal as the distributions take it: one real array, or the real and
// imaginary parts of a complex one in two arrays.
class SplitSignal {
  public:
    bool Read(HostArrayHandle signal, int64_t n, bool complex) noexcept {
        const auto count = static_cast<std::size_t>(n);
        if (!samples_.Read(hostbind::Elements(signal, 1), complex ? 2 * count : count))
            return false;
        if (!complex) {
            re_ = samples_.get();
            return true;
        }
        if (!split_.Reset(2 * count)) return false;
        _Cx2ReIm(samples_.get(), split_.get(), split_.get() + count, static_cast<int32_t>(n));
        re_ = split_.get();
        im_ = split_.get() + count;
        return true;
    }
    const double* re() const noexcept { return re_; }
    const double* im() const noexcept { return im_; }

  private:
    HostDoubles samples_;
    scratch::Array<double> split_;
    const double* re_ = nullptr;
    const double* im_ = nullptr;
};

// Sizes the reference for n/S rows of `columns` bins, attaches the record with
// `recordedBins`, and stores what `core(re, im, out)` computes; the reference
// is emptied on any failure.
template <class Core>
int32_t Store(LockedRef& out, HostArrayHandle signal, int64_t n, bool complex, int32_t timeStep,
              int32_t columns, int32_t recordedBins, Core core) noexcept {
    const int64_t rows = n / timeStep;
    if (rows * columns > std::numeric_limits<int32_t>::max()) return kNoMemory;
    const TavikInfo record{
        kTavikTag, static_cast<int32_t>(n), SPT_LAYOUT_REAL, timeStep, recordedBins, 0, -1};
    if (const int32_t status =
            out.Prepare(RHOMBEL_TYPE_DOUBLE, static_cast<int32_t>(rows), columns, record))
        return status;
    SplitSignal x;
    if (!x.Read(signal, n, complex)) return out.Settle(kNoMemory);
    return out.Settle(core(x.re(), x.im(), static_cast<double*>(out.Data())));
}

int32_t WignerVille(int32_t ref, HostArrayHandle signal, int32_t bins, int32_t timeStep,
                    const uint8_t* analytic, bool complex) noexcept {
    LockedRef out(ref);
    if (!out.valid()) return kInvalidReference;
    const int64_t n = Length(signal);
    if (n < 1) return kEmptyInput;
    if (!IsPowerOfTwo(bins)) return kBinsNotPowerOfTwo;
    // Rows are counted by dividing by the step.
    if (timeStep < 1) return kStepNotPowerOfTwo;
    if (!complex && !analytic) return kEmptyInput;
    const int32_t prepared = !complex && *analytic ? 1 : 0;
    const auto length = static_cast<int32_t>(n);
    return Store(out, signal, n, complex, timeStep, complex ? bins : bins / 2, bins,
                 [&](const double* re, const double* im, double* data) {
                     return WVD(re, im, length, bins, timeStep, prepared, data);
                 });
}

int32_t CohenClass(int32_t ref, HostArrayHandle signal, HostArrayHandle kernel, int32_t timeStep,
                   const uint8_t* analytic, bool complex) noexcept {
    const int64_t n = Length(signal);
    if (n < 1) return kEmptyInput;
    if (!IsPowerOfTwo(timeStep)) return kStepNotPowerOfTwo;
    int32_t size[2];
    hostbind::ReadSizes(kernel, 2, size);
    const int32_t lags = size[0];
    const int32_t width = size[1];
    if (!IsPowerOfTwo(lags) || !IsPowerOfTwo(width) || width < n) return kBadCohenKernel;
    LockedRef out(ref);
    if (!out.valid()) return kInvalidReference;
    if (!complex && !analytic) return kEmptyInput;

    HostDoubles phi;
    const int32_t prepared = !complex && *analytic ? 1 : 0;
    const auto length = static_cast<int32_t>(n);
    const int32_t columns = complex ? lags : lags / 2;
    return Store(
        out, signal, n, complex, timeStep, columns, columns,
        [&](const double* re, const double* im, double* data) {
            if (!phi.Read(hostbind::Elements(kernel, 2), static_cast<std::size_t>(lags) * width))
                return kNoMemory;
            return Cohen(re, im, length, phi.get(), lags, width, timeStep, prepared, data);
        });
}

int32_t ConeOrChoiWilliams(int32_t ref, HostArrayHandle signal, double parameter, int32_t bins,
                           int32_t timeStep, const uint8_t* analytic, const uint8_t* select,
                           bool complex) noexcept {
    const int64_t n = Length(signal);
    if (n < 1) return kEmptyInput;
    if (!IsPowerOfTwo(timeStep)) return kStepNotPowerOfTwo;
    if (!IsPowerOfTwo(bins)) return kBinsNotPowerOfTwo;
    LockedRef out(ref);
    if (!out.valid()) return kInvalidReference;
    if ((!complex && !analytic) || !select) return kEmptyInput;

    const int32_t prepared = !complex && *analytic ? 1 : 0;
    const bool cone = *select != 0;
    const auto length = static_cast<int32_t>(n);
    return Store(out, signal, n, complex, timeStep, complex ? bins : bins / 2, bins,
                 [&](const double* re, const double* im, double* data) {
                     return cone ? CSD(re, im, length, bins, timeStep, parameter, prepared, data)
                                 : CWD(re, im, length, bins, timeStep, parameter, prepared, data);
                 });
}

}  // namespace
}  // namespace kessling

using hostbind::MapStatus;

extern "C" {

int32_t SptReWVDH(int32_t ref, HostArrayHandle signal, int32_t bins, int32_t timeStep,
                  const uint8_t* analytic) {
    return MapStatus(kessling::WignerVille(ref, signal, bins, timeStep, analytic, false));
}

int32_t SptCxWVDH(int32_t ref, HostArrayHandle signal, int32_t bins, int32_t timeStep) {
    return MapStatus(kessling::WignerVille(ref, signal, bins, timeStep, nullptr, true));
}

int32_t SptReCohenH(int32_t ref, HostArrayHandle signal, HostArrayHandle kernel, int32_t timeStep,
                    const uint8_t* analytic) {
    return MapStatus(kessling::CohenClass(ref, signal, kernel, timeStep, analytic, false));
}

int32_t SptCxCohenH(int32_t ref, HostArrayHandle signal, HostArrayHandle kernel, int32_t timeStep) {
    return MapStatus(kessling::CohenClass(ref, signal, kernel, timeStep, nullptr, true));
}

int32_t SptReConeAndCWDH(int32_t ref, HostArrayHandle signal, double parameter, int32_t bins,
                         int32_t timeStep, const uint8_t* analytic, const uint8_t* select) {
    return MapStatus(kessling::ConeOrChoiWilliams(ref, signal, parameter, bins, timeStep, analytic,
                                                  select, false));
}

int32_t SptCxConeAndCWDH(int32_t ref, HostArrayHandle signal, double parameter, int32_t bins,
                         int32_t timeStep, const uint8_t* select) {
    return MapStatus(kessling::ConeOrChoiWilliams(ref, signal, parameter, bins, timeStep, nullptr,
                                                  select, true));
}

}  // extern "C"
