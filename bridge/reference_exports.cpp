// Exports through which the host creates, copies, inspects, reads and writes
// references.

#include <cstddef>
#include <cstring>
#include <optional>

#include "binding.h"
#include "host_arrays.h"
#include "host_status.h"
#include "kessling.h"
#include "mornavel.h"
#include "reference.h"
#include "rhombel.h"
#include "scratch.h"
#include "status.h"

namespace kessling {
namespace {

constexpr int32_t kComplexBytes = 2 * sizeof(double);

// Copies a row of `count` elements so that target element j is source element
// (j + shift) mod count. Centring a stored row uses shift = count - count/2 and
// the host-to-stored direction count/2: for an even count both exchange the
// halves, for an odd one they stay each other's inverse.
void RotateRow(std::byte* target, const std::byte* source, int32_t count, int32_t elementBytes,
               int32_t shift) noexcept {
    const std::size_t head = static_cast<std::size_t>(count - shift) * elementBytes;
    const std::size_t tail = static_cast<std::size_t>(shift) * elementBytes;
    std::memcpy(target, source + tail, head);
    std::memcpy(target + head, source, tail);
}

void EmptyMatrices(HostArrayHandle* realOut, HostArrayHandle* complexOut) noexcept {
    hostbind::EmptyArray(realOut, LMRT_TYPE_DOUBLE, 2);
    hostbind::EmptyArray(complexOut, LMRT_TYPE_COMPLEX128, 2);
}

int32_t GetParam(int32_t ref, bool centred, int32_t* rowsOut, int32_t* columnsOut,
                 SptParamCluster* paramsOut) noexcept {
    // Locked, unlike a plain size query: another thread may replace the record.
    LockedRef locked(ref);
    if (!locked.valid()) return kInvalidReference;
    if (!rowsOut || !columnsOut || !paramsOut) return kEmptyInput;
    SptRefGetDim(ref, rowsOut, columnsOut);
    const TavikInfo& info = locked.info();
    const int64_t first = centred ? int64_t{info.firstFrequency} - info.frequencyBins / 2
                                  : int64_t{info.firstFrequency};
    *paramsOut = SptParamCluster{info.layout, info.signalLength, info.timeStep, info.frequencyBins,
                                 static_cast<int32_t>(first)};
    return kOk;
}

int32_t GetSize(int32_t ref, int32_t* rowsOut, int32_t* columnsOut) noexcept {
    LockedRef locked(ref);
    if (!locked.valid()) return kInvalidReference;
    if (!rowsOut || !columnsOut) return kEmptyInput;
    SptRefGetDim(ref, rowsOut, columnsOut);
    return kOk;
}

int32_t Dispose(int32_t ref) noexcept {
    LockedRef locked(ref);
    if (!locked.valid()) return kInvalidReference;
    locked.Dispose();
    return kOk;
}

int32_t Copy(int32_t source, int32_t* destination) noexcept {
    if (!IsBridgeReference(source)) return kInvalidReference;
    if (!destination) return kEmptyInput;
    // Made before anything changes, so that a failure leaves the destination as it was;
    // filled from the source's record under its lock.
    TavikInfoOwner record(NewTavikInfo());
    if (!record.get()) return kNoMemory;
    if (!IsBridgeReference(*destination)) {
        const int32_t status = CreateReference(destination);
        if (status != kOk) return status;
    }
    LockedPair both(source, *destination);
    LockedRef& from = both.first();
    LockedRef& to = both.second();
    // Another thread may have ended either reference meanwhile.
    if (!from.valid()) return kInvalidReference;
    if (!to.valid()) return kReferenceNotMade;
    *record.get() = from.info();
    if (SptRefReplicate(source, destination) != RHOMBEL_OK) return kReferenceNotMade;
    to.Attach(record);
    return kOk;
}

int32_t GetData(int32_t ref, bool centred, HostArrayHandle realOut,
                HostArrayHandle complexOut) noexcept {
    LockedRef locked(ref);
    if (!locked.valid()) return kInvalidReference;
    // The host would make an array for a null handle that the caller never sees.
    if (!realOut || !complexOut) return kEmptyInput;
    const int32_t type = SptRefGetDataType(ref);
    if (type != RHOMBEL_TYPE_DOUBLE && type != RHOMBEL_TYPE_COMPLEX128) return kUnsupportedData;
    const int32_t layout = locked.info().layout;
    // A type that does not match the layout would make the copy overrun the buffer.
    if (StoredType(layout) != type) return kUnsupportedData;
    int32_t rows = 0;
    int32_t columns = 0;
    SptRefGetDim(ref, &rows, &columns);

    const bool real = layout == SPT_LAYOUT_REAL;
    const bool halfComplex = layout == SPT_LAYOUT_HALF_COMPLEX;
    scratch::Array<double> unpacked;
    if (halfComplex && columns > 0 && !unpacked.Reset(2 * static_cast<std::size_t>(columns))) {
        EmptyMatrices(&realOut, &complexOut);
        return kNoMemory;
    }
    HostArrayHandle& out = real ? realOut : complexOut;
    const int32_t outType = real ? LMRT_TYPE_DOUBLE : LMRT_TYPE_COMPLEX128;
    const int32_t status = hostbind::ResizeArray(&out, outType, {rows, columns});
    if (status != 0) {
        EmptyMatrices(&realOut, &complexOut);
        return status;
    }

    const int32_t elementBytes = LMRTElementSize(outType);
    const std::size_t rowBytes = static_cast<std::size_t>(columns) * elementBytes;
    const int32_t shift = centred ? columns - columns / 2 : 0;
    const auto* stored = static_cast<const std::byte*>(SptRefGetDataPtr(ref));
    std::byte* target = hostbind::Elements(out, 2);
    for (int32_t row = 0; columns > 0 && row < rows; ++row, target += rowBytes) {
        if (halfComplex) {
            const auto* hc =
                reinterpret_cast<const double*>(stored) + static_cast<std::size_t>(row) * columns;
            _Hc2Cx(hc, unpacked.get(), columns);
            RotateRow(target, reinterpret_cast<const std::byte*>(unpacked.get()), columns,
                      kComplexBytes, shift);
        } else {
            RotateRow(target, stored + row * rowBytes, columns, elementBytes, shift);
        }
    }
    if (real)
        hostbind::EmptyArray(&complexOut, LMRT_TYPE_COMPLEX128, 2);
    else
        hostbind::EmptyArray(&realOut, LMRT_TYPE_DOUBLE, 2);
    return kOk;
}

int32_t SetData(int32_t ref, bool centred, HostArrayHandle realIn, HostArrayHandle complexIn,
                const SptInfoCluster* params) noexcept {
    LockedRef locked(ref);
    if (!locked.valid()) return kInvalidReference;
    if (!params) return kEmptyInput;
    const int32_t layout = params->layout;
    const int32_t type = StoredType(layout);
    if (type == 0) return kUnsupportedData;
    const bool halfComplex = layout == SPT_LAYOUT_HALF_COMPLEX;
    const HostArrayHandle in = layout == SPT_LAYOUT_REAL ? realIn : complexIn;
    int32_t sizes[2];
    hostbind::ReadSizes(in, 2, sizes);
    const int32_t rows = sizes[0];
    const int32_t columns = sizes[1];
    if (rows < 0 || columns < 0) return kEmptyInput;

    // Everything that can run out of memory first, so that such a failure changes nothing.
    scratch::Array<double> row;
    if (halfComplex && columns > 0 && !row.Reset(2 * static_cast<std::size_t>(columns)))
        return kNoMemory;
    TavikInfoOwner record(
        NewTavikInfo(TavikInfo{kTavikTag, params->signalLength, layout, params->timeStep,
                               params->frequencyBins, params->firstFrequency, params->order}));
    if (!record.get()) return kNoMemory;

    locked.Attach(record);
    if (SptRefInitAndResize(ref, type, rows, columns) != RHOMBEL_OK) {
        SptRefInitAndResize(ref, type, 0, 0);
        return kReferenceNotMade;
    }

    const int32_t hostBytes = layout == SPT_LAYOUT_REAL ? sizeof(double) : kComplexBytes;
    const std::size_t hostRowBytes = static_cast<std::size_t>(columns) * hostBytes;
    const int32_t shift = centred ? columns / 2 : 0;
    const std::byte* source = hostbind::Elements(in, 2);
    auto* stored = static_cast<std::byte*>(SptRefGetDataPtr(ref));
    for (int32_t r = 0; columns > 0 && r < rows; ++r, source += hostRowBytes) {
        if (halfComplex) {
            RotateRow(reinterpret_cast<std::byte*>(row.get()), source, columns, kComplexBytes,
                      shift);
            _Cx2Hc(row.get(),
                   reinterpret_cast<double*>(stored) + static_cast<std::size_t>(r) * columns,
                   columns);
        } else {
            RotateRow(stored + r * hostRowBytes, source, columns, hostBytes, shift);
        }
    }
    return kOk;
}

}  // namespace
}  // namespace kessling

