/* Rhombel: reference objects that keep a typed matrix and a user-data pointer
 * between calls of the host.
 *
 * A reference is named by a signed 32-bit number, 0 for none. Numbers are
 * spread over the positive range and a number is not issued again until 2^31
 * other references have been made, so a stale or made-up number is recognised
 * as invalid.
 *
 * All functions are thread-safe. SptRefLock gives the calling thread exclusive
 * use of a reference; a thread may lock a reference it holds again (each lock
 * needs its unlock) and may hold several references at once. Functions that
 * change a reference (resize, init, dimensions, user data, replication into it,
 * disposal) wait while another thread holds it; readers do not wait. The data
 * pointer is valid while the caller holds the reference and does not resize it. */
#ifndef RHOMBEL_H
#define RHOMBEL_H

#include <stdint.h>

#if defined(_WIN32)
#define RHOMBEL_API
#else
#define RHOMBEL_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Status codes. */
enum {
    RHOMBEL_OK = 0,
    RHOMBEL_NOT_A_REFERENCE = 1, /* the number names no live reference */
    RHOMBEL_BAD_ARGUMENT = 2,    /* unknown type code, negative or oversized dimensions */
    RHOMBEL_NO_MEMORY = 3,       /* the buffer or record cannot be allocated */
    RHOMBEL_NOT_HELD = 4         /* unlock of a reference the thread does not hold */
};

/* Element type codes. */
enum { RHOMBEL_TYPE_NONE = 0, RHOMBEL_TYPE_DOUBLE = 10, RHOMBEL_TYPE_COMPLEX128 = 13 };

/* Frees user data handed over with SptRefSetUserData. */
typedef void (*SptRefReleaseProc)(void* userData);

/* A new, empty reference (type none, 0 x 0, no user data); 0 when none can be made. */
RHOMBEL_API int32_t SptRefCreate(void);
/* 1 when `ref` names a live reference, else 0. */
RHOMBEL_API int32_t SptRefIsValid(int32_t ref);
/* Ends the reference (waiting while another thread holds it) and releases its
 * user data through its release routine. */
RHOMBEL_API int32_t SptRefDispose(int32_t ref);
RHOMBEL_API int32_t SptRefLock(int32_t ref);
RHOMBEL_API int32_t SptRefUnlock(int32_t ref);
/* Sets the type and dimensions and provides a zero-filled row-major buffer of
 * rows x columns elements (a buffer of the same byte size is kept as it is);
 * 0 x 0 empties. On failure the reference is unchanged. */
RHOMBEL_API int32_t SptRefInitAndResize(int32_t ref, int32_t typeCode, int32_t rows,
                                        int32_t columns);
/* Sets the type and empties the reference (0 x 0, no buffer). */
RHOMBEL_API int32_t SptRefInitBuf(int32_t ref, int32_t typeCode);
/* The element buffer; null for an empty or unknown reference. */
RHOMBEL_API void* SptRefGetDataPtr(int32_t ref);
/* The element type code last set; RHOMBEL_TYPE_NONE for an unknown reference. */
RHOMBEL_API int32_t SptRefGetDataType(int32_t ref);
/* Writes the dimensions (each pointer may be null); 0 x 0 for an unknown reference. */
RHOMBEL_API int32_t SptRefGetDim(int32_t ref, int32_t* rows, int32_t* columns);
/* Sets the dimensions within the present buffer (0, 0 marks the reference empty). */
RHOMBEL_API int32_t SptRefSetDim(int32_t ref, int32_t rows, int32_t columns);
/* The user data last set; null if none or for an unknown reference. */
RHOMBEL_API void* SptRefGetUserData(int32_t ref);
/* Attaches user data and its release routine. User data it replaces is released
 * through its own routine (unless it is the same pointer). */
RHOMBEL_API int32_t SptRefSetUserData(int32_t ref, void* userData, SptRefReleaseProc release);
/* Copies type, dimensions and elements of `source` into the reference named by
 * *destination, creating one into *destination when it names none. User data of
 * the destination is kept. On failure the destination is unchanged. */
RHOMBEL_API int32_t SptRefReplicate(int32_t source, int32_t* destination);

/* Test switches and inspection. */

/* The k-th following buffer allocation (SptRefInitAndResize, SptRefReplicate;
 * counting from 1) fails; k <= 0 disarms. */
RHOMBEL_API void RhombelTestFailResize(int32_t k);
/* Called by SptRefLock before it waits for `ref`, with the number of other
 * references the calling thread holds locked; null removes it. Lets a test
 * hold a thread between the locks it takes. */
typedef void (*RhombelLockHook)(int32_t ref, int32_t heldElsewhere);
RHOMBEL_API void RhombelTestSetLockHook(RhombelLockHook hook);
/* Number of live references. */
RHOMBEL_API int32_t RhombelTestLiveReferences(void);
/* How many locks are held on `ref` (by whichever thread holds it). */
RHOMBEL_API int32_t RhombelTestLockDepth(int32_t ref);
/* Sum of the lock depths of all live references. */
RHOMBEL_API int32_t RhombelTestHeldLocks(void);

#ifdef __cplusplus
}
#endif

#endif /* RHOMBEL_H */
