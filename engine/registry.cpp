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
#if ENGINE_HAVE_AVX512
namespace avx512 {
ENGINE_FIXED_RADICES(ENGINE_DECLARE_ENTRY)
}
#endif
#undef ENGINE_DECLARE_ENTRY

namespace {

struct Registry {
    KernelEntry entries[kRegistrySize] = {};
};

#define ENGINE_MAKE_REGISTRY(name, ns)              \
    Registry name() {                               \
        Registry registry;                          \
        ENGINE_FIXED_RADICES(ENGINE_FILL_FROM_##ns) \
        return registry;                            \
    }
#define ENGINE_FILL_FROM_baseline(r) registry.entries[r] = baseline::kRadix##r;
ENGINE_MAKE_REGISTRY(MakeBaseline, baseline)
#if ENGINE_HAVE_AVX2
#define ENGINE_FILL_FROM_avx2(r) registry.entries[r] = avx2::kRadix##r;
ENGINE_MAKE_REGISTRY(MakeAvx2, avx2)
#undef ENGINE_FILL_FROM_avx2
#endif
#if ENGINE_HAVE_AVX512
#define ENGINE_FILL_FROM_avx512(r) registry.entries[r] = avx512::kRadix##r;
ENGINE_MAKE_REGISTRY(MakeAvx512, avx512)
#undef ENGINE_FILL_FROM_avx512
#endif
#undef ENGINE_FILL_FROM_baseline
#undef ENGINE_MAKE_REGISTRY

// The best variant the processor (and the system, which must save the wider
// registers) runs, among those this build has.
KernelVariant BestVariant() {
#if ENGINE_HAVE_AVX2
    __builtin_cpu_init();
#if ENGINE_HAVE_AVX512
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
        __builtin_cpu_supports("avx512dq"))
        return KernelVariant::kAvx512;
#endif
    if (__builtin_cpu_supports("avx2")) return KernelVariant::kAvx2;
#endif
    return KernelVariant::kBaseline;
}

const Registry& Chosen(KernelVariant limit) {
    static const Registry baselineRegistry = MakeBaseline();
#if ENGINE_HAVE_AVX2
    static const KernelVariant best = BestVariant();
    const KernelVariant use = best < limit ? best : limit;
#if ENGINE_HAVE_AVX512
    if (use == KernelVariant::kAvx512) {
        static const Registry avx512Registry = MakeAvx512();
        return avx512Registry;
    }
#endif
    if (use == KernelVariant::kAvx2) {
        static const Registry avx2Registry = MakeAvx2();
        return avx2Registry;
    }
#else
    (void)limit;
#endif
    return baselineRegistry;
}

KernelVariant variantLimit = KernelVariant::kAvx512;

}  // namespace

const KernelEntry& RegistryEntry(int32_t radix) { return Chosen(variantLimit).entries[radix]; }

bool FasterKernelsChosen() { return ChosenKernelVariant() != KernelVariant::kBaseline; }

KernelVariant ChosenKernelVariant() {
#if ENGINE_HAVE_AVX2
    static const KernelVariant best = BestVariant();
    return best < variantLimit ? best : variantLimit;
#else
    return KernelVariant::kBaseline;
#endif
}

bool UseKernelVariant(KernelVariant limit) {
    variantLimit = limit;
    return BestVariant() >= limit;
}

bool UseBaselineKernels(bool baseline) {
    UseKernelVariant(baseline ? KernelVariant::kBaseline : KernelVariant::kAvx512);
    return BestVariant() > KernelVariant::kBaseline;
}

}  // namespace engine
