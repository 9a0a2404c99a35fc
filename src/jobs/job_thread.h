// The one worker thread of a running job. Unlike a detached thread it can be
// waited for, so a new job never starts while the last one still runs and
// the program never ends in the middle of a job.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace korvex {

class JobThread {
 public:
  JobThread() = default;
  ~JobThread() { join(); }
  JobThread(const JobThread&) = delete;
  JobThread& operator=(const JobThread&) = delete;

  // Runs `body` on a new thread. False (and nothing started) while an
  // earlier body still runs.
  bool start(std::function<void()> body);

  // True from start until the body has returned.
  bool running() const { return running_.load(std::memory_order_acquire); }

  // Waits at most `timeout` for the body to return; true once it has.
  bool waitFor(std::chrono::milliseconds timeout);

  // Waits for the body to return.
  void join();

 private:
  std::thread thread_;
  std::atomic<bool> running_{false};
  std::mutex mutex_;
  std::condition_variable ended_;
};

}  // namespace korvex
