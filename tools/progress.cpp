#include "progress.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace front {

namespace {

constexpr auto kDelay = std::chrono::seconds(1);
constexpr auto kTick = std::chrono::milliseconds(100);
constexpr int kBarWidth = 30;

}  // namespace

bool Progress::Terminal() { return isatty(STDERR_FILENO) == 1; }

Progress::Progress(int steps, bool enabled)
    : steps_(steps), start_(std::chrono::steady_clock::now()) {
    if (enabled) ticker_ = std::thread([this] { Run(); });
}

Progress::~Progress() { Finish(); }

void Progress::Begin(const std::string& what) {
    std::lock_guard lock(mutex_);
    ++done_;
    what_ = what;
}

void Progress::Finish() {
    {
        std::lock_guard lock(mutex_);
        finished_ = true;
    }
    wake_.notify_all();
    if (ticker_.joinable()) ticker_.join();
}

void Progress::Run() {
    std::unique_lock lock(mutex_);
    if (wake_.wait_until(lock, start_ + kDelay, [this] { return finished_; })) return;
    while (!finished_) {
        Draw(std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count());
        wake_.wait_for(lock, kTick, [this] { return finished_; });
    }
    if (drawn_) std::fputs("\r\033[K", stderr);
}

// Called with the lock held. The step being worked on is shown as half done,
// and a marker moves along inside it so that a long step still shows life.
void Progress::Draw(double seconds) {
    const int done = done_ < 0 ? 0 : done_;
    const int full = steps_ > 0 ? done * kBarWidth / steps_ : 0;
    const int stepWidth = steps_ > 0 ? kBarWidth / steps_ : kBarWidth;
    char bar[kBarWidth + 1];
    for (int i = 0; i < kBarWidth; ++i) bar[i] = i < full ? '#' : '.';
    if (full < kBarWidth && stepWidth > 0)
        bar[std::min(full + static_cast<int>(seconds * 10) % stepWidth, kBarWidth - 1)] = '>';
    bar[kBarWidth] = '\0';
    std::fprintf(stderr, "\r\033[K[%s] %d/%d %s  %.1f s", bar,
                 done + 1 > steps_ ? steps_ : done + 1, steps_, what_.c_str(), seconds);
    std::fflush(stderr);
    drawn_ = true;
}

}  // namespace front
