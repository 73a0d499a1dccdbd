#pragma once
// Internal codes of the bridge. An export returns hostbind::MapStatus(code):
// 0, a negative code unchanged, or -(42600 + code) for a positive one.

#include <cstdint>

namespace kessling {

inline constexpr int32_t kOk = 0;
inline constexpr int32_t kNoMemory = -20001;  // the bridge's own allocation failed

// An empty input array, a signal shorter than the window, an output size
// below 1, or a missing argument.
inline constexpr int32_t kEmptyInput = 1;
inline constexpr int32_t kBinsNotPowerOfTwo = 3;  // frequency bins not a positive power of two
inline constexpr int32_t kAdaptiveStepBelowOne = 11;
inline constexpr int32_t kStepNotPowerOfTwo = 12;
inline constexpr int32_t kNegativeOrder = 13;
inline constexpr int32_t kSynthesisBinsBelowStep = 14;
inline constexpr int32_t kNegativeTerms = 15;
inline constexpr int32_t kBadCohenKernel = 18;
inline constexpr int32_t kBadWindow = 19;
inline constexpr int32_t kBadResolution = 21;
inline constexpr int32_t kReferenceNotMade = 41;  // a reference could not be created or resized
inline constexpr int32_t kInvalidReference = 42;  // not a valid reference of this bridge
inline constexpr int32_t kUnsupportedData = 43;   // type or layout not accepted by the operation

}  // namespace kessling
