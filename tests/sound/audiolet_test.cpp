// Audiolet's exports against the test host: parameter checks on every platform;
// input, output, loopback and clean-up on the virtual devices of our wave layer.

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

#include "sound_testing.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

using namespace soundtest;
using namespace std::chrono_literals;

// Our wave layer's virtual devices.
constexpr uint32_t kLoopbackIn = 0, kToneSource = 1;
constexpr uint32_t kLoopbackOut = 0, kSink = 1, kFixedSink = 2;

TEST(SoundParameters, BadFormatsAndDeviceIdsUseUpNoDeviceNumber) {
    struct Case {
        uint16_t channels, bits;
        uint32_t rate, deviceId;
    };
    const uint32_t inputs = waveInGetNumDevs(), outputs = waveOutGetNumDevs();
    const Case cases[] = {{2, 16, 48000, 0}, {3, 16, 8000, 0}, {1, 24, 8000, 0},
                          {0, 8, 8000, 0},   {1, 8, 0, 0},     {1, 16, 44100, inputs}};
    for (const Case& c : cases) {
        int32_t number = 77;
        EXPECT_EQ(SIConfig(&number, c.deviceId, c.channels, c.rate, c.bits, 1000),
                  AUDIOLET_INVALID_PARAMETER);
        const uint32_t outId = c.deviceId == inputs ? outputs : c.deviceId;
        EXPECT_EQ(SOConfig(&number, outId, c.channels, c.rate, c.bits), AUDIOLET_INVALID_PARAMETER);
        EXPECT_EQ(number, 77);
    }
    // A buffer smaller than one frame would never fill.
    int32_t number = 0;
    EXPECT_EQ(SIConfig(&number, 0, 2, 8000, 16, 3), AUDIOLET_INVALID_PARAMETER);
    EXPECT_EQ(TestHostLiveBlocks(), 0);
}

TEST(SoundParameters, NumbersThatNameNoOpenDeviceAreRefusedEverywhere) {
    SoundArrays arrays;
    for (int32_t n : {-1, 3, 16, 1000, INT32_MIN}) {
        SCOPED_TRACE(n);
        uint8_t flag = 9;
        uint32_t occurrence = 1;
        EXPECT_EQ(SIStart(n), AUDIOLET_INVALID_PARAMETER);
        EXPECT_EQ(Read(n, arrays), AUDIOLET_INVALID_PARAMETER);
        EXPECT_EQ(SIStop(n), AUDIOLET_INVALID_PARAMETER);
        EXPECT_EQ(GetInfo(n, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
                  AUDIOLET_INVALID_PARAMETER);
        EXPECT_EQ(SOStart(n), AUDIOLET_INVALID_PARAMETER);
        EXPECT_EQ(SOPause(n), AUDIOLET_INVALID_PARAMETER);
        EXPECT_EQ(SOStop(n), AUDIOLET_INVALID_PARAMETER);
        EXPECT_EQ(Write(n, arrays), AUDIOLET_INVALID_PARAMETER);
        EXPECT_EQ(SOWait(n, &flag, &occurrence), AUDIOLET_INVALID_PARAMETER);
        EXPECT_EQ(flag, 0);
        EXPECT_EQ(SOVolume(n, 1, 1), AUDIOLET_INVALID_PARAMETER);
        EXPECT_EQ(SOSetNumReady(n, 5), AUDIOLET_INVALID_PARAMETER);
        EXPECT_EQ(SIClear(n), 0);
        EXPECT_EQ(SOClear(n), 0);
    }
}

TEST(SoundParameters, PlayFromFileNeedsAFile) {
    const auto folder = std::filesystem::temp_directory_path();
    EXPECT_EQ(SOPlayFromFile(folder.string().c_str(), 1), AUDIOLET_NOT_A_FILE);
    EXPECT_EQ(SOPlayFromFile((folder / "no such sound.wav").string().c_str(), 1),
              AUDIOLET_NOT_A_FILE);
    EXPECT_EQ(SOPlayFromFile(nullptr, 1), AUDIOLET_INVALID_PARAMETER);
}

TEST(SoundParameters, ClearIsOneEntryUnderTwoNames) {
#if defined(_WIN32)
    HMODULE library = LoadLibraryA(AUDIOLET_LIBRARY);
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(library, "SIClear")),
              reinterpret_cast<void*>(GetProcAddress(library, "SOClear")));
    FreeLibrary(library);