using hostbind::MapStatus;

extern "C" {

LMRTModule SetLMRTModule(LMRTModule module) { return hostbind::SetModule(module); }

int32_t SptCreateRefH(int32_t* refOut) {
    if (!refOut) return MapStatus(kessling::kEmptyInput);
    return MapStatus(kessling::CreateReference(refOut));
}

int32_t SptDisposeRefH(int32_t ref) { return MapStatus(kessling::Dispose(ref)); }

int32_t SptCopyRefH(int32_t source, int32_t* destination) {
    return MapStatus(kessling::Copy(source, destination));
}

int32_t SptGetParamH(int32_t ref, uint8_t centred, int32_t* rowsOut, int32_t* columnsOut,
                     SptParamCluster* paramsOut) {
    return MapStatus(kessling::GetParam(ref, centred != 0, rowsOut, columnsOut, paramsOut));
}

int32_t SptGetSizeH(int32_t ref, int32_t* rowsOut, int32_t* columnsOut) {
    return MapStatus(kessling::GetSize(ref, rowsOut, columnsOut));
}

int32_t SptGetDataH(int32_t ref, uint8_t centred, HostArrayHandle realOut,
                    HostArrayHandle complexOut) {
    return MapStatus(kessling::GetData(ref, centred != 0, realOut, complexOut));
}

int32_t SptSetDataH(int32_t ref, uint8_t centred, HostArrayHandle realIn, HostArrayHandle complexIn,
                    const SptInfoCluster* params) {
    return MapStatus(kessling::SetData(ref, centred != 0, realIn, complexIn, params));
}

}  // extern "C"
