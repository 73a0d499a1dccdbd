#pragma once
// Status codes returned by the analysis exports.

#include <cstdint>

namespace status {

constexpr int32_t kOk = 0;
constexpr int32_t kShortSignal = 1;              // empty or too short signal; bad window length
constexpr int32_t kBadBinCount = 3;              // frequency bins not a power of two, or no lags
constexpr int32_t kBadExtensionType = 4;         // extension rule not recognised
constexpr int32_t kBadRowStep = 11;              // time step between spectrogram rows below 1
constexpr int32_t kBadTimeStep = 12;             // distribution time step unusable
constexpr int32_t kBadOrder = 13;                // order of the Gabor spectrogram negative
constexpr int32_t kBadAtomCount = 15;            // negative number of atoms to extract
constexpr int32_t kBadVariance = 17;             // window variance not positive
constexpr int32_t kBadFrequencyRange = 20;       // frequency samples outside the grid
constexpr int32_t kBadOversampling = 21;         // negative time or frequency oversampling
constexpr int32_t kBadKernelSize = 18;           // kernel or bins do not fit the time transform
constexpr int32_t kBadLattice = 19;              // time step / frequency bins unusable
constexpr int32_t kBadLayout = -1;               // bad array layout or transform-length mismatch
constexpr int32_t kNoMemory = -20001;            // scratch memory exhausted
constexpr int32_t kBadMatrixSize = -20003;       // pseudo-inverse of an empty matrix
constexpr int32_t kBadPeriodicityMode = -20061;  // dual window mode neither 0 nor 1
constexpr int32_t kNoConvergence = -20062;       // singular value decomposition did not converge
constexpr int32_t kBadSmoothingStep = -20009;    // smoothing step not a power of two

}  // namespace status
