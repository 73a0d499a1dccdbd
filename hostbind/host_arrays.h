#pragma once
// Host numeric arrays: sizing through the host's memory manager, and access to
// the dimension sizes and elements of a block. A block holds one int32 size per
// dimension followed directly by the elements, so elements need not be aligned
// for their type (a 1-D array of doubles starts 4 bytes into its block): read
// and write element data bytewise (memcpy), never through a double pointer.

#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "lmrt.h"

namespace hostbind {

// Byte offset of the first element in a block of numDims dimensions.
constexpr std::size_t ElementOffset(int32_t numDims) noexcept {
    return static_cast<std::size_t>(numDims) * sizeof(int32_t);
}

// Resizes the array in *handle (creating one when *handle is null) to the given
// dimension sizes with NumericArrayResize and writes the sizes. Returns 0 or the
// host's error code; kHostMemoryFull, without asking the host, for a negative
// size or an element count beyond int32.
int32_t ResizeArray(HostArrayHandle* handle, int32_t typeCode,
                    std::initializer_list<int32_t> sizes) noexcept;

// Makes *handle an empty array of numDims dimensions: resizes it to no elements
// and sets every size to 0. A failed resize is not reported; the sizes are then
// set only when the handle has a block.
void EmptyArray(HostArrayHandle* handle, int32_t typeCode, int32_t numDims) noexcept;

// Reads the numDims dimension sizes of an input array into sizes[]. A null
// handle or block reads as an empty array (all sizes 0); returns false then.
bool ReadSizes(HostArrayHandle handle, int32_t numDims, int32_t* sizes) noexcept;

// First element byte of an array of numDims dimensions; null for a null handle or block.
std::byte* Elements(HostArrayHandle handle, int32_t numDims) noexcept;

}  // namespace hostbind
