// SptGetMaskH: the region editor of the host's time-frequency filter. A click
// at a seed pixel creates, grows, shrinks or deletes a region of an 8-bit label
// image, judged by a level map of the same size and one threshold level per
// region.
//
// The whole edit is computed in scratch memory from copies of the inputs, and
// only then are the outputs sized and written, so that the host may pass the
// same handles as inputs and outputs and so that exhausted memory (a scratch
// allocation or a host resize failing) leaves the host's label image and region
// levels as they were: the outputs become copies of the inputs, never a
// half-written image. The export reports no failure.
//
// Label bytes are read unsigned (regions 1 ... 255). A label above the number of
// region levels K names no region: the methods read it as 0, so a click on it
// is a click outside every region, a fill may cover it, and an image that the
// call changes comes back with such labels cleared (a call that changes nothing
// returns the image as it was). A create that would need label 256 is refused.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

#include "host_arrays.h"
#include "host_status.h"
#include "kessling.h"
#include "scratch.h"
#include "status.h"

namespace kessling {
namespace {

constexpr int32_t kCreateOrGrow = 0;
constexpr int32_t kShrink = 1;
constexpr int kLabelCount = 256;  // label values of an 8-bit image, 0 included
constexpr double kTopShrinkLevel = 255.0;
constexpr std::size_t kMinQueueSeeds = 1024;
constexpr std::size_t kQueueGrowth = 4;

// First-in first-out list of pixel indices in a ring of slots. It grows
// fourfold when full, so no entry is ever dropped; a growth that cannot be
// allocated is reported and the queue stays as it was.
class PixelQueue {
  public:
    // Room for four times the larger of the seed count and 1024 entries.
    bool Start(std::size_t seeds) noexcept {
        const std::size_t larger = std::max(seeds, kMinQueueSeeds);
        if (larger > std::numeric_limits<std::size_t>::max() / kQueueGrowth) return false;
        capacity_ = larger * kQueueGrowth;
        head_ = 0;
        count_ = 0;
        return slots_.Reset(capacity_);
    }

    bool Push(std::size_t pixel) noexcept {
        if (count_ == capacity_ && !Grow()) return false;
        slots_[(head_ + count_) % capacity_] = pixel;
        ++count_;
        return true;
    }

    bool Pop(std::size_t* pixel) noexcept {
        if (count_ == 0) return false;
        *pixel = slots_[head_];
        head_ = (head_ + 1) % capacity_;
        --count_;
        return true;
    }

  private:
    bool Grow() noexcept {
        if (capacity_ > std::numeric_limits<std::size_t>::max() / kQueueGrowth) return false;
        const std::size_t capacity = capacity_ * kQueueGrowth;
        scratch::Array<std::size_t> slots(capacity);
        if (!slots) return false;
        for (std::size_t i = 0; i < count_; ++i) slots[i] = slots_[(head_ + i) % capacity_];
        slots_ = std::move(slots);
        capacity_ = capacity;
        head_ = 0;
        return true;
    }

    scratch::Array<std::size_t> slots_;
    std::size_t capacity_ = 0;
    std::size_t head_ = 0;
    std::size_t count_ = 0;
};

// Breadth-first fill over the 4-neighbourhood from the queued seeds: a pixel
// that is reached unmarked is marked and its neighbours are examined; an
// unmarked neighbour is queued when accept(neighbour) holds. False when the
// queue cannot grow.
template <class Accept>
bool Fill(PixelQueue& queue, uint8_t* marked, int32_t rows, int32_t columns,
          Accept&& accept) noexcept {
    const auto width = static_cast<std::size_t>(columns);
    const std::size_t last = static_cast<std::size_t>(rows) * width - width;
    std::size_t pixel = 0;
    while (queue.Pop(&pixel)) {
        if (marked[pixel]) continue;
        marked[pixel] = 1;
        const std::size_t column = pixel % width;
        const auto visit = [&](std::size_t neighbour) {
            return marked[neighbour] || !accept(neighbour) || queue.Push(neighbour);
        };
        if (pixel >= width && !visit(pixel - width)) return false;
        if (pixel < last && !visit(pixel + width)) return false;
        if (column > 0 && !visit(pixel - 1)) return false;
        if (column + 1 < width && !visit(pixel + 1)) return false;
    }
    return true;
}

// The inputs as read from the host, before anything is written.
struct MaskArgs {
    HostArrayHandle levels;
    HostArrayHandle labels;
    HostArrayHandle regionLevels;
    const int32_t* seedRow;
    const int32_t* seedColumn;
    const double* growFraction;
    const double* shrinkFraction;
    int32_t method;
};

// One edit, computed in scratch memory: copies of the inputs, the working label
// image and, once a method has run, the new label image and level list.
class MaskEdit {
  public:
    // Runs the edit; false when nothing changes (including every failure).
    bool Run(const MaskArgs& args) noexcept {
        if (!ReadInputs(args)) return false;
        const int64_t row = *args.seedRow;
        const int64_t column = *args.seedColumn;
        if (row < 0 || row >= rows_ || column < 0 || column >= columns_) return false;
        seed_ = static_cast<std::size_t>(row) * columns_ + static_cast<std::size_t>(column);
        if (levelMap_[seed_] < 1) return false;
        if (!newLevels_.Reset(static_cast<std::size_t>(count_) + 1)) return false;
        const int32_t q = work_[seed_];
        if (args.method == kCreateOrGrow) return q == 0 ? Create() : Grow(q, *args.growFraction);
        if (q == 0) return false;
        if (args.method == kShrink) return Shrink(q, *args.shrinkFraction);
        Delete(q);
        return true;
    }