#else
    // By its full path: under the sanitizers dlopen does not see this program's run path.
    void* library = dlopen(AUDIOLET_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    EXPECT_NE(dlsym(library, "SIClear"), nullptr);
    EXPECT_EQ(dlsym(library, "SIClear"), dlsym(library, "SOClear"));
    dlclose(library);
#endif
}

#if !defined(_WIN32)

TEST(SoundDevices, InfoReportsTheRoundedBufferAndTheDirection) {
    struct Case {
        uint16_t channels, bits;
        uint32_t size, rounded;
    };
    for (const Case& c : {Case{2, 16, 1001, 1000}, Case{2, 8, 1001, 1000}, Case{1, 16, 1001, 1000},
                          Case{1, 8, 1001, 1001}, Case{2, 16, 7, 4}}) {
        int32_t in = -1;
        ASSERT_EQ(SIConfig(&in, kToneSource, c.channels, 22050, c.bits, c.size), 0);
        int32_t id = 0, direction = 0, rate = 0, buffer = 0;
        int16_t channels = 0, bits = 0;
        ASSERT_EQ(GetInfo(in, &id, &direction, &channels, &rate, &bits, &buffer), 0);
        EXPECT_EQ(std::vector<int32_t>({id, direction, channels, rate, bits, buffer}),
                  std::vector<int32_t>(
                      {1, 1, c.channels, 22050, c.bits, static_cast<int32_t>(c.rounded)}));
        EXPECT_EQ(Inspect(in, [](auto& d) { return d.queued; }), 3);
        EXPECT_EQ(SIClear(in), 0);
    }
    int32_t out = -1, direction = 9, buffer = 9;
    ASSERT_EQ(SOConfig(&out, kSink, 1, 8000, 8), 0);
    ASSERT_EQ(GetInfo(out, nullptr, &direction, nullptr, nullptr, nullptr, &buffer), 0);
    EXPECT_EQ(direction, 0);
    EXPECT_EQ(buffer, 0);
    EXPECT_EQ(SOClear(out), 0);
}

TEST(SoundDevices, SixteenNumbersThenAllInUse) {
    std::vector<int32_t> numbers;
    for (int i = 0; i < 16; ++i) {
        int32_t n = -1;
        ASSERT_EQ(
            i % 2 ? SIConfig(&n, kToneSource, 1, 8000, 8, 100) : SOConfig(&n, kSink, 1, 8000, 8),
            0);
        EXPECT_EQ(n, i);  // the lowest free number
        numbers.push_back(n);
    }
    int32_t n = -1;
    EXPECT_EQ(SIConfig(&n, kToneSource, 1, 8000, 8, 100), AUDIOLET_ALL_IN_USE);
    EXPECT_EQ(SOConfig(&n, kSink, 1, 8000, 8), AUDIOLET_ALL_IN_USE);
    EXPECT_EQ(SIClear(5), 0);
    EXPECT_EQ(SOConfig(&n, kSink, 1, 8000, 8), 0);
    EXPECT_EQ(n, 5);
    for (int32_t number : numbers) EXPECT_EQ(SIClear(number), 0);
}

TEST(SoundDevices, ABusyDeviceFailsItsOpenCleanly) {
    int32_t first = -1, second = -1;
    ASSERT_EQ(SIConfig(&first, kLoopbackIn, 1, 8000, 16, 800), 0);
    EXPECT_EQ(SIConfig(&second, kLoopbackIn, 1, 8000, 16, 800), AUDIOLET_DEVICE_BUSY);
    EXPECT_EQ(TestHostCleanupCount(), 1);  // the failed open left no clean-up call behind
    EXPECT_EQ(SIConfig(&second, kToneSource, 1, 8000, 16, 800), 0);
    EXPECT_EQ(second, 1);
    EXPECT_EQ(SIClear(first), 0);
    EXPECT_EQ(SIClear(second), 0);
}

