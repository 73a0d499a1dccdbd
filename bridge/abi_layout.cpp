// The host's clusters the bridge reads and writes, and the info record it
// hands to the reference-object library with each reference.
#include "abi_layout.h"

#include "kessling.h"
#include "tavik_info.h"

using abi::kPointer;
using kessling::TavikInfo;

ABI_OFFSET(SptParamCluster, layout, 0);
ABI_OFFSET(SptParamCluster, signalLength, 4);
ABI_OFFSET(SptParamCluster, timeStep, 8);
ABI_OFFSET(SptParamCluster, frequencyBins, 12);
ABI_OFFSET(SptParamCluster, firstFrequency, 16);
ABI_SIZE(SptParamCluster, 20);

ABI_OFFSET(SptInfoCluster, tag, 0);
ABI_OFFSET(SptInfoCluster, signalLength, 4);
ABI_OFFSET(SptInfoCluster, layout, 8);
ABI_OFFSET(SptInfoCluster, timeStep, 12);
ABI_OFFSET(SptInfoCluster, frequencyBins, 16);
ABI_OFFSET(SptInfoCluster, firstFrequency, 20);
ABI_OFFSET(SptInfoCluster, order, 24);
ABI_SIZE(SptInfoCluster, 28);

ABI_OFFSET(SptWindowCluster, window, 0);
ABI_OFFSET(SptWindowCluster, timeStep, kPointer);
ABI_OFFSET(SptWindowCluster, frequencyBins, kPointer + 4);
ABI_SIZE(SptWindowCluster, abi::WithPointer(kPointer + 8));

ABI_OFFSET(SptAxis, offset, 0);
ABI_OFFSET(SptAxis, step, 8);
ABI_SIZE(SptAxis, 16);

ABI_OFFSET(SptZoomCluster, factor, 0);
ABI_OFFSET(SptZoomCluster, firstBin, 4);
ABI_OFFSET(SptZoomCluster, binCount, 8);
ABI_SIZE(SptZoomCluster, 12);

ABI_OFFSET(TavikInfo, tag, 0);
ABI_OFFSET(TavikInfo, signalLength, kPointer);
ABI_OFFSET(TavikInfo, layout, kPointer + 4);
ABI_OFFSET(TavikInfo, timeStep, kPointer + 8);
ABI_OFFSET(TavikInfo, frequencyBins, kPointer + 12);
ABI_OFFSET(TavikInfo, firstFrequency, kPointer + 16);
ABI_OFFSET(TavikInfo, order, kPointer + 20);
ABI_SIZE(TavikInfo, abi::WithPointer(kPointer + 24));
