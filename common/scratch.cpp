#include "scratch.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace scratch {
namespace {

std::atomic<std::int64_t> countdown{0};  // > 0: allocations until the injected failure
std::atomic<bool> failed{false};
std::atomic<std::int64_t> live{0};

// Each block starts with a header holding its capacity; the caller's memory
// follows it, as aligned as the C library's own blocks.
constexpr std::size_t kHeader = 16;

std::size_t CapacityOf(void* raw) {
    std::size_t capacity;
    std::memcpy(&capacity, raw, sizeof capacity);
    return capacity;
}

// Large blocks released by one call are kept for the next instead of going
// back to the system. The C library maps blocks this large afresh on each
// request and unmaps them on release, so that a program calling an analysis
// in a loop would otherwise fault every page of its working arrays in again on
// every call. Smaller blocks come quickly from the C library's heap. The
// address sanitizer's builds keep nothing, so that it sees every use of a
// released block.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kKeptBlocks = 0;
#else
constexpr int kKeptBlocks = 16;
#endif
constexpr std::size_t kKeptMinimum = std::size_t{64} << 10;
constexpr std::size_t kKeptBytes = std::size_t{64} << 20;

class Kept {
  public:
    // At exit, or when the library is unloaded, the kept blocks go back to
    // the system; blocks released after that are freed at once.
    ~Kept() {
        Lock();
        for (int i = 0; i < count_; ++i) std::free(blocks_[i]);
        count_ = 0;
        bytes_ = 0;
        closed_ = true;
        Unlock();
    }
    // A kept block of capacity at least `bytes` (and at most twice that, so
    // that a small request does not hold a large block), or null.
    void* Take(std::size_t bytes) {
        if (bytes < kKeptMinimum) return nullptr;
        Lock();
        int best = -1;
        for (int i = 0; i < count_; ++i) {
            const std::size_t capacity = CapacityOf(blocks_[i]);
            if (capacity >= bytes && capacity / 2 <= bytes &&
                (best < 0 || capacity < CapacityOf(blocks_[best])))
                best = i;
        }
        void* raw = nullptr;
        if (best >= 0) {
            raw = blocks_[best];
            bytes_ -= CapacityOf(raw);
            blocks_[best] = blocks_[--count_];
        }
        Unlock();
        return raw;
    }
    // Keeps the block if there is room; false when the caller must free it.
    bool Keep(void* raw) {
        const std::size_t capacity = CapacityOf(raw);
        if (capacity < kKeptMinimum) return false;
        Lock();
        const bool room = !closed_ && count_ < kKeptBlocks && capacity <= kKeptBytes - bytes_;
        if (room) {
            blocks_[count_++] = raw;
            bytes_ += capacity;
        }
        Unlock();
        return room;
    }

  private:
    void Lock() {
        while (busy_.test_and_set(std::memory_order_acquire)) {
        }
    }
    void Unlock() { busy_.clear(std::memory_order_release); }

    std::atomic_flag busy_;  // clear
    void* blocks_[kKeptBlocks > 0 ? kKeptBlocks : 1] = {};
    int count_ = 0;
    std::size_t bytes_ = 0;
    bool closed_ = false;
};

constinit Kept kept;

}  // namespace

void* Allocate(std::size_t bytes) noexcept {
    if (countdown.load(std::memory_order_relaxed) > 0 &&
        countdown.fetch_sub(1, std::memory_order_relaxed) == 1) {
        failed.store(true, std::memory_order_relaxed);
        return nullptr;
    }
    void* raw = kept.Take(bytes);
    if (!raw) {
        if (bytes > SIZE_MAX - kHeader) return nullptr;
        raw = std::malloc(kHeader + bytes);
        if (!raw) return nullptr;
        std::memcpy(raw, &bytes, sizeof bytes);
    }
    live.fetch_add(1, std::memory_order_relaxed);
    return static_cast<char*>(raw) + kHeader;
}

void Release(void* block) noexcept {
    if (!block) return;
    live.fetch_sub(1, std::memory_order_relaxed);
    void* raw = static_cast<char*>(block) - kHeader;
    if (!kept.Keep(raw)) std::free(raw);
}

void FailAllocation(std::int64_t k) noexcept {
    failed.store(false, std::memory_order_relaxed);
    countdown.store(k > 0 ? k : 0, std::memory_order_relaxed);
}

bool AllocationFailed() noexcept { return failed.load(std::memory_order_relaxed); }

void ClearAllocationFailure() noexcept { FailAllocation(0); }

std::int64_t LiveBlocks() noexcept { return live.load(std::memory_order_relaxed); }

}  // namespace scratch
