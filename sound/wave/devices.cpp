// The wave-in and wave-out functions over the virtual devices and the ALSA
// devices, and the clock that paces the virtual ones at their sample rates.

#include <algorithm>
#include <cmath>
#include <cstring>

#include "layer.h"

namespace wave {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kTick = std::chrono::milliseconds(2);

std::vector<DeviceEntry> MakeInputs() {
    std::vector<DeviceEntry> devices{{"Loopback in", Source::Loopback, false, true, {}},
                                     {"Tone source", Source::Tone, false, false, {}}};
    AppendAlsaDevices(devices, true);
    return devices;
}

std::vector<DeviceEntry> MakeOutputs() {
    std::vector<DeviceEntry> devices{
        {"Loopback out", Source::Loopback, false, true, {}},
        {"Silent sink", Source::Silent, true, false, {}},
        {"Silent sink, fixed volume", Source::Silent, false, false, {}}};
    AppendAlsaDevices(devices, false);
    return devices;
}

bool Virtual(const Stream& s) { return s.entry->source != Source::Alsa; }

bool SameFormat(const WAVEFORMATEX& a, const WAVEFORMATEX& b) {
    return a.nChannels == b.nChannels && a.wBitsPerSample == b.wBitsPerSample &&
           a.nSamplesPerSec == b.nSamplesPerSec;
}

Stream* OpenStream(Layer& layer, const void* handle, bool input) {
    auto* stream = static_cast<Stream*>(const_cast<void*>(handle));
    if (!layer.streams.count(stream) || stream->input != input) return nullptr;
    return stream;
}

// The open loopback stream of one direction, if any; the lock is held.
Stream* LoopbackStream(Layer& layer, bool input) {
    for (Stream* s : layer.streams)
        if (s->input == input && s->entry->source == Source::Loopback) return s;
    return nullptr;
}

void Post(const Stream& stream, UINT message, WPARAM wParam, LPARAM lParam) {
    if (stream.callbackThread) PostThreadMessageA(stream.callbackThread, message, wParam, lParam);
}

void Restart(Stream& s) {
    s.anchor = Clock::now();
    s.framesSinceAnchor = 0;
}

// Frames the clock owes the stream at `now`.
uint64_t FramesDue(const Stream& s, Clock::time_point now) {
    const auto elapsed = std::chrono::duration_cast<std::chrono::nanoseconds>(now - s.anchor);
    const uint64_t target = static_cast<uint64_t>(std::max<int64_t>(elapsed.count(), 0)) *
                            s.format.nSamplesPerSec / 1000000000u;
    return target > s.framesSinceAnchor ? target - s.framesSinceAnchor : 0;
}

void PlayFrames(Layer& layer, Stream& s, Clock::time_point now) {
    if (s.queue.empty()) {
        Restart(s);  // an idle output owes nothing: the next write plays in real time
        return;
    }
    const uint32_t frameBytes = s.format.nBlockAlign;
    uint64_t bytes = FramesDue(s, now) * frameBytes;
    s.framesSinceAnchor += bytes / frameBytes;
    Stream* recorder = s.entry->source == Source::Loopback ? LoopbackStream(layer, true) : nullptr;
    const bool heard = recorder && recorder->running && SameFormat(recorder->format, s.format);
    while (bytes > 0 && !s.queue.empty()) {
        WAVEHDR* header = s.queue.front();
        const uint32_t take =
            static_cast<uint32_t>(std::min<uint64_t>(bytes, header->dwBufferLength - s.headOffset));
        if (heard) {
            const auto* data = reinterpret_cast<const uint8_t*>(header->lpData) + s.headOffset;
            layer.loopback.insert(layer.loopback.end(), data, data + take);
        }
        s.headOffset += take;
        bytes -= take;
        if (s.headOffset >= header->dwBufferLength) {
            s.headOffset = 0;
            s.queue.pop_front();
            Complete(s, header);
        }
    }
}

void WriteSilence(uint8_t* out, uint32_t bytes, const WAVEFORMATEX& format) {
    std::memset(out, format.wBitsPerSample == 8 ? 0x80 : 0, bytes);
}

void WriteTone(Stream& s, uint8_t* out, uint32_t frames) {
    const double step = 6.283185307179586 * WAVE_TONE_HZ / s.format.nSamplesPerSec;
    for (uint32_t f = 0; f < frames; ++f, ++s.toneFrame) {
        const double v = 0.5 * std::sin(step * static_cast<double>(s.toneFrame));
        for (int c = 0; c < s.format.nChannels; ++c) {
            if (s.format.wBitsPerSample == 8) {
                *out++ = static_cast<uint8_t>(128 + std::lround(127 * v));
            } else {
                const auto sample = static_cast<int16_t>(std::lround(32767 * v));
                std::memcpy(out, &sample, 2);
                out += 2;
            }
        }
    }
}

void RecordFrames(Layer& layer, Stream& s, Clock::time_point now) {
    const uint32_t frameBytes = s.format.nBlockAlign;
    uint64_t frames = FramesDue(s, now);
    const bool loop = s.entry->source == Source::Loopback;
    if (loop) {
        // While the player plays, wait for its frames rather than fill in silence.
        const Stream* player = LoopbackStream(layer, false);
        const bool playing = player && player->running && !player->queue.empty() &&
                             SameFormat(player->format, s.format);
        if (playing) frames = std::min<uint64_t>(frames, layer.loopback.size() / frameBytes);
    }
    s.framesSinceAnchor += frames;
    uint64_t bytes = frames * frameBytes;
    while (bytes > 0) {
        if (s.queue.empty()) {  // nowhere to record: the frames are lost
            if (loop) {
                const auto drop =
                    static_cast<std::ptrdiff_t>(std::min<uint64_t>(bytes, layer.loopback.size()));
                layer.loopback.erase(layer.loopback.begin(), layer.loopback.begin() + drop);
            }
            s.toneFrame += bytes / frameBytes;
            return;
        }
        WAVEHDR* header = s.queue.front();
        const uint32_t take = static_cast<uint32_t>(
            std::min<uint64_t>(bytes, header->dwBufferLength - header->dwBytesRecorded));
        auto* out = reinterpret_cast<uint8_t*>(header->lpData) + header->dwBytesRecorded;
        if (s.entry->source == Source::Tone) {
            WriteTone(s, out, take / frameBytes);
        } else {
            uint32_t copied = 0;
            if (loop) {
                copied = static_cast<uint32_t>(std::min<size_t>(take, layer.loopback.size()));
                std::copy_n(layer.loopback.begin(), copied, out);
                layer.loopback.erase(layer.loopback.begin(), layer.loopback.begin() + copied);
            }
            WriteSilence(out + copied, take - copied, s.format);
        }
        header->dwBytesRecorded += take;
        bytes -= take;
        if (header->dwBytesRecorded >= header->dwBufferLength) {
            s.queue.pop_front();
            Complete(s, header);
        }
    }
}

void RunClock(Layer& layer) {
    std::unique_lock guard(layer.lock);
    while (!layer.stopping) {
        const bool busy = std::any_of(layer.streams.begin(), layer.streams.end(),
                                      [](const Stream* s) { return s->running && Virtual(*s); });
        if (!busy) {
            layer.wake.wait(guard);
            continue;
        }
        const auto now = Clock::now();
        // Players first, so that loopback in records in the same tick what was played.
        for (Stream* s : layer.streams)
            if (!s->input && s->running && Virtual(*s)) PlayFrames(layer, *s, now);
        for (Stream* s : layer.streams)
            if (s->input && s->running && Virtual(*s)) RecordFrames(layer, *s, now);
        layer.wake.wait_for(guard, kTick);
    }
}

// A stream changed state: wake whoever paces it.
void Wake(Layer& layer, Stream& s) {
    if (Virtual(s)) {
        if (!layer.clock.joinable()) layer.clock = std::thread(RunClock, std::ref(layer));
        layer.wake.notify_all();
    } else {
        WakeAlsa(s);
    }
}

bool ValidFormat(const WAVEFORMATEX* f) {
    return f->wFormatTag == WAVE_FORMAT_PCM && (f->nChannels == 1 || f->nChannels == 2) &&
           (f->wBitsPerSample == 8 || f->wBitsPerSample == 16) && f->nSamplesPerSec >= 1000 &&
           f->nSamplesPerSec <= 192000 && f->nBlockAlign == f->nChannels * f->wBitsPerSample / 8 &&
           f->nAvgBytesPerSec == f->nSamplesPerSec * f->nBlockAlign;
}

MMRESULT Open(void** handle, bool input, UINT deviceId, const WAVEFORMATEX* format,
              DWORD_PTR callback, DWORD flags) {
    const auto& devices = input ? InputDevices() : OutputDevices();
    if (deviceId >= devices.size()) return MMSYSERR_BADDEVICEID;
    if (!format) return MMSYSERR_INVALPARAM;
    const DWORD callbackKind = flags & 0x00070000;
    if (callbackKind != CALLBACK_NULL && callbackKind != CALLBACK_THREAD) return MMSYSERR_INVALFLAG;
    if (!ValidFormat(format)) return WAVERR_BADFORMAT;
    if (flags & WAVE_FORMAT_QUERY) return MMSYSERR_NOERROR;
    if (!handle) return MMSYSERR_INVALPARAM;

    Layer& layer = TheLayer();
    std::lock_guard guard(layer.lock);
    const DeviceEntry& entry = devices[deviceId];
    if (entry.exclusive && std::any_of(layer.streams.begin(), layer.streams.end(),
                                       [&](const Stream* s) { return s->entry == &entry; }))
        return MMSYSERR_ALLOCATED;
    auto stream = std::make_unique<Stream>();
    stream->input = input;
    stream->deviceId = deviceId;
    stream->entry = &entry;
    stream->format = *format;
    stream->callbackThread = callbackKind == CALLBACK_THREAD ? static_cast<DWORD>(callback) : 0;
    stream->running = !input;  // output plays what is written unless paused
    Restart(*stream);
    if (entry.source == Source::Alsa) {
        const MMRESULT result = OpenAlsa(*stream);
        if (result != MMSYSERR_NOERROR) return result;
    }
    Stream* s = stream.release();
    layer.streams.insert(s);
    if (entry.source == Source::Loopback) layer.loopback.clear();
    *handle = s;
    Post(*s, input ? MM_WIM_OPEN : MM_WOM_OPEN, reinterpret_cast<WPARAM>(s), 0);
    return MMSYSERR_NOERROR;
}

MMRESULT Prepare(const void* handle, bool input, WAVEHDR* header, UINT size, bool prepare) {
    Layer& layer = TheLayer();
    std::lock_guard guard(layer.lock);
    if (!OpenStream(layer, handle, input)) return MMSYSERR_INVALHANDLE;
    if (!header || size < sizeof(WAVEHDR)) return MMSYSERR_INVALPARAM;
    if (header->dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
    if (prepare)
        header->dwFlags |= WHDR_PREPARED;
    else
        header->dwFlags &= ~static_cast<DWORD>(WHDR_PREPARED);
    return MMSYSERR_NOERROR;
}

MMRESULT Queue(const void* handle, bool input, WAVEHDR* header, UINT size) {
    Layer& layer = TheLayer();
    std::lock_guard guard(layer.lock);
    Stream* s = OpenStream(layer, handle, input);
    if (!s) return MMSYSERR_INVALHANDLE;
    if (!header || size < sizeof(WAVEHDR) || (!header->lpData && header->dwBufferLength))
        return MMSYSERR_INVALPARAM;
    if (!(header->dwFlags & WHDR_PREPARED)) return WAVERR_UNPREPARED;
    if (header->dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
    header->dwFlags = (header->dwFlags & ~static_cast<DWORD>(WHDR_DONE)) | WHDR_INQUEUE;
    if (!input && s->queue.empty()) Restart(*s);
    s->queue.push_back(header);
    Wake(layer, *s);
    return MMSYSERR_NOERROR;
}

// Starts or stops a stream's clock.
MMRESULT Run(const void* handle, bool input, bool running) {
    Layer& layer = TheLayer();
    std::lock_guard guard(layer.lock);
    Stream* s = OpenStream(layer, handle, input);
    if (!s) return MMSYSERR_INVALHANDLE;
    if (running && !s->running) {
        Restart(*s);
        if (input && s->entry->source == Source::Loopback) layer.loopback.clear();
    }
    s->running = running;
    Wake(layer, *s);
    return MMSYSERR_NOERROR;
}

// Returns every queued buffer; the stream stops (input) or keeps its pause state.
MMRESULT Reset(const void* handle, bool input) {
    Layer& layer = TheLayer();
    std::lock_guard guard(layer.lock);
    Stream* s = OpenStream(layer, handle, input);
    if (!s) return MMSYSERR_INVALHANDLE;
    if (input) s->running = false;
    s->headOffset = 0;
    while (!s->queue.empty()) {
        WAVEHDR* header = s->queue.front();
        s->queue.pop_front();
        Complete(*s, header);
    }
    if (s->entry->source == Source::Loopback) layer.loopback.clear();
    Wake(layer, *s);
    return MMSYSERR_NOERROR;
}

MMRESULT Close(const void* handle, bool input) {
    Layer& layer = TheLayer();
    std::unique_lock guard(layer.lock);
    Stream* s = OpenStream(layer, handle, input);
    if (!s) return MMSYSERR_INVALHANDLE;
    if (!s->queue.empty()) return WAVERR_STILLPLAYING;
    layer.streams.erase(s);
    const DWORD thread = s->callbackThread;
    std::unique_ptr<Stream> owned(s);
    if (s->alsa) {
        guard.unlock();  // the stream's worker takes the lock while it ends
        CloseAlsa(*s);
    }
    if (thread) PostThreadMessageA(thread, input ? MM_WIM_CLOSE : MM_WOM_CLOSE, 0, 0);
    return MMSYSERR_NOERROR;
}

// The device named by an open handle or by a device id.
const DeviceEntry* DeviceByHandleOrId(Layer& layer, UINT_PTR idOrHandle, bool input, UINT* id) {
    if (Stream* s = OpenStream(layer, reinterpret_cast<void*>(idOrHandle), input)) {
        *id = s->deviceId;
        return s->entry;
    }
    const auto& devices = input ? InputDevices() : OutputDevices();
    if (idOrHandle >= devices.size()) return nullptr;
    *id = static_cast<UINT>(idOrHandle);
    return &devices[*id];
}

// The capabilities both directions share: the name and every format in stereo.
template <class Caps>
MMRESULT FillCaps(UINT_PTR idOrHandle, bool input, Caps* caps, UINT size,
                  const DeviceEntry** found) {
    if (!caps || size < sizeof(Caps)) return MMSYSERR_INVALPARAM;
    Layer& layer = TheLayer();
    std::lock_guard guard(layer.lock);
    UINT id = 0;
    const DeviceEntry* entry = DeviceByHandleOrId(layer, idOrHandle, input, &id);
    if (!entry) return MMSYSERR_BADDEVICEID;
    *caps = Caps{};
    std::memcpy(caps->szPname, entry->name.data(),
                std::min<size_t>(entry->name.size(), MAXPNAMELEN - 1));
    caps->dwFormats = 0xFFF;
    caps->wChannels = 2;
    *found = entry;
    return MMSYSERR_NOERROR;
}

}  // namespace

Layer::~Layer() {
    StopSound();
    {
        std::lock_guard guard(lock);
        stopping = true;
    }
    wake.notify_all();
    if (clock.joinable()) clock.join();
}

Layer& TheLayer() {
    static Layer layer;
    return layer;
}

const std::vector<DeviceEntry>& InputDevices() {
    static const std::vector<DeviceEntry> devices = MakeInputs();
    return devices;
}

const std::vector<DeviceEntry>& OutputDevices() {
    static const std::vector<DeviceEntry> devices = MakeOutputs();
    return devices;
}

UINT DefaultOutput() {
    const auto& devices = OutputDevices();
    for (UINT i = 0; i < devices.size(); ++i)
        if (devices[i].source == Source::Alsa) return i;
    return 1;
}

void Complete(Stream& stream, WAVEHDR* header) {
    header->dwFlags = (header->dwFlags | WHDR_DONE) & ~static_cast<DWORD>(WHDR_INQUEUE);
    Post(stream, stream.input ? MM_WIM_DATA : MM_WOM_DONE, reinterpret_cast<WPARAM>(&stream),
         reinterpret_cast<LPARAM>(header));
    TheLayer().completed.notify_all();
}

}  // namespace wave

using namespace wave;

extern "C" {

UINT waveInGetNumDevs(void) { return static_cast<UINT>(InputDevices().size()); }
UINT waveOutGetNumDevs(void) { return static_cast<UINT>(OutputDevices().size()); }

MMRESULT waveInGetDevCapsA(UINT_PTR deviceId, WAVEINCAPSA* caps, UINT size) {
    const DeviceEntry* entry = nullptr;
    return FillCaps(deviceId, true, caps, size, &entry);
}

MMRESULT waveOutGetDevCapsA(UINT_PTR deviceId, WAVEOUTCAPSA* caps, UINT size) {
    const DeviceEntry* entry = nullptr;
    const MMRESULT result = FillCaps(deviceId, false, caps, size, &entry);
    if (result == MMSYSERR_NOERROR)
        caps->dwSupport = entry->volumeControl ? WAVECAPS_VOLUME | WAVECAPS_LRVOLUME : 0;
    return result;
}

MMRESULT waveInOpen(HWAVEIN* handle, UINT deviceId, const WAVEFORMATEX* format, DWORD_PTR callback,
                    DWORD_PTR, DWORD flags) {
    return Open(reinterpret_cast<void**>(handle), true, deviceId, format, callback, flags);
}

MMRESULT waveOutOpen(HWAVEOUT* handle, UINT deviceId, const WAVEFORMATEX* format,
                     DWORD_PTR callback, DWORD_PTR, DWORD flags) {
    return Open(reinterpret_cast<void**>(handle), false, deviceId, format, callback, flags);
}

MMRESULT waveInPrepareHeader(HWAVEIN h, WAVEHDR* header, UINT size) {
    return Prepare(h, true, header, size, true);
}
MMRESULT waveInUnprepareHeader(HWAVEIN h, WAVEHDR* header, UINT size) {
    return Prepare(h, true, header, size, false);
}
MMRESULT waveOutPrepareHeader(HWAVEOUT h, WAVEHDR* header, UINT size) {
    return Prepare(h, false, header, size, true);
}
MMRESULT waveOutUnprepareHeader(HWAVEOUT h, WAVEHDR* header, UINT size) {
    return Prepare(h, false, header, size, false);
}

MMRESULT waveInAddBuffer(HWAVEIN h, WAVEHDR* header, UINT size) {
    return Queue(h, true, header, size);
}
MMRESULT waveOutWrite(HWAVEOUT h, WAVEHDR* header, UINT size) {
    return Queue(h, false, header, size);
}

MMRESULT waveInStart(HWAVEIN h) { return Run(h, true, true); }
MMRESULT waveOutRestart(HWAVEOUT h) { return Run(h, false, true); }
MMRESULT waveOutPause(HWAVEOUT h) { return Run(h, false, false); }

// Stops recording; a partly recorded buffer is returned with what it holds.
MMRESULT waveInStop(HWAVEIN h) {
    Layer& layer = TheLayer();
    std::lock_guard guard(layer.lock);
    Stream* s = OpenStream(layer, h, true);
    if (!s) return MMSYSERR_INVALHANDLE;
    s->running = false;
    if (!s->queue.empty() && s->queue.front()->dwBytesRecorded > 0) {
        WAVEHDR* header = s->queue.front();
        s->queue.pop_front();
        Complete(*s, header);
    }
    Wake(layer, *s);
    return MMSYSERR_NOERROR;
}

MMRESULT waveInReset(HWAVEIN h) { return Reset(h, true); }
MMRESULT waveOutReset(HWAVEOUT h) { return Reset(h, false); }
MMRESULT waveInClose(HWAVEIN h) { return Close(h, true); }
MMRESULT waveOutClose(HWAVEOUT h) { return Close(h, false); }

MMRESULT waveOutSetVolume(HWAVEOUT h, DWORD volume) {
    Layer& layer = TheLayer();
    std::lock_guard guard(layer.lock);
    UINT id = 0;
    const DeviceEntry* entry = DeviceByHandleOrId(layer, reinterpret_cast<UINT_PTR>(h), false, &id);
    if (!entry) return MMSYSERR_INVALHANDLE;
    if (!entry->volumeControl) return MMSYSERR_NOTSUPPORTED;
    if (layer.volumes.size() < OutputDevices().size())
        layer.volumes.resize(OutputDevices().size(), 0xFFFFFFFFu);
    layer.volumes[id] = volume;
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutGetVolume(HWAVEOUT h, DWORD* volume) {
    if (!volume) return MMSYSERR_INVALPARAM;
    Layer& layer = TheLayer();
    std::lock_guard guard(layer.lock);
    UINT id = 0;
    const DeviceEntry* entry = DeviceByHandleOrId(layer, reinterpret_cast<UINT_PTR>(h), false, &id);
    if (!entry) return MMSYSERR_INVALHANDLE;
    if (!entry->volumeControl) return MMSYSERR_NOTSUPPORTED;
    *volume = id < layer.volumes.size() ? layer.volumes[id] : 0xFFFFFFFFu;
    return MMSYSERR_NOERROR;
}

int32_t WaveOpenHandleCount(void) {
    Layer& layer = TheLayer();
    std::lock_guard guard(layer.lock);
    return static_cast<int32_t>(layer.streams.size());
}

}  // extern "C"
