// Linear transforms on host arrays: STFT (streaming), STFT spectrograms, Gabor
// transform and expansion in one and two dimensions, and the dual window.
//
// Exports that keep their result in a reference follow one order: check the
// arguments (nothing changes on a failed check), size the reference and attach
// the new record, read the inputs, call the analysis, and empty the reference
// on any failure after the checks (LockedRef::Prepare and Settle). Exports that
// write a host array empty it on every failure (HostOutput).

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

constexpr int64_t kMaxLength = std::numeric_limits<int32_t>::max();

// What distinguishes the real and complex forms of an export.
struct SignalKind {
    bool complex;
    int32_t hostType;  // host element type of signals and carried samples
    int32_t refType;   // Rhombel element type of a stored transform
    int32_t layout;    // layout of a stored transform
    int32_t doubles;   // doubles per sample
};
constexpr SignalKind kReal{false, LMRT_TYPE_DOUBLE, RHOMBEL_TYPE_DOUBLE, SPT_LAYOUT_HALF_COMPLEX,
                           1};
constexpr SignalKind kComplex{true, LMRT_TYPE_COMPLEX128, RHOMBEL_TYPE_COMPLEX128,
                              SPT_LAYOUT_COMPLEX, 2};

TavikInfo Record(int64_t signalLength, int32_t layout, const Window& window) noexcept {
    return TavikInfo{
        kTavikTag, static_cast<int32_t>(signalLength), layout, window.step(), window.bins(), 0, -1};
}

double* Doubles(const LockedRef& ref) noexcept { return static_cast<double*>(ref.Data()); }

// The joined samples of a stream: the carried ones, then the new block.
int32_t Join(HostArrayHandle carryOver, int64_t carried, HostArrayHandle signal, int64_t n,
             int32_t doubles, scratch::Array<double>& joined) noexcept {
    if (!joined.Reset(static_cast<std::size_t>((carried + n) * doubles))) return kNoMemory;
    const std::size_t carriedBytes = static_cast<std::size_t>(carried * doubles) * sizeof(double);
    if (carried > 0) std::memcpy(joined.get(), hostbind::Elements(carryOver, 1), carriedBytes);
    if (n > 0)
        std::memcpy(reinterpret_cast<std::byte*>(joined.get()) + carriedBytes,
                    hostbind::Elements(signal, 1),
                    static_cast<std::size_t>(n * doubles) * sizeof(double));
    return kOk;
}

// Stores the whole frames of (carried samples + block) and carries the rest.
// The stream's state (carry-over and shift) changes only when everything
// succeeded, so after a failure the caller can offer the same block again
// without losing or repeating a sample; the reference is then empty.
int32_t StreamStft(int32_t ref, HostArrayHandle signal, const SptWindowCluster* cluster,
                   HostArrayHandle carryOver, int32_t* shift, const SignalKind& kind) noexcept {
    LockedRef out(ref);
    if (!out.valid()) return kInvalidReference;
    Window window;
    if (const int32_t status = window.Check(cluster, WindowRule::kBasic)) return status;
    if (!carryOver || !shift) return kEmptyInput;

    const int64_t n = Length(signal);
    const int64_t carried = Length(carryOver);
    const int64_t joinedLength = carried + n;
    // The analysis writes frames only for a joined length above the window's.
    const int64_t frames =
        joinedLength > window.length() ? (joinedLength - window.length()) / window.step() + 1 : 0;
    if (joinedLength > kMaxLength || frames * window.bins() > kMaxLength) return kNoMemory;

    if (const int32_t status = out.Prepare(kind.refType, static_cast<int32_t>(frames),
                                           window.bins(), Record(n, kind.layout, window)))
        return status;
    scratch::Array<double> joined;
    if (Join(carryOver, carried, signal, n, kind.doubles, joined) != kOk || !window.Load())
        return out.Settle(kNoMemory);

    const auto length = static_cast<int32_t>(joinedLength);
    int32_t next = *shift;
    if (frames > 0) {
        double* data = Doubles(out);
        const double* x = joined.get();
        const int32_t status =
            kind.complex
                ? CxSTFTExWithShift(x, x + 1, 2, length, window.params(), &next, data, data + 1, 2)
                : ReSTFTWithShift(x, length, window.params(), &next, data);
        if (status != kOk) return out.Settle(status);
    }

    const int64_t rest = joinedLength - frames * window.step();
    if (const int32_t status =
            hostbind::ResizeArray(&carryOver, kind.hostType, {static_cast<int32_t>(rest)}))
        return out.Settle(status);
    if (rest > 0)
        std::memcpy(hostbind::Elements(carryOver, 1),
                    joined.get() + (joinedLength - rest) * kind.doubles,
                    static_cast<std::size_t>(rest * kind.doubles) * sizeof(double));
    *shift = next;
    return kOk;
}