    int32_t rows() const noexcept { return rows_; }
    int32_t columns() const noexcept { return columns_; }
    std::size_t pixels() const noexcept { return pixels_; }
    const uint8_t* inputLabels() const noexcept { return labels_.get(); }
    const uint8_t* newLabels() const noexcept { return work_.get(); }
    const double* newLevels() const noexcept { return newLevels_.get(); }
    int32_t newCount() const noexcept { return newCount_; }

  private:
    // Sizes checked and every input copied, so that resizing the outputs later
    // cannot disturb what is read.
    bool ReadInputs(const MaskArgs& args) noexcept {
        if (!args.seedRow || !args.seedColumn || !args.growFraction || !args.shrinkFraction)
            return false;
        int32_t levelSizes[2];
        int32_t labelSizes[2];
        if (!hostbind::ReadSizes(args.levels, 2, levelSizes) ||
            !hostbind::ReadSizes(args.labels, 2, labelSizes) ||
            !hostbind::ReadSizes(args.regionLevels, 1, &count_))
            return false;
        rows_ = labelSizes[0];
        columns_ = labelSizes[1];
        if (rows_ != levelSizes[0] || columns_ != levelSizes[1]) return false;
        if (rows_ < 1 || columns_ < 1 || count_ < 0) return false;
        if (static_cast<std::size_t>(rows_) > std::numeric_limits<std::size_t>::max() / columns_)
            return false;
        pixels_ = static_cast<std::size_t>(rows_) * static_cast<std::size_t>(columns_);

        if (!labels_.Reset(pixels_) || !work_.Reset(pixels_) || !levelMap_.Reset(pixels_) ||
            !levels_.Reset(static_cast<std::size_t>(count_)))
            return false;
        std::memcpy(labels_.get(), hostbind::Elements(args.labels, 2), pixels_);
        std::memcpy(levelMap_.get(), hostbind::Elements(args.levels, 2), pixels_ * sizeof(int16_t));
        if (count_ > 0)
            std::memcpy(levels_.get(), hostbind::Elements(args.regionLevels, 1),
                        static_cast<std::size_t>(count_) * sizeof(double));
        for (std::size_t p = 0; p < pixels_; ++p)
            work_[p] = labels_[p] <= count_ ? labels_[p] : uint8_t{0};
        return true;
    }

    // A pixel of region q lies on its boundary when it lies on the first or last
    // row or column of the image, or when one of its four neighbours is outside
    // the region.
    bool IsBoundary(std::size_t p, int32_t q) const noexcept {
        if (work_[p] != q) return false;
        const auto width = static_cast<std::size_t>(columns_);
        const std::size_t row = p / width;
        const std::size_t column = p % width;
        if (row == 0 || row + 1 == static_cast<std::size_t>(rows_) || column == 0 ||
            column + 1 == width)
            return true;
        return work_[p - width] != q || work_[p + width] != q || work_[p - 1] != q ||
               work_[p + 1] != q;
    }

    // Queues the boundary pixels of region q and starts the mark image: for a
    // growing fill the region without its boundary, for a shrinking one
    // everything outside the region (a marked pixel counts as removed).
    bool StartFromBoundary(int32_t q, bool growing) noexcept {
        std::size_t seeds = 0;
        for (std::size_t p = 0; p < pixels_; ++p) seeds += IsBoundary(p, q);
        if (!marked_.Reset(pixels_) || !queue_.Start(seeds)) return false;
        for (std::size_t p = 0; p < pixels_; ++p) {
            const bool boundary = IsBoundary(p, q);
            if (boundary) queue_.Push(p);
            marked_[p] = growing ? work_[p] == q && !boundary : work_[p] != q;
        }
        return true;
    }

