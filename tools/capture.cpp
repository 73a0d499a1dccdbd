#include "capture.h"

#include <cmath>

namespace front::capture {

namespace {

// A small deterministic generator (xorshift64*), so that the noise does not
// depend on the standard library's distributions.
class Noise {
  public:
    double Uniform() {
        state_ ^= state_ >> 12;
        state_ ^= state_ << 25;
        state_ ^= state_ >> 27;
        return static_cast<double>((state_ * 2685821657736338717ull) >> 11) * 0x1.0p-53;
    }
    // Box-Muller; the first uniform is kept away from 0.
    double Gaussian() {
        const double u = 1.0 - Uniform(), v = Uniform();
        return std::sqrt(-2.0 * std::log(u)) * std::cos(6.283185307179586 * v);
    }

  private:
    uint64_t state_ = 0x9E3779B97F4A7C15ull;
};

}  // namespace

Signal Make() {
    Signal s;
    s.name = "built-in capture";
    s.rate = kRate;
    s.samples.resize(kLength);
    Noise noise;
    const auto click = static_cast<int32_t>(kClickTime * kRate);
    for (int32_t i = 0; i < kLength; ++i) {
        const double t = i / kRate;
        double x = 0.0;
        for (const Tone& tone : kTones)
            x += tone.amplitude * std::sin(6.283185307179586 * tone.frequency * t);
        x += kLinearChirp.amplitude * std::sin(Phase(kLinearChirp, t));
        x += kQuadraticChirp.amplitude * std::sin(Phase(kQuadraticChirp, t));
        x += kNoiseAmplitude * noise.Gaussian();
        if (i == click) x += kClickAmplitude;  // one sample: flat across all frequencies
        s.samples[i] = x;
    }
    return s;
}

}  // namespace front::capture
