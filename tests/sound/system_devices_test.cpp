// Audiolet on the system's own wave devices (Windows, under Wine): one output
// and one input opened, started, written or read and cleared. Wine without a
// sound card may offer none; the test then says so and skips.

#include <gtest/gtest.h>

#include "sound_testing.h"

#if defined(_WIN32)

namespace {

using namespace soundtest;

TEST(SoundSystemDevices, FirstOutputOpensPlaysAndClears) {
    if (waveOutGetNumDevs() == 0) GTEST_SKIP() << "the system offers no wave-out device";
    int32_t out = -1;
    const int32_t status = SOConfig(&out, 0, 1, 44100, 16);
    if (status == AUDIOLET_NO_DRIVER || status == AUDIOLET_DEVICE_ERROR)
        GTEST_SKIP() << "wave-out device 0 cannot be opened here (" << status << ")";
    ASSERT_EQ(status, 0);
    SoundArrays arrays;
    arrays.Set({1, 16, 44100}, std::vector<uint8_t>(8820, 0));  // 0.1 s
    for (int i = 0; i < 2; ++i) EXPECT_EQ(Write(out, arrays), 0);
    uint32_t occurrence = TestHostNewOccurrence();
    uint8_t mustWait = 0;
    EXPECT_EQ(SOWait(out, &mustWait, &occurrence), 0);
    EXPECT_EQ(mustWait, 1);
    EXPECT_EQ(SOStart(out), 0);
    // The driver hands both buffers back once played; the last one fires the occurrence.
    EXPECT_GE(TestHostWaitOccurrence(occurrence, 0, 5000), 1);
    EXPECT_EQ(Inspect(out, [](auto& d) { return d.queued; }), 0);
    EXPECT_EQ(SOVolume(out, 0xFFFF, 0xFFFF) == 0 || SOVolume(out, 0xFFFF, 0xFFFF) ==
              AUDIOLET_NOT_SUPPORTED, true);
    EXPECT_EQ(SOClear(out), 0);
}

TEST(SoundSystemDevices, FirstInputOpensRecordsAndClears) {
    if (waveInGetNumDevs() == 0) GTEST_SKIP() << "the system offers no wave-in device";
    int32_t in = -1;
    const int32_t status = SIConfig(&in, 0, 1, 44100, 16, 4410);
    if (status == AUDIOLET_NO_DRIVER || status == AUDIOLET_DEVICE_ERROR)
        GTEST_SKIP() << "wave-in device 0 cannot be opened here (" << status << ")";
    ASSERT_EQ(status, 0);
    EXPECT_EQ(SIStart(in), 0);
    SoundArrays arrays;
    uint8_t noData = 1;
    const bool got = WaitFor([&] { return Read(in, arrays, &noData) == 0 && !noData; });
    EXPECT_TRUE(got) << "no buffer came back within 5 s";
    if (got) {
        EXPECT_GT(arrays.Sizes(1)[0], 0);
        EXPECT_EQ(arrays.Sizes(1)[0] % 2205, 0);  // whole buffers of 4410 bytes
    }
    EXPECT_EQ(SIClear(in), 0);
}

}  // namespace

#endif