    bool Create() noexcept {
        const double threshold = levelMap_[seed_];
        if (!marked_.Reset(pixels_) || !queue_.Start(1)) return false;
        std::memset(marked_.get(), 0, pixels_);
        queue_.Push(seed_);
        if (!FillUp(threshold)) return false;
        return Merge(0, threshold);
    }

    bool Grow(int32_t q, double fraction) noexcept {
        const double level = levels_[q - 1];
        double target = level * (1 - fraction);
        if (!(target <= level - 1)) target = level - 1;
        if (!(target >= 1.0)) target = 1.0;
        if (!StartFromBoundary(q, true)) return false;
        if (!FillUp(target)) return false;
        return Merge(q, target);
    }

    bool FillUp(double threshold) noexcept {
        return Fill(queue_, marked_.get(), rows_, columns_,
                    [&](std::size_t p) { return levelMap_[p] >= threshold; });
    }

    // Gives the marked pixels label q (0: a new region) at `level`, merging
    // every other region they overlap into the smallest label involved.
    bool Merge(int32_t q, double level) noexcept {
        std::array<bool, kLabelCount> merged{};
        for (std::size_t p = 0; p < pixels_; ++p)
            if (marked_[p]) merged[work_[p]] = true;
        merged[0] = false;
        merged[q] = false;
        int32_t smallest = 0;
        for (int32_t label = kLabelCount - 1; label > 0; --label)
            if (merged[label]) smallest = label;

        if (smallest == 0) {
            int32_t label = q;
            if (q == 0) {
                // Label count + 1 must still fit the 8-bit image.
                if (count_ >= kLabelCount - 1) return false;
                label = count_ + 1;
            }
            for (std::size_t p = 0; p < pixels_; ++p)
                if (marked_[p]) work_[p] = static_cast<uint8_t>(label);
            std::copy(levels_.get(), levels_.get() + count_, newLevels_.get());
            newLevels_[label - 1] = level;
            newCount_ = std::max(count_, label);
            return true;
        }

        if (q != 0) {
            merged[q] = true;
            smallest = std::min(smallest, q);
        }
        double mergedLevel = level;
        for (int32_t label = 1; label < kLabelCount; ++label)
            if (merged[label] && levels_[label - 1] < mergedLevel) mergedLevel = levels_[label - 1];
        for (std::size_t p = 0; p < pixels_; ++p)
            if (marked_[p]) work_[p] = static_cast<uint8_t>(smallest);
        merged[smallest] = false;
        Renumber(merged, smallest);
        newLevels_[renumbered_[smallest] - 1] = mergedLevel;
        return true;
    }

    bool Shrink(int32_t q, double fraction) noexcept {
        const double level = levels_[q - 1];
        double target = level * (1 + fraction);
        if (!(target >= level + 1)) target = level + 1;
        if (target >= kTopShrinkLevel) target = kTopShrinkLevel;
        if (!StartFromBoundary(q, false)) return false;
        if (!Fill(queue_, marked_.get(), rows_, columns_,
                  [&](std::size_t p) { return levelMap_[p] <= target; }))
            return false;
        bool remains = false;
        for (std::size_t p = 0; p < pixels_; ++p) {
            if (work_[p] != q) continue;
            if (marked_[p])
                work_[p] = 0;
            else
                remains = true;
        }
        if (!remains) {
            Delete(q);
            return true;
        }
        std::copy(levels_.get(), levels_.get() + count_, newLevels_.get());
        newLevels_[q - 1] = target;
        newCount_ = count_;
        return true;
    }

    void Delete(int32_t q) noexcept {
        std::array<bool, kLabelCount> removed{};
        removed[q] = true;
        Renumber(removed, 0);
    }

    // Removes the labels marked in `removed`: their pixels take label `into`
    // (0 to clear them), every label above a removed one is lowered by one per
    // removed label below it, and the level entries of the removed labels go.
    void Renumber(const std::array<bool, kLabelCount>& removed, int32_t into) noexcept {
        int32_t below = 0;
        for (int32_t label = 0; label < kLabelCount; ++label) {
            renumbered_[label] = static_cast<uint8_t>(label - below);
            if (removed[label]) ++below;
        }
        for (int32_t label = 1; label < kLabelCount; ++label)
            if (removed[label]) renumbered_[label] = renumbered_[into];
        for (std::size_t p = 0; p < pixels_; ++p) work_[p] = renumbered_[work_[p]];
        newCount_ = 0;
        for (int32_t label = 1; label <= count_; ++label)
            if (label >= kLabelCount || !removed[label])
                newLevels_[newCount_++] = levels_[label - 1];
    }

