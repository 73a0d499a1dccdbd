// Sound input: SIConfig, SIStart, SIRead, SIStop, SIClear (also SOClear),
// GetInfo and SetLMRTModule. Input records into a ring of three buffers, which
// SIRead hands to the host and queues again.

#include <algorithm>
#include <cstring>

#include "audiolet_host.h"
#include "binding.h"
#include "device_table.h"

using namespace audiolet;
namespace host = hostbind;

namespace {

// Size words of the host's 1-D and 2-D arrays.
constexpr int32_t kSizeBytes[2] = {4, 8};

// Gives a host sound array `dims` sizes and room for `bytes` bytes of samples.
int32_t ResizeSoundArray(HostArrayHandle handle, int dims, int32_t bytes, int32_t size0) {
    if (!handle) return kOk;  // the host passed no array for this format
    const int32_t status = host::DSSetHandleSize(handle, kSizeBytes[dims - 1] + bytes);
    if (status != kOk) return status;
    auto* sizes = reinterpret_cast<int32_t*>(*handle);
    sizes[0] = size0;
    if (dims == 2) sizes[1] = size0 ? 2 : 0;
    return kOk;
}

// Requeues a buffer that SIRead has emptied; results are ignored, as the ring
// simply loses the buffer if the driver refuses it.
void Requeue(SoundDevice& d, BufferNode& node) {
    auto* in = static_cast<HWAVEIN>(d.wave);
    node.done = 0;
    waveInUnprepareHeader(in, node.header, sizeof(WAVEHDR));
    node.header->dwBytesRecorded = 0;
    node.header->dwBufferLength = d.bufferSize;
    node.header->dwFlags = 0;
    waveInPrepareHeader(in, node.header, sizeof(WAVEHDR));
    waveInAddBuffer(in, node.header, sizeof(WAVEHDR));
}

int32_t RecordedBytes(const SoundDevice& d, const BufferNode& node) {
    return static_cast<int32_t>(std::min<DWORD>(d.bufferSize, node.header->dwBytesRecorded));
}

SoundDevice* FindInput(int32_t deviceNumber) {
    SoundDevice* d = FindDevice(deviceNumber);
    return d && d->direction == 1 ? d : nullptr;
}

}  // namespace

