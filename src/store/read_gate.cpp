#include "store/read_gate.h"

#include <cstdio>

namespace korvex {

namespace {
thread_local ReadGate* threadGate = nullptr;
}  // namespace

std::string HungRead::describe() const {
  char text[200];
  const auto seconds = static_cast<long long>((waited.count() + 999) / 1000);
  int n = 0;
  switch (kind) {
    case Kind::Open:
      n = std::snprintf(text, sizeof text, "opening it");
      break;
    case Kind::Read:
      n = std::snprintf(text, sizeof text, "a read of %llu bytes at byte %llu", static_cast<unsigned long long>(length),
                        static_cast<unsigned long long>(offset));
      break;
    case Kind::FindData:
      n = std::snprintf(text, sizeof text, "asking where its data lies from byte %llu",
                        static_cast<unsigned long long>(offset));
      break;
  }
  if (n < 0 || static_cast<std::size_t>(n) >= sizeof text) return "a read did not return";
  return std::string(text) + " had not returned " + std::to_string(seconds) +
         " s after the stop; the job ended without it";
}

ReadGate* ReadGate::current() noexcept { return threadGate; }

void ReadGate::enter() {
  mutex_.lock();
  threadGate = this;
}

void ReadGate::leave() {
  threadGate = nullptr;
  rescue_ = nullptr;
  mutex_.unlock();
}

ReadGate::RescueScope::RescueScope(ReadGate* gate, Rescue rescue) : gate_(gate) {
  if (gate_ != nullptr) gate_->rescue_ = std::move(rescue);
}

ReadGate::RescueScope::~RescueScope() {
  if (gate_ != nullptr) gate_->rescue_ = nullptr;
}

bool ReadGate::rescueIfStuck(std::chrono::milliseconds patience) {
  const std::uint64_t serial = serial_.load(std::memory_order_acquire);
  const auto now = std::chrono::steady_clock::now();
  if (abandoned() || serial % 2 == 0) {
    watching_ = false;
    return false;
  }
  if (!watching_ || serial != watchedSerial_) {
    watching_ = true;
    watchedSerial_ = serial;
    watchedSince_ = now;
    return false;
  }
  if (now - watchedSince_ < patience) return false;
  // Free while the thread is inside a read; otherwise it has just come out
  // of it, and the next call sees a new read or none.
  std::unique_lock lock(mutex_, std::try_to_lock);
  if (!lock.owns_lock() || serial_.load(std::memory_order_relaxed) != serial || !rescue_) return false;
  abandoned_.store(true, std::memory_order_release);
  HungRead hung = pending_;
  hung.waited = std::chrono::duration_cast<std::chrono::milliseconds>(now - watchedSince_);
  // The job's own state, as the thread left it when it let go of the gate.
  rescue_(hung);
  return true;
}

void ReadGate::park() noexcept {
  // The thread holds the lock again; waiting gives it up, and nothing ever
  // wakes the thread for good.
  std::unique_lock lock(mutex_, std::adopt_lock);
  for (;;) parked_.wait(lock);
}

}  // namespace korvex
