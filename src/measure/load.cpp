#include "measure/load.hpp"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace measure {
namespace {

std::atomic<std::size_t> running_threads{0};

// Released once all threads of a load have taken their first readings.
class Gate {
 public:
  void arrive() {
    const std::lock_guard lock(mutex_);
    ++arrived_;
    changed_.notify_all();
  }
  // Waits for the threads started so far.
  void wait(std::size_t started) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return arrived_ >= started; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::size_t arrived_ = 0;
};

}  // namespace

LoadUse& LoadUse::operator+=(const LoadUse& other) {
  cpu_ns += other.cpu_ns;
  lived_ns += other.lived_ns;
  cpu_unknown = cpu_unknown || other.cpu_unknown;
  return *this;
}

Load::Load(Waits& waits, std::uint32_t threads) : waits_(waits), uses_(threads) {
  Gate gate;
  try {
    for (std::size_t i = 0; i < threads; ++i) {
      threads_.emplace_back([this, i, &gate] {
        running_threads.fetch_add(1);
        const auto cpu_before = waits_.thread_cpu_ns();
        const auto started = std::chrono::steady_clock::now();
        gate.arrive();
        spin(i);
        const auto cpu_after = waits_.thread_cpu_ns();
        uses_[i].lived_ns = static_cast<std::uint64_t>(
            std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - started).count());
        uses_[i].cpu_unknown = !cpu_before || !cpu_after;
        uses_[i].cpu_ns = uses_[i].cpu_unknown ? 0 : *cpu_after - *cpu_before;
        running_threads.fetch_sub(1);
      });
    }
  } catch (...) {
    gate.wait(threads_.size());
    stop();
    throw;
  }
  gate.wait(threads_.size());
}

Load::~Load() { stop(); }

void Load::stop() {
  stop_.store(true, std::memory_order_relaxed);
  for (std::thread& thread : threads_) {
    if (thread.joinable()) {
      thread.join();
    }
  }
  use_ = {};
  for (const LoadUse& use : uses_) {
    use_ += use;
  }
}

std::size_t Load::running() { return running_threads.load(); }

void Load::spin(std::size_t index) {
  // Multiply-adds on a value held in a register, the stop flag read between
  // them: the CPU is busy, and the thread makes no system call and touches
  // one shared cache line, read only.
  std::uint64_t x = index + 1;
  while (!stop_.load(std::memory_order_relaxed)) {
    x = x * 6364136223846793005U + 1442695040888963407U;
  }
  // Kept, so that the work is not optimised away.
  sink_.fetch_xor(x, std::memory_order_relaxed);
}

}  // namespace measure
