/* Rhombel's header must compile as plain C. */
#include "rhombel.h"

int32_t RhombelHeaderIsC(void) {
    int32_t rows = 0;
    SptRefReleaseProc release = 0;
    return rows + (release == 0) + RHOMBEL_TYPE_COMPLEX128;
}
