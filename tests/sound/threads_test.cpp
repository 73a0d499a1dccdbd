// Audiolet from several host threads at once: sixteen devices opened, started,
// read or written and cleared over and over while the callback threads deliver
// their buffers, and closed in the middle of that load.

#include <gtest/gtest.h>

#include <atomic>
#include <random>

#include "sound_testing.h"

#if !defined(_WIN32)

namespace {

using namespace soundtest;
using namespace std::chrono_literals;

constexpr uint32_t kToneSource = 1, kSink = 1;

// One host thread: two recorders and two players, used and cleared `rounds` times.
void Session(int seed, int rounds, std::atomic<int>& failures) {
    std::mt19937 random(seed);
    SoundArrays arrays;
    arrays.Set({1, 8, 8000}, std::vector<uint8_t>(24, 0x90));  // 3 ms
    const auto expect = [&](bool ok) {
        if (!ok) ++failures;
    };
    for (int round = 0; round < rounds; ++round) {
        int32_t devices[4];
        for (int i = 0; i < 4; ++i) {
            const int32_t status = i < 2 ? SIConfig(&devices[i], kToneSource, 1, 8000, 8, 16)
                                         : SOConfig(&devices[i], kSink, 1, 8000, 8);
            expect(status == 0);
            if (status != 0) devices[i] = -1;
        }
        for (int i = 0; i < 4; ++i)
            expect((i < 2 ? SIStart(devices[i]) : SOStart(devices[i])) == 0);
        for (int step = 0; step < 6; ++step) {
            for (int i = 0; i < 4; ++i) {
                if (i < 2) {
                    const int32_t status = Read(devices[i], arrays);
                    expect(status == 0 || status == AUDIOLET_OVERRUN);
                } else {
                    expect(Write(devices[i], arrays) == 0);
                    expect(SOSetNumReady(devices[i], static_cast<int32_t>(random() % 3)) == 0);
                }
            }
            std::this_thread::sleep_for(std::chrono::microseconds(random() % 2000));
        }
        // Cleared while buffers are still queued and callbacks are arriving.
        for (int i = 0; i < 4; ++i) expect(SIClear(devices[i]) == 0);
    }
}

TEST(SoundThreads, SixteenDevicesFromFourThreadsWithoutRaceOrDeadlock) {
    std::atomic<int> failures{0};
    std::atomic<bool> done{false};
    // An onlooker asks about every device number, open or not, meanwhile.
    std::thread onlooker([&] {
        while (!done) {
            for (int32_t n = -1; n <= 16; ++n) {
                int32_t rate = 0;
                GetInfo(n, nullptr, nullptr, nullptr, &rate, nullptr, nullptr);
                uint8_t mustWait = 0;
                uint32_t occurrence = 0;
                SOWait(n, &mustWait, &occurrence);
            }
            std::this_thread::yield();
        }
    });
    std::vector<std::thread> sessions;
    for (int t = 0; t < 4; ++t) sessions.emplace_back(Session, t, 15, std::ref(failures));
    for (auto& s : sessions) s.join();
    done = true;
    onlooker.join();
    EXPECT_EQ(failures.load(), 0);
}

}  // namespace

#endif
