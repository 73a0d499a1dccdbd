#pragma once
// The parameter record the bridge attaches to each of its references as user
// data: how the stored matrix was produced and how its columns are laid out.

#include <cstdint>

#include "kessling.h"

namespace kessling {

// The tag identifies records of this library by address, not by text.
extern const char kTavikTag[];

// Seven fields; the tag is pointer-sized, so the record is seven 32-bit words in
// 32-bit builds.
struct TavikInfo {
    const char* tag;
    int32_t signalLength;
    int32_t layout;
    int32_t timeStep;
    int32_t frequencyBins;
    int32_t firstFrequency;
    int32_t order;  // of a stored Gabor spectrogram; -1 otherwise
};

// A new record, tagged, with the fields of a new reference (layout none, order
// -1); null when memory is exhausted. Freed by ReleaseTavikInfo, which is the
// release routine handed to the reference with it.
TavikInfo* NewTavikInfo() noexcept;
TavikInfo* NewTavikInfo(const TavikInfo& fields) noexcept;
void ReleaseTavikInfo(void* record) noexcept;

// Owner of a record until it is attached to a reference.
class TavikInfoOwner {
  public:
    explicit TavikInfoOwner(TavikInfo* record) noexcept : record_(record) {}
    TavikInfoOwner(const TavikInfoOwner&) = delete;
    TavikInfoOwner& operator=(const TavikInfoOwner&) = delete;
    ~TavikInfoOwner() { ReleaseTavikInfo(record_); }
    TavikInfo* get() const noexcept { return record_; }
    TavikInfo* release() noexcept {
        TavikInfo* record = record_;
        record_ = nullptr;
        return record;
    }

  private:
    TavikInfo* record_;
};

}  // namespace kessling
