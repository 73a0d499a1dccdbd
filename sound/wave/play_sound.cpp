// PlaySoundA for sound files: the file is decoded with libsndfile into 16-bit
// samples and played on the default output, waiting for the end or in a thread
// of its own. One sound plays at a time; a new one stops the previous.

#include <sndfile.h>

#include <atomic>
#include <vector>

#include "layer.h"

namespace wave {
namespace {

struct Sound {
    std::vector<int16_t> samples;
    WAVEFORMATEX format{};
};

bool Decode(const char* path, Sound& sound) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path, SFM_READ, &info);
    if (!file) return false;
    const bool usable = info.channels >= 1 && info.channels <= 2 && info.frames > 0 &&
                        info.samplerate >= 1000 && info.samplerate <= 192000 &&
                        info.frames <= (1 << 28) / info.channels;
    if (usable) {
        sound.samples.resize(static_cast<size_t>(info.frames) * info.channels);
        const sf_count_t read = sf_readf_short(file, sound.samples.data(), info.frames);
        sound.samples.resize(static_cast<size_t>(std::max<sf_count_t>(read, 0)) * info.channels);
    }
    sf_close(file);
    if (!usable || sound.samples.empty()) return false;
    auto& f = sound.format;
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = static_cast<WORD>(info.channels);
    f.nSamplesPerSec = static_cast<DWORD>(info.samplerate);
    f.wBitsPerSample = 16;
    f.nBlockAlign = static_cast<WORD>(2 * info.channels);
    f.nAvgBytesPerSec = f.nSamplesPerSec * f.nBlockAlign;
    return true;
}

std::mutex playerLock;  // one PlaySoundA at a time
std::thread player;
std::atomic<bool> stopRequested{false};
std::atomic<bool> playing{false};

// Plays the sound to its end or until a stop is requested.
bool Play(Sound& sound) {
    HWAVEOUT out = nullptr;
    if (waveOutOpen(&out, DefaultOutput(), &sound.format, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR)
        return false;
    WAVEHDR header{};
    header.lpData = reinterpret_cast<LPSTR>(sound.samples.data());
    header.dwBufferLength = static_cast<DWORD>(sound.samples.size() * 2);
    bool played = waveOutPrepareHeader(out, &header, sizeof header) == MMSYSERR_NOERROR &&
                  waveOutWrite(out, &header, sizeof header) == MMSYSERR_NOERROR;
    if (played) {
        Layer& layer = TheLayer();
        std::unique_lock guard(layer.lock);
        layer.completed.wait(guard,
                             [&] { return (header.dwFlags & WHDR_DONE) || stopRequested.load(); });
    }
    waveOutReset(out);
    waveOutUnprepareHeader(out, &header, sizeof header);
    waveOutClose(out);
    return played;
}

}  // namespace

void StopSound() {
    std::lock_guard guard(playerLock);
    if (!player.joinable()) return;
    {
        // Under the layer's lock, so that the player cannot miss the wake-up.
        std::lock_guard layerGuard(TheLayer().lock);
        stopRequested = true;
    }
    TheLayer().completed.notify_all();
    player.join();
    stopRequested = false;
}

}  // namespace wave

using namespace wave;

extern "C" {

BOOL PlaySoundA(LPCSTR name, HMODULE, DWORD flags) {
    StopSound();
    if (!name) return 1;
    if (!(flags & SND_FILENAME)) return 0;
    auto sound = std::make_unique<Sound>();
    if (!Decode(name, *sound)) return 0;
    if (!(flags & SND_ASYNC)) return Play(*sound) ? 1 : 0;
    std::lock_guard guard(playerLock);
    playing = true;
    player = std::thread([s = std::move(sound)] {
        Play(*s);
        playing = false;
    });
    return 1;
}

int32_t WaveSoundPlaying(void) { return playing ? 1 : 0; }

}  // extern "C"
