/* Kessling: the bridge through which the graphical programming host calls the
 * time-frequency analysis of Mornavel on its own arrays, keeping results in
 * reference objects between calls.
 *
 * Every analysis export returns a signed 32-bit status: 0, a negative status of
 * the analysis library passed through, or -(42600 + n) for a positive code n
 * (the bridge's own checks, a positive analysis status, a host memory error).
 * Host arrays are passed as the handles themselves; outputs are resized through
 * the host's memory manager. */
#ifndef KESSLING_H
#define KESSLING_H

#include <stdint.h>

#include "lmrt.h"

#if defined(_WIN32)
#define KESSLING_API
#else
#define KESSLING_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Layouts of a stored matrix (rows are time instants, columns frequency bins). */
enum {
    SPT_LAYOUT_NONE = 0,
    SPT_LAYOUT_REAL = 1,        /* real matrix of doubles */
    SPT_LAYOUT_COMPLEX = 2,     /* complex matrix */
    SPT_LAYOUT_HALF_COMPLEX = 3 /* rows of half-complex doubles */
};

/* Parameters reported by SptGetParamH. */
typedef struct SptParamCluster {
    int32_t layout;
    int32_t signalLength;
    int32_t timeStep;
    int32_t frequencyBins;
    int32_t firstFrequency;
} SptParamCluster;

/* Parameters accepted by SptSetDataH, in the order of the stored record; the
 * bridge puts its own tag in place of `tag`. */
typedef struct SptInfoCluster {
    int32_t tag;
    int32_t signalLength;
    int32_t layout;
    int32_t timeStep;
    int32_t frequencyBins;
    int32_t firstFrequency;
    int32_t order;
} SptInfoCluster;

/* Window cluster of the transform exports: the window as a 1-D double array,
 * then the time step D and the number of frequency bins N. */
typedef struct SptWindowCluster {
    HostArrayHandle window;
    int32_t timeStep;
    int32_t frequencyBins;
} SptWindowCluster;

/* Axis of a graph: index i stands for offset + i * step. */
typedef struct SptAxis {
    double offset;
    double step;
} SptAxis;

/* Names the host run-time module; returns it. */
KESSLING_API LMRTModule SetLMRTModule(LMRTModule module);

/* References. `centred` asks for rows with their halves exchanged (zero
 * frequency in the middle). */
KESSLING_API int32_t SptCreateRefH(int32_t* refOut);
KESSLING_API int32_t SptDisposeRefH(int32_t ref);
KESSLING_API int32_t SptCopyRefH(int32_t source, int32_t* destination);
KESSLING_API int32_t SptGetParamH(int32_t ref, uint8_t centred, int32_t* rowsOut,
                                  int32_t* columnsOut, SptParamCluster* paramsOut);
KESSLING_API int32_t SptGetSizeH(int32_t ref, int32_t* rowsOut, int32_t* columnsOut);
KESSLING_API int32_t SptGetDataH(int32_t ref, uint8_t centred, HostArrayHandle realOut,
                                 HostArrayHandle complexOut);
KESSLING_API int32_t SptSetDataH(int32_t ref, uint8_t centred, HostArrayHandle realIn,
                                 HostArrayHandle complexIn, const SptInfoCluster* params);

/* Linear transforms. Results kept in `ref` are rows of time instants. The
 * streaming exports join the carried samples with the new block, store the
 * whole frames of the joined samples and carry the rest (with the time
 * reference in *shift) to the next call; a failure leaves carry-over and shift
 * as they were, so the same block can be offered again. */
KESSLING_API int32_t SptReSTFTWithICH(int32_t ref, HostArrayHandle signal,
                                      const SptWindowCluster* window, HostArrayHandle carryOver,
                                      int32_t* shift);
KESSLING_API int32_t SptCxSTFTWithICH(int32_t ref, HostArrayHandle signal,
                                      const SptWindowCluster* window, HostArrayHandle carryOver,
                                      int32_t* shift);
KESSLING_API int32_t SptReSTFTSpH(int32_t ref, HostArrayHandle signal,
                                  const SptWindowCluster* window, const uint8_t* reassigned);
