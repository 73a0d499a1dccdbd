#pragma once
// The built-in capture: three seconds at 44.1 kHz with two steady tones, a
// linear and a quadratic chirp, a click and a little white noise. It is made
// the same way on every run, so that pictures and filter results can be
// compared between runs and machines.

#include <cstdint>

#include "signal_io.h"

namespace front::capture {

inline constexpr double kRate = 44100.0;
inline constexpr int32_t kLength = 132300;  // 3 s

struct Tone {
    double frequency;  // Hz
    double amplitude;
};
inline constexpr Tone kTones[] = {{500.0, 0.15}, {17000.0, 0.1}};

// Instantaneous frequency start + (end - start) * (t / duration)^power, t in seconds.
struct Chirp {
    double start, end;  // Hz
    double power;       // 1 linear, 2 quadratic
    double amplitude;
};
inline constexpr Chirp kLinearChirp = {2000.0, 9000.0, 1.0, 0.2};
inline constexpr Chirp kQuadraticChirp = {11000.0, 14500.0, 2.0, 0.15};

inline constexpr double kClickTime = 1.5;  // s
inline constexpr double kClickAmplitude = 0.3;
inline constexpr double kNoiseAmplitude = 0.003;  // standard deviation

constexpr double Duration() { return kLength / kRate; }
constexpr double InstantaneousFrequency(const Chirp& c, double t) {
    double u = t / Duration(), p = 1.0;
    for (int i = 0; i < static_cast<int>(c.power); ++i) p *= u;
    return c.start + (c.end - c.start) * p;
}
// Phase in radians of the chirp at time t (the integral of its frequency).
constexpr double Phase(const Chirp& c, double t) {
    const double u = t / Duration();
    double p = u;
    for (int i = 0; i < static_cast<int>(c.power); ++i) p *= u;
    return 6.283185307179586 * (c.start * t + (c.end - c.start) * Duration() * p / (c.power + 1));
}

Signal Make();

}  // namespace front::capture