TEST(SoundDevices, ExhaustedHostMemoryFailsEveryAllocation) {
    for (int32_t k = 1;; ++k) {
        TestHostFailAllocation(k);
        int32_t n = -1;
        const int32_t status = SIConfig(&n, kToneSource, 1, 8000, 16, 800);
        const bool failed = TestHostInjectedFailureHappened() != 0;
        TestHostFailAllocation(0);
        if (!failed) {
            EXPECT_EQ(status, 0);
            EXPECT_EQ(k, 11);  // record, then node, header and data of three buffers
            SIClear(n);
            break;
        }
        EXPECT_EQ(status, AUDIOLET_OUT_OF_MEMORY) << "allocation " << k;
        // A failed buffer leaves the device open until it is cleared.
        if (k > 1) {
            EXPECT_EQ(SIClear(n), 0);
        }
    }
    int32_t out = -1;
    ASSERT_EQ(SOConfig(&out, kSink, 1, 8000, 16), 0);
    SoundArrays arrays;
    arrays.Set({1, 16, 8000}, std::vector<uint8_t>(200, 1));
    for (int32_t k = 1; k <= 3; ++k) {
        TestHostFailAllocation(k);
        EXPECT_EQ(Write(out, arrays), AUDIOLET_OUT_OF_MEMORY);
        TestHostFailAllocation(0);
        EXPECT_EQ(Inspect(out, [](auto& d) { return d.queued; }), 0);
    }
    EXPECT_EQ(SOClear(out), 0);
}

// The tone source's samples, as our wave layer makes them.
int16_t ToneSample(uint64_t frame, uint32_t rate) {
    const double step = 6.283185307179586 * WAVE_TONE_HZ / rate;
    return static_cast<int16_t>(
        std::lround(32767 * 0.5 * std::sin(step * static_cast<double>(frame))));
}

TEST(SoundInput, ReadsBeforeStartAndBeforeTheFirstBuffer) {
    int32_t in = -1;
    ASSERT_EQ(SIConfig(&in, kToneSource, 1, 8000, 16, 16000), 0);  // one second per buffer
    SoundArrays arrays;
    const int32_t before = TestHostHandleSize(arrays[1]);
    uint8_t noData = 9;
    EXPECT_EQ(Read(in, arrays, &noData), 0);
    EXPECT_EQ(noData, 0);
    EXPECT_EQ(TestHostHandleSize(arrays[1]), before);

    ASSERT_EQ(SIStart(in), 0);
    EXPECT_EQ(Read(in, arrays, &noData), 0);
    EXPECT_EQ(noData, 1);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(TestHostHandleSize(arrays[i]), 4 * SoundArrays::Dims(i));
        EXPECT_EQ(arrays.Sizes(i), std::vector<int32_t>(SoundArrays::Dims(i), 0));
    }
    EXPECT_EQ(SIClear(in), 0);
}

TEST(SoundInput, TheRingDeliversEverySampleOnceInOrder) {
    int32_t in = -1;
    ASSERT_EQ(SIConfig(&in, kToneSource, 1, 8000, 16, 1000), 0);  // 500 samples, 62.5 ms
    const uint32_t occurrence = TestHostNewOccurrence();
    SoundArrays arrays;
    uint8_t noData = 0;
    ASSERT_EQ(SIStart(in), 0);
    ASSERT_EQ(Read(in, arrays, &noData, occurrence), 0);  // registers the occurrence
    ASSERT_GE(TestHostWaitOccurrence(occurrence, 1, 5000), 2);

    // A failed resize hands nothing over and loses nothing.
    TestHostFailResize(1, TESTHOST_MEMORY_FULL);
    EXPECT_EQ(Read(in, arrays, &noData, occurrence), TESTHOST_MEMORY_FULL);
    TestHostFailResize(0, 0);

    std::vector<int16_t> samples;
    bool first = true;
    while (samples.size() < 4000) {
        ASSERT_EQ(Read(in, arrays, &noData, occurrence), 0);
        if (noData) {
            std::this_thread::sleep_for(5ms);
            continue;
        }
        const std::vector<uint8_t> bytes = arrays.Bytes(1);
        EXPECT_EQ(arrays.Sizes(1)[0] * 2, static_cast<int32_t>(bytes.size()));
        EXPECT_EQ(bytes.size() % 1000, 0u);
        if (first) {
            EXPECT_GE(bytes.size(), 2000u);  // at least the two buffers waited for
        }
        first = false;
        for (int i : {0, 2, 3})
            EXPECT_EQ(arrays.Sizes(i), std::vector<int32_t>(SoundArrays::Dims(i), 0));
        const size_t at = samples.size();
        samples.resize(at + bytes.size() / 2);
        std::memcpy(samples.data() + at, bytes.data(), bytes.size());
    }
    for (size_t k = 0; k < samples.size(); ++k)
        ASSERT_EQ(samples[k], ToneSample(k, 8000)) << "sample " << k;
    EXPECT_EQ(SIClear(in), 0);
}

