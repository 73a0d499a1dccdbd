// Results pinned to the bit. Rearranging how the engine and the distributions
// schedule their work (blocking, vectorising, reusing memory) must not change
// one bit of what they compute; the digests below were recorded from the code
// as it stood before any such change. They hold for the native Linux build
// only: elsewhere the C library's sine and exponential may round differently.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "fft.h"
#include "kernel_entry.h"
#include "mornavel.h"

namespace {

// FNV-1a over the bits of `count` doubles `stride` apart, continuing from h.
uint64_t Digest(const double* x, int64_t count, int64_t stride = 1,
                uint64_t h = 0xcbf29ce484222325ull) {
    for (int64_t k = 0; k < count; ++k) {
        uint64_t bits;
        std::memcpy(&bits, x + k * stride, sizeof bits);
        for (int b = 0; b < 64; b += 8) h = (h ^ ((bits >> b) & 0xff)) * 0x100000001b3ull;
    }
    return h;
}

// Values in [-1, 1) from an integer sequence, the same on every platform.
std::vector<double> Values(int64_t count, uint32_t seed) {
    std::vector<double> v(count);
    uint32_t s = seed * 2654435761u + 12345u;
    for (auto& x : v) {
        s = s * 1664525u + 1013904223u;
        x = static_cast<double>(s >> 8) / 8388608.0 - 1.0;
    }
    return v;
}

bool PinnedPlatform() {
#if defined(__linux__) && defined(__x86_64__)
    return true;
#else
    return false;
#endif
}

// Runs `check` with the baseline kernels and with each faster variant the
// processor runs.
template <class Check>
void OnEveryKernelVariant(Check check) {
    using engine::KernelVariant;
    const struct {
        KernelVariant variant;
        const char* name;
    } variants[] = {{KernelVariant::kBaseline, "baseline kernels"},
                    {KernelVariant::kAvx2, "AVX2 kernels"},
                    {KernelVariant::kAvx512, "AVX-512 kernels"}};
    for (const auto& v : variants) {
        const bool runs = engine::UseKernelVariant(v.variant);
        if (runs) {
            SCOPED_TRACE(v.name);
            check();
        }
    }
    engine::UseKernelVariant(KernelVariant::kAvx512);
}

struct TransformCase {
    int32_t n, inStride, outStride;
    uint64_t digest;  // of the complex and real transforms, forward and inverse
};

// Powers of two, mixed radices, the general odd radix, Rader (nested too),
// and strides other than 1. The last nine run the leaves of a whole level in
// one pass (4096, 32768, 65536 = 2*32*32*32, 5168 = 16*17*19, 5248 = 4*32*41,
// 5504 = 8*16*43), at strides too; 2668 = 4*23*29 keeps its general radix
// apart.
const TransformCase kTransforms[] = {
    {1, 1, 1, 0x2a9a83c9e9f0256dull},           {2, 1, 1, 0x61616de5c01d43b8ull},
    {4, 1, 1, 0xf1152e7233c1777dull},           {8, 1, 1, 0xbde3474540b477dfull},
    {16, 1, 1, 0x866e72a6f15deb31ull},          {32, 1, 1, 0x6bb3d7970ef1d01aull},
    {64, 1, 1, 0xb5c143d9fcefbb23ull},          {128, 1, 1, 0xc0bc3a6a6e93b6a4ull},
    {256, 1, 1, 0x52087b0cb36bc3caull},         {512, 1, 1, 0xb595a3eba7616f8full},
    {1024, 1, 1, 0xed049a11080668f1ull},        {2048, 1, 1, 0x85258f17f27a0ef7ull},
    {4096, 1, 1, 0x6548da42d5f30ae2ull},        {16384, 1, 1, 0x8df2d88957cdb512ull},
    {65536, 1, 1, 0x09e3c8cd4bee0cc4ull},       {6, 1, 1, 0x0517bf5756a3db22ull},
    {12, 1, 1, 0x9a33fb42548c3bc6ull},          {48, 1, 1, 0xa7d3966b34b5cd70ull},
    {100, 1, 1, 0x158adf5f9042a91dull},         {1000, 1, 1, 0xa32682976989df93ull},
    {840, 1, 1, 0xf20bb058c241a07bull},         {1376, 1, 1, 0xdb7a817d2824f5d0ull},
    {4004, 1, 1, 0x3bf7dc5158a64551ull},        {9, 1, 1, 0x0ef751b411de1bb3ull},
    {15, 1, 1, 0x13f854be4a4b389eull},          {45, 1, 1, 0x0152fe0382f6b233ull},
    {46, 1, 1, 0xee31adfb35227819ull},          {47, 1, 1, 0x6b902952b290925bull},
    {2209, 1, 1, 0x3b779e95826cb591ull},        {53, 1, 1, 0x70b60c84d4f7555eull},
    {106, 1, 1, 0x7105b44d2e8e3722ull},         {1009, 1, 1, 0xc5c1d1e02c34e24eull},
    {2 * 23 * 53, 1, 1, 0x5b3a47092034a512ull}, {256, 3, 2, 0xdf501768d70db8fcull},
    {64, 1, 5, 0xb5c143d9fcefbb23ull},          {2048, 2, 1, 0xc22ce78dc51407ceull},
    {1376, 3, 2, 0x8b78e68308dfba74ull},        {106, 1, 5, 0x7105b44d2e8e3722ull},
    {45, 2, 3, 0x452a8509f3b61ba2ull},          {4096, 3, 2, 0x625ab80abe1ed43eull},
    {32768, 2, 3, 0x2b82e13f34169f71ull},       {65536, 1, 2, 0x09e3c8cd4bee0cc4ull},
    {5168, 1, 1, 0x2b3b8a23a9c3878cull},        {5168, 2, 1, 0x958b65960d93ce2aull},
    {5248, 1, 3, 0x4aa342ee3aa47813ull},        {5504, 3, 1, 0xd24d73a950275286ull},
    {2668, 1, 1, 0x58d1ab6cc15e6774ull},        {65536, 3, 1, 0xa18a3b9f4ab8c8f7ull},
};

uint64_t TransformDigest(const TransformCase& c) {
    const int64_t n = c.n, is = c.inStride, os = c.outStride;
    const auto re = Values(n * is, 2 * c.n), im = Values(n * is, 2 * c.n + 1);
    engine::PlanRef plan(c.n);
    std::vector<double> outRe(n * os), outIm(n * os), backRe(n * is), backIm(n * is);
    engine::CxFftForward(plan.get(), re.data(), im.data(), outRe.data(), outIm.data(), c.inStride,
                         c.outStride, c.n);
    uint64_t h = Digest(outRe.data(), n, os);
    h = Digest(outIm.data(), n, os, h);
    engine::CxFftInverse(plan.get(), outRe.data(), outIm.data(), backRe.data(), backIm.data(),
                         c.outStride, c.inStride, c.n);
    h = Digest(backRe.data(), n, is, h);
    h = Digest(backIm.data(), n, is, h);
    engine::ReFftForward(plan.get(), re.data(), outRe.data(), c.inStride, c.outStride, c.n);
    h = Digest(outRe.data(), n, os, h);
    engine::ReFftInverse(plan.get(), outRe.data(), backRe.data(), c.outStride, c.inStride, c.n);
    return Digest(backRe.data(), n, is, h);
}

TEST(PinnedBits, TransformsKeepEveryBit) {
    if (!PinnedPlatform()) GTEST_SKIP() << "digests recorded on native Linux";
    OnEveryKernelVariant([] {
        for (const TransformCase& c : kTransforms)
            EXPECT_EQ(TransformDigest(c), c.digest)
                << "n = " << c.n << ", strides " << c.inStride << ", " << c.outStride;
    });
}

enum class Export { kWVD, kCWD, kCSD, kCohen };
enum Mode { kComplex, kAnalytic, kInterpolated };

struct DistributionCase {
    Export what;
    Mode mode;
    int32_t n, B, S;
    uint64_t digest;
};

const DistributionCase kDistributions[] = {
    {Export::kWVD, kComplex, 1000, 64, 4, 0x06eb2fefc4ba3519ull},
    {Export::kWVD, kAnalytic, 1000, 64, 4, 0xc2c2b6c2a32ede5full},
    {Export::kWVD, kInterpolated, 1000, 64, 4, 0x6e39dcab62f1bacdull},
    {Export::kWVD, kComplex, 9, 8, 1, 0x6eceae3130e9de13ull},
    {Export::kCWD, kComplex, 700, 32, 2, 0x636f16d474125b67ull},
    {Export::kCWD, kAnalytic, 700, 32, 2, 0x22e202374f6a4528ull},
    {Export::kCWD, kInterpolated, 700, 32, 2, 0x4f88d88cbe99e302ull},
    {Export::kCWD, kInterpolated, 9, 8, 2, 0x7d7a528714d723d6ull},
    {Export::kCWD, kComplex, 300, 16, 1, 0x9975fd80a8a90a46ull},
    {Export::kWVD, kAnalytic, 16384, 256, 4, 0xd83c90edfef3a34bull},
    {Export::kCWD, kComplex, 4096, 128, 2, 0xdb9f6ea5eac2261dull},
    {Export::kCWD, kInterpolated, 4096, 128, 2, 0x9d948e7bf95ea221ull},
    {Export::kCSD, kComplex, 500, 32, 4, 0x69794034784505b4ull},
    {Export::kCSD, kAnalytic, 500, 32, 4, 0x1967409393b5e412ull},
    {Export::kCSD, kInterpolated, 500, 32, 4, 0x67b5c6b1e362343cull},
    {Export::kCohen, kComplex, 200, 16, 2, 0x8de769a54ee7a498ull},
    {Export::kCohen, kAnalytic, 200, 16, 2, 0x68e98dd5e0230e77ull},
    {Export::kCohen, kInterpolated, 200, 16, 2, 0xd1b466ebceb1eb2cull},
};

uint64_t DistributionDigest(const DistributionCase& c) {
    const auto re = Values(c.n, 7 * c.n + c.mode), im = Values(c.n, 7 * c.n + 3);
    const double* imag = c.mode == kComplex ? im.data() : nullptr;
    const int32_t analytic = c.mode == kAnalytic;
    const int32_t T = c.n / c.S, F = c.mode == kComplex ? c.B : c.B / 2;
    std::vector<double> out(int64_t{T} * F);
    int32_t status = -1;
    switch (c.what) {
        case Export::kWVD:
            status = WVD(re.data(), imag, c.n, c.B, c.S, analytic, out.data());
            break;
        case Export::kCWD:
            status = CWD(re.data(), imag, c.n, c.B, c.S, 0.7, analytic, out.data());
            break;
        case Export::kCSD:
            status = CSD(re.data(), imag, c.n, c.B, c.S, 0.002, analytic, out.data());
            break;
        case Export::kCohen: {
            const int32_t H = c.S * engine::NextPowerOfTwo(T);
            auto kernel = Values(int64_t{c.B} * H, 11);
            status = Cohen(re.data(), imag, c.n, kernel.data(), c.B, H, c.S, analytic, out.data());
            break;
        }
    }
    EXPECT_EQ(status, 0);
    return Digest(out.data(), static_cast<int64_t>(out.size()));
}

TEST(PinnedBits, DistributionsKeepEveryBit) {
    if (!PinnedPlatform()) GTEST_SKIP() << "digests recorded on native Linux";
    const char* const names[] = {"WVD", "CWD", "CSD", "Cohen"};
    OnEveryKernelVariant([&] {
        for (const DistributionCase& c : kDistributions)
            EXPECT_EQ(DistributionDigest(c), c.digest)
                << names[static_cast<int>(c.what)] << " mode " << c.mode << ", n = " << c.n
                << ", B = " << c.B << ", S = " << c.S;
    });
}

}  // namespace
