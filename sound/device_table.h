#pragma once
// The device table, the device records and their buffer lists, shared by input
// and output: opening and closing a device, queuing and releasing buffers, the
// callback threads and the mapping of wave-audio results.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

#include "audiolet.h"
#include "wave_audio.h"

namespace audiolet {

inline constexpr int32_t kOk = 0;
inline constexpr int32_t kInvalidParameter = AUDIOLET_INVALID_PARAMETER;
inline constexpr int32_t kDeviceError = AUDIOLET_DEVICE_ERROR;
inline constexpr int32_t kNoDriver = AUDIOLET_NO_DRIVER;
inline constexpr int32_t kNotSupported = AUDIOLET_NOT_SUPPORTED;
inline constexpr int32_t kAllInUse = AUDIOLET_ALL_IN_USE;
inline constexpr int32_t kDeviceBusy = AUDIOLET_DEVICE_BUSY;
inline constexpr int32_t kOutOfMemory = AUDIOLET_OUT_OF_MEMORY;
inline constexpr int32_t kOverrun = AUDIOLET_OVERRUN;
inline constexpr int32_t kNotAFile = AUDIOLET_NOT_A_FILE;
inline constexpr int kSlots = AUDIOLET_DEVICES;
inline constexpr int kInputBuffers = 3;

struct BufferNode {
    int32_t done;  // the driver has returned the buffer
    WAVEHDR* header;
    BufferNode* next;
};

struct SoundDevice {
    uint8_t direction;  // 1 input, 0 output
    int32_t overrun;
    uint32_t deviceId;
    void* wave;           // HWAVEIN or HWAVEOUT
    std::thread* thread;  // the callback thread
    uint16_t channels;
    uint16_t bits;
    uint32_t rate;
    int32_t queued;
    int32_t readyThreshold;
    uint32_t occurrence;
    uint32_t bufferSize;
    BufferNode* readPosition;
    BufferNode* fillPosition;
    BufferNode* head;
    BufferNode* tail;
    // The callback thread's id: a thread serves only the record it was made for,
    // even when its device number has been given to a new device meanwhile.
    DWORD threadId;
};

// The one mutex over the table and every record.
std::mutex& TableMutex();

// The record open at `deviceNumber`, or null (also for numbers outside 0 ... 15);
// the mutex is held.
SoundDevice* FindDevice(int32_t deviceNumber);

int32_t MapWaveResult(MMRESULT result);

// Whether channels, bits and rate are a supported format.
bool ValidFormat(uint16_t channels, uint16_t bits, uint32_t rate);

// Opens a device and stores it in the lowest free slot; the mutex is held.
int32_t OpenSoundDevice(int32_t* deviceNumber, bool input, uint32_t deviceId, uint16_t channels,
                        uint32_t rate, uint16_t bits, uint32_t bufferSize);

// Closes the device at `deviceNumber` and frees everything; takes the mutex itself.
// Also the clean-up routine registered with the host.
int32_t LMRT_CALL CloseSoundDevice(int32_t deviceNumber);

// Input: allocates a buffer of the record's size and appends it. Output:
// queues `bytes` bytes of `samples` with the driver and appends the buffer.
int32_t QueueBuffer(SoundDevice& device, const void* samples, int32_t bytes);

// Unprepares, frees and unlinks the oldest buffer.
int32_t ReleaseOldestBuffer(SoundDevice& device);

// The successor of a node in the ring (the head after the tail and after null).
BufferNode* Next(const SoundDevice& device, const BufferNode* node);

}  // namespace audiolet
