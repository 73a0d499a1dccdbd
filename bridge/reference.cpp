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

void LockedRef::Dispose() noexcept {
    SptRefDispose(ref_);
    held_ = false;
    info_ = nullptr;
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
