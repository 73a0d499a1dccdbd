// The Gabor spectrogram of stored Gabor coefficients (with its incremental
// update when only the order changes, and its resampled grid), the mean
// instantaneous frequency of that spectrogram, and the instantaneous frequency
// of any stored spectrogram.

#include <cmath>
#include <cstring>
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

constexpr double kOneOverPi = 0.3183098861837907;
constexpr int64_t kMaxCount = std::numeric_limits<int32_t>::max();

// Oversampling and decimation of a resolution factor x > 0: x >= 1 oversamples
// by ceil(x); x < 1 decimates by floor(1/x).
struct Resolution {
    int32_t over, decimate;
    explicit Resolution(double x) noexcept {
        const double up = std::ceil(x), down = std::floor(1.0 / x);
        over = up >= 1.0 && up < kMaxCount ? static_cast<int32_t>(up) : 1;
        decimate = down >= 1.0 && down < kMaxCount ? static_cast<int32_t>(down) : 1;
    }
};

// The Gaussian variance used when the caller passes none: the product and the
// halving in 32-bit integers, as the host application expects.
double DefaultVariance(int32_t timeStep, int32_t columns) noexcept {
    const auto product =
        static_cast<int32_t>(static_cast<uint32_t>(timeStep) * static_cast<uint32_t>(columns));
    return (product / 2) * kOneOverPi;
}

// Interleaved complex coefficients of a stored Gabor transform: the stored
// data of a complex one, or the half-complex rows unpacked.
bool Coefficients(const LockedRef& ref, int32_t rows, int32_t columns,
                  scratch::Array<double>& unpacked, const double*& coefficients) noexcept {
    const auto* stored = static_cast<const double*>(ref.Data());
    if (ref.info().layout == SPT_LAYOUT_COMPLEX) {
        coefficients = stored;
        return true;
    }
    if (!unpacked.Reset(2 * static_cast<std::size_t>(rows) * columns)) return false;
    for (int32_t r = 0; r < rows; ++r)
        _Hc2Cx(stored + static_cast<std::size_t>(r) * columns,
               unpacked.get() + 2 * static_cast<std::size_t>(r) * columns, columns);
    coefficients = unpacked.get();
    return true;
}

bool IsGaborTransform(int32_t ref, const TavikInfo& info) noexcept {
    const int32_t layout = info.layout;
    return (layout == SPT_LAYOUT_COMPLEX || layout == SPT_LAYOUT_HALF_COMPLEX) &&
           SptRefGetDataType(ref) == StoredType(layout);
}

int64_t Terms(int64_t order) noexcept { return (order + 2) * (order + 1) / 2; }

