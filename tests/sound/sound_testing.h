#pragma once
// Host sound arrays, device helpers and the after-each-test checks of the sound
// suites: every device number free, every wave handle closed, the table's
// mutex free, and nothing left in the test host.

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "audiolet.h"
#include "device_table.h"
#include "host_testing.h"

namespace soundtest {

// Format of a device: channels, bits, rate.
struct Format {
    uint16_t channels;
    uint16_t bits;
    uint32_t rate;
    int FrameBytes() const { return channels * bits / 8; }
    uint8_t Silence() const { return bits == 8 ? 0x80 : 0; }
};

inline std::string Name(const Format& f) {
    return std::to_string(f.channels) + "ch" + std::to_string(f.bits) + "bit" +
           std::to_string(f.rate);
}

// The four host sound arrays of one call (mono8, mono16, stereo8, stereo16),
// owned by the test.
class SoundArrays {
  public:
    SoundArrays() {
        for (int i = 0; i < 4; ++i) handles_[i] = TestHostNewHandle(i < 2 ? 4 : 8);
    }
    SoundArrays(const SoundArrays&) = delete;
    SoundArrays& operator=(const SoundArrays&) = delete;
    ~SoundArrays() {
        for (HostArrayHandle h : handles_) TestHostDisposeHandle(h);
    }
    HostArrayHandle operator[](int i) const { return handles_[i]; }
    static int Dims(int i) { return i < 2 ? 1 : 2; }
    std::vector<int32_t> Sizes(int i) const {
        std::vector<int32_t> sizes(Dims(i));
        std::memcpy(sizes.data(), *handles_[i], sizes.size() * 4);
        return sizes;
    }
    // The sample bytes of array i, as its sizes announce them.
    std::vector<uint8_t> Bytes(int i) const {
        const int32_t bytes = TestHostHandleSize(handles_[i]) - 4 * Dims(i);
        const auto* data = reinterpret_cast<const uint8_t*>(*handles_[i]) + 4 * Dims(i);
        return std::vector<uint8_t>(data, data + bytes);
    }
    // Puts samples of a format into the array SOWrite reads for that format.
    void Set(const Format& f, const std::vector<uint8_t>& samples) {
        const int i = Index(f);
        const int32_t count = static_cast<int32_t>(samples.size()) / f.FrameBytes();
        TestHostDisposeHandle(handles_[i]);
        handles_[i] = TestHostNewHandle(4 * Dims(i) + static_cast<int32_t>(samples.size()));
        auto* block = reinterpret_cast<uint8_t*>(*handles_[i]);
        std::memcpy(block, &count, 4);
        if (Dims(i) == 2) {
            const int32_t two = 2;
            std::memcpy(block + 4, &two, 4);
        }
        if (!samples.empty()) std::memcpy(block + 4 * Dims(i), samples.data(), samples.size());
    }
    // Index of a format's array in SIRead's and SOWrite's argument lists.
    static int Index(const Format& f) { return (f.channels - 1) * 2 + f.bits / 8 - 1; }

  private:
    HostArrayHandle handles_[4];
};

inline int32_t Read(int32_t device, SoundArrays& arrays, uint8_t* noData = nullptr,
                    uint32_t occurrence = 0) {
    uint8_t ignored = 0;
    return SIRead(device, noData ? noData : &ignored, &occurrence, arrays[0], arrays[1], arrays[2],
                  arrays[3]);
}

inline int32_t Write(int32_t device, SoundArrays& arrays) {
    return SOWrite(device, arrays[0], arrays[1], arrays[2], arrays[3]);
}

// The record of an open device, read under the table's mutex.
template <class Field>
auto Inspect(int32_t device, Field field) {
    std::lock_guard guard(audiolet::TableMutex());
    const audiolet::SoundDevice* d = audiolet::FindDevice(device);
    EXPECT_NE(d, nullptr);
    return d ? field(*d) : decltype(field(*d)){};
}

// Waits up to `timeout` for `done()`.
template <class Done>
bool WaitFor(Done done, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

inline const bool soundChecksRegistered = testsupport::RegisterAfterEachTest([]() -> std::string {
    std::string problem;
    for (int32_t n = 0; n < AUDIOLET_DEVICES; ++n) {
        int32_t id = 0;
        if (GetInfo(n, &id, nullptr, nullptr, nullptr, nullptr, nullptr) == 0) {
            problem += "device " + std::to_string(n) + " left open. ";
            SIClear(n);
        }
    }
    if (!audiolet::TableMutex().try_lock())
        problem += "the device table's mutex is held. ";
    else
        audiolet::TableMutex().unlock();
#if !defined(_WIN32)
    if (const int32_t open = WaveOpenHandleCount())
        problem += std::to_string(open) + " wave handle(s) open. ";
#endif
    return problem;
});

}  // namespace soundtest
