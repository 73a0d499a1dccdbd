#include "device_table.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <new>

#include "audiolet_host.h"

namespace audiolet {
namespace {

namespace host = hostbind;

// Slot contents: null (free), the marker (reserved by a starting callback
// thread) or the record. Callback threads mark their slot without the mutex.
SoundDevice* const kReserved = reinterpret_cast<SoundDevice*>(uintptr_t{1});
std::atomic<SoundDevice*> slots[kSlots];

bool IsRecord(const SoundDevice* p) { return p && p != kReserved; }

WAVEFORMATEX WaveFormat(uint16_t channels, uint16_t bits, uint32_t rate) {
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = channels;
    format.nSamplesPerSec = rate;
    format.nAvgBytesPerSec = (channels * bits * rate) / 8;
    format.nBlockAlign = static_cast<WORD>((channels * bits) / 8);
    format.wBitsPerSample = bits;
    format.cbSize = 0;
    return format;
}

HWAVEIN In(const SoundDevice& d) { return static_cast<HWAVEIN>(d.wave); }
HWAVEOUT Out(const SoundDevice& d) { return static_cast<HWAVEOUT>(d.wave); }

// Input: a data message marks the buffer at the fill position done. Output: a
// done message frees the oldest buffer, which is the one just played.
void OnCompletion(SoundDevice& d) {
    if (d.direction == 1) {
        if (!d.fillPosition) return;
        d.fillPosition->done = 1;
        d.fillPosition = Next(d, d.fillPosition);
        if (d.occurrence) host::Occur(d.occurrence);
        if (d.fillPosition->done) d.overrun = 1;
    } else {
        ReleaseOldestBuffer(d);
        if (d.occurrence && d.queued <= d.readyThreshold) host::Occur(d.occurrence);
    }
}

// How a new callback thread tells its opener its id (0: it could not start).
// Shared, so that neither side outlives it.
struct Startup {
    std::mutex lock;
    std::condition_variable reported;
    bool done = false;
    DWORD threadId = 0;

