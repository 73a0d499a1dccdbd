// Sound output: SOConfig, SOStart, SOWrite, SOWait, SOPause, SOStop, SOVolume,
// SOSetNumReady and SOPlayFromFile. Every write becomes one buffer queued with
// the driver; the callback thread frees it once it has played.

#include <cstdint>

#include "audiolet_host.h"
#include "device_table.h"

using namespace audiolet;
namespace host = hostbind;

namespace {

SoundDevice* FindOutput(int32_t deviceNumber) {
    SoundDevice* d = FindDevice(deviceNumber);
    return d && d->direction == 0 ? d : nullptr;
}

HWAVEOUT Out(const SoundDevice& d) { return static_cast<HWAVEOUT>(d.wave); }

template <class WaveCall>
int32_t OnOutput(int32_t deviceNumber, WaveCall call) {
    std::lock_guard guard(TableMutex());
    SoundDevice* d = FindOutput(deviceNumber);
    if (!d) return kInvalidParameter;
    return MapWaveResult(call(Out(*d)));
}

}  // namespace

extern "C" {

int32_t SOConfig(int32_t* deviceNumber, uint32_t deviceId, uint16_t channels, uint32_t rate,
                 uint16_t bits) {
    std::lock_guard guard(TableMutex());
    return OpenSoundDevice(deviceNumber, false, deviceId, channels, rate, bits, 0);
}

int32_t SOStart(int32_t deviceNumber) { return OnOutput(deviceNumber, waveOutRestart); }
int32_t SOPause(int32_t deviceNumber) { return OnOutput(deviceNumber, waveOutPause); }
int32_t SOStop(int32_t deviceNumber) { return OnOutput(deviceNumber, waveOutReset); }

int32_t SOWrite(int32_t deviceNumber, HostArrayHandle mono8, HostArrayHandle mono16,
                HostArrayHandle stereo8, HostArrayHandle stereo16) {
    std::lock_guard guard(TableMutex());
    SoundDevice* d = FindOutput(deviceNumber);
    if (!d) return kInvalidParameter;
    const int index = 2 * d->channels + d->bits / 8;
    HostArrayHandle arrays[4] = {mono8, mono16, stereo8, stereo16};
    if (index < 3 || index > 6) return kOk;
    const HostArrayHandle array = arrays[index - 3];
    if (!array || !*array) return kOk;  // no array of the device's format: nothing to play
    // Bytes per element of the first size: frames of the 2-D arrays are two samples.
    static constexpr int64_t kBytesPerCount[4] = {1, 2, 2, 4};
    const auto* block = reinterpret_cast<const char*>(*array);
    const int32_t count = *reinterpret_cast<const int32_t*>(block);
    const int64_t bytes = int64_t{count} * kBytesPerCount[index - 3];
    if (bytes < 0 || bytes > INT32_MAX) return kInvalidParameter;  // a corrupt array
    if (bytes == 0) return kOk;
    const char* samples = block + (index <= 4 ? 4 : 8);
    return QueueBuffer(*d, samples, static_cast<int32_t>(bytes));
}

int32_t SOWait(int32_t deviceNumber, uint8_t* mustWait, uint32_t* occurrence) {
    if (mustWait) *mustWait = 0;
    std::lock_guard guard(TableMutex());
    SoundDevice* d = FindOutput(deviceNumber);
    if (!d) return kInvalidParameter;
    d->occurrence = occurrence ? *occurrence : 0;
    if (d->readyThreshold < d->queued) {
        if (mustWait) *mustWait = 1;
    } else {
        d->occurrence = 0;
    }
    return kOk;
}

int32_t SOSetNumReady(int32_t deviceNumber, int32_t threshold) {
    std::lock_guard guard(TableMutex());
    SoundDevice* d = FindOutput(deviceNumber);
    if (!d) return kInvalidParameter;
    d->readyThreshold = threshold;
    return kOk;
}

int32_t SOVolume(int32_t deviceNumber, uint32_t high, uint32_t low) {
    std::lock_guard guard(TableMutex());
    SoundDevice* d = FindOutput(deviceNumber);
    if (!d) return kInvalidParameter;
    WAVEOUTCAPSA caps{};
    // The open handle stands in for a device id, so the caps are the open device's.
    const int32_t status =
        MapWaveResult(waveOutGetDevCapsA(reinterpret_cast<UINT_PTR>(d->wave), &caps, sizeof caps));
    if (status != kOk) return status;
    if (!(caps.dwSupport & WAVECAPS_VOLUME)) return kNotSupported;
    return MapWaveResult(waveOutSetVolume(Out(*d), (high << 16) | (low & 0xFFFFu)));
}

int32_t SOPlayFromFile(const char* path, int32_t wait) {
    if (!path) return kInvalidParameter;
    HostPath hostPath = nullptr;
    const int32_t converted = host::FTextToPath(path, host::StrLen(path), &hostPath);
    if (converted != kOk) return converted;
    int32_t status = kOk;
    if (host::FExists(hostPath) != 1) {
        status = kNotAFile;
    } else {
        const DWORD flags = wait ? SND_FILENAME : SND_FILENAME | SND_ASYNC;
        status = PlaySoundA(path, nullptr, flags) ? kOk : kInvalidParameter;
    }
    host::FDisposePath(hostPath);
    return status;
}

}  // extern "C"
