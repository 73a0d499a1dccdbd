#include "kessling_host.h"

namespace hostbind {

HostEntry kesslingEntries[kKesslingEntryCount] = {
    HostEntry("NumericArrayResize"),
    HostEntry("Min"),
};

int32_t NumericArrayResize(int32_t typeCode, int32_t numDims, HostArrayHandle* handle,
                           int32_t totalElements) noexcept {
    return CallHost<LMRTNumericArrayResizeFn>(kesslingEntries[kNumericArrayResize], typeCode,
                                              numDims, handle, totalElements);
}

int32_t Min(int32_t a, int32_t b) noexcept {
    return CallHost<LMRTMinFn>(kesslingEntries[kMin], a, b);
}

}  // namespace hostbind
