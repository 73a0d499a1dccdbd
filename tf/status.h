#pragma once
// Status codes returned by the exports of Mornavel.

#include <cstdint>

namespace tf {

inline constexpr int32_t kOk = 0;
// Empty or too short signal, or an array size below what the call needs.
inline constexpr int32_t kBadLength = 1;
// Invalid window length, time step or number of frequency bins, or a lattice they do not form.
inline constexpr int32_t kBadLattice = 19;
// Bad array layout, or a transform length that does not match its plan.
inline constexpr int32_t kBadLayout = -1;
// Scratch memory (or an FFT plan) could not be obtained.
inline constexpr int32_t kNoMemory = -20001;

}  // namespace tf
