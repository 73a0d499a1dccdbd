#include "tavik_info.h"

#include "scratch.h"

namespace kessling {

const char kTavikTag[] = "SptJTavikInfo";

TavikInfo* NewTavikInfo() noexcept {
    return NewTavikInfo(TavikInfo{kTavikTag, 0, SPT_LAYOUT_NONE, 0, 0, 0, -1});
}

TavikInfo* NewTavikInfo(const TavikInfo& fields) noexcept {
    auto* record = scratch::AllocateArray<TavikInfo>(1);
    if (!record) return nullptr;
    *record = fields;
    record->tag = kTavikTag;
    return record;
}

void ReleaseTavikInfo(void* record) noexcept { scratch::Release(record); }

}  // namespace kessling
