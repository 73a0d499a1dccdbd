/* Test host: a host run-time (lmrt) that provides the functions the libraries
 * bind to by name, with switches for tests. Tests, tools and demos load it as
 * their host run-time.
 *
 * Host memory: a handle is a pointer to a master pointer to one block; resizing
 * keeps the handle and always moves the block (as relocatable handles may), so
 * that a caller holding on to an old block pointer shows up under the
 * sanitizers. Bytes a resize adds are filled with kTestHostFillByte. */
#ifndef TESTHOST_H
#define TESTHOST_H

#include <stdint.h>

#include "lmrt.h"

#if defined(_WIN32)
#define TESTHOST_API
#else
#define TESTHOST_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Error codes of the test host's memory and file functions. */
enum {
    TESTHOST_OK = 0,
    TESTHOST_BAD_ARGUMENT = 1, /* unknown type code, negative count, unknown handle or path */
    TESTHOST_MEMORY_FULL = 2   /* the block cannot be provided */
};

/* Byte that fills the bytes a resize adds to a block. */
enum { TESTHOST_FILL_BYTE = 0xCD };

/* FExists results. */
enum { TESTHOST_NO_FILE = 0, TESTHOST_FILE = 1, TESTHOST_FOLDER = 2, TESTHOST_OTHER_FILE = 3 };

/* Marks the module as the host run-time. */
TESTHOST_API extern const uint32_t gLMRTVersion;

/* The host run-time functions. */
TESTHOST_API int32_t LMRT_CALL NumericArrayResize(int32_t typeCode, int32_t numDims,
                                                  HostArrayHandle* handle, int32_t totalElements);
TESTHOST_API int32_t LMRT_CALL Min(int32_t a, int32_t b);
TESTHOST_API void LMRT_CALL MoveBlock(const void* source, void* destination, int32_t bytes);
TESTHOST_API int32_t LMRT_CALL DSDisposePtr(void* block);
TESTHOST_API int32_t LMRT_CALL RTSetCleanupProc(HostCleanupProc routine, int32_t argument,
                                                int32_t mode);
TESTHOST_API void* LMRT_CALL DSNewPtr(int32_t bytes);
TESTHOST_API void* LMRT_CALL DSNewPClr(int32_t bytes);
TESTHOST_API int32_t LMRT_CALL FDisposePath(HostPath path);
TESTHOST_API int32_t LMRT_CALL FExists(HostPath path);
TESTHOST_API int32_t LMRT_CALL FTextToPath(const char* text, int32_t length, HostPath* path);
TESTHOST_API int32_t LMRT_CALL StrLen(const char* text);
TESTHOST_API int32_t LMRT_CALL DSSetHandleSize(HostArrayHandle handle, int32_t bytes);
TESTHOST_API int32_t LMRT_CALL Occur(uint32_t occurrence);

/* Test switches and inspection. */

/* The k-th following resize (NumericArrayResize or DSSetHandleSize, counting
 * from 1) fails with `code` and changes nothing; k <= 0 disarms. */
TESTHOST_API void TestHostFailResize(int32_t k, int32_t code);
/* The k-th following allocation (DSNewPtr, DSNewPClr, FTextToPath) fails; k <= 0 disarms. */
TESTHOST_API void TestHostFailAllocation(int32_t k);
/* Non-zero once an armed resize or allocation failure has happened. */
TESTHOST_API int32_t TestHostInjectedFailureHappened(void);

/* Live handles, pointer blocks (DSNewPtr, DSNewPClr) and path objects. */
TESTHOST_API int32_t TestHostLiveHandles(void);
TESTHOST_API int32_t TestHostLiveBlocks(void);
TESTHOST_API int32_t TestHostLivePaths(void);

/* A new handle whose block has `bytes` bytes, all zero; null on failure. */
TESTHOST_API HostArrayHandle TestHostNewHandle(int32_t bytes);
/* Releases a handle and its block; TESTHOST_BAD_ARGUMENT for an unknown handle. */
TESTHOST_API int32_t TestHostDisposeHandle(HostArrayHandle handle);
/* Size in bytes of a handle's block; -1 for an unknown handle. */
TESTHOST_API int32_t TestHostHandleSize(HostArrayHandle handle);

/* A new occurrence value (never 0). */
TESTHOST_API uint32_t TestHostNewOccurrence(void);
/* How often Occur has fired `occurrence`. */
TESTHOST_API int32_t TestHostOccurrenceCount(uint32_t occurrence);
/* Waits until `occurrence` has fired more than `count` times or `timeoutMs`
 * milliseconds have passed; returns the number of firings then. */
TESTHOST_API int32_t TestHostWaitOccurrence(uint32_t occurrence, int32_t count, int32_t timeoutMs);

/* Number of registered clean-up routines. */
TESTHOST_API int32_t TestHostCleanupCount(void);
/* Cleans up as the host does when a program stops: calls every registered
 * routine once with its argument, in the order of registration, and forgets
 * them. Returns the number of routines called. */
TESTHOST_API int32_t TestHostRunCleanups(void);

/* Text of a live path object; null for an unknown path. */
TESTHOST_API const char* TestHostPathText(HostPath path);

#ifdef __cplusplus
}
#endif

#endif /* TESTHOST_H */