    int32_t rows_ = 0;
    int32_t columns_ = 0;
    int32_t count_ = 0;
    std::size_t pixels_ = 0;
    std::size_t seed_ = 0;
    scratch::Array<uint8_t> labels_;  // the input label image
    scratch::Array<uint8_t> work_;    // the label image being edited
    scratch::Array<int16_t> levelMap_;
    scratch::Array<double> levels_;     // the input region levels
    scratch::Array<double> newLevels_;  // room for one more region
    scratch::Array<uint8_t> marked_;
    PixelQueue queue_;
    std::array<uint8_t, kLabelCount> renumbered_{};
    int32_t newCount_ = 0;
};

// Makes `out` a copy of the array `in` (numDims dimensions of `type`); nothing
// to do when both are the same handle. A failed resize leaves `out` as it was.
void CopyArray(HostArrayHandle in, HostArrayHandle out, int32_t type, int32_t numDims) noexcept {
    if (in == out) return;
    int32_t sizes[2] = {0, 0};
    hostbind::ReadSizes(in, numDims, sizes);
    const int32_t status = numDims == 1 ? hostbind::ResizeArray(&out, type, {sizes[0]})
                                        : hostbind::ResizeArray(&out, type, {sizes[0], sizes[1]});
    if (status != 0) return;
    std::size_t bytes = LMRTElementSize(type);
    for (int32_t d = 0; d < numDims; ++d) bytes *= static_cast<std::size_t>(sizes[d]);
    if (bytes > 0)
        std::memcpy(hostbind::Elements(out, numDims), hostbind::Elements(in, numDims), bytes);
}

// Writes a finished edit; when an output cannot be sized, the outputs stay
// copies of the inputs.
void WriteEdit(const MaskEdit& edit, const MaskArgs& args, HostArrayHandle labelsOut,
               HostArrayHandle regionLevelsOut) noexcept {
    if (hostbind::ResizeArray(&labelsOut, LMRT_TYPE_INT8, {edit.rows(), edit.columns()}) != 0) {
        CopyArray(args.regionLevels, regionLevelsOut, LMRT_TYPE_DOUBLE, 1);
        return;
    }
    if (hostbind::ResizeArray(&regionLevelsOut, LMRT_TYPE_DOUBLE, {edit.newCount()}) != 0) {
        std::memcpy(hostbind::Elements(labelsOut, 2), edit.inputLabels(), edit.pixels());
        return;
    }
    std::memcpy(hostbind::Elements(labelsOut, 2), edit.newLabels(), edit.pixels());
    if (edit.newCount() > 0)
        std::memcpy(hostbind::Elements(regionLevelsOut, 1), edit.newLevels(),
                    static_cast<std::size_t>(edit.newCount()) * sizeof(double));
}

int32_t GetMask(const MaskArgs& args, HostArrayHandle labelsOut,
                HostArrayHandle regionLevelsOut) noexcept {
    // A missing output, an output shared with another array than its own input,
    // or a level map that is also the label image could not be read or written
    // without overrunning a block: nothing is touched.
    if (!labelsOut || !regionLevelsOut || labelsOut == regionLevelsOut ||
        labelsOut == args.levels || labelsOut == args.regionLevels ||
        regionLevelsOut == args.levels || regionLevelsOut == args.labels ||
        args.levels == args.labels)
        return kOk;
    MaskEdit edit;
    if (edit.Run(args)) {
        WriteEdit(edit, args, labelsOut, regionLevelsOut);
    } else {
        CopyArray(args.labels, labelsOut, LMRT_TYPE_INT8, 2);
        CopyArray(args.regionLevels, regionLevelsOut, LMRT_TYPE_DOUBLE, 1);
    }
    return kOk;
}

}  // namespace
}  // namespace kessling

extern "C" int32_t SptGetMaskH(HostArrayHandle levels, HostArrayHandle labels,
                               HostArrayHandle regionLevels, const int32_t* seedRow,
                               const int32_t* seedColumn, const double* growFraction,
                               const double* shrinkFraction, int32_t method,
                               HostArrayHandle labelsOut, HostArrayHandle regionLevelsOut) {
    const kessling::MaskArgs args{levels,     labels,       regionLevels,   seedRow,
                                  seedColumn, growFraction, shrinkFraction, method};
    return hostbind::MapStatus(kessling::GetMask(args, labelsOut, regionLevelsOut));
}