int32_t StftSpectrogram(int32_t ref, HostArrayHandle signal, const SptWindowCluster* cluster,
                        const uint8_t* reassigned, const SignalKind& kind) noexcept {
    LockedRef out(ref);
    if (!out.valid()) return kInvalidReference;
    if (!cluster || Length(cluster->window) < 1) return kBadWindow;
    const int64_t n = Length(signal);
    if (n < Length(cluster->window)) return kEmptyInput;
    Window window;
    if (const int32_t status = window.Check(cluster, WindowRule::kBasic)) return status;
    if (!reassigned) return kEmptyInput;

    const int64_t rows = (n - window.length()) / window.step() + 1;
    const int32_t columns = kind.complex ? window.bins() : window.bins() / 2;
    if (const int32_t status = out.Prepare(RHOMBEL_TYPE_DOUBLE, static_cast<int32_t>(rows), columns,
                                           Record(n, SPT_LAYOUT_REAL, window)))
        return status;
    HostDoubles x;
    if (!x.Read(hostbind::Elements(signal, 1), static_cast<std::size_t>(n * kind.doubles)) ||
        !window.Load())
        return out.Settle(kNoMemory);

    using Spectrogram = int32_t (*)(const double*, int32_t, const StftParams*, double*);
    const Spectrogram spectrogram = kind.complex ? (*reassigned ? CxReassignedSTFTSp : CxSTFTsp)
                                                 : (*reassigned ? ReReassignedSTFTSp : ReSTFTsp);
    return out.Settle(spectrogram(x.get(), static_cast<int32_t>(n), window.params(), Doubles(out)));
}

int32_t GaborTransform(int32_t ref, HostArrayHandle signal, const SptWindowCluster* cluster,
                       const SignalKind& kind) noexcept {
    LockedRef out(ref);
    if (!out.valid()) return kInvalidReference;
    const int64_t n = Length(signal);
    if (n < 1) return kEmptyInput;
    Window window;
    if (const int32_t status = window.Check(cluster, WindowRule::kLattice)) return status;
    if (window.step() > window.bins()) return kBadWindow;

    const int64_t rows = (window.step() - 1 + n) / window.step();
    if (rows * window.bins() > kMaxLength) return kNoMemory;
    if (const int32_t status = out.Prepare(kind.refType, static_cast<int32_t>(rows), window.bins(),
                                           Record(n, kind.layout, window)))
        return status;
    HostDoubles x;
    if (!x.Read(hostbind::Elements(signal, 1), static_cast<std::size_t>(n * kind.doubles)) ||
        !window.Load())
        return out.Settle(kNoMemory);
    const auto length = static_cast<int32_t>(n);
    return out.Settle(kind.complex ? CxDGT(x.get(), length, window.params(), Doubles(out))
                                   : ReDGT(x.get(), length, window.params(), Doubles(out)));
}