extern "C" {

LMRTModule SetLMRTModule(LMRTModule module) { return host::SetModule(module); }

int32_t SIConfig(int32_t* deviceNumber, uint32_t deviceId, uint16_t channels, uint32_t rate,
                 uint16_t bits, uint32_t bufferSize) {
    std::lock_guard guard(TableMutex());
    if (!ValidFormat(channels, bits, rate)) return kInvalidParameter;
    const uint32_t frameBytes = (channels * bits) / 8u;
    bufferSize -= bufferSize % frameBytes;
    // A buffer smaller than a frame would record nothing, forever.
    if (bufferSize == 0 || bufferSize > 0x7FFFFFFFu) return kInvalidParameter;
    int32_t status =
        OpenSoundDevice(deviceNumber, true, deviceId, channels, rate, bits, bufferSize);
    if (status != kOk) return status;
    SoundDevice* d = FindDevice(*deviceNumber);
    for (int i = 0; i < kInputBuffers && status == kOk; ++i) status = QueueBuffer(*d, nullptr, 0);
    return status;
}

int32_t SIStart(int32_t deviceNumber) {
    std::lock_guard guard(TableMutex());
    SoundDevice* d = FindInput(deviceNumber);
    if (!d) return kInvalidParameter;
    auto* in = static_cast<HWAVEIN>(d->wave);
    if (!d->fillPosition && d->head) {
        d->overrun = 0;
        d->readPosition = d->fillPosition = d->head;
        BufferNode* node = d->head;
        for (int i = 0; i < d->queued; ++i, node = node->next) {
            node->done = 0;
            node->header->dwBytesRecorded = 0;
            node->header->dwBufferLength = d->bufferSize;
            node->header->dwFlags = 0;
            int32_t status = MapWaveResult(waveInPrepareHeader(in, node->header, sizeof(WAVEHDR)));
            if (status == kOk)
                status = MapWaveResult(waveInAddBuffer(in, node->header, sizeof(WAVEHDR)));
            if (status != kOk) return status;
        }
    }
    return MapWaveResult(waveInStart(in));
}

int32_t SIRead(int32_t deviceNumber, uint8_t* noData, uint32_t* occurrence, HostArrayHandle mono8,
               HostArrayHandle mono16, HostArrayHandle stereo8, HostArrayHandle stereo16) {
    if (noData) *noData = 0;
    std::lock_guard guard(TableMutex());
    SoundDevice* d = FindInput(deviceNumber);
    if (!d) return kInvalidParameter;
    if (d->overrun) {
        BufferNode* node = d->readPosition;
        if (node && node->done)
            waveInUnprepareHeader(static_cast<HWAVEIN>(d->wave), node->header, sizeof(WAVEHDR));
        return kOverrun;
    }
    if (occurrence) d->occurrence = *occurrence;
    if (!d->readPosition) return kOk;

    HostArrayHandle arrays[4] = {mono8, mono16, stereo8, stereo16};
    if (!d->readPosition->done) {
        if (noData) *noData = 1;
        int32_t first = kOk;
        for (int i = 0; i < 4; ++i) {
            const int32_t status = ResizeSoundArray(arrays[i], i < 2 ? 1 : 2, 0, 0);
            if (first == kOk) first = status;
        }
        return first;
    }

    int taken = 0;
    int32_t total = 0;
    for (BufferNode* node = d->readPosition;
         taken < std::min(kInputBuffers, d->queued) && node->done; node = Next(*d, node), ++taken)
        total += RecordedBytes(*d, *node);

    const int index = d->bits / 8 - 3 + 2 * d->channels;
    const int dims = d->channels;
    const int32_t sampleBytes = d->bits / 8;
    const int32_t size0 = total / (sampleBytes * d->channels);
    int32_t status = ResizeSoundArray(arrays[index], dims, total, size0);
    for (int i = 0; i < 4 && status == kOk; ++i)
        if (i != index) status = ResizeSoundArray(arrays[i], i < 2 ? 1 : 2, 0, 0);
    if (status != kOk) return status;

    char* out =
        arrays[index] ? reinterpret_cast<char*>(*arrays[index]) + kSizeBytes[dims - 1] : nullptr;
    BufferNode* node = d->readPosition;
    for (int i = 0; i < taken; ++i, node = Next(*d, node)) {
        const int32_t bytes = RecordedBytes(*d, *node);
        if (out) {
            host::MoveBlock(node->header->lpData, out, bytes);
            out += bytes;
        }
        Requeue(*d, *node);
    }
    d->readPosition = node;
    return kOk;
}

int32_t SIStop(int32_t deviceNumber) {
    std::lock_guard guard(TableMutex());
    SoundDevice* d = FindInput(deviceNumber);
    if (!d) return kInvalidParameter;
    return MapWaveResult(waveInStop(static_cast<HWAVEIN>(d->wave)));
}

int32_t SIClear(int32_t deviceNumber) {
    host::RTSetCleanupProc(CloseSoundDevice, deviceNumber, LMRT_CLEANUP_UNREGISTER);
    if (deviceNumber < 0 || deviceNumber >= kSlots) return kOk;
    return CloseSoundDevice(deviceNumber);
}

// One entry point under both names (the export list names it twice too).
int32_t SOClear(int32_t deviceNumber) __attribute__((alias("SIClear")));

int32_t GetInfo(int32_t deviceNumber, int32_t* deviceId, int32_t* direction, int16_t* channels,
                int32_t* rate, int16_t* bits, int32_t* bufferSize) {
    std::lock_guard guard(TableMutex());
    const SoundDevice* d = FindDevice(deviceNumber);
    if (!d) return kInvalidParameter;
    if (deviceId) *deviceId = static_cast<int32_t>(d->deviceId);
    if (direction) *direction = d->direction;
    if (channels) *channels = static_cast<int16_t>(d->channels);
    if (rate) *rate = static_cast<int32_t>(d->rate);
    if (bits) *bits = static_cast<int16_t>(d->bits);
    if (bufferSize) *bufferSize = static_cast<int32_t>(d->bufferSize);
    return kOk;
}

}  // extern "C"
