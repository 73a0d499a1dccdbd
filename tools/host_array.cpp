#include "host_array.h"

#include <limits>

#include "failure.h"
#include "testhost.h"

namespace front {

namespace {

HostArrayHandle NewHandle(std::size_t bytes) {
    if (bytes > static_cast<std::size_t>(std::numeric_limits<int32_t>::max()))
        Fail(kExitInput, "the signal is too large for a host array");
    HostArrayHandle handle = TestHostNewHandle(static_cast<int32_t>(bytes));
    if (!handle) Fail(kExitRefused, "out of memory for a host array");
    return handle;
}

}  // namespace

HostArray::HostArray(const std::vector<int32_t>& sizes, const void* data, std::size_t elementBytes)
    : numDims_(static_cast<int32_t>(sizes.size())) {
    std::size_t count = 1;
    for (int32_t s : sizes) count *= static_cast<std::size_t>(s);
    const std::size_t sizeBytes = sizes.size() * sizeof(int32_t);
    handle_ = NewHandle(sizeBytes + count * elementBytes);
    std::memcpy(*handle_, sizes.data(), sizeBytes);
    if (count)
        std::memcpy(reinterpret_cast<char*>(*handle_) + sizeBytes, data, count * elementBytes);
}

HostArray::HostArray(int32_t numDims) : numDims_(numDims) {
    handle_ = NewHandle(numDims * sizeof(int32_t));
}

HostArray::~HostArray() { TestHostDisposeHandle(handle_); }

std::vector<int32_t> HostArray::Sizes() const {
    std::vector<int32_t> sizes(numDims_);
    std::memcpy(sizes.data(), *handle_, numDims_ * sizeof(int32_t));
    return sizes;
}

std::size_t HostArray::Count() const {
    std::size_t count = 1;
    for (int32_t s : Sizes()) count *= s > 0 ? static_cast<std::size_t>(s) : 0;
    return count;
}

const char* HostArray::Data() const {
    return reinterpret_cast<const char*>(*handle_) + numDims_ * sizeof(int32_t);
}

}  // namespace front
