#pragma once
// Scratch memory of the libraries. Every working array comes from Allocate so
// that exhausted memory is a status (never an exception) and tests can make the
// k-th allocation fail and check that nothing leaked.

#include <cstddef>
#include <cstdint>
#include <limits>
#include <new>
#include <utility>

namespace scratch {

// Null on failure (real or injected). A request of 0 bytes still yields a
// distinct block, so that null always means failure.
void* Allocate(std::size_t bytes) noexcept;
void Release(void* block) noexcept;

// Number of `count` elements of T, or null when the size overflows or memory is exhausted.
template <class T>
T* AllocateArray(std::size_t count) noexcept {
    if (count > std::numeric_limits<std::size_t>::max() / sizeof(T)) return nullptr;
    return static_cast<T*>(Allocate(count * sizeof(T)));
}

// Owner of one block; frees it on every path out of a scope.
template <class T>
class Array {
  public:
    Array() noexcept = default;
    explicit Array(std::size_t count) noexcept : data_(AllocateArray<T>(count)) {}
    Array(const Array&) = delete;
    Array& operator=(const Array&) = delete;
    Array(Array&& other) noexcept : data_(std::exchange(other.data_, nullptr)) {}
    Array& operator=(Array&& other) noexcept {
        if (this != &other) {
            Release(data_);
            data_ = std::exchange(other.data_, nullptr);
        }
        return *this;
    }
    ~Array() { Release(data_); }

    // Replaces the block by a new one of `count` elements; false when that fails.
    bool Reset(std::size_t count) noexcept {
        Release(data_);
        data_ = AllocateArray<T>(count);
        return data_ != nullptr;
    }
    T* get() const noexcept { return data_; }
    T& operator[](std::size_t i) const noexcept { return data_[i]; }
    explicit operator bool() const noexcept { return data_ != nullptr; }

  private:
    T* data_ = nullptr;
};

// Test-only fault injection. After FailAllocation(k) the k-th following
// allocation (1-based) returns null; the ones before and after it succeed.
void FailAllocation(std::int64_t k) noexcept;
// True once the armed failure has happened.
bool AllocationFailed() noexcept;
// Disarms the injector.
void ClearAllocationFailure() noexcept;
// Blocks allocated and not yet released (a leak check for builds without sanitizers).
std::int64_t LiveBlocks() noexcept;

}  // namespace scratch
