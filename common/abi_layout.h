#pragma once
// Compile-time checks of the records a library shares with its callers, the
// host or the system: each field's byte offset and each record's size, as
// published for the 32-bit build. Handles and pointers in them take kPointer
// bytes (4 there), so the same checks hold the 64-bit builds to the natural
// layout of the same fields. A record that departs fails the build with the
// record and field named.

#include <cstddef>

namespace abi {

inline constexpr std::size_t kPointer = sizeof(void*);

// A record of `bytes` bytes that holds a pointer is padded to a whole number
// of pointers.
constexpr std::size_t WithPointer(std::size_t bytes) {
    return (bytes + kPointer - 1) / kPointer * kPointer;
}

}  // namespace abi

#define ABI_OFFSET(record, field, offset)              \
    static_assert(offsetof(record, field) == (offset), \
                  "layout of " #record ": " #field " must start at byte " #offset)
#define ABI_SIZE(record, size) \
    static_assert(sizeof(record) == (size), "layout of " #record ": it must take " #size " bytes")
