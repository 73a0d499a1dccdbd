// The wave-audio records Audiolet fills and the wave driver reads: the format
// passed to the open calls and the buffer headers. On Windows they are the
// system's (byte-packed); our own layer on Linux keeps the same offsets.
#include "abi_layout.h"

#include "wave_audio.h"

using abi::kPointer;

ABI_OFFSET(WAVEFORMATEX, wFormatTag, 0);
ABI_OFFSET(WAVEFORMATEX, nChannels, 2);
ABI_OFFSET(WAVEFORMATEX, nSamplesPerSec, 4);
ABI_OFFSET(WAVEFORMATEX, nAvgBytesPerSec, 8);
ABI_OFFSET(WAVEFORMATEX, nBlockAlign, 12);
ABI_OFFSET(WAVEFORMATEX, wBitsPerSample, 14);
ABI_OFFSET(WAVEFORMATEX, cbSize, 16);
#if defined(_WIN32)
ABI_SIZE(WAVEFORMATEX, 18);
#endif

ABI_OFFSET(WAVEHDR, lpData, 0);
ABI_OFFSET(WAVEHDR, dwBufferLength, kPointer);
ABI_OFFSET(WAVEHDR, dwBytesRecorded, kPointer + 4);
ABI_OFFSET(WAVEHDR, dwUser, kPointer + 8);
ABI_OFFSET(WAVEHDR, dwFlags, 2 * kPointer + 8);
ABI_OFFSET(WAVEHDR, dwLoops, 2 * kPointer + 12);
ABI_OFFSET(WAVEHDR, lpNext, 2 * kPointer + 16);
ABI_OFFSET(WAVEHDR, reserved, 3 * kPointer + 16);
ABI_SIZE(WAVEHDR, 4 * kPointer + 16);
