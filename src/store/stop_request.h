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

 private:
  std::atomic<bool> asked_{false};
  static_assert(std::atomic<bool>::is_always_lock_free, "set from signal handlers");
};

}  // namespace korvex