TEST(SoundInput, OverrunIsStickyUntilCleared) {
    int32_t in = -1;
    ASSERT_EQ(SIConfig(&in, kToneSource, 1, 8000, 8, 40), 0);  // 5 ms per buffer
    const uint32_t occurrence = TestHostNewOccurrence();
    SoundArrays arrays;
    ASSERT_EQ(SIStart(in), 0);
    ASSERT_EQ(Read(in, arrays, nullptr, occurrence), 0);
    ASSERT_GE(TestHostWaitOccurrence(occurrence, 2, 5000), 3);
    ASSERT_TRUE(WaitFor([&] { return Inspect(in, [](auto& d) { return d.overrun; }) != 0; }));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Read(in, arrays), AUDIOLET_OVERRUN);
    EXPECT_EQ(SIClear(in), 0);
    ASSERT_EQ(SIConfig(&in, kToneSource, 1, 8000, 8, 40), 0);
    EXPECT_EQ(SIStart(in), 0);
    EXPECT_EQ(Read(in, arrays), 0);
    EXPECT_EQ(SIClear(in), 0);
}

// Loopback: a signal written to loopback out comes back from loopback in byte
// for byte, after silence, with nothing lost or repeated across many reads.
class SoundLoopback : public ::testing::TestWithParam<Format> {};

TEST_P(SoundLoopback, RoundTripIsSampleExact) {
    const Format f = GetParam();
    const int frame = f.FrameBytes();
    int32_t in = -1, out = -1;
    ASSERT_EQ(SIConfig(&in, kLoopbackIn, f.channels, f.rate, f.bits, f.rate / 25 * frame), 0);
    ASSERT_EQ(SIStart(in), 0);
    ASSERT_EQ(SOConfig(&out, kLoopbackOut, f.channels, f.rate, f.bits), 0);

    std::mt19937 random(f.rate + f.bits + f.channels);
    std::vector<uint8_t> signal(f.rate / 10 * frame);
    for (auto& b : signal) b = static_cast<uint8_t>(random());
    signal[0] = f.Silence() ^ 0x55;  // the first byte tells where the signal starts
    SoundArrays arrays;
    const size_t piece = signal.size() / 4 / frame * frame;
    for (size_t at = 0; at < signal.size(); at += piece) {
        const size_t end = std::min(signal.size(), at + piece);
        arrays.Set(f, std::vector<uint8_t>(signal.begin() + at, signal.begin() + end));
        ASSERT_EQ(Write(out, arrays), 0);
    }
    ASSERT_EQ(SOStart(out), 0);

    std::vector<uint8_t> recorded;
    size_t start = SIZE_MAX;
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (start == SIZE_MAX || recorded.size() < start + signal.size()) {
        ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "recorded " << recorded.size();
        uint8_t noData = 0;
        ASSERT_EQ(Read(in, arrays, &noData), 0);
        if (noData) {
            std::this_thread::sleep_for(2ms);
            continue;
        }
        const auto bytes = arrays.Bytes(SoundArrays::Index(f));
        recorded.insert(recorded.end(), bytes.begin(), bytes.end());
        if (start == SIZE_MAX) {
            const auto it = std::find_if(recorded.begin(), recorded.end(),
                                         [&](uint8_t b) { return b != f.Silence(); });
            if (it != recorded.end()) start = it - recorded.begin();
        }
    }
    EXPECT_EQ(start % frame, 0u);
    EXPECT_TRUE(std::equal(signal.begin(), signal.end(), recorded.begin() + start));
    EXPECT_EQ(SOClear(out), 0);
    EXPECT_EQ(SIClear(in), 0);
}

