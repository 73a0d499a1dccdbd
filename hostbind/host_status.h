#pragma once
// Status convention of the bridge's exports, and the host codes the binding
// itself reports.

#include <cstdint>
#include <limits>

namespace hostbind {

// A positive internal code n is returned as -(kStatusBase + n).
inline constexpr int32_t kStatusBase = 42600;

// The host memory manager's "memory full" code; also reported by ResizeArray for
// sizes whose element count or byte count does not fit the host's 32-bit counts.
inline constexpr int32_t kHostMemoryFull = 2;

// 0 stays 0 and negative codes pass unchanged; a positive code n (the bridge's
// own checks, a positive core status, a host error) becomes -(42600 + n). Codes
// too large to map saturate at the most negative status rather than wrapping
// round to a positive one.
constexpr int32_t MapStatus(int32_t internal) noexcept {
    if (internal <= 0) return internal;
    const int64_t mapped = -(static_cast<int64_t>(kStatusBase) + internal);
    return mapped < std::numeric_limits<int32_t>::min() ? std::numeric_limits<int32_t>::min()
                                                        : static_cast<int32_t>(mapped);
}

}  // namespace hostbind