// Gabor expansion of the coefficients stored in `ref` into a signal of the
// stored length (or rows x time step when that is not usable).
int32_t GaborExpansion(int32_t ref, HostArrayHandle signalOut, const SptWindowCluster* cluster,
                       const SignalKind& kind) noexcept {
    LockedRef in(ref);
    if (!in.valid()) return kInvalidReference;
    Window window;
    if (const int32_t status = window.Check(cluster, WindowRule::kLattice)) return status;
    if (window.bins() < window.step()) return kSynthesisBinsBelowStep;
    if (!signalOut) return kEmptyInput;
    int32_t rows = 0;
    int32_t columns = 0;
    SptRefGetDim(ref, &rows, &columns);
    if (rows < 1 || columns < 1) return kEmptyInput;
    const int32_t layout = in.info().layout;
    if (layout != SPT_LAYOUT_COMPLEX && layout != SPT_LAYOUT_HALF_COMPLEX) return kUnsupportedData;
    // A stored type that does not match the layout would be read past its end.
    if (SptRefGetDataType(ref) != StoredType(layout)) return kUnsupportedData;

    const int64_t synthesised = int64_t{rows} * window.step();
    const int64_t stored = in.info().signalLength;
    const int64_t m = stored < 1 || stored > synthesised ? synthesised : stored;
    if (m > kMaxLength) return kNoMemory;
    const auto length = static_cast<int32_t>(m);

    HostOutput out(signalOut, kind.hostType, 1);
    if (const int32_t status = out.Resize({length})) return out.Finish(status);
    if (!window.Load()) return out.Finish(kNoMemory);
    const auto* coefficients = static_cast<const double*>(in.Data());

    if (kind.complex && layout == SPT_LAYOUT_COMPLEX) {
        HostDoublesOut samples;
        if (!samples.Open(out.Elements(), 2 * static_cast<std::size_t>(m)))
            return out.Finish(kNoMemory);
        const int32_t status =
            CxDGE(coefficients, rows, columns, window.params(), samples.get(), length);
        if (status == kOk) samples.Store();
        return out.Finish(status);
    }

    // The real expansion, of half-complex rows (complex ones converted first).
    scratch::Array<double> halfComplex;
    if (layout == SPT_LAYOUT_COMPLEX) {
        if (!halfComplex.Reset(static_cast<std::size_t>(rows) * columns))
            return out.Finish(kNoMemory);
        for (int32_t r = 0; r < rows; ++r)
            _Cx2Hc(coefficients + 2 * static_cast<std::size_t>(r) * columns,
                   halfComplex.get() + static_cast<std::size_t>(r) * columns, columns);
        coefficients = halfComplex.get();
    }
    scratch::Array<double> widened;
    HostDoublesOut samples;
    if (kind.complex ? !widened.Reset(static_cast<std::size_t>(m))
                     : !samples.Open(out.Elements(), static_cast<std::size_t>(m)))
        return out.Finish(kNoMemory);
    double* target = kind.complex ? widened.get() : samples.get();
    const int32_t status = ReDGE(coefficients, rows, columns, window.params(), target, length);
    if (status != kOk) return out.Finish(status);
    if (!kind.complex) {
        samples.Store();
    } else {
        std::byte* element = out.Elements();
        for (int64_t i = 0; i < m; ++i, element += 2 * sizeof(double)) {
            const double value[2] = {widened[static_cast<std::size_t>(i)], 0.0};
            std::memcpy(element, value, sizeof value);
        }
    }
    return out.Finish(kOk);
}

int32_t Expansion(int32_t ref, HostArrayHandle complexOut, HostArrayHandle realOut,
                  const SptWindowCluster* cluster, const uint8_t* real) noexcept {
    if (!complexOut || !realOut || !real) return kEmptyInput;
    int32_t status;
    if (*real) {
        hostbind::EmptyArray(&complexOut, LMRT_TYPE_COMPLEX128, 1);
        status = GaborExpansion(ref, realOut, cluster, kReal);
    } else {
        hostbind::EmptyArray(&realOut, LMRT_TYPE_DOUBLE, 1);
        status = GaborExpansion(ref, complexOut, cluster, kComplex);
    }
    if (status != kOk) {
        hostbind::EmptyArray(&complexOut, LMRT_TYPE_COMPLEX128, 1);
        hostbind::EmptyArray(&realOut, LMRT_TYPE_DOUBLE, 1);
    }
    return status;
}

int64_t Frames(int32_t length, const Window& window) noexcept {
    return (int64_t{window.step()} - 1 + length) / window.step();
}