std::vector<Format> AllFormats() {
    std::vector<Format> formats;
    for (uint32_t rate : {8000u, 11025u, 22050u, 44100u})
        for (uint16_t channels : {1, 2})
            for (uint16_t bits : {8, 16}) formats.push_back({channels, bits, rate});
    return formats;
}

INSTANTIATE_TEST_SUITE_P(FourFormatsFourRates, SoundLoopback, ::testing::ValuesIn(AllFormats()),
                         [](const auto& param) { return Name(param.param); });

int32_t Queued(int32_t device) {
    return Inspect(device, [](auto& d) { return d.queued; });
}

TEST(SoundOutput, EachWriteQueuesTheBytesOfTheDevicesArray) {
    struct Case {
        Format format;
        int32_t count;  // samples (mono) or frames (stereo)
        DWORD bytes;
    };
    for (const Case& c :
         {Case{{1, 16, 8000}, 441, 882}, Case{{1, 8, 8000}, 441, 441}, Case{{2, 8, 8000}, 441, 882},
          Case{{2, 16, 8000}, 441, 1764}, Case{{1, 16, 8000}, 0, 0}}) {
        int32_t out = -1;
        ASSERT_EQ(SOConfig(&out, kSink, c.format.channels, c.format.rate, c.format.bits), 0);
        SoundArrays arrays;
        arrays.Set(c.format, std::vector<uint8_t>(c.bytes, 7));
        // The arrays of the other formats are not read: their sizes are garbage.
        for (int i = 0; i < 4; ++i)
            if (i != SoundArrays::Index(c.format)) *reinterpret_cast<int32_t*>(*arrays[i]) = -5;
        ASSERT_EQ(Write(out, arrays), 0);
        EXPECT_EQ(Queued(out), c.bytes ? 1 : 0);
        if (c.bytes) {
            EXPECT_EQ(Inspect(out, [](auto& d) { return d.head->header->dwBufferLength; }),
                      c.bytes);
        }
        EXPECT_EQ(SOClear(out), 0);
    }
}

TEST(SoundOutput, WritesWaitForStartAndPlayInOrder) {
    int32_t out = -1;
    ASSERT_EQ(SOConfig(&out, kSink, 1, 8000, 16), 0);
    SoundArrays arrays;
    arrays.Set({1, 16, 8000}, std::vector<uint8_t>(320, 1));  // 20 ms
    for (int i = 0; i < 3; ++i) ASSERT_EQ(Write(out, arrays), 0);
    std::this_thread::sleep_for(60ms);
    EXPECT_EQ(Queued(out), 3);  // paused since SOConfig

    ASSERT_EQ(SOSetNumReady(out, 1), 0);
    uint32_t occurrence = TestHostNewOccurrence();
    uint8_t mustWait = 0;
    ASSERT_EQ(SOWait(out, &mustWait, &occurrence), 0);
    EXPECT_EQ(mustWait, 1);
    ASSERT_EQ(SOStart(out), 0);
    ASSERT_GE(TestHostWaitOccurrence(occurrence, 0, 5000), 1);
    EXPECT_LE(Queued(out), 1);  // fired once the queue was down to the threshold
    ASSERT_TRUE(WaitFor([&] { return Queued(out) == 0; }));
    EXPECT_EQ(TestHostOccurrenceCount(occurrence), 2);  // at one left and at none

    ASSERT_EQ(SOWait(out, &mustWait, &occurrence), 0);
    EXPECT_EQ(mustWait, 0);
    EXPECT_EQ(Inspect(out, [](auto& d) { return d.occurrence; }), 0u);

    // Stop hands every buffer back; the device plays what is written next.
    ASSERT_EQ(SOPause(out), 0);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(Write(out, arrays), 0);
    ASSERT_EQ(SOStop(out), 0);
    ASSERT_TRUE(WaitFor([&] { return Queued(out) == 0; }));
    ASSERT_EQ(Write(out, arrays), 0);
    ASSERT_EQ(SOStart(out), 0);
    ASSERT_TRUE(WaitFor([&] { return Queued(out) == 0; }));
    EXPECT_EQ(SOClear(out), 0);
}

