// The records callers hand to the analysis exports by pointer.
#include "abi_layout.h"

#include "mornavel.h"

using abi::kPointer;

ABI_OFFSET(StftParams, window, 0);
ABI_OFFSET(StftParams, windowLength, kPointer);
ABI_OFFSET(StftParams, timeStep, kPointer + 4);
ABI_OFFSET(StftParams, freqBins, kPointer + 8);
ABI_SIZE(StftParams, abi::WithPointer(kPointer + 12));

ABI_OFFSET(AtomParams, alpha, 0);
ABI_OFFSET(AtomParams, centerTime, 8);
ABI_OFFSET(AtomParams, centerFrequency, 16);
ABI_OFFSET(AtomParams, chirpRate, 24);
ABI_SIZE(AtomParams, 32);