// The row and the column window of a two-dimensional transform.
int32_t CheckPlain(const SptWindowCluster* rowCluster, const SptWindowCluster* columnCluster,
                   Window& rows, Window& columns) noexcept {
    if (const int32_t status = rows.Check(rowCluster, WindowRule::kPlain)) return status;
    return columns.Check(columnCluster, WindowRule::kPlain);
}

int32_t GaborTransform2d(HostArrayHandle image, const SptWindowCluster* rowCluster,
                         const SptWindowCluster* columnCluster,
                         HostArrayHandle coefficientsOut) noexcept {
    if (!coefficientsOut) return kEmptyInput;
    HostOutput out(coefficientsOut, LMRT_TYPE_COMPLEX128, 4);
    int32_t size[2];
    hostbind::ReadSizes(image, 2, size);
    if (size[0] < 1 || size[1] < 1) return out.Finish(kEmptyInput);
    Window rows;
    Window columns;
    if (const int32_t status = CheckPlain(rowCluster, columnCluster, rows, columns))
        return out.Finish(status);

    const int64_t m1 = Frames(size[0], rows);
    const int64_t m2 = Frames(size[1], columns);
    const int64_t count = m1 * rows.bins() * m2 * columns.bins();
    if (m1 * rows.bins() > kMaxLength || count > kMaxLength) return out.Finish(kNoMemory);
    if (const int32_t status = out.Resize(
            {static_cast<int32_t>(m1), rows.bins(), static_cast<int32_t>(m2), columns.bins()}))
        return out.Finish(status);
    HostDoubles pixels;
    HostDoublesOut coefficients;
    if (!pixels.Read(hostbind::Elements(image, 2), static_cast<std::size_t>(size[0]) * size[1]) ||
        !coefficients.Open(out.Elements(), 2 * static_cast<std::size_t>(count)) || !rows.Load() ||
        !columns.Load())
        return out.Finish(kNoMemory);
    const int32_t status =
        DGT2d(pixels.get(), size[0], size[1], rows.params(), columns.params(), coefficients.get());
    if (status == kOk) coefficients.Store();
    return out.Finish(status);
}

int32_t GaborExpansion2d(HostArrayHandle coefficientsIn, const SptWindowCluster* rowCluster,
                         const SptWindowCluster* columnCluster, HostArrayHandle imageOut,
                         int32_t imageRows, int32_t imageColumns) noexcept {
    if (!imageOut) return kEmptyInput;
    HostOutput out(imageOut, LMRT_TYPE_DOUBLE, 2);
    int32_t size[4];
    hostbind::ReadSizes(coefficientsIn, 4, size);
    for (const int32_t s : size)
        if (s < 1) return out.Finish(kEmptyInput);
    Window rows;
    Window columns;
    if (const int32_t status = CheckPlain(rowCluster, columnCluster, rows, columns))
        return out.Finish(status);
    if (imageRows < 1 || imageColumns < 1) return out.Finish(kEmptyInput);

    int64_t count = 1;
    for (const int32_t s : size) count *= s;
    if (count > kMaxLength) return out.Finish(kNoMemory);
    if (const int32_t status = out.Resize({imageRows, imageColumns})) return out.Finish(status);
    HostDoubles coefficients;
    HostDoublesOut pixels;
    if (!coefficients.Read(hostbind::Elements(coefficientsIn, 4),
                           2 * static_cast<std::size_t>(count)) ||
        !pixels.Open(out.Elements(), static_cast<std::size_t>(imageRows) * imageColumns) ||
        !rows.Load() || !columns.Load())
        return out.Finish(kNoMemory);
    const int32_t status =
        DGE2d(coefficients.get(), size[0], size[1], size[2], size[3], rows.params(),
              columns.params(), pixels.get(), imageRows, imageColumns);
    if (status == kOk) pixels.Store();
    return out.Finish(status);
}

