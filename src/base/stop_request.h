// A request that a running job stop. Only the faces (the window, the
// companion and its signal handlers) set it; the job tests it between two
// recording files. A plain atomic, so a signal handler may set it.
#pragma once

#include <atomic>

namespace korvex {

class StopRequest {
 public:
  void request() noexcept { asked_.store(true, std::memory_order_relaxed); }
  bool requested() const noexcept { return asked_.load(std::memory_order_relaxed); }
  // A stop that came from outside the job's own controls (a signal to the
  // companion): the job's log tells it apart from a Stop button.
  void interrupt() noexcept {
    interrupted_.store(true, std::memory_order_relaxed);
    request();
  }
  bool interrupted() const noexcept { return interrupted_.load(std::memory_order_relaxed); }

 private:
  std::atomic<bool> asked_{false};
  std::atomic<bool> interrupted_{false};
  static_assert(std::atomic<bool>::is_always_lock_free, "set from signal handlers");
};

}  // namespace korvex
