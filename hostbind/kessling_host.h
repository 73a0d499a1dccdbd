#pragma once
// The host functions that Kessling calls. Call them as the host functions
// themselves; the first call of each binds it by name.

#include <cstdint>

#include "binding.h"

namespace hostbind {

enum KesslingEntry { kNumericArrayResize, kMin, kKesslingEntryCount };

extern HostEntry kesslingEntries[kKesslingEntryCount];

int32_t NumericArrayResize(int32_t typeCode, int32_t numDims, HostArrayHandle* handle,
                           int32_t totalElements) noexcept;
int32_t Min(int32_t a, int32_t b) noexcept;

}  // namespace hostbind
