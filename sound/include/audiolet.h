/* Audiolet: sound input and output for the graphical programming host, over the
 * wave-audio devices.
 *
 * Up to 16 devices are open at a time; the device number (0 ... 15) that
 * SIConfig and SOConfig give back names the device in every other call. Sound
 * data travels in the host's own arrays: mono data in 1-D arrays (one int32
 * size, then the samples), stereo data in 2-D arrays (frames, then 2; then the
 * frames, left before right). 8-bit samples are unsigned bytes, 16-bit samples
 * signed little-endian.
 *
 * Every export returns a signed 32-bit code: 0, one of AUDIOLET_* below, or a
 * positive host memory-manager code. */
#ifndef AUDIOLET_H
#define AUDIOLET_H

#include <stdint.h>

#include "lmrt.h"

#if defined(_WIN32)
#define AUDIOLET_API
#else
#define AUDIOLET_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

enum {
    AUDIOLET_INVALID_PARAMETER = -10003, /* bad format, device id or device number */
    AUDIOLET_DEVICE_ERROR = -10005,      /* any other wave-audio failure */
    AUDIOLET_NO_DRIVER = -10240,
    AUDIOLET_NOT_SUPPORTED = -10403, /* format or volume control not supported */
    AUDIOLET_ALL_IN_USE = -10405,    /* all 16 device numbers are in use */
    AUDIOLET_DEVICE_BUSY = -10408,   /* the wave device is already allocated */
    AUDIOLET_OUT_OF_MEMORY = -10444,
    AUDIOLET_OVERRUN = -10846 /* input ring overflowed; sticky until cleared */
};

/* Host file-manager code of SOPlayFromFile for a path that is not a file. */
enum { AUDIOLET_NOT_A_FILE = 6 };

/* Number of device numbers. */
enum { AUDIOLET_DEVICES = 16 };

AUDIOLET_API LMRTModule SetLMRTModule(LMRTModule module);

/* Input. */
AUDIOLET_API int32_t SIConfig(int32_t* deviceNumber, uint32_t deviceId, uint16_t channels,
                              uint32_t rate, uint16_t bits, uint32_t bufferSize);
AUDIOLET_API int32_t SIStart(int32_t deviceNumber);
AUDIOLET_API int32_t SIRead(int32_t deviceNumber, uint8_t* noData, uint32_t* occurrence,
                            HostArrayHandle mono8, HostArrayHandle mono16, HostArrayHandle stereo8,
                            HostArrayHandle stereo16);
AUDIOLET_API int32_t SIStop(int32_t deviceNumber);
AUDIOLET_API int32_t SIClear(int32_t deviceNumber);
AUDIOLET_API int32_t GetInfo(int32_t deviceNumber, int32_t* deviceId, int32_t* direction,
                             int16_t* channels, int32_t* rate, int16_t* bits, int32_t* bufferSize);

/* Output. */
AUDIOLET_API int32_t SOConfig(int32_t* deviceNumber, uint32_t deviceId, uint16_t channels,
                              uint32_t rate, uint16_t bits);
AUDIOLET_API int32_t SOStart(int32_t deviceNumber);
AUDIOLET_API int32_t SOWrite(int32_t deviceNumber, HostArrayHandle mono8, HostArrayHandle mono16,
                             HostArrayHandle stereo8, HostArrayHandle stereo16);
AUDIOLET_API int32_t SOWait(int32_t deviceNumber, uint8_t* mustWait, uint32_t* occurrence);
AUDIOLET_API int32_t SOPause(int32_t deviceNumber);
AUDIOLET_API int32_t SOStop(int32_t deviceNumber);
/* The same entry point as SIClear. */
AUDIOLET_API int32_t SOClear(int32_t deviceNumber);
AUDIOLET_API int32_t SOVolume(int32_t deviceNumber, uint32_t high, uint32_t low);
AUDIOLET_API int32_t SOSetNumReady(int32_t deviceNumber, int32_t threshold);
AUDIOLET_API int32_t SOPlayFromFile(const char* path, int32_t wait);

#ifdef __cplusplus
}
#endif

#endif /* AUDIOLET_H */