    void Report(DWORD id) {
        std::lock_guard guard(lock);
        threadId = id;
        done = true;
        reported.notify_all();
    }
    DWORD Wait() {
        std::unique_lock guard(lock);
        reported.wait(guard, [this] { return done; });
        return threadId;
    }
};

// The callback thread of one device. It marks its slot, makes its message
// queue, reports its id and then waits for the driver's messages until its
// device closes.
void CallbackThread(int32_t number, bool input, std::shared_ptr<Startup> startup) {
    slots[number].store(kReserved);
    MSG* message = new (std::nothrow) MSG;
    if (!message) {
        startup->Report(0);
        return;
    }
    PeekMessageA(message, nullptr, 0, 0, PM_NOREMOVE);  // the queue exists from here on
    const DWORD self = GetCurrentThreadId();
    startup->Report(self);
    const UINT closeMessage = input ? MM_WIM_CLOSE : MM_WOM_CLOSE;
    const UINT dataMessage = input ? MM_WIM_DATA : MM_WOM_DONE;
    for (;;) {
        const BOOL got = GetMessageA(message, nullptr, std::min(closeMessage, dataMessage),
                                     std::max(closeMessage, dataMessage));
        if (got == -1) break;
        if (got == 0 || message->message != dataMessage) {
            if (message->message == closeMessage) break;
            continue;
        }
        std::lock_guard guard(TableMutex());
        SoundDevice* d = slots[number].load();
        if (!IsRecord(d) || d->threadId != self) break;
        OnCompletion(*d);
    }
    delete message;
}

// Ends a callback thread: the close message is posted (the driver's own may
// never come when closing failed) and the thread is waited for. Never with the
// mutex held, which the thread may be waiting for.
void EndThread(std::thread*& thread, DWORD threadId, bool input) {
    if (!thread) return;
    if (threadId) PostThreadMessageA(threadId, input ? MM_WIM_CLOSE : MM_WOM_CLOSE, 0, 0);
    thread->join();
    delete thread;
    thread = nullptr;
}

// Starts the callback thread of the device at `number`; false when it cannot.
bool StartThread(SoundDevice& d, int32_t number) {
    std::shared_ptr<Startup> startup;
    d.thread = new (std::nothrow) std::thread;
    if (!d.thread) return false;
    try {
        startup = std::make_shared<Startup>();
        *d.thread = std::thread(CallbackThread, number, d.direction == 1, startup);
    } catch (...) {
        delete d.thread;
        d.thread = nullptr;
        return false;
    }
    d.threadId = startup->Wait();
    if (d.threadId == 0) {
        d.thread->join();
        delete d.thread;
        d.thread = nullptr;
        return false;
    }
    return true;
}

int32_t OpenWave(SoundDevice& d, uint32_t deviceId, bool query) {
    const WAVEFORMATEX format = WaveFormat(d.channels, d.bits, d.rate);
    if (query) {
        return MapWaveResult(
            d.direction == 1 ? waveInOpen(nullptr, deviceId, &format, 0, 0, WAVE_FORMAT_QUERY)
                             : waveOutOpen(nullptr, deviceId, &format, 0, 0, WAVE_FORMAT_QUERY));
    }
    if (d.direction == 1) {
        HWAVEIN in = nullptr;
        const MMRESULT r = waveInOpen(&in, deviceId, &format, d.threadId, 0, CALLBACK_THREAD);
        if (r == MMSYSERR_NOERROR) d.wave = in;
        return MapWaveResult(r);
    }
    HWAVEOUT out = nullptr;
    const MMRESULT r =
        waveOutOpen(&out, deviceId, &format, d.threadId, 0, CALLBACK_THREAD | WAVE_ALLOWSYNC);
    if (r != MMSYSERR_NOERROR) return MapWaveResult(r);
    d.wave = out;
    waveOutPause(out);  // nothing plays before SOStart
    return kOk;
}

void FreeNode(BufferNode* node) {
    if (!node) return;
    if (node->header) {
        if (node->header->lpData) host::DSDisposePtr(node->header->lpData);
        host::DSDisposePtr(node->header);
    }
    host::DSDisposePtr(node);
}

}  // namespace

std::mutex& TableMutex() {
    static std::mutex mutex;
    return mutex;
}

SoundDevice* FindDevice(int32_t deviceNumber) {
    if (deviceNumber < 0 || deviceNumber >= kSlots) return nullptr;
    SoundDevice* d = slots[deviceNumber].load();
    return IsRecord(d) ? d : nullptr;
}

int32_t MapWaveResult(MMRESULT result) {
    switch (result) {
        case MMSYSERR_NOERROR:
            return kOk;
        case MMSYSERR_ALLOCATED:
            return kDeviceBusy;
        case MMSYSERR_NODRIVER:
            return kNoDriver;
        case MMSYSERR_NOMEM:
            return kOutOfMemory;
        case MMSYSERR_NOTSUPPORTED:
        case WAVERR_BADFORMAT:
            return kNotSupported;
        default:
            return kDeviceError;
    }
}

bool ValidFormat(uint16_t channels, uint16_t bits, uint32_t rate) {
    return (channels == 1 || channels == 2) && (bits == 8 || bits == 16) &&
           (rate == 8000 || rate == 11025 || rate == 22050 || rate == 44100);
}

int32_t OpenSoundDevice(int32_t* deviceNumber, bool input, uint32_t deviceId, uint16_t channels,
                        uint32_t rate, uint16_t bits, uint32_t bufferSize) {
    if (!deviceNumber || !ValidFormat(channels, bits, rate)) return kInvalidParameter;
    if (deviceId >= (input ? waveInGetNumDevs() : waveOutGetNumDevs())) return kInvalidParameter;

    auto* d = static_cast<SoundDevice*>(host::DSNewPtr(sizeof(SoundDevice)));
    if (!d) return kOutOfMemory;
    int32_t number = 0;
    while (number < kSlots && slots[number].load()) ++number;
    if (number == kSlots) {
        host::DSDisposePtr(d);
        return kAllInUse;
    }
    std::memset(static_cast<void*>(d), 0, sizeof *d);
    d->direction = input ? 1 : 0;
    d->deviceId = deviceId;
    d->bufferSize = bufferSize;
    d->channels = channels;
    d->bits = bits;
    d->rate = rate;
    host::RTSetCleanupProc(CloseSoundDevice, number, LMRT_CLEANUP_REGISTER);

    int32_t status = OpenWave(*d, deviceId, true);
    if (status == kOk && !StartThread(*d, number)) status = kOutOfMemory;
    if (status == kOk) status = OpenWave(*d, deviceId, false);
    if (status == kOk) {
        // The thread marked the slot before it reported its id.
        slots[number].store(d);
        *deviceNumber = number;
        return kOk;
    }
    // The thread ends before the record goes, so it never sees a freed record;
    // a failed open leaves no clean-up call behind for a later device.
    EndThread(d->thread, d->threadId, input);
    slots[number].store(nullptr);
    host::RTSetCleanupProc(CloseSoundDevice, number, LMRT_CLEANUP_UNREGISTER);
    host::DSDisposePtr(d);
    return status;
}

int32_t LMRT_CALL CloseSoundDevice(int32_t deviceNumber) {
    SoundDevice* d = nullptr;
    {
        std::lock_guard guard(TableMutex());
        d = FindDevice(deviceNumber);
        if (!d) return kOk;
        slots[deviceNumber].store(nullptr);
    }
    // The record is out of the table: its callback thread ends on its next message.
    d->readyThreshold = 0;
    const bool input = d->direction == 1;
    int32_t status = input ? MapWaveResult(waveInStop(In(*d))) : kOk;
    if (status == kOk) status = MapWaveResult(input ? waveInReset(In(*d)) : waveOutReset(Out(*d)));
    while (status == kOk && d->queued != 0) status = ReleaseOldestBuffer(*d);
    if (status == kOk) status = MapWaveResult(input ? waveInClose(In(*d)) : waveOutClose(Out(*d)));
    EndThread(d->thread, d->threadId, input);
    host::DSDisposePtr(d);
    return status;
}

BufferNode* Next(const SoundDevice& d, const BufferNode* node) {
    return node && node->next ? node->next : d.head;
}

int32_t QueueBuffer(SoundDevice& d, const void* samples, int32_t bytes) {
    const bool input = d.direction == 1;
    const int32_t size = input ? static_cast<int32_t>(d.bufferSize) : bytes;
    auto* node = static_cast<BufferNode*>(host::DSNewPtr(sizeof(BufferNode)));
    auto* header = node ? static_cast<WAVEHDR*>(host::DSNewPtr(sizeof(WAVEHDR))) : nullptr;
    auto* data = header ? static_cast<char*>(host::DSNewPClr(size)) : nullptr;
    if (!data) {
        if (header) host::DSDisposePtr(header);
        if (node) host::DSDisposePtr(node);
        return kOutOfMemory;
    }
    std::memset(header, 0, sizeof *header);
    header->lpData = data;
    header->dwBufferLength = static_cast<DWORD>(size);
    *node = BufferNode{0, header, nullptr};
    if (!input) {
        int32_t status = MapWaveResult(waveOutPrepareHeader(Out(d), header, sizeof(WAVEHDR)));
        if (status == kOk) {
            host::MoveBlock(samples, data, bytes);
            status = MapWaveResult(waveOutWrite(Out(d), header, sizeof(WAVEHDR)));
            if (status != kOk) waveOutUnprepareHeader(Out(d), header, sizeof(WAVEHDR));
        }
        if (status != kOk) {
            FreeNode(node);
            return status;
        }
    }
    if (d.tail)
        d.tail->next = node;
    else
        d.head = node;
    d.tail = node;
    ++d.queued;
    return kOk;
}

int32_t ReleaseOldestBuffer(SoundDevice& d) {
    BufferNode* node = d.head;
    if (!node) return kOk;
    const MMRESULT r = d.direction == 1
                           ? waveInUnprepareHeader(In(d), node->header, sizeof(WAVEHDR))
                           : waveOutUnprepareHeader(Out(d), node->header, sizeof(WAVEHDR));
    if (r != MMSYSERR_NOERROR) return MapWaveResult(r);
    d.head = node->next;
    if (d.tail == node) d.tail = nullptr;
    if (d.readPosition == node) d.readPosition = nullptr;
    if (d.fillPosition == node) d.fillPosition = nullptr;
    FreeNode(node);
    --d.queued;
    return kOk;
}

}  // namespace audiolet
