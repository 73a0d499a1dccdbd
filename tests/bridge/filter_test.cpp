// Time-frequency filtering as the host application does it, through host
// arrays only: Gabor transform, decibel image, a region picked on the chirp's
// ridge and grown, the coefficients masked, and the expansion with the dual
// window. What comes back is the chirp without the steady tones.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "bridge_testing.h"
#include "host_testing.h"
#include "kessling.h"
#include "mornavel.h"

namespace {

using bridgetest::BridgeRef;
using bridgetest::HostWindow;
using hosttest::HostArray;

constexpr double kTwoPi = 6.283185307179586;
constexpr int32_t kSamples = 8192, kL = 512, kD = 64, kN = 256;
// Tones of whole periods over the signal, far from the chirp's band.
constexpr double kTone1 = 256.0 / kSamples, kTone2 = 3500.0 / kSamples;
constexpr double kChirpStart = 0.12, kChirpEnd = 0.35;  // cycles per sample

double ChirpFrequency(double t) { return kChirpStart + (kChirpEnd - kChirpStart) * t / kSamples; }

// The chirp fades in and out, so that the periodic signal the Gabor transform
// sees has no jump at its ends.
std::vector<double> Chirp() {
    std::vector<double> c(kSamples);
    const double rate = (kChirpEnd - kChirpStart) / kSamples;
    for (int32_t i = 0; i < kSamples; ++i) {
        const double fade = std::min({1.0, i / 1024.0, (kSamples - 1 - i) / 1024.0});
        const double envelope = 0.5 - 0.5 * std::cos(3.141592653589793 * fade);
        c[i] = envelope * std::cos(kTwoPi * (kChirpStart * i + 0.5 * rate * i * i));
    }
    return c;
}

// Amplitude of the sinusoid of frequency f in x (whole periods over x).
double Amplitude(const std::vector<double>& x, double f) {
    long double a = 0, b = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        a += x[i] * std::cos(kTwoPi * f * static_cast<double>(i));
        b += x[i] * std::sin(kTwoPi * f * static_cast<double>(i));
    }
    return static_cast<double>(2 * std::sqrt(a * a + b * b) / x.size());
}

// A host 2-D array of 16-bit levels.
HostArray Levels(const std::vector<uint8_t>& bytes, int32_t rows, int32_t columns) {
    std::vector<int16_t> levels(bytes.begin(), bytes.end());
    std::vector<double> room((levels.size() * 2 + 7) / 8);
    HostArray array = HostArray::Doubles({rows, columns}, room);
    std::memcpy(reinterpret_cast<char*>(*array.handle()) + 8, levels.data(), levels.size() * 2);
    return array;
}

TEST(Filtering, ARegionPickedOnTheChirpGivesBackTheChirpWithoutTheTones) {
    const std::vector<double> chirp = Chirp();
    std::vector<double> x(kSamples);
    for (int32_t i = 0; i < kSamples; ++i)
        x[i] = chirp[i] + std::cos(kTwoPi * kTone1 * i) + std::cos(kTwoPi * kTone2 * i + 1.0);
    HostArray signal = HostArray::Doubles({kSamples}, x);
    std::vector<double> w(kL);
    Gaussian(kL, 0.5 * (kL - 1), 80.0 * 80.0, w.data());
    const HostWindow window(w, kD, kN);

    BridgeRef ref;
    ASSERT_EQ(SptReDGTH(ref.number, signal.handle(), window.get()), 0);
    const uint8_t no = 0, yes = 1;
    HostArray graph = HostArray::Empty(2), image = HostArray::Empty(2);
    SptAxis time, frequency, level;
    ASSERT_EQ(SptGetGraphH(ref.number, 0, &no, &yes, 0.0, 0.0, graph.handle(), image.handle(),
                           &time, &frequency, &level),
              0);
    const std::vector<int32_t> size = image.Sizes(2);
    ASSERT_EQ(size, (std::vector<int32_t>{kSamples / kD, kN / 2}));
    std::vector<uint8_t> bytes(static_cast<std::size_t>(size[0]) * size[1]);
    std::memcpy(bytes.data(), reinterpret_cast<const char*>(*image.handle()) + 8, bytes.size());

    // Click on the ridge in the middle of the signal, then grow the region
    // twice, as a user lowers the threshold.
    HostArray levels = Levels(bytes, size[0], size[1]);
    HostArray labels =
        HostArray::Doubles({size[0], size[1]}, std::vector<double>(bytes.size() / 8));
    HostArray regionLevels = HostArray::Empty(1);
    const int32_t row = size[0] / 2;
    const int32_t column = static_cast<int32_t>(
        std::lround((ChirpFrequency(row * time.step) - frequency.offset) / frequency.step));
    const double grow = 0.25, shrink = 0.0;
    for (int click = 0; click < 3; ++click) {
        ASSERT_EQ(SptGetMaskH(levels.handle(), labels.handle(), regionLevels.handle(), &row,
                              &column, &grow, &shrink, 0, labels.handle(), regionLevels.handle()),
                  0);
    }
    ASSERT_EQ(regionLevels.Sizes(1)[0], 1);

    ASSERT_EQ(SptBinanryMaskH(ref.number, labels.handle()), 0);
    const int32_t mode = 1;
    HostArray dual = HostArray::Empty(1);
    ASSERT_EQ(SptFastDualH(window.get(), &mode, dual.handle()), 0);
    const HostWindow synthesis(dual.Values(1), kD, kN);
    HostArray filtered = HostArray::Empty(1);
    ASSERT_EQ(SptReDGEH(ref.number, filtered.handle(), synthesis.get()), 0);
    const std::vector<double> y = filtered.Values(1);
    ASSERT_EQ(y.size(), x.size());

    // The tones are gone, the chirp is kept.
    for (const double f : {kTone1, kTone2}) {
        const double residual = 20 * std::log10(Amplitude(y, f));
        RecordProperty(f == kTone1 ? "tone1_dB" : "tone2_dB", std::to_string(residual));
        std::printf("tone at %.4f cycles/sample: %.1f dB\n", f, residual);
        EXPECT_LT(residual, -40.0);
    }
    long double error = 0, energy = 0;
    for (int32_t i = 0; i < kSamples; ++i) {
        error += (y[i] - chirp[i]) * (y[i] - chirp[i]);
        energy += chirp[i] * chirp[i];
    }
    const double chirpError = 10 * std::log10(static_cast<double>(error / energy));
    std::printf("chirp kept within %.1f dB\n", chirpError);
    EXPECT_LT(chirpError, -20.0);
}

}  // namespace
