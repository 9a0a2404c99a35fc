// Lets a job end while one of its reads never returns (a failing disk, a
// hung network share). The job's thread holds the gate's lock the whole
// time except inside a read of the store. When a stop has been asked for
// and the thread has stayed inside one read for long enough, the owner of
// the job takes the lock, marks the job abandoned and runs the job's own
// finishing path in its place. Should the read ever return, the job's
// thread sees that and waits for ever without touching anything: whatever
// the read writes into is never freed. A read costs one uncontended unlock
// and lock, nothing more.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

namespace korvex {

// The read the job's thread was left in.
struct HungRead {
  enum class Kind : std::uint8_t { Open, Read, FindData };
  Kind kind = Kind::Read;
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
  std::chrono::milliseconds waited{0};  // since the owner first saw it pending

  // "a read of 4096 bytes at byte 8192 had not returned 3 s after the
  // stop; the job ended without it"
  std::string describe() const;
};

class ReadGate {
 public:
  ReadGate() = default;
  ReadGate(const ReadGate&) = delete;
  ReadGate& operator=(const ReadGate&) = delete;

  // The gate of the job running on the calling thread; null on any other
  // thread (tests, benchmarks, the window's own reads).
  static ReadGate* current() noexcept;

  // The job's thread holds the gate from enter() to leave().
  void enter();
  void leave();

  // Around each read of the store, on the job's thread. afterRead never
  // returns once the job has been ended without the read.
  void beforeRead(HungRead::Kind kind, std::uint64_t offset, std::uint64_t length) noexcept {
    pending_.kind = kind;
    pending_.offset = offset;
    pending_.length = length;
    serial_.store(serial_.load(std::memory_order_relaxed) + 1, std::memory_order_release);
    mutex_.unlock();
  }
  void afterRead() noexcept {
    mutex_.lock();
    serial_.store(serial_.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    if (abandoned_.load(std::memory_order_relaxed)) park();
  }

  // The job's finishing path for a rescue, set by the job while it runs
  // (on its thread) and run on the owner's thread, under the gate.
  using Rescue = std::function<void(const HungRead&)>;
  class RescueScope {
   public:
    RescueScope(ReadGate* gate, Rescue rescue);
    ~RescueScope();
    RescueScope(const RescueScope&) = delete;
    RescueScope& operator=(const RescueScope&) = delete;

   private:
    ReadGate* gate_;
  };

  // The owner's side, called from time to time once a stop has been asked
  // for: when the job's thread has been inside the same read for at least
  // `patience` since the first call that saw it, and the job has set its
  // rescue, runs the rescue and gives true. Never waits for the job.
  bool rescueIfStuck(std::chrono::milliseconds patience);
  bool abandoned() const noexcept { return abandoned_.load(std::memory_order_acquire); }

 private:
  [[noreturn]] void park() noexcept;

  std::mutex mutex_;
  std::condition_variable parked_;
  // Odd while the job's thread is inside a read; each read adds 2.
  std::atomic<std::uint64_t> serial_{0};
  std::atomic<bool> abandoned_{false};
  // Under mutex_.
  HungRead pending_;
  Rescue rescue_;
  // The owner's alone.
  bool watching_ = false;
  std::uint64_t watchedSerial_ = 0;
  std::chrono::steady_clock::time_point watchedSince_;
};

}  // namespace korvex
