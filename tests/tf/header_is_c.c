/* The public header must compile as plain C. */
#include "mornavel.h"

int32_t MornavelHeaderIsC(void) {
    StftParams p = {0, 0, 0, 0};
    return p.windowLength + (int32_t)sizeof(AtomParams);
}
