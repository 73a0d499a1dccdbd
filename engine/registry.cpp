// The kernel registry: the passes of the fixed radices, from the fastest
// instruction-set variant the processor runs. The variants compute the same
// operations in the same order, so their results agree to the bit.

#include "kernel_entry.h"

namespace engine {

#define ENGINE_DECLARE_ENTRY(r) extern const KernelEntry kRadix##r;
namespace baseline {
ENGINE_FIXED_RADICES(ENGINE_DECLARE_ENTRY)
}
#if ENGINE_HAVE_AVX2
namespace avx2 {
ENGINE_FIXED_RADICES(ENGINE_DECLARE_ENTRY)
}
#endif
#undef ENGINE_DECLARE_ENTRY

namespace {

struct Registry {
    KernelEntry entries[kRegistrySize] = {};
};

Registry MakeBaseline() {
    Registry registry;
#define ENGINE_FILL(r) registry.entries[r] = baseline::kRadix##r;
    ENGINE_FIXED_RADICES(ENGINE_FILL)
#undef ENGINE_FILL
    return registry;
}

#if ENGINE_HAVE_AVX2
Registry MakeAvx2() {
    Registry registry;
#define ENGINE_FILL(r) registry.entries[r] = avx2::kRadix##r;
    ENGINE_FIXED_RADICES(ENGINE_FILL)
#undef ENGINE_FILL
    return registry;
}
#endif

bool HasFasterVariant() {
#if ENGINE_HAVE_AVX2
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

const Registry& Chosen(bool baselineOnly) {
    static const Registry baselineRegistry = MakeBaseline();
#if ENGINE_HAVE_AVX2
    static const bool faster = HasFasterVariant();
    if (faster && !baselineOnly) {
        static const Registry avx2Registry = MakeAvx2();
        return avx2Registry;
    }
#endif
    return baselineRegistry;
}

bool forceBaseline = false;

}  // namespace

const KernelEntry& RegistryEntry(int32_t radix) { return Chosen(forceBaseline).entries[radix]; }

bool FasterKernelsChosen() { return &Chosen(forceBaseline) != &Chosen(true); }

bool UseBaselineKernels(bool baseline) {
    forceBaseline = baseline;
    return HasFasterVariant();
}

}  // namespace engine
