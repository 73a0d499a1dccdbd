#include "host_arrays.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "host_status.h"
#include "kessling_host.h"

namespace hostbind {
namespace {

std::byte* Block(HostArrayHandle handle) noexcept {
    return handle && *handle ? reinterpret_cast<std::byte*>(*handle) : nullptr;
}

void WriteSizes(HostArrayHandle handle, const int32_t* sizes, std::size_t numDims) noexcept {
    std::memcpy(Block(handle), sizes, numDims * sizeof(int32_t));
}

}  // namespace

int32_t ResizeArray(HostArrayHandle* handle, int32_t typeCode,
                    std::initializer_list<int32_t> sizes) noexcept {
    int64_t total = 1;
    for (const int32_t size : sizes) {
        if (size < 0) return kHostMemoryFull;
        total *= size;
        if (total > std::numeric_limits<int32_t>::max()) return kHostMemoryFull;
    }
    const auto numDims = static_cast<int32_t>(sizes.size());
    const int32_t status =
        NumericArrayResize(typeCode, numDims, handle, static_cast<int32_t>(total));
    if (status != 0) return status;
    WriteSizes(*handle, sizes.begin(), sizes.size());
    return 0;
}

void EmptyArray(HostArrayHandle* handle, int32_t typeCode, int32_t numDims) noexcept {
    NumericArrayResize(typeCode, numDims, handle, 0);
    if (!Block(*handle)) return;
    for (int32_t d = 0; d < numDims; ++d) {
        const int32_t zero = 0;
        std::memcpy(Block(*handle) + d * sizeof(int32_t), &zero, sizeof zero);
    }
}

bool ReadSizes(HostArrayHandle handle, int32_t numDims, int32_t* sizes) noexcept {
    std::byte* block = Block(handle);
    if (!block) {
        std::fill(sizes, sizes + numDims, 0);
        return false;
    }
    std::memcpy(sizes, block, numDims * sizeof(int32_t));
    return true;
}

std::byte* Elements(HostArrayHandle handle, int32_t numDims) noexcept {
    std::byte* block = Block(handle);
    return block ? block + ElementOffset(numDims) : nullptr;
}

}  // namespace hostbind