int32_t GaborSpectrogram(int32_t source, int32_t centre, double variance, int32_t order,
                         double timeFactor, double frequencyFactor, int32_t firstBin,
                         int32_t binCount, uint8_t* recompute, int32_t* destination) noexcept {
    if (!IsBridgeReference(source)) return kInvalidReference;
    if (!(timeFactor > 0.0) || !(frequencyFactor > 0.0)) return kBadResolution;
    if (order < 0) return kNegativeOrder;
    if (!recompute || !destination) return kEmptyInput;
    if (!IsBridgeReference(*destination)) {
        if (const int32_t status = CreateReference(destination)) return status;
    }
    // The spectrogram cannot be written over the coefficients it is made of.
    if (*destination == source) return kUnsupportedData;
    LockedPair both(*destination, source);
    LockedRef& out = both.first();
    LockedRef& in = both.second();
    if (!in.valid()) return kInvalidReference;
    if (!out.valid()) return kReferenceNotMade;

    const TavikInfo info = in.info();
    int32_t rows = 0, columns = 0;
    SptRefGetDim(source, &rows, &columns);
    const auto emptied = [&](int32_t status) {
        SptRefSetDim(*destination, 0, 0);
        return status;
    };
    if (!IsPowerOfTwo(info.timeStep)) return emptied(kBadWindow);
    if (!IsGaborTransform(source, info) || rows < 1 || columns < 1)
        return emptied(kUnsupportedData);

    if (!(variance > 0.0)) variance = DefaultVariance(info.timeStep, columns);
    const Resolution time(timeFactor), frequency(frequencyFactor);
    const int64_t usable = info.layout == SPT_LAYOUT_COMPLEX ? columns : columns / 2;
    const int64_t outRows = int64_t{time.over} * rows / time.decimate;
    int64_t available = int64_t{frequency.over} * usable / frequency.decimate;
    int64_t first = firstBin;
    if (first < 0 || first >= available) first = 0;
    available -= first;
    int64_t count = binCount;
    if (count < 1 || count > available) count = available;
    const int64_t computedRows = int64_t{time.over} * rows;
    const int64_t computedColumns = int64_t{frequency.decimate} * count;
    if (computedRows * computedColumns > kMaxCount || outRows * count > kMaxCount ||
        first * frequency.decimate > kMaxCount || count < 1 || outRows < 1)
        return emptied(count < 1 || outRows < 1 ? kEmptyInput : kNoMemory);

    const TavikInfo record{
        kTavikTag,
        info.signalLength,
        SPT_LAYOUT_REAL,
        static_cast<int32_t>(int64_t{time.decimate} * info.timeStep / time.over),
        static_cast<int32_t>(int64_t{frequency.over} * columns / frequency.decimate),
        static_cast<int32_t>(first),
        order};

    // Whether the stored spectrogram can be brought to the new order by adding
    // or removing the terms between the two orders.
    const TavikInfo& stored = out.info();
    int32_t storedRows = 0, storedColumns = 0;
    SptRefGetDim(*destination, &storedRows, &storedColumns);
    bool fresh = *recompute != 0 || storedRows != outRows || storedColumns != count ||
                 SptRefGetDataType(*destination) != RHOMBEL_TYPE_DOUBLE;
    fresh = fresh || stored.signalLength != record.signalLength || stored.layout != record.layout ||
            stored.timeStep != record.timeStep || stored.frequencyBins != record.frequencyBins ||
            stored.firstFrequency != record.firstFrequency;
    const int32_t previous = stored.order;
    fresh = fresh || previous < 0 ||
            (order < previous && Terms(order) <= Terms(previous) - Terms(order));
    *recompute = fresh ? 1 : 0;
    if (!fresh && previous == order) return kOk;

    scratch::Array<double> unpacked;
    const double* coefficients = nullptr;
    if (!Coefficients(in, rows, columns, unpacked, coefficients)) return emptied(kNoMemory);
    scratch::Array<double> computed(static_cast<std::size_t>(computedRows * computedColumns));
    if (!computed) return emptied(kNoMemory);
    const int32_t low = fresh ? 0 : std::min(previous, order) + 1;
    const int32_t high = fresh ? order : std::max(previous, order);
    if (const int32_t status =
            CxGaborSp(coefficients, rows, columns, centre, info.timeStep, variance, low, high,
                      time.over, frequency.over, static_cast<int32_t>(first * frequency.decimate),
                      static_cast<int32_t>(computedColumns), computed.get()))
        return emptied(status);

    TavikInfoOwner owner(NewTavikInfo(record));
    if (!owner.get()) return emptied(kNoMemory);
    if (fresh &&
        SptRefInitAndResize(*destination, RHOMBEL_TYPE_DOUBLE, static_cast<int32_t>(outRows),
                            static_cast<int32_t>(count)) != RHOMBEL_OK)
        return emptied(kReferenceNotMade);
    auto* target = static_cast<double*>(out.Data());
    const double sign = fresh || order > previous ? 1.0 : -1.0;
    const double scale = frequency.decimate;
    for (int64_t r = 0; r < outRows; ++r) {
        const double* row = computed.get() + r * time.decimate * computedColumns;
        double* to = target + r * count;
        for (int64_t k = 0; k < count; ++k) {
            const double value = row[k * frequency.decimate] * scale;
            to[k] = fresh ? value : to[k] + sign * value;
        }
    }
    out.Attach(owner);
    return kOk;
}

