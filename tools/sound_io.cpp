#include "sound_io.h"

#include <sndfile.h>

#include <cstring>

#include "audiolet.h"
#include "failure.h"
#include "output_file.h"
#include "signal_io.h"
#include "testhost.h"
#include "wave_audio.h"

namespace front {
namespace {

// Virtual devices of the wave layer that come before the sound cards.
constexpr int kVirtualInputs = 2, kVirtualOutputs = 3;
constexpr int kToneSource = 1, kSilentSink = 1;

std::string AudioletMeaning(int32_t status) {
    switch (status) {
        case AUDIOLET_INVALID_PARAMETER:
            return "no such device, or a format it does not take";
        case AUDIOLET_ALL_IN_USE:
            return "all 16 device numbers are in use";
        case AUDIOLET_DEVICE_BUSY:
            return "the device is busy";
        case AUDIOLET_NOT_SUPPORTED:
            return "the device does not take this format";
        case AUDIOLET_NO_DRIVER:
            return "the device has no driver";
        case AUDIOLET_OUT_OF_MEMORY:
            return "out of memory";
        case AUDIOLET_OVERRUN:
            return "the recording overran: it was not read in time";
        default:
            return "the device failed (" + std::to_string(status) + ")";
    }
}

void CheckSound(int32_t status, const std::string& what) {
    if (status != 0) Fail(kExitDevice, what + ": " + AudioletMeaning(status));
}

// A format the devices do not take is a usage error for a recording and an
// unsupported input for a file to play.
void CheckFormat(int rate, int channels, int bits, int exitCode) {
    if (rate != 8000 && rate != 11025 && rate != 22050 && rate != 44100)
        Fail(exitCode,
             "the sound devices take 8000, 11025, 22050 or 44100 Hz, not " + std::to_string(rate));
    if (channels != 1 && channels != 2)
        Fail(exitCode, "the sound devices take 1 or 2 channels, not " + std::to_string(channels));
    if (bits != 8 && bits != 16)
        Fail(exitCode, "the sound devices take 8 or 16 bits, not " + std::to_string(bits));
}

std::string DeviceLabel(const char* kind, int id, const std::vector<SoundDevice>& devices) {
    std::string label = std::string(kind) + " device " + std::to_string(id);
    if (id >= 0 && id < static_cast<int>(devices.size())) label += " (" + devices[id].name + ")";
    return label;
}

// The four host sound arrays of Audiolet's calls, released at the end of scope.
class HostSoundArrays {
  public:
    HostSoundArrays() {
        for (int i = 0; i < 4; ++i) {
            handles_[i] = TestHostNewHandle(i < 2 ? 4 : 8);
            if (!handles_[i]) throw std::bad_alloc();
        }
    }
    HostSoundArrays(const HostSoundArrays&) = delete;
    HostSoundArrays& operator=(const HostSoundArrays&) = delete;
    ~HostSoundArrays() {
        for (HostArrayHandle h : handles_)
            if (h) TestHostDisposeHandle(h);
    }
    HostArrayHandle operator[](int i) const { return handles_[i]; }
    // Array i with `frames` frames of samples from `data`.
    void Fill(int i, const uint8_t* data, int32_t frames, int32_t frameBytes) {
        const int sizeBytes = i < 2 ? 4 : 8;
        TestHostDisposeHandle(handles_[i]);
        handles_[i] = TestHostNewHandle(sizeBytes + frames * frameBytes);
        if (!handles_[i]) throw std::bad_alloc();
        auto* block = reinterpret_cast<uint8_t*>(*handles_[i]);
        const int32_t sizes[2] = {frames, 2};
        std::memcpy(block, sizes, sizeBytes);
        std::memcpy(block + sizeBytes, data, static_cast<size_t>(frames) * frameBytes);
    }
    // The sample bytes array i holds.
    const uint8_t* Data(int i) const {
        return reinterpret_cast<const uint8_t*>(*handles_[i]) + (i < 2 ? 4 : 8);
    }
    int32_t Bytes(int i) const { return TestHostHandleSize(handles_[i]) - (i < 2 ? 4 : 8); }

