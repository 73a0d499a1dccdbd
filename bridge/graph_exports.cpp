// Display of a stored result as a power matrix or an 8-bit intensity image, and
// binary masking of the stored cells.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "binding.h"
#include "host_arrays.h"
#include "host_data.h"
#include "host_status.h"
#include "kessling.h"
#include "kessling_host.h"
#include "reference.h"
#include "rhombel.h"
#include "scratch.h"
#include "status.h"

namespace kessling {
namespace {

constexpr int kHistogramBins = 1000;
constexpr double kDecibelFloor = 1e-7;     // 70 dB below the peak
constexpr double kLevelStep = 0.00390625;  // 1/256 of the range per level

// The cells a stored result shows: R x C, or R x ceil(C/2) bins of half-complex rows.
struct DisplayGrid {
    int32_t layout;
    int32_t rows;
    int32_t storedColumns;
    int32_t columns;
};

// Reads the grid of a locked reference; false when its layout (or a stored
// type that does not match it) is not displayable.
bool ReadGrid(const LockedRef& ref, DisplayGrid& grid) noexcept {
    grid.layout = ref.info().layout;
    const int32_t type = StoredType(grid.layout);
    if (type == 0 || SptRefGetDataType(ref.ref()) != type) return false;
    SptRefGetDim(ref.ref(), &grid.rows, &grid.storedColumns);
    grid.columns = grid.layout == SPT_LAYOUT_HALF_COMPLEX
                       ? static_cast<int32_t>((int64_t{grid.storedColumns} + 1) / 2)
                       : grid.storedColumns;
    return true;
}

void Power(const double* stored, const DisplayGrid& grid, double* power) noexcept {
    const std::size_t c = static_cast<std::size_t>(grid.storedColumns);
    for (int32_t r = 0; r < grid.rows; ++r) {
        const double* x =
            stored + static_cast<std::size_t>(r) * c * (grid.layout == SPT_LAYOUT_COMPLEX ? 2 : 1);
        double* p = power + static_cast<std::size_t>(r) * grid.columns;
        switch (grid.layout) {
            case SPT_LAYOUT_REAL:
                std::copy(x, x + c, p);
                break;
            case SPT_LAYOUT_COMPLEX:
                for (std::size_t k = 0; k < c; ++k)
                    p[k] = x[2 * k] * x[2 * k] + x[2 * k + 1] * x[2 * k + 1];
                break;
            default:
                p[0] = x[0] * x[0];
                for (std::size_t k = 1; k < static_cast<std::size_t>(grid.columns); ++k)
                    p[k] = x[k] * x[k] + x[c - k] * x[c - k];
                break;
        }
    }
}

void CentreRows(double* values, int32_t rows, int32_t columns) noexcept {
    const int32_t half = columns / 2;
    for (int32_t r = 0; r < rows; ++r) {
        double* row = values + static_cast<std::size_t>(r) * columns;
        std::swap_ranges(row, row + half, row + half);
    }
}

// Decibels of every value, at most 70 dB below the first largest value.
void ToDecibels(double* values, std::size_t count) noexcept {
    if (count == 0) return;
    const double floor = *std::max_element(values, values + count) * kDecibelFloor;
    for (std::size_t i = 0; i < count; ++i)
        values[i] = 10.0 * std::log10(values[i] < floor ? floor : values[i]);
}

bool NearlyEqual(double lo, double hi) noexcept {
    if (hi == 0.0) return lo == 0.0;
    return std::fabs((lo - hi) / hi) < 1e-10;
}

// Maps the values into bytes with 256 levels over [lo, hi], after clipping the
// given fractions of the values at the bottom and at the top by a histogram.
// The level scale goes to *levelAxis.
void MapIntensity(const double* v, std::size_t n, double topFraction, double bottomFraction,
                  std::byte* image, SptAxis& levelAxis) noexcept {
    double lo = 0.0;
    double hi = 0.0;
    std::size_t finite = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (!std::isfinite(v[i])) continue;
        lo = finite == 0 ? v[i] : std::min(lo, v[i]);
        hi = finite == 0 ? v[i] : std::max(hi, v[i]);
        ++finite;
    }
    std::memset(image, 0, n);
    if (finite == 0) {
        // No value has a level: a blank image on the unit scale.
        levelAxis = SptAxis{0.0, 1.0};
        return;
    }

