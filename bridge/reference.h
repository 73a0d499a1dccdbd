#pragma once
// Access to the bridge's references: validation, locking and records.

#include <cstdint>
#include <optional>

#include "tavik_info.h"

namespace kessling {

// A reference of this bridge, locked while the object lives. A reference is the
// bridge's when Rhombel knows it and its user data is a record carrying the
// bridge's tag; the record is read only under the lock, so another thread
// cannot release it meanwhile.
class LockedRef {
  public:
    explicit LockedRef(int32_t ref) noexcept;
    LockedRef(const LockedRef&) = delete;
    LockedRef& operator=(const LockedRef&) = delete;
    ~LockedRef();

    // False when `ref` is not a valid reference of this bridge (nothing is held then).
    bool valid() const noexcept { return info_ != nullptr; }
    int32_t ref() const noexcept { return ref_; }
    const TavikInfo& info() const noexcept { return *info_; }

    // Attaches a new record; the reference releases the previous one.
    void Attach(TavikInfoOwner& record) noexcept;

    // For an export that stores its result here: sizes the reference to rows x
    // columns elements of `type` (a Rhombel type code) and attaches a new record
    // with `fields`. Returns kOk, or kNoMemory / kReferenceNotMade with the
    // reference emptied (and the new record attached when it could be made), so
    // that a failure never leaves a previous result behind a new record.
    int32_t Prepare(int32_t type, int32_t rows, int32_t columns, const TavikInfo& fields) noexcept;
    // The element buffer of the reference (null when it is empty).
    void* Data() const noexcept;
    // After a failed computation into Data(): empties the reference, keeping the
    // record Prepare attached, and returns `status`; returns kOk unchanged.
    int32_t Settle(int32_t status) noexcept;
    // Ends the reference (its record is released with it).
    void Dispose() noexcept;

  private:
    int32_t ref_;
    int32_t type_ = 0;  // element type Prepare sized the reference for
    bool held_ = false;
    const TavikInfo* info_ = nullptr;
};

// Two references locked in ascending order of their numbers, so that exports
// that hold two references at once never wait for each other in opposite
// orders. The same number twice is locked twice (locks nest).
class LockedPair {
  public:
    LockedPair(int32_t first, int32_t second) noexcept {
        if (first <= second) {
            first_.emplace(first);
            second_.emplace(second);
        } else {
            second_.emplace(second);
            first_.emplace(first);
        }
    }
    LockedRef& first() noexcept { return *first_; }
    LockedRef& second() noexcept { return *second_; }

  private:
    std::optional<LockedRef> first_;
    std::optional<LockedRef> second_;
};

// True when `ref` is a valid reference of this bridge (checked under its lock,
// which is released again).
bool IsBridgeReference(int32_t ref) noexcept;

// Element type a layout is stored with (a Rhombel type code); 0 for layouts
// that hold no data.
int32_t StoredType(int32_t layout) noexcept;

// Creates a reference with a fresh record (layout none) into *refOut. Returns 0,
// kReferenceNotMade when Rhombel cannot make one (*refOut = 0 then, as it
// reports), or kNoMemory when the record cannot be allocated (nothing is left
// behind, *refOut = 0).
int32_t CreateReference(int32_t* refOut) noexcept;

}  // namespace kessling