KESSLING_API int32_t SptCxSTFTSpH(int32_t ref, HostArrayHandle signal,
                                  const SptWindowCluster* window, const uint8_t* reassigned);
KESSLING_API int32_t SptReDGTH(int32_t ref, HostArrayHandle signal, const SptWindowCluster* window);
KESSLING_API int32_t SptCxDGTH(int32_t ref, HostArrayHandle signal, const SptWindowCluster* window);
KESSLING_API int32_t SptReDGEH(int32_t ref, HostArrayHandle signalOut,
                               const SptWindowCluster* window);
KESSLING_API int32_t SptCxDGEH(int32_t ref, HostArrayHandle signalOut,
                               const SptWindowCluster* window);
KESSLING_API int32_t SptDGEH(int32_t ref, HostArrayHandle complexOut, HostArrayHandle realOut,
                             const SptWindowCluster* window, const uint8_t* real);
KESSLING_API int32_t SptDGT2DH(HostArrayHandle image, const SptWindowCluster* rowWindow,
                               const SptWindowCluster* columnWindow,
                               HostArrayHandle coefficientsOut);
KESSLING_API int32_t SptDGE2DH(HostArrayHandle coefficients, const SptWindowCluster* rowWindow,
                               const SptWindowCluster* columnWindow, HostArrayHandle imageOut,
                               int32_t rows, int32_t columns);
KESSLING_API int32_t SptFastDualH(const SptWindowCluster* window, const int32_t* parameter,
                                  HostArrayHandle dualOut);

/* Display and masks. SptGetGraphH turns a stored result into a power matrix
 * (optionally in decibels, at most 70 dB below the peak), kept as doubles or
 * mapped into an 8-bit image with its level scale. SptGetMaskH creates, grows,
 * shrinks or deletes (method 0, 1, other) the region under a seed of a label
 * image judged by a level map; it always returns 0. SptBinanryMaskH zeroes the
 * stored cells where the mask is 0. */
KESSLING_API int32_t SptGetGraphH(int32_t ref, uint8_t centred, const uint8_t* keepValues,
                                  const uint8_t* decibel, double topFraction, double bottomFraction,
                                  HostArrayHandle graph, HostArrayHandle image, SptAxis* timeAxis,
                                  SptAxis* frequencyAxis, SptAxis* levelAxis);
KESSLING_API int32_t SptGetMaskH(HostArrayHandle levels, HostArrayHandle labels,
                                 HostArrayHandle regionLevels, const int32_t* seedRow,
                                 const int32_t* seedColumn, const double* growFraction,
                                 const double* shrinkFraction, int32_t method,
                                 HostArrayHandle labelsOut, HostArrayHandle regionLevelsOut);
KESSLING_API int32_t SptBinanryMaskH(int32_t ref, HostArrayHandle mask);

/* Quadratic distributions, stored as n/S rows of B/2 (real signal) or B
 * (complex signal) real bins. A real signal is prepared as its analytic
 * signal when *analytic is true, else interpolated to twice its rate. The
 * Cohen exports take the kernel as a 2-D array of B rows by H columns; the
 * cone exports compute the cone-shaped distribution with `parameter` as its
 * alpha when *select is true, else the Choi-Williams one with `parameter` as
 * its sigma. */
KESSLING_API int32_t SptReWVDH(int32_t ref, HostArrayHandle signal, int32_t bins, int32_t timeStep,
                               const uint8_t* analytic);
KESSLING_API int32_t SptCxWVDH(int32_t ref, HostArrayHandle signal, int32_t bins, int32_t timeStep);
KESSLING_API int32_t SptReCohenH(int32_t ref, HostArrayHandle signal, HostArrayHandle kernel,
                                 int32_t timeStep, const uint8_t* analytic);
KESSLING_API int32_t SptCxCohenH(int32_t ref, HostArrayHandle signal, HostArrayHandle kernel,
                                 int32_t timeStep);
KESSLING_API int32_t SptReConeAndCWDH(int32_t ref, HostArrayHandle signal, double parameter,
                                      int32_t bins, int32_t timeStep, const uint8_t* analytic,
                                      const uint8_t* select);
