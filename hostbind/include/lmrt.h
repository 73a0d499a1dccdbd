/* The host run-time's interface as the libraries see it: the types it hands
 * over and the signatures of the functions they find in it by name.
 *
 * Nothing here is linked: the libraries look the functions up at run time
 * (hostbind), and the test host implements them. */
#ifndef LMRT_H
#define LMRT_H

#include <stdint.h>

#if defined(_WIN32)
#define LMRT_CALL __cdecl
#else
#define LMRT_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Module of the host run-time (a module handle on Windows, a dynamic-loader
 * handle on Linux). */
typedef void* LMRTModule;

/* Host numeric-array handle: a pointer to a pointer to one block. The block
 * holds one int32 size per dimension (outermost first), immediately followed by
 * the elements in row-major order. */
typedef struct HostArrayBlock HostArrayBlock;
typedef HostArrayBlock** HostArrayHandle;

/* Host element type codes of NumericArrayResize. */
enum {
    LMRT_TYPE_INT8 = 1,       /* 8-bit elements (label images) */
    LMRT_TYPE_UINT8 = 5,      /* unsigned 8-bit elements (intensity images) */
    LMRT_TYPE_DOUBLE = 10,    /* IEEE-754 doubles */
    LMRT_TYPE_COMPLEX128 = 13 /* complex doubles: real part, then imaginary part */
};

/* Bytes per element of a host element type code; 0 for other codes. */
#ifdef __cplusplus
constexpr inline int32_t LMRTElementSize(int32_t typeCode) {
#else
static inline int32_t LMRTElementSize(int32_t typeCode) {
#endif
    switch (typeCode) {
        case LMRT_TYPE_INT8:
        case LMRT_TYPE_UINT8:
            return 1;
        case LMRT_TYPE_DOUBLE:
            return 8;
        case LMRT_TYPE_COMPLEX128:
            return 16;
        default:
            return 0;
    }
}

/* Opaque host path object. */
typedef struct HostPathRecord* HostPath;

/* Routine the host calls with the registered argument when it cleans up. */
typedef int32_t(LMRT_CALL* HostCleanupProc)(int32_t argument);

/* Modes of RTSetCleanupProc. */
enum { LMRT_CLEANUP_UNREGISTER = 0, LMRT_CLEANUP_REGISTER = 2 };

/* The thirteen functions, in the order: Kessling's two, then Audiolet's eleven. */
typedef int32_t(LMRT_CALL* LMRTNumericArrayResizeFn)(int32_t typeCode, int32_t numDims,
                                                     HostArrayHandle* handle,
                                                     int32_t totalElements);
typedef int32_t(LMRT_CALL* LMRTMinFn)(int32_t a, int32_t b);
typedef void(LMRT_CALL* LMRTMoveBlockFn)(const void* source, void* destination, int32_t bytes);
typedef int32_t(LMRT_CALL* LMRTDSDisposePtrFn)(void* block);
typedef int32_t(LMRT_CALL* LMRTRTSetCleanupProcFn)(HostCleanupProc routine, int32_t argument,
                                                   int32_t mode);
typedef void*(LMRT_CALL* LMRTDSNewPtrFn)(int32_t bytes);
typedef void*(LMRT_CALL* LMRTDSNewPClrFn)(int32_t bytes);
typedef int32_t(LMRT_CALL* LMRTFDisposePathFn)(HostPath path);
typedef int32_t(LMRT_CALL* LMRTFExistsFn)(HostPath path);
typedef int32_t(LMRT_CALL* LMRTFTextToPathFn)(const char* text, int32_t length, HostPath* path);
typedef int32_t(LMRT_CALL* LMRTStrLenFn)(const char* text);
typedef int32_t(LMRT_CALL* LMRTDSSetHandleSizeFn)(HostArrayHandle handle, int32_t bytes);
typedef int32_t(LMRT_CALL* LMRTOccurFn)(uint32_t occurrence);

#ifdef __cplusplus
}
#endif

#endif /* LMRT_H */
