// The one worker thread of a running job. Unlike a detached thread it can be
// waited for, so a new job never starts while the last one still runs and
// the program never ends in the middle of a job. A job stuck in a read that
// never returns can still be ended (rescueIfStuck).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "store/read_gate.h"

namespace korvex {

// How long after a stop a job may stay inside one read before its owner
// ends it without the read.
inline constexpr std::chrono::milliseconds STUCK_READ_PATIENCE{3000};

class JobThread {
 public:
  JobThread() = default;
  ~JobThread() { join(); }
  JobThread(const JobThread&) = delete;
  JobThread& operator=(const JobThread&) = delete;

  // Runs `body` on a new thread, which holds a fresh ReadGate for it. False
  // (and nothing started) while an earlier body still runs.
  bool start(std::function<void()> body);

  // True from start until the body has returned or the job was ended by
  // rescueIfStuck.
  bool running() const { return running_.load(std::memory_order_acquire); }

  // Waits at most `timeout` for the body to return; true once it has.
  bool waitFor(std::chrono::milliseconds timeout);

  // Waits for the body to return. A thread whose job was ended without its
  // read is let go instead: it never runs on.
  void join();

  // For the owner, from time to time once a stop has been asked for: ends
  // the job (ReadGate::rescueIfStuck) when its thread has been inside one
  // read for `patience`. True when it did; running() is false from then on.
  bool rescueIfStuck(std::chrono::milliseconds patience = STUCK_READ_PATIENCE);
  // Waits for the body, ending the job that way when it hangs in a read.
  void joinRescuing(std::chrono::milliseconds patience = STUCK_READ_PATIENCE);
  // The last job was ended without its read.
  bool abandoned() const { return gate_ && gate_->abandoned(); }

 private:
  void ended();

  std::thread thread_;
  // Shared with the thread, which may outlive this object once abandoned.
  std::shared_ptr<ReadGate> gate_;
  std::atomic<bool> running_{false};
  std::mutex mutex_;
  std::condition_variable ended_;
};

}  // namespace korvex
