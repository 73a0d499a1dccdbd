/* Kessling's public header must compile as plain C. */
#include "kessling.h"

int32_t KesslingHeaderIsC(void) {
    SptParamCluster params = {0, 0, 0, 0, 0};
    SptInfoCluster info = {0, 0, SPT_LAYOUT_HALF_COMPLEX, 0, 0, 0, -1};
    HostArrayHandle handle = 0;
    return params.layout + info.layout + (handle == 0);
}