  private:
    HostArrayHandle handles_[4] = {};
};

// Index of a format's array in Audiolet's argument lists.
int ArrayIndex(int channels, int bits) { return (channels - 1) * 2 + bits / 8 - 1; }

// Closes an Audiolet device at the end of scope.
struct OpenDevice {
    int32_t number = -1;
    ~OpenDevice() {
        if (number >= 0) SIClear(number);
    }
};

}  // namespace

std::vector<SoundDevice> InputDevices() {
    std::vector<SoundDevice> devices;
    for (UINT id = 0; id < waveInGetNumDevs(); ++id) {
        WAVEINCAPSA caps{};
        if (waveInGetDevCapsA(id, &caps, sizeof caps) == MMSYSERR_NOERROR)
            devices.push_back({static_cast<int>(id), caps.szPname});
    }
    return devices;
}

std::vector<SoundDevice> OutputDevices() {
    std::vector<SoundDevice> devices;
    for (UINT id = 0; id < waveOutGetNumDevs(); ++id) {
        WAVEOUTCAPSA caps{};
        if (waveOutGetDevCapsA(id, &caps, sizeof caps) == MMSYSERR_NOERROR)
            devices.push_back({static_cast<int>(id), caps.szPname});
    }
    return devices;
}

int DefaultInputDevice() {
    return static_cast<int>(waveInGetNumDevs()) > kVirtualInputs ? kVirtualInputs : kToneSource;
}

int DefaultOutputDevice() {
    return static_cast<int>(waveOutGetNumDevs()) > kVirtualOutputs ? kVirtualOutputs : kSilentSink;
}

std::string InputDeviceName(int id) {
    const auto devices = InputDevices();
    return id >= 0 && id < static_cast<int>(devices.size()) ? devices[id].name
                                                            : "input device " + std::to_string(id);
}

Recording Record(const RecordOptions& options) {
    CheckFormat(options.rate, options.channels, options.bits, kExitUsage);
    if (!(options.seconds > 0) || options.seconds > 3600)
        Fail(kExitUsage, "--seconds wants a duration above 0 and up to 3600");
    Recording recording{options, {}};
    RecordOptions& f = recording.format;
    if (f.device < 0) f.device = DefaultInputDevice();
    const std::string label = DeviceLabel("input", f.device, InputDevices());

    const int frameBytes = f.channels * f.bits / 8;
    const size_t wanted = static_cast<size_t>(options.seconds * f.rate + 0.5) * frameBytes;
    OpenDevice device;
    // Buffers of 100 ms: three of them give the reader 300 ms of slack.
    CheckSound(
        SIConfig(&device.number, static_cast<uint32_t>(f.device), static_cast<uint16_t>(f.channels),
                 static_cast<uint32_t>(f.rate), static_cast<uint16_t>(f.bits),
                 static_cast<uint32_t>(f.rate / 10 * frameBytes)),
        "cannot record from " + label);
    CheckSound(SIStart(device.number), "cannot start " + label);
    HostSoundArrays arrays;
    uint32_t occurrence = TestHostNewOccurrence();
    const int index = ArrayIndex(f.channels, f.bits);
    int32_t fired = 0;
    recording.bytes.reserve(wanted);
    while (recording.bytes.size() < wanted) {
        uint8_t noData = 0;
        CheckSound(
            SIRead(device.number, &noData, &occurrence, arrays[0], arrays[1], arrays[2], arrays[3]),
            "recording from " + label + " failed");
        if (noData) {
            fired = TestHostWaitOccurrence(occurrence, fired, 1000);
            continue;
        }
        const size_t take = std::min<size_t>(arrays.Bytes(index), wanted - recording.bytes.size());
        recording.bytes.insert(recording.bytes.end(), arrays.Data(index),
                               arrays.Data(index) + take);
    }
    return recording;
}

void WriteRecording(OutputFile& file, const Recording& recording) {
    const RecordOptions& f = recording.format;
    SF_INFO info{};
    info.samplerate = f.rate;
    info.channels = f.channels;
    info.format = SF_FORMAT_WAV | (f.bits == 8 ? SF_FORMAT_PCM_U8 : SF_FORMAT_PCM_16);
    SNDFILE* out = sf_open_fd(file.fd(), SFM_WRITE, &info, SF_FALSE);
    if (!out) Fail(kExitOutput, "cannot write " + file.path() + ": " + sf_strerror(nullptr));
    // The bytes are the file's own sample bytes.
    const auto bytes = static_cast<sf_count_t>(recording.bytes.size());
    const bool ok = sf_write_raw(out, recording.bytes.data(), bytes) == bytes;
    const int closed = sf_close(out);
    if (!ok || closed != 0) Fail(kExitOutput, "cannot write " + file.path() + ": disk full?");
}

Signal RecordedSignal(const Recording& recording, const std::string& name) {
    const RecordOptions& f = recording.format;
    const size_t frameBytes = f.channels * f.bits / 8;
    Signal s{name, static_cast<double>(f.rate), {}};
    s.samples.reserve(recording.bytes.size() / frameBytes);
    for (size_t at = 0; at + frameBytes <= recording.bytes.size(); at += frameBytes) {
        if (f.bits == 8) {
            s.samples.push_back((recording.bytes[at] - 128) / 128.0);
        } else {
            int16_t v = 0;
            std::memcpy(&v, &recording.bytes[at], 2);
            s.samples.push_back(v / 32768.0);
        }
    }
    return s;
}

void Play(const std::string& path, int device) {
    SF_INFO info{};
    SNDFILE* in = sf_open(path.c_str(), SFM_READ, &info);
    if (!in) Fail(kExitInput, "cannot read " + path + ": " + sf_strerror(nullptr));
    std::vector<int16_t> samples(static_cast<size_t>(std::max<sf_count_t>(info.frames, 0)) *
                                 std::max(info.channels, 1));
    const sf_count_t frames = sf_readf_short(in, samples.data(), info.frames);
    sf_close(in);
    if (frames <= 0) Fail(kExitInput, path + " holds no sound");
    CheckFormat(info.samplerate, info.channels, 16, kExitInput);
    if (device < 0) device = DefaultOutputDevice();
    const std::string label = DeviceLabel("output", device, OutputDevices());

    OpenDevice out;
    CheckSound(
        SOConfig(&out.number, static_cast<uint32_t>(device), static_cast<uint16_t>(info.channels),
                 static_cast<uint32_t>(info.samplerate), 16),
        "cannot play on " + label);
    // Blocks of a quarter second, all queued before playing starts.
    HostSoundArrays arrays;
    const int index = ArrayIndex(info.channels, 16);
    const int32_t frameBytes = 2 * info.channels;
    const auto* bytes = reinterpret_cast<const uint8_t*>(samples.data());
    for (sf_count_t at = 0; at < frames; at += info.samplerate / 4) {
        const auto block =
            static_cast<int32_t>(std::min<sf_count_t>(info.samplerate / 4, frames - at));
        arrays.Fill(index, bytes + at * frameBytes, block, frameBytes);
        CheckSound(SOWrite(out.number, arrays[0], arrays[1], arrays[2], arrays[3]),
                   "cannot play on " + label);
    }
    uint32_t occurrence = TestHostNewOccurrence();
    uint8_t mustWait = 0;
    CheckSound(SOWait(out.number, &mustWait, &occurrence), "cannot play on " + label);
    CheckSound(SOStart(out.number), "cannot play on " + label);
    while (mustWait && TestHostWaitOccurrence(occurrence, 0, 1000) == 0) {
    }
}

}  // namespace front
