/* Mornavel: time-frequency analysis on arrays of doubles.
 *
 * Every function returns a signed 32-bit status, 0 on success; outputs go into
 * caller-owned arrays. Matrices are frame-major: all frequency bins of one time
 * instant together, instants in time order. */
#ifndef MORNAVEL_H
#define MORNAVEL_H

#include <stdint.h>

#if defined(_WIN32)
#define MORNAVEL_API
#else
#define MORNAVEL_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Status codes shared by the exports. */
enum {
    MORNAVEL_OK = 0,
    MORNAVEL_BAD_LAYOUT = -1,   /* bad array layout or transform-length mismatch */
    MORNAVEL_NO_MEMORY = -20001 /* scratch memory exhausted */
};

/* Analysis window and lattice of the STFT, Gabor and reassignment exports. */
typedef struct StftParams {
    const double* window; /* w[0 .. windowLength-1] */
    int32_t windowLength; /* L */
    int32_t timeStep;     /* D, samples between frames */
    int32_t freqBins;     /* N, a power of two */
} StftParams;

/* One Gaussian chirplet atom. */
typedef struct AtomParams {
    double alpha;           /* inverse of the Gaussian variance, 1/samples^2 */
    double centerTime;      /* samples */
    double centerFrequency; /* radians per sample */
    double chirpRate;       /* radians per sample^2 */
} AtomParams;

/* Layout conversions. Half-complex: hc[k] = Re X[k] for k <= n/2 and
 * hc[n-k] = Im X[k] for 1 <= k < n/2. Interleaved complex arrays hold n pairs. */
MORNAVEL_API void _Hc2Cx(const double* hc, double* cx, int32_t n);
MORNAVEL_API void _Cx2Hc(const double* cx, double* hc, int32_t n);
MORNAVEL_API void _Cx2ReIm(const double* cx, double* re, double* im, int32_t n);
MORNAVEL_API void _ReIm2Cx(const double* re, const double* im, double* cx, int32_t n);
MORNAVEL_API void _Hc2ReIm(const double* hc, double* re, double* im, int32_t n);
MORNAVEL_API void _ReIm2Hc(const double* re, const double* im, double* hc, int32_t n);

/* Signal extension: extLen samples before x[0] (before[extLen-1] next to it)
 * and extLen samples after x[n-1] (after[0] next to it). type: 0 zeros,
 * 1 mirror image, 2 periodic, 3 mirror image faded out, 5 line through the two
 * edge samples, 6 parabola through the three edge samples. The complex variant
 * takes interleaved pairs. Returns 4 for an unknown type, 1 for a signal too
 * short for the rule. */
MORNAVEL_API int32_t ReExtension(const double* x, int32_t n, int32_t type, int32_t extLen,
                                 double* before, double* after);
MORNAVEL_API int32_t CxExtension(const double* x, int32_t n, int32_t type, int32_t extLen,
                                 double* before, double* after);

/* Unit-energy Gaussian window: w[i] = (pi*variance)^(-1/4) *
 * exp(-(center - i)^2 / (2*variance)), i = 0 .. L-1. Always returns 0. */
MORNAVEL_API int32_t Gaussian(int32_t L, double center, double variance, double* w);
/* Minimum-norm dual (synthesis) window of the analysis window w[0 .. L-1] for
 * time step D and N frequency bins (a power of two, N >= D, L a multiple of
 * both). mode 0 takes the window as periodic with period L; mode 1 makes the
 * Gabor expansion invert the Gabor transform for any signal length. dual
 * receives L doubles. */
MORNAVEL_API int32_t FastDual(const double* w, int32_t L, int32_t D, int32_t N, int32_t mode,
                              double* dual);

#ifdef __cplusplus
}
#endif

#endif /* MORNAVEL_H */