int32_t MeanInstantaneousFrequency(int32_t ref, double variance, int32_t order, double factor,
                                   HostArrayHandle output) noexcept {
    LockedRef in(ref);
    if (!in.valid()) return kInvalidReference;
    if (!(factor > 0.0)) return kBadResolution;
    if (order < 0) return kNegativeOrder;
    if (!output) return kEmptyInput;
    HostOutput out(output, LMRT_TYPE_DOUBLE, 1);
    const TavikInfo& info = in.info();
    int32_t rows = 0, columns = 0;
    SptRefGetDim(ref, &rows, &columns);
    if (!IsPowerOfTwo(info.timeStep)) return out.Finish(kBadWindow);
    if (!IsGaborTransform(ref, info) || rows < 1 || columns < 1)
        return out.Finish(kUnsupportedData);
    if (!(variance > 0.0)) variance = DefaultVariance(info.timeStep, columns);
    const Resolution resolution(factor);

    const int64_t computed = int64_t{rows - 1} * resolution.over;
    const int64_t kept = computed / resolution.decimate;
    if (computed > kMaxCount) return out.Finish(kNoMemory);
    scratch::Array<double> unpacked;
    const double* coefficients = nullptr;
    scratch::Array<double> values(static_cast<std::size_t>(computed));
    if (!values || !Coefficients(in, rows, columns, unpacked, coefficients))
        return out.Finish(kNoMemory);
    if (const int32_t status = MIFOfGaborSp(coefficients, rows, columns, info.timeStep, variance,
                                            order, resolution.over, values.get()))
        return out.Finish(status);
    if (const int32_t status = out.Resize({static_cast<int32_t>(kept)})) return out.Finish(status);
    std::byte* element = out.Elements();
    for (int64_t i = 0; i < kept; ++i, element += sizeof(double))
        std::memcpy(element, &values[static_cast<std::size_t>(i * resolution.decimate)],
                    sizeof(double));
    return out.Finish(kOk);
}

int32_t InstantFrequency(int32_t ref, double parameter, HostArrayHandle output,
                         int32_t* timeStepOut) noexcept {
    LockedRef in(ref);
    if (!in.valid()) return kInvalidReference;
    if (!output || !timeStepOut) return kEmptyInput;
    HostOutput out(output, LMRT_TYPE_DOUBLE, 1);
    const TavikInfo& info = in.info();
    if (info.layout != SPT_LAYOUT_REAL || SptRefGetDataType(ref) != RHOMBEL_TYPE_DOUBLE)
        return out.Finish(kUnsupportedData);
    int32_t rows = 0, columns = 0;
    SptRefGetDim(ref, &rows, &columns);
    if (const int32_t status = out.Resize({rows})) return out.Finish(status);
    HostDoublesOut frequency;
    scratch::Array<double> energy(static_cast<std::size_t>(rows));
    if (!energy || !frequency.Open(out.Elements(), static_cast<std::size_t>(rows)))
        return out.Finish(kNoMemory);
    // The parameter has no meaning for the estimate; the two reserved
    // arguments of the analysis take nothing from it.
    (void)parameter;
    if (const int32_t status = InstantaneousFrequency(static_cast<const double*>(in.Data()), rows,
                                                      columns, 0, 0, frequency.get(), energy.get()))
        return out.Finish(status);
    // Bins to cycles per sample on the stored grid, the units of the graph's
    // frequency axis.
    const double binStep = 1.0 / info.frequencyBins;
    for (int32_t i = 0; i < rows; ++i)
        frequency.get()[i] = (frequency.get()[i] + info.firstFrequency) * binStep;
    frequency.Store();
    *timeStepOut = info.timeStep;
    return out.Finish(kOk);
}

}  // namespace
}  // namespace kessling

using hostbind::MapStatus;

extern "C" {

int32_t SptGaborSpH(int32_t source, int32_t centre, double variance, int32_t order,
                    double timeFactor, double frequencyFactor, int32_t firstBin, int32_t binCount,
                    uint8_t* recompute, int32_t* destination) {
    return MapStatus(kessling::GaborSpectrogram(source, centre, variance, order, timeFactor,
                                                frequencyFactor, firstBin, binCount, recompute,
                                                destination));
}

int32_t SptMIFOfGaborSpH(int32_t ref, double variance, int32_t order, double factor,
                         HostArrayHandle output) {
    return MapStatus(kessling::MeanInstantaneousFrequency(ref, variance, order, factor, output));
}

int32_t SptInstantFreqH(int32_t ref, double parameter, HostArrayHandle output,
                        int32_t* timeStepOut) {
    return MapStatus(kessling::InstantFrequency(ref, parameter, output, timeStepOut));
}

}  // extern "C"
