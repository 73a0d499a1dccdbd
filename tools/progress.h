#pragma once
// A progress bar on stderr for work that takes more than about a second. It
// appears only after that second, only on a terminal, and not with --quiet.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace front {

class Progress {
  public:
    // `steps` pieces of work are to come; `enabled` false draws nothing.
    Progress(int steps, bool enabled);
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;
    ~Progress();

    // Starts the next piece of work, named for the bar.
    void Begin(const std::string& what);
    // The bar disappears.
    void Finish();

    // True when stderr is a terminal.
    static bool Terminal();

  private:
    void Run();
    void Draw(double seconds);

    const int steps_;
    const std::chrono::steady_clock::time_point start_;
    std::mutex mutex_;
    std::condition_variable wake_;
    int done_ = -1;
    std::string what_;
    bool finished_ = false;
    bool drawn_ = false;
    std::thread ticker_;
};

}  // namespace front
