#include "jobs/job_thread.h"

namespace korvex {

bool JobThread::start(std::function<void()> body) {
  if (running()) return false;
  join();
  gate_ = std::make_shared<ReadGate>();
  running_.store(true, std::memory_order_release);
  thread_ = std::thread([this, gate = gate_, body = std::move(body)] {
    gate->enter();
    body();
    gate->leave();
    ended();
  });
  return true;
}

void JobThread::ended() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    running_.store(false, std::memory_order_release);
  }
  ended_.notify_all();
}

bool JobThread::waitFor(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  return ended_.wait_for(lock, timeout, [this] { return !running(); });
}

void JobThread::join() {
  if (!thread_.joinable()) return;
  // Its closure keeps the gate and whatever the pending read fills.
  if (abandoned()) thread_.detach();
  else thread_.join();
}

bool JobThread::rescueIfStuck(std::chrono::milliseconds patience) {
  if (!gate_ || !running() || !gate_->rescueIfStuck(patience)) return false;
  ended();
  return true;
}

void JobThread::joinRescuing(std::chrono::milliseconds patience) {
  while (!waitFor(std::chrono::milliseconds(100))) rescueIfStuck(patience);
  join();
}

}  // namespace korvex