int32_t DualWindow(const SptWindowCluster* cluster, const int32_t* parameter,
                   HostArrayHandle dualOut) noexcept {
    if (!dualOut) return kEmptyInput;
    HostOutput out(dualOut, LMRT_TYPE_DOUBLE, 1);
    Window window;
    if (window.Check(cluster, WindowRule::kLattice) != kOk || window.bins() < window.step())
        return out.Finish(kBadWindow);
    if (!parameter) return out.Finish(kEmptyInput);
    if (const int32_t status = out.Resize({window.length()})) return out.Finish(status);
    HostDoublesOut dual;
    if (!dual.Open(out.Elements(), static_cast<std::size_t>(window.length())) || !window.Load())
        return out.Finish(kNoMemory);
    const StftParams* p = window.params();
    const int32_t status =
        FastDual(p->window, p->windowLength, p->timeStep, p->freqBins, *parameter, dual.get());
    if (status == kOk) dual.Store();
    return out.Finish(status);
}

}  // namespace
}  // namespace kessling

using hostbind::MapStatus;
using kessling::kComplex;
using kessling::kReal;

extern "C" {

int32_t SptReSTFTWithICH(int32_t ref, HostArrayHandle signal, const SptWindowCluster* window,
                         HostArrayHandle carryOver, int32_t* shift) {
    return MapStatus(kessling::StreamStft(ref, signal, window, carryOver, shift, kReal));
}

int32_t SptCxSTFTWithICH(int32_t ref, HostArrayHandle signal, const SptWindowCluster* window,
                         HostArrayHandle carryOver, int32_t* shift) {
    return MapStatus(kessling::StreamStft(ref, signal, window, carryOver, shift, kComplex));
}

int32_t SptReSTFTSpH(int32_t ref, HostArrayHandle signal, const SptWindowCluster* window,
                     const uint8_t* reassigned) {
    return MapStatus(kessling::StftSpectrogram(ref, signal, window, reassigned, kReal));
}

int32_t SptCxSTFTSpH(int32_t ref, HostArrayHandle signal, const SptWindowCluster* window,
                     const uint8_t* reassigned) {
    return MapStatus(kessling::StftSpectrogram(ref, signal, window, reassigned, kComplex));
}

int32_t SptReDGTH(int32_t ref, HostArrayHandle signal, const SptWindowCluster* window) {
    return MapStatus(kessling::GaborTransform(ref, signal, window, kReal));
}

int32_t SptCxDGTH(int32_t ref, HostArrayHandle signal, const SptWindowCluster* window) {
    return MapStatus(kessling::GaborTransform(ref, signal, window, kComplex));
}

int32_t SptReDGEH(int32_t ref, HostArrayHandle signalOut, const SptWindowCluster* window) {
    return MapStatus(kessling::GaborExpansion(ref, signalOut, window, kReal));
}

int32_t SptCxDGEH(int32_t ref, HostArrayHandle signalOut, const SptWindowCluster* window) {
    return MapStatus(kessling::GaborExpansion(ref, signalOut, window, kComplex));
}

int32_t SptDGEH(int32_t ref, HostArrayHandle complexOut, HostArrayHandle realOut,
                const SptWindowCluster* window, const uint8_t* real) {
    return MapStatus(kessling::Expansion(ref, complexOut, realOut, window, real));
}

int32_t SptDGT2DH(HostArrayHandle image, const SptWindowCluster* rowWindow,
                  const SptWindowCluster* columnWindow, HostArrayHandle coefficientsOut) {
    return MapStatus(kessling::GaborTransform2d(image, rowWindow, columnWindow, coefficientsOut));
}

int32_t SptDGE2DH(HostArrayHandle coefficients, const SptWindowCluster* rowWindow,
                  const SptWindowCluster* columnWindow, HostArrayHandle imageOut, int32_t rows,
                  int32_t columns) {
    return MapStatus(
        kessling::GaborExpansion2d(coefficients, rowWindow, columnWindow, imageOut, rows, columns));
}

int32_t SptFastDualH(const SptWindowCluster* window, const int32_t* parameter,
                     HostArrayHandle dualOut) {
    return MapStatus(kessling::DualWindow(window, parameter, dualOut));
}

}  // extern "C"
