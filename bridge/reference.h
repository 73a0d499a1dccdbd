#pragma once
// Access to the bridge's references: validation, locking and records.

#include <cstdint>

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
    // Ends the reference (its record is released with it).
    void Dispose() noexcept;

  private:
    int32_t ref_;
    bool held_ = false;
    const TavikInfo* info_ = nullptr;
};

// Creates a reference with a fresh record (layout none) into *refOut. Returns 0,
// kReferenceNotMade when Rhombel cannot make one (*refOut = 0 then, as it
// reports), or kNoMemory when the record cannot be allocated (nothing is left
// behind, *refOut = 0).
int32_t CreateReference(int32_t* refOut) noexcept;

}  // namespace kessling
