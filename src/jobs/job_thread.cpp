#include "jobs/job_thread.h"

namespace korvex {

bool JobThread::start(std::function<void()> body) {
  if (running()) return false;
  join();
  running_.store(true, std::memory_order_release);
  thread_ = std::thread([this, body = std::move(body)] {
    body();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      running_.store(false, std::memory_order_release);
    }
    ended_.notify_all();
  });
  return true;
}

bool JobThread::waitFor(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  return ended_.wait_for(lock, timeout, [this] { return !running(); });
}

void JobThread::join() {
  if (thread_.joinable()) thread_.join();
}

}  // namespace korvex
