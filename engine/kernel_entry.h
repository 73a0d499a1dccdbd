#pragma once
// The four passes of a fixed radix, as the kernel files provide them for each
// instruction-set variant (namespaces engine::baseline, engine::avx2 and
// engine::avx512).

#include "fft.h"

namespace engine {

struct KernelEntry {
    ComplexLeafPass complexLeaf;
    ComplexTwiddlePass complexPass;
    RealLeafPass realLeaf;
    RealTwiddlePass realPass;
    // The real twiddle pass with each result pair stored as (Re - Im, Re + Im):
    // the outermost pass of the real inverse, which ends in those butterflies.
    // Null where a separate sweep of butterflies is faster.
    RealTwiddlePass realHartleyPass;
    // Both leaves of a transform of length 2r at once, where the radix has a
    // pair kernel (null otherwise); all four of one of length 4r, where the
    // variant also runs it eight lanes wide.
    ComplexPairLeafPass complexPairLeaf;
    RealPairLeafPass realPairLeaf;
    ComplexPairLeafPass complexQuadLeaf;
};

// X(r) for every fixed radix r.
#define ENGINE_FIXED_RADICES(X) \
    X(2)                        \
    X(3)                        \
    X(4)                        \
    X(5)                        \
    X(7)                        \
    X(8) X(9) X(10) X(11) X(13) X(14) X(16) X(17) X(18) X(19) X(29) X(31) X(32) X(37) X(41) X(43)

// The registry: entry r holds the passes of radix r, or nulls when r is not a
// fixed radix (r < kRegistrySize). Chosen once for the running processor.
constexpr int kRegistrySize = 44;
const KernelEntry& RegistryEntry(int32_t radix);

// The instruction-set variants of the kernels, slowest first. The AVX-512
// variant runs the same kernels with twice the vector registers, eight lanes
// wide where a pass has eight DFTs or columns side by side.
enum class KernelVariant { kBaseline, kAvx2, kAvx512 };

// Test hook: plans built from now on use the fastest variant the processor
// runs and the build has, but none beyond `limit`. Returns whether `limit` is
// such a variant (the sanitized builds have no AVX-512 copy).
bool UseKernelVariant(KernelVariant limit);

// Test hook: with true, plans built from now on use the baseline (SSE2)
// kernels even where a faster variant exists. Returns whether a faster
// variant exists on this processor.
bool UseBaselineKernels(bool baseline);
// Whether the faster variant is in use (the processor has it and the test hook
// does not hold the baseline).
bool FasterKernelsChosen();
// The variant in use (limited by the test hooks).
KernelVariant ChosenKernelVariant();

}  // namespace engine
