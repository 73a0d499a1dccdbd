// Thread message queues: each thread that asks for its messages gets a queue,
// which lives as long as the thread; messages posted to a thread without one
// are refused, as the system's queues refuse them.

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "wave_audio.h"

namespace {

struct Queue {
    std::mutex lock;
    std::condition_variable posted;
    std::deque<MSG> messages;
};

std::mutex registryLock;
std::unordered_map<DWORD, std::shared_ptr<Queue>>& Registry() {
    static auto* registry = new std::unordered_map<DWORD, std::shared_ptr<Queue>>;
    return *registry;  // never destroyed: threads may outlive static destruction
}

DWORD NewThreadId() {
    static DWORD last = 0;
    std::lock_guard guard(registryLock);
    return ++last;
}

// The calling thread's queue, made on first use and withdrawn when the thread ends.
class OwnQueue {
  public:
    OwnQueue() : id_(GetCurrentThreadId()), queue_(std::make_shared<Queue>()) {
        std::lock_guard guard(registryLock);
        Registry()[id_] = queue_;
    }
    ~OwnQueue() {
        std::lock_guard guard(registryLock);
        Registry().erase(id_);
    }
    Queue& get() { return *queue_; }

  private:
    DWORD id_;
    std::shared_ptr<Queue> queue_;
};

Queue& CallerQueue() {
    thread_local OwnQueue own;
    return own.get();
}

bool InRange(UINT message, UINT first, UINT last) {
    return (first == 0 && last == 0) || (message >= first && message <= last);
}

// Takes (or copies, when `remove` is false) the oldest message in range; the
// queue's lock is held.
bool Take(Queue& queue, MSG* message, UINT first, UINT last, bool remove) {
    for (auto it = queue.messages.begin(); it != queue.messages.end(); ++it) {
        if (!InRange(it->message, first, last)) continue;
        if (message) *message = *it;
        if (remove) queue.messages.erase(it);
        return true;
    }
    return false;
}

}  // namespace

extern "C" {

DWORD GetCurrentThreadId(void) {
    thread_local const DWORD id = NewThreadId();
    return id;
}

BOOL PostThreadMessageA(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam) {
    std::shared_ptr<Queue> queue;
    {
        std::lock_guard guard(registryLock);
        const auto found = Registry().find(threadId);
        if (found == Registry().end()) return 0;
        queue = found->second;
    }
    {
        std::lock_guard guard(queue->lock);
        queue->messages.push_back(MSG{nullptr, message, wParam, lParam, 0, {0, 0}});
    }
    queue->posted.notify_one();
    return 1;
}

BOOL GetMessageA(MSG* message, HWND, UINT first, UINT last) {
    Queue& queue = CallerQueue();
    std::unique_lock guard(queue.lock);
    queue.posted.wait(guard, [&] { return Take(queue, message, first, last, true); });
    return 1;
}

BOOL PeekMessageA(MSG* message, HWND, UINT first, UINT last, UINT remove) {
    Queue& queue = CallerQueue();
    std::lock_guard guard(queue.lock);
    return Take(queue, message, first, last, (remove & PM_REMOVE) != 0) ? 1 : 0;
}

}  // extern "C"
