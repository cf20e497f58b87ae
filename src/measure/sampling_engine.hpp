#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>
#include <vector>

#include "measure/sleep_sampler.hpp"
#include "measure/waits.hpp"

namespace measure {

// A measuring step lasts this long (one wait or more), then the thread
// pauses, leaving the samplers to whoever reads them.
inline constexpr std::int32_t kStepMs = 1;
inline constexpr std::chrono::milliseconds kStepPause{5};

// Keeps samplers measuring on a thread of its own at top priority: one step
// of each sampler in turn, round after round, so that a burst of noise on the
// machine touches every method alike. The interface runs one sampler, whose
// method the user switches; a report runs one per method until each is full.
class SamplingEngine {
 public:
  // `data_mutex` is held around every step, and by whoever uses a sampler.
  SamplingEngine(Waits& waits, std::mutex& data_mutex, const std::vector<SamplerSetup>& samplers);
  SamplingEngine(const SamplingEngine&) = delete;
  SamplingEngine& operator=(const SamplingEngine&) = delete;
  ~SamplingEngine();

  // Requests the process priority, then starts the thread; nothing while it
  // runs. Returns whether the process priority was granted. Start it with the
  // stop signals held, so that the thread inherits the hold and none of them
  // cuts a timed wait short.
  bool start();
  // Ends the thread after the step in progress and waits for it; nothing
  // while idle.
  void stop();
  // Started and not stopped (it may have ended by itself).
  bool active() const { return active_; }
  // Waits at most `timeout` for the thread to end by itself, every sampler
  // full; true once it has.
  bool wait_for_end(std::chrono::milliseconds timeout);

  // The samplers, in the order given; only with the data mutex held.
  SleepSampler& sampler(std::size_t i) { return *samplers_[i]; }
  std::size_t sampler_count() const { return samplers_.size(); }
  // How many samples sampler `i` holds, as of its latest step: readable at
  // any time without the data mutex, which a step of long waits holds long.
  std::size_t kept(std::size_t i) const { return kept_[i].load(std::memory_order_relaxed); }

  // What the thread found: whether its priority was granted (known once it
  // has taken a step), and, once it has ended or been stopped, the timer
  // resolution in effect after its first step (once any request has taken
  // effect there), empty if unread.
  bool thread_priority() const { return thread_priority_.load(std::memory_order_relaxed); }
  const std::optional<TimerResolution>& resolution_in_effect() const { return resolution_; }

 private:
  void loop(const std::stop_token& stop);
  // One step of sampler `i`; false when it is full and took none.
  bool step(std::size_t i);

  Waits& waits_;
  std::mutex& data_mutex_;
  std::vector<std::unique_ptr<SleepSampler>> samplers_;
  std::unique_ptr<std::atomic<std::size_t>[]> kept_;
  bool active_ = false;
  std::mutex end_mutex_;  // guards ended_
  std::condition_variable_any end_changed_;
  bool ended_ = false;
  // Atomic: a report that goes on reads it while the thread runs.
  std::atomic<bool> thread_priority_{false};
  std::optional<TimerResolution> resolution_;
  std::jthread thread_;
};

}  // namespace measure
