#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "measure/platform.hpp"
#include "measure/sleep_sampler.hpp"
#include "measure/timer_resolution.hpp"

namespace measure {

// Measures several methods side by side, each step as the interface's
// sampling thread takes it: a thread at top priority takes one step of the
// first method, pauses, one step of the next, and so on round after round, so
// that a burst of noise on the machine touches every method alike. It ends
// when every method has its samples, or when stopped.
class InterleavedRun {
 public:
  InterleavedRun(Platform& platform, std::vector<SleepMode> modes, std::size_t samples_per_method);
  InterleavedRun(const InterleavedRun&) = delete;
  InterleavedRun& operator=(const InterleavedRun&) = delete;
  ~InterleavedRun();

  // Requests the process priority, as the interface does before it starts
  // sampling, then starts the thread. Returns whether the priority was granted.
  bool start();
  // Ends the run after the step in progress and waits for the thread.
  void stop();
  // Waits at most `timeout` for the run to end by itself; true once it has.
  bool wait_for(std::chrono::milliseconds timeout);

  struct Outcome {
    // Per method, in the order given; at most samples_per_method each.
    std::vector<std::vector<std::uint64_t>> samples;
    // Whether the system granted the thread its priority.
    bool thread_priority = false;
    // The timer resolution read on the thread after its first step, once
    // any request has taken effect there; empty before then or if unread.
    std::optional<TimerResolution> resolution;
  };
  // Samples so far per method.
  std::vector<std::size_t> counts() const;
  // A copy of what was measured; complete once the run has ended.
  Outcome outcome() const;

 private:
  void loop();
  // Keeps up to the method's remaining room of what one step recorded.
  void keep(std::size_t method, const std::vector<std::uint64_t>& recorded);

  Platform& platform_;
  const std::vector<SleepMode> modes_;
  const std::size_t wanted_;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;  // guards outcome_ and finished_
  std::condition_variable finished_changed_;
  Outcome outcome_;
  bool finished_ = false;
  std::thread thread_;
};

}  // namespace measure
