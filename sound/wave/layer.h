#pragma once
// Inside the wave-audio layer: the device list, the open streams and the clock
// that plays and records the virtual devices.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "wave_audio.h"

namespace wave {

enum class Source { Loopback, Tone, Silent, Alsa };

struct DeviceEntry {
    std::string name;
    Source source;
    bool volumeControl;
    bool exclusive;  // one open stream at a time
    std::string alsaName;
};

class AlsaStream;

// One open wave-in or wave-out handle.
struct Stream {
    bool input = false;
    UINT deviceId = 0;
    const DeviceEntry* entry = nullptr;
    WAVEFORMATEX format{};
    DWORD callbackThread = 0;  // 0: no callback
    std::deque<WAVEHDR*> queue;
    bool running = false;  // input: started; output: not paused
    // Clock pacing: frames handled since the anchor time.
    std::chrono::steady_clock::time_point anchor{};
    uint64_t framesSinceAnchor = 0;
    uint32_t headOffset = 0;  // output: bytes of the head buffer already played
    uint64_t toneFrame = 0;
    std::unique_ptr<AlsaStream> alsa;

    Stream();
    ~Stream();  // where AlsaStream is complete
};

struct Layer {
    std::mutex lock;
    std::condition_variable wake;       // the clock: something started or stopped
    std::condition_variable completed;  // a buffer without a callback thread is done
    std::set<Stream*> streams;
    std::thread clock;
    bool stopping = false;
    std::deque<uint8_t> loopback;  // played on loopback out, not yet recorded
    std::vector<DWORD> volumes;    // per output device

    ~Layer();
};

// The layer's state; lives until the library is unloaded.
Layer& TheLayer();

const std::vector<DeviceEntry>& InputDevices();
const std::vector<DeviceEntry>& OutputDevices();

// The default output (first ALSA output, else the silent sink with volume).
UINT DefaultOutput();

// Marks a buffer done and tells its owner; the layer's lock is held.
void Complete(Stream& stream, WAVEHDR* header);

// ALSA: appends the machine's devices; opens, runs and closes a stream's PCM.
void AppendAlsaDevices(std::vector<DeviceEntry>& devices, bool input);
MMRESULT OpenAlsa(Stream& stream);
void WakeAlsa(Stream& stream);
void CloseAlsa(Stream& stream);

// Stops an asynchronous sound, if one plays.
void StopSound();

}  // namespace wave
