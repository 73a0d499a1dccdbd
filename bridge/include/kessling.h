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

#ifdef __cplusplus
}
#endif

#endif /* KESSLING_H */
