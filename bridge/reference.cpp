#include "reference.h"

#include "rhombel.h"
#include "status.h"

namespace kessling {

LockedRef::LockedRef(int32_t ref) noexcept : ref_(ref) {
    if (!SptRefIsValid(ref) || SptRefLock(ref) != RHOMBEL_OK) return;
    const auto* record = static_cast<const TavikInfo*>(SptRefGetUserData(ref));
    if (!record || record->tag != kTavikTag) {
        SptRefUnlock(ref);
        return;
    }
    held_ = true;
    info_ = record;
}

LockedRef::~LockedRef() {
    if (held_) SptRefUnlock(ref_);
}

void LockedRef::Attach(TavikInfoOwner& record) noexcept {
    if (SptRefSetUserData(ref_, record.get(), ReleaseTavikInfo) != RHOMBEL_OK) return;
    info_ = record.release();
}

int32_t LockedRef::Prepare(int32_t type, int32_t rows, int32_t columns,
                           const TavikInfo& fields) noexcept {
    type_ = type;
    TavikInfoOwner record(NewTavikInfo(fields));
    if (!record.get()) return Settle(kNoMemory);
    Attach(record);
    if (SptRefInitAndResize(ref_, type, rows, columns) != RHOMBEL_OK)
        return Settle(kReferenceNotMade);
    return kOk;
}

void* LockedRef::Data() const noexcept { return SptRefGetDataPtr(ref_); }

int32_t LockedRef::Settle(int32_t status) noexcept {
    if (status != kOk) SptRefInitBuf(ref_, type_ != 0 ? type_ : RHOMBEL_TYPE_DOUBLE);
    return status;
}

void LockedRef::Dispose() noexcept {
    SptRefDispose(ref_);
    held_ = false;
    info_ = nullptr;
}

bool IsBridgeReference(int32_t ref) noexcept { return LockedRef(ref).valid(); }

int32_t StoredType(int32_t layout) noexcept {
    switch (layout) {
        case SPT_LAYOUT_REAL:
        case SPT_LAYOUT_HALF_COMPLEX:
            return RHOMBEL_TYPE_DOUBLE;
        case SPT_LAYOUT_COMPLEX:
            return RHOMBEL_TYPE_COMPLEX128;
        default:
            return 0;
    }
}

int32_t CreateReference(int32_t* refOut) noexcept {
    TavikInfoOwner record(NewTavikInfo());
    const int32_t ref = SptRefCreate();
    *refOut = ref;
    if (ref == 0) return kReferenceNotMade;
    if (!record.get()) {
        SptRefDispose(ref);
        *refOut = 0;
        return kNoMemory;
    }
    SptRefLock(ref);
    SptRefSetUserData(ref, record.release(), ReleaseTavikInfo);
    SptRefUnlock(ref);
    return kOk;
}

}  // namespace kessling
