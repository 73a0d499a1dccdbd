// Host numeric-array blocks: one int32 size per dimension, the elements
// straight after them with no padding for their alignment, doubles of 8 bytes
// and complex doubles of 16.
#include "abi_layout.h"

#include "host_arrays.h"

static_assert(hostbind::ElementOffset(1) == 4,
              "layout of a 1-D host array block: its elements must start at byte 4");
static_assert(hostbind::ElementOffset(2) == 8,
              "layout of a 2-D host array block: its elements must start at byte 8");
static_assert(hostbind::ElementOffset(4) == 16,
              "layout of a 4-D host array block: its elements must start at byte 16");
static_assert(LMRTElementSize(LMRT_TYPE_DOUBLE) == 8 && sizeof(double) == 8,
              "layout of host double elements: they must take 8 bytes");
static_assert(LMRTElementSize(LMRT_TYPE_COMPLEX128) == 16,
              "layout of host complex elements: they must take 16 bytes");
