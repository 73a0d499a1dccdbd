/* The test host's header must compile as plain C. */
#include "testhost.h"

int32_t TestHostHeaderIsC(void) {
    HostArrayHandle handle = 0;
    return LMRTElementSize(LMRT_TYPE_COMPLEX128) + (handle == 0) + TESTHOST_MEMORY_FULL;
}