    const double b = bottomFraction >= 0.0 && bottomFraction < 1.0 ? bottomFraction : 0.0;
    const double t = topFraction >= 0.0 && topFraction < 1.0 - b ? topFraction : 0.0;
    const auto nt = static_cast<int64_t>(t * static_cast<double>(n));
    const auto nb = static_cast<int64_t>(b * static_cast<double>(n));
    if (!NearlyEqual(lo, hi) && (nt != 0 || nb != 0)) {
        std::array<int64_t, kHistogramBins> counts{};
        const double w = (hi - lo) / kHistogramBins;
        for (std::size_t i = 0; i < n; ++i) {
            if (!std::isfinite(v[i])) continue;
            const auto bin = static_cast<int64_t>((v[i] - lo) / w);
            ++counts[static_cast<std::size_t>(std::clamp<int64_t>(bin, 0, kHistogramBins - 1))];
        }
        const double lowest = lo;
        const auto centre = [&](int j) { return lowest + w * (j + 0.5); };
        // Non-finite values count in n but not in the histogram, so a sum may
        // never reach its count: then the whole range is clipped away.
        if (nb > 0) {
            int64_t s = 0;
            int j = 0;
            while (j < kHistogramBins && (s += counts[j]) < nb) ++j;
            lo = j < kHistogramBins ? centre(j) + w * (0.5 - static_cast<double>(s - nb) /
                                                                 static_cast<double>(counts[j]))
                                    : hi;
        }
        if (nt > 0) {
            int64_t s = 0;
            int j = kHistogramBins - 1;
            while (j >= 0 && (s += counts[j]) < nt) --j;
            hi = j >= 0
                     ? centre(j) +
                           w * (static_cast<double>(s - nt) / static_cast<double>(counts[j]) - 0.5)
                     : lowest;
        }
    }
    // A range clipped down to nothing (or turned round) shows as one level.
    if (NearlyEqual(lo, hi) || lo > hi) {
        levelAxis = SptAxis{lo, 1.0};
        return;
    }
    const double q = (hi - lo) * kLevelStep;
    const double scale = 1.0 / q;
    levelAxis = SptAxis{lo + q / 2, q};
    for (std::size_t i = 0; i < n; ++i) {
        if (!std::isfinite(v[i])) continue;
        const double level = std::floor((v[i] - lo) * scale);
        image[i] = static_cast<std::byte>(level < 0.0 ? 0 : level > 255.0 ? 255 : level);
    }
}

int32_t GetGraph(int32_t ref, bool centred, const uint8_t* keepValues, const uint8_t* decibel,
                 double topFraction, double bottomFraction, HostArrayHandle graphOut,
                 HostArrayHandle imageOut, SptAxis* timeAxis, SptAxis* frequencyAxis,
                 SptAxis* levelAxis) noexcept {
    LockedRef locked(ref);
    if (!locked.valid()) return kInvalidReference;
    if (!keepValues || !decibel || !graphOut || !imageOut) return kEmptyInput;
    HostOutput graph(graphOut, LMRT_TYPE_DOUBLE, 2);
    HostOutput image(imageOut, LMRT_TYPE_UINT8, 2);
    DisplayGrid grid{};
    if (!ReadGrid(locked, grid)) return graph.Finish(image.Finish(kUnsupportedData));
    if (const int32_t status = graph.Resize({grid.rows, grid.columns}))
        return graph.Finish(image.Finish(status));

    const TavikInfo& info = locked.info();
    const double binStep = 1.0 / info.frequencyBins;
    if (timeAxis) *timeAxis = SptAxis{0.0, static_cast<double>(info.timeStep)};
    if (frequencyAxis) *frequencyAxis = SptAxis{info.firstFrequency * binStep, binStep};
    SptAxis levels{0.0, 1.0};

    const std::size_t cells = static_cast<std::size_t>(grid.rows) * grid.columns;
    HostDoublesOut power;
    if (!power.Open(graph.Elements(), cells)) return graph.Finish(image.Finish(kNoMemory));
    if (cells > 0) {
        Power(static_cast<const double*>(locked.Data()), grid, power.get());
        if (centred) CentreRows(power.get(), grid.rows, grid.columns);
        if (*decibel) ToDecibels(power.get(), cells);
    }

    if (*keepValues) {
        power.Store();
        if (levelAxis) *levelAxis = levels;
        return graph.Finish(kOk);  // the image, never finished, is emptied
    }
    if (const int32_t status = image.Resize({grid.rows, grid.columns}))
        return graph.Finish(image.Finish(status));
    MapIntensity(power.get(), cells, topFraction, bottomFraction, image.Elements(), levels);
    if (levelAxis) *levelAxis = levels;
    return image.Finish(kOk);  // the graph, never finished, is emptied
}

int32_t BinaryMask(int32_t ref, HostArrayHandle mask) noexcept {
    LockedRef locked(ref);
    if (!locked.valid()) return kInvalidReference;
    DisplayGrid grid{};
    if (!ReadGrid(locked, grid)) return kUnsupportedData;
    int32_t maskSize[2];
    hostbind::ReadSizes(mask, 2, maskSize);
    const int32_t rows = hostbind::Min(grid.rows, maskSize[0]);
    const int32_t columns = hostbind::Min(grid.columns, maskSize[1]);
    const std::byte* maskBytes = hostbind::Elements(mask, 2);
    auto* stored = static_cast<double*>(locked.Data());
    const std::size_t c = static_cast<std::size_t>(grid.storedColumns);
    for (int32_t r = 0; r < rows; ++r) {
        const std::byte* m = maskBytes + static_cast<std::size_t>(r) * maskSize[1];
        double* x =
            stored + static_cast<std::size_t>(r) * c * (grid.layout == SPT_LAYOUT_COMPLEX ? 2 : 1);
        for (int32_t k = 0; k < columns; ++k) {
            if (m[k] != std::byte{0}) continue;
            switch (grid.layout) {
                case SPT_LAYOUT_REAL:
                    x[k] = 0.0;
                    break;
                case SPT_LAYOUT_COMPLEX:
                    x[2 * k] = x[2 * k + 1] = 0.0;
                    break;
                default:
                    x[k] = 0.0;
                    if (k > 0) x[c - k] = 0.0;
                    break;
            }
        }
    }
    return kOk;
}

}  // namespace
}  // namespace kessling

extern "C" {

int32_t SptGetGraphH(int32_t ref, uint8_t centred, const uint8_t* keepValues,
                     const uint8_t* decibel, double topFraction, double bottomFraction,
                     HostArrayHandle graph, HostArrayHandle image, SptAxis* timeAxis,
                     SptAxis* frequencyAxis, SptAxis* levelAxis) {
    return hostbind::MapStatus(kessling::GetGraph(ref, centred != 0, keepValues, decibel,
                                                  topFraction, bottomFraction, graph, image,
                                                  timeAxis, frequencyAxis, levelAxis));
}

int32_t SptBinanryMaskH(int32_t ref, HostArrayHandle mask) {
    return hostbind::MapStatus(kessling::BinaryMask(ref, mask));
}

}  // extern "C"
