#include "scratch.h"

#include <atomic>
#include <cstdlib>

namespace scratch {
namespace {

std::atomic<std::int64_t> countdown{0};  // > 0: allocations until the injected failure
std::atomic<bool> failed{false};
std::atomic<std::int64_t> live{0};

}  // namespace

void* Allocate(std::size_t bytes) noexcept {
    if (countdown.load(std::memory_order_relaxed) > 0 &&
        countdown.fetch_sub(1, std::memory_order_relaxed) == 1) {
        failed.store(true, std::memory_order_relaxed);
        return nullptr;
    }
    void* block = std::malloc(bytes == 0 ? 1 : bytes);
    if (block) live.fetch_add(1, std::memory_order_relaxed);
    return block;
}

void Release(void* block) noexcept {
    if (!block) return;
    live.fetch_sub(1, std::memory_order_relaxed);
    std::free(block);
}

void FailAllocation(std::int64_t k) noexcept {
    failed.store(false, std::memory_order_relaxed);
    countdown.store(k > 0 ? k : 0, std::memory_order_relaxed);
}

bool AllocationFailed() noexcept { return failed.load(std::memory_order_relaxed); }

void ClearAllocationFailure() noexcept { FailAllocation(0); }

std::int64_t LiveBlocks() noexcept { return live.load(std::memory_order_relaxed); }

}  // namespace scratch
