// The machine's sound cards through ALSA: every PCM device of every card, as
// an output or an input. The card paces these streams, so each has a worker
// thread that moves its queued buffers to and from the card in short chunks.

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "layer.h"

namespace wave {

class AlsaStream {
  public:
    snd_pcm_t* pcm = nullptr;
    std::thread worker;
    std::condition_variable changed;
    bool closing = false;
};

Stream::Stream() = default;
Stream::~Stream() = default;

namespace {

constexpr snd_pcm_uframes_t kChunkFrames = 512;

void Quiet(const char*, int, const char*, int, const char*, ...) {}

void AppendCardDevices(std::vector<DeviceEntry>& devices, int card, bool input) {
    snd_ctl_t* control = nullptr;
    const std::string cardName = "hw:" + std::to_string(card);
    if (snd_ctl_open(&control, cardName.c_str(), 0) < 0) return;
    snd_pcm_info_t* info = nullptr;
    snd_pcm_info_malloc(&info);
    int device = -1;
    while (info && snd_ctl_pcm_next_device(control, &device) >= 0 && device >= 0) {
        snd_pcm_info_set_device(info, static_cast<unsigned>(device));
        snd_pcm_info_set_subdevice(info, 0);
        snd_pcm_info_set_stream(info, input ? SND_PCM_STREAM_CAPTURE : SND_PCM_STREAM_PLAYBACK);
        if (snd_ctl_pcm_info(control, info) < 0) continue;
        const std::string address = "plughw:" + std::to_string(card) + "," + std::to_string(device);
        devices.push_back({std::string(snd_pcm_info_get_name(info)) + " (" + address + ")",
                           Source::Alsa, false, true, address});
    }
    if (info) snd_pcm_info_free(info);
    snd_ctl_close(control);
}

bool Recover(snd_pcm_t* pcm, snd_pcm_sframes_t result) {
    return result >= 0 || snd_pcm_recover(pcm, static_cast<int>(result), 1) >= 0;
}

void RunOutput(Stream& s) {
    Layer& layer = TheLayer();
    AlsaStream& alsa = *s.alsa;
    std::vector<uint8_t> chunk;
    std::unique_lock guard(layer.lock);
    while (!alsa.closing) {
        if (!s.running || s.queue.empty()) {
            alsa.changed.wait(guard);
            continue;
        }
        // Copy under the lock: a reset may hand the buffer back while the card plays.
        WAVEHDR* header = s.queue.front();
        const uint32_t frameBytes = s.format.nBlockAlign;
        const uint32_t bytes =
            std::min<uint32_t>(header->dwBufferLength - s.headOffset, kChunkFrames * frameBytes);
        chunk.assign(header->lpData + s.headOffset, header->lpData + s.headOffset + bytes);
        guard.unlock();
        const snd_pcm_sframes_t written =
            snd_pcm_writei(alsa.pcm, chunk.data(), bytes / frameBytes);
        const bool ok = Recover(alsa.pcm, written);
        guard.lock();
        if (!s.queue.empty() && s.queue.front() == header) {
            // A failed write drops the chunk rather than stall the queue.
            s.headOffset += ok && written > 0 ? static_cast<uint32_t>(written) * frameBytes : bytes;
            if (s.headOffset >= header->dwBufferLength || bytes < frameBytes) {
                s.headOffset = 0;
                s.queue.pop_front();
                Complete(s, header);
            }
        }
    }
}

void RunInput(Stream& s) {
    Layer& layer = TheLayer();
    AlsaStream& alsa = *s.alsa;
    const uint32_t frameBytes = s.format.nBlockAlign;
    std::vector<uint8_t> chunk(kChunkFrames * frameBytes);
    std::unique_lock guard(layer.lock);
    bool capturing = false;
    while (!alsa.closing) {
        if (!s.running) {
            if (capturing) snd_pcm_drop(alsa.pcm);
            capturing = false;
            alsa.changed.wait(guard);
            continue;
        }
        if (!capturing) {
            snd_pcm_prepare(alsa.pcm);
            capturing = true;
        }
        guard.unlock();
        const snd_pcm_sframes_t read = snd_pcm_readi(alsa.pcm, chunk.data(), kChunkFrames);
        Recover(alsa.pcm, read);
        guard.lock();
        uint32_t bytes = read > 0 ? static_cast<uint32_t>(read) * frameBytes : 0;
        const uint8_t* from = chunk.data();
        while (bytes > 0 && s.running && !s.queue.empty()) {
            WAVEHDR* header = s.queue.front();
            const uint32_t take = std::min(bytes, header->dwBufferLength - header->dwBytesRecorded);
            std::memcpy(header->lpData + header->dwBytesRecorded, from, take);
            header->dwBytesRecorded += take;
            from += take;
            bytes -= take;
            if (header->dwBytesRecorded >= header->dwBufferLength) {
                s.queue.pop_front();
                Complete(s, header);
            }
        }
    }
    if (capturing) snd_pcm_drop(alsa.pcm);
}

}  // namespace

void AppendAlsaDevices(std::vector<DeviceEntry>& devices, bool input) {
    snd_lib_error_set_handler(Quiet);
    int card = -1;
    while (snd_card_next(&card) >= 0 && card >= 0) AppendCardDevices(devices, card, input);
}

MMRESULT OpenAlsa(Stream& s) {
    auto alsa = std::make_unique<AlsaStream>();
    const auto direction = s.input ? SND_PCM_STREAM_CAPTURE : SND_PCM_STREAM_PLAYBACK;
    const int opened = snd_pcm_open(&alsa->pcm, s.entry->alsaName.c_str(), direction, 0);
    if (opened == -EBUSY) return MMSYSERR_ALLOCATED;
    if (opened < 0) return MMSYSERR_NODRIVER;
    const auto format = s.format.wBitsPerSample == 8 ? SND_PCM_FORMAT_U8 : SND_PCM_FORMAT_S16_LE;
    if (snd_pcm_set_params(alsa->pcm, format, SND_PCM_ACCESS_RW_INTERLEAVED, s.format.nChannels,
                           s.format.nSamplesPerSec, 1, 100000) < 0) {
        snd_pcm_close(alsa->pcm);
        return WAVERR_BADFORMAT;
    }
    s.alsa = std::move(alsa);
    s.alsa->worker = std::thread(s.input ? RunInput : RunOutput, std::ref(s));
    return MMSYSERR_NOERROR;
}

void WakeAlsa(Stream& s) { s.alsa->changed.notify_all(); }

void CloseAlsa(Stream& s) {
    {
        std::lock_guard guard(TheLayer().lock);
        s.alsa->closing = true;
    }
    s.alsa->changed.notify_all();
    s.alsa->worker.join();
    snd_pcm_close(s.alsa->pcm);
}

}  // namespace wave