TEST(SoundOutput, VolumeNeedsVolumeControl) {
    int32_t sink = -1, fixed = -1;
    ASSERT_EQ(SOConfig(&sink, kSink, 2, 44100, 16), 0);
    ASSERT_EQ(SOConfig(&fixed, kFixedSink, 2, 44100, 16), 0);
    EXPECT_EQ(SOVolume(sink, 0xFFFF, 0), 0);
    DWORD volume = 0;
    ASSERT_EQ(waveOutGetVolume(reinterpret_cast<HWAVEOUT>(uintptr_t{kSink}), &volume), 0u);
    EXPECT_EQ(volume, 0xFFFF0000u);  // right channel full, left silent
    EXPECT_EQ(SOVolume(sink, 0x1234, 0xABCDEF), 0);
    ASSERT_EQ(waveOutGetVolume(reinterpret_cast<HWAVEOUT>(uintptr_t{kSink}), &volume), 0u);
    EXPECT_EQ(volume, 0x1234CDEFu);
    EXPECT_EQ(SOVolume(fixed, 0xFFFF, 0), AUDIOLET_NOT_SUPPORTED);
    EXPECT_EQ(SOClear(sink), 0);
    EXPECT_EQ(SOClear(fixed), 0);
}

// A 16-bit mono WAV file of `frames` frames of a ramp.
std::filesystem::path WriteWav(const std::string& name, uint32_t rate, uint32_t frames) {
    const auto path = std::filesystem::temp_directory_path() / name;
    std::ofstream file(path, std::ios::binary);
    const auto put32 = [&](uint32_t v) { file.write(reinterpret_cast<const char*>(&v), 4); };
    const auto put16 = [&](uint16_t v) { file.write(reinterpret_cast<const char*>(&v), 2); };
    file.write("RIFF", 4);
    put32(36 + frames * 2);
    file.write("WAVEfmt ", 8);
    put32(16);
    put16(1);
    put16(1);
    put32(rate);
    put32(rate * 2);
    put16(2);
    put16(16);
    file.write("data", 4);
    put32(frames * 2);
    for (uint32_t i = 0; i < frames; ++i) put16(static_cast<uint16_t>(i * 37));
    return path;
}

TEST(SoundOutput, PlayFromFileWaitsOrNot) {
    const auto wav = WriteWav("audiolet_test_tone.wav", 8000, 1600);  // 0.2 s
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(SOPlayFromFile(wav.string().c_str(), 1), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 180ms);
    EXPECT_EQ(WaveSoundPlaying(), 0);

    ASSERT_EQ(SOPlayFromFile(wav.string().c_str(), 0), 0);
    EXPECT_EQ(WaveSoundPlaying(), 1);  // returned while the sound plays
    EXPECT_TRUE(WaitFor([] { return WaveSoundPlaying() == 0; }));

    const auto text = std::filesystem::temp_directory_path() / "audiolet_test_text.wav";
    std::ofstream(text) << "not a sound";
    EXPECT_EQ(SOPlayFromFile(text.string().c_str(), 1), AUDIOLET_INVALID_PARAMETER);
    std::filesystem::remove(text);
    std::filesystem::remove(wav);
}

TEST(SoundCleanup, TheHostsCleanupClosesEachDeviceOnceEvenRacingClear) {
    for (int round = 0; round < 40; ++round) {
        int32_t in = -1, out = -1;
        ASSERT_EQ(SIConfig(&in, kToneSource, 1, 8000, 8, 40), 0);
        ASSERT_EQ(SOConfig(&out, kSink, 1, 8000, 8), 0);
        ASSERT_EQ(SIStart(in), 0);
        SoundArrays arrays;
        arrays.Set({1, 8, 8000}, std::vector<uint8_t>(80, 1));
        ASSERT_EQ(Write(out, arrays), 0);
        ASSERT_EQ(SOStart(out), 0);
        ASSERT_EQ(TestHostCleanupCount(), 2);
        std::thread clearer([&] { EXPECT_EQ(SIClear(round % 2 ? in : out), 0); });
        const int32_t called = TestHostRunCleanups();
        clearer.join();
        EXPECT_GE(called, 1);
        EXPECT_EQ(GetInfo(in, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
                  AUDIOLET_INVALID_PARAMETER);
        EXPECT_EQ(GetInfo(out, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
                  AUDIOLET_INVALID_PARAMETER);
    }
}

#endif  // !_WIN32

}  // namespace
