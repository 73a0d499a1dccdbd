#pragma once
// Host array handles as the program hands them to the bridge: a block of int32
// dimension sizes followed by the elements, owned by the test host run-time.
// Elements are not aligned inside the block, so they are copied in and out.

#include <cstdint>
#include <cstring>
#include <vector>

#include "lmrt.h"

namespace front {

class HostArray {
  public:
    // An array of `sizes` with the elements of `data` (elementBytes each).
    HostArray(const std::vector<int32_t>& sizes, const void* data, std::size_t elementBytes);
    // An empty array of `numDims` dimensions, for the bridge to resize.
    explicit HostArray(int32_t numDims);
    template <class T>
    static HostArray From(const std::vector<int32_t>& sizes, const std::vector<T>& values) {
        return HostArray(sizes, values.data(), sizeof(T));
    }
    HostArray(const HostArray&) = delete;
    HostArray& operator=(const HostArray&) = delete;
    ~HostArray();

    HostArrayHandle handle() const { return handle_; }
    std::vector<int32_t> Sizes() const;
    std::size_t Count() const;

    // The elements, read as T.
    template <class T>
    std::vector<T> Values() const {
        std::vector<T> values(Count());
        if (!values.empty()) std::memcpy(values.data(), Data(), values.size() * sizeof(T));
        return values;
    }

  private:
    const char* Data() const;
    int32_t numDims_;
    HostArrayHandle handle_;
};

}  // namespace front