KESSLING_API int32_t SptCxConeAndCWDH(int32_t ref, HostArrayHandle signal, double parameter,
                                      int32_t bins, int32_t timeStep, const uint8_t* select);

/* The Gabor spectrogram of the Gabor coefficients in `source`, stored in
 * *destination (created when it names no reference) on a grid resampled by
 * the resolution factors (x >= 1 oversamples by ceil(x), x < 1 decimates by
 * floor(1/x)), from firstBin for binCount bins. When only the order changed
 * since the last call on the same destination, the terms between the two
 * orders are added or removed instead of recomputing; *recompute says which
 * was done. A variance <= 0 takes the default of the stored lattice. */
KESSLING_API int32_t SptGaborSpH(int32_t source, int32_t centre, double variance, int32_t order,
                                 double timeFactor, double frequencyFactor, int32_t firstBin,
                                 int32_t binCount, uint8_t* recompute, int32_t* destination);
/* Mean instantaneous frequency (radians per sample) of the Gabor spectrogram
 * of the given order of the coefficients in `ref`, resampled by `factor`. */
KESSLING_API int32_t SptMIFOfGaborSpH(int32_t ref, double variance, int32_t order, double factor,
                                      HostArrayHandle output);
/* Instantaneous frequency of every row of a stored real spectrogram or
 * distribution, in cycles per sample (the units of the graph's frequency
 * axis); *timeStepOut receives the samples between rows. `parameter` is not
 * used. */
KESSLING_API int32_t SptInstantFreqH(int32_t ref, double parameter, HostArrayHandle output,
                                     int32_t* timeStepOut);

/* Adaptive representation. Term parameters travel as a 1-D double array whose
 * size field counts terms, each term four doubles (AtomParams: alpha, centre
 * time, centre frequency, chirp rate); coefficients as a 1-D complex array,
 * one per term. The expansions and the spectrogram use the smaller of the two
 * counts. */
typedef struct SptZoomCluster {
    int32_t factor;   /* frequency oversampling, at least 1 */
    int32_t firstBin; /* first bin shown, counted in oversampled bins */
    int32_t binCount; /* bins shown */
} SptZoomCluster;

/* The signal of `length` samples rebuilt from the terms (real, or complex). */
KESSLING_API int32_t SptReAdaptExpanH(HostArrayHandle parameters, HostArrayHandle coefficients,
                                      int32_t length, HostArrayHandle output);
KESSLING_API int32_t SptCxAdaptExpanH(HostArrayHandle parameters, HostArrayHandle coefficients,
                                      int32_t length, HostArrayHandle output);
/* Adaptive spectrogram of a signal of n samples: n/S rows by the zoom's bin
 * count, of factor*N bins around the circle (half of them for a real
 * signal); the zoom cluster is brought into range and written back. `extra`
 * centres zero frequency for a complex signal. */
KESSLING_API int32_t SptAdaptSpExH(HostArrayHandle parameters, HostArrayHandle coefficients,
                                   int32_t n, int32_t S, int32_t N, SptZoomCluster* zoom,
                                   const uint8_t* real, HostArrayHandle output, int32_t extra);
/* Matching pursuit of the signal with up to `terms` Gaussian chirplets:
 * coefficients and term parameters of the terms found, the residual signal
 * (`approximation`) and the residual energy in percent. A maxWindow of 8 or
 * more is rounded up to a power of two and halved while it exceeds the
 * signal; smaller values take the power of two nearest the signal length.
 * Any failure empties the three outputs and sets the residual to 0. */
KESSLING_API int32_t SptReAdaptTransH(HostArrayHandle signal, int32_t mode, int32_t extType,
                                      int32_t maxWindow, double support, int32_t iterations,
                                      int32_t terms, double* residual, HostArrayHandle coefficients,
                                      HostArrayHandle parameters, HostArrayHandle approximation);
KESSLING_API int32_t SptCxAdaptTransH(HostArrayHandle signal, int32_t mode, int32_t extType,
                                      int32_t maxWindow, double support, int32_t iterations,
                                      int32_t terms, double* residual, HostArrayHandle coefficients,
                                      HostArrayHandle parameters, HostArrayHandle approximation);

#ifdef __cplusplus
}
#endif

#endif /* KESSLING_H */
