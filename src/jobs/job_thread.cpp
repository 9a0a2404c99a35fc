#include "jobs/job_thread.h"

namespace korvex {

bool JobThread::start(std::function<void()> body) {
  if (running()) return false;
  join();
  running_.store(true, std::memory_order_release);
  thread_ = std::thread([this, body = std::move(body)] {
    body();
    running_.store(false, std::memory_order_release);
  });
  return true;
}

void JobThread::join() {
  if (thread_.joinable()) thread_.join();
}

}  // namespace korvex
