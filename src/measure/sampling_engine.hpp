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
#include <string>
#include <thread>
#include <vector>

#include "measure/conditions.hpp"
#include "measure/load.hpp"
#include "measure/placement.hpp"
#include "measure/sleep_sampler.hpp"
#include "measure/waits.hpp"

namespace measure {

// A measuring step lasts this long (one wait or more), then the thread
// pauses, leaving the samplers to whoever reads them.
inline constexpr std::int32_t kStepMs = 1;
inline constexpr std::chrono::milliseconds kStepPause{5};
// How long one condition holds before the next takes over, when there are
// several: long enough for the scheduler to settle into it.
inline constexpr std::chrono::milliseconds kPhase{1000};

// The samplers of one condition.
struct ConditionSetup {
  Condition condition;
  std::vector<SamplerSetup> samplers;
};

// What the phases of one condition met.
// The counts are atomic: a report that goes on reads them while the
// measuring thread runs.
struct ConditionRun {
  std::atomic<std::uint32_t> phases{0};
  // Phases whose raised priorities the system granted.
  std::atomic<std::uint32_t> process_granted{0}, thread_granted{0};
  // The timer resolution in effect after its first step (once any request
  // has taken effect there); empty if unread.
  std::optional<TimerResolution> resolution;
  bool stepped = false;
  LoadUse load;
  // A phase is counted after its grants: read first, it is never ahead.
  bool process_priority() const {
    const std::uint32_t p = phases.load();
    return p > 0 && process_granted.load() >= p;
  }
  bool thread_priority() const {
    const std::uint32_t p = phases.load();
    return p > 0 && thread_granted.load() >= p;
  }
};

// Keeps samplers measuring, one step of each in turn, round after round, so
// that a burst of noise on the machine touches every method alike. Each
// condition has its samplers, and the conditions take turns in phases of
// about kPhase: for each phase a new measuring thread is started, which
// raises its priority (for a raised condition; a normal one asks nothing) and
// keeps to its CPU, and the condition's load threads are started before it
// and stopped after it. The interface runs one sampler, whose method the user
// switches; a report runs one per method and condition until each is full.
class SamplingEngine {
 public:
  // `data_mutex` is held around every step, and by whoever uses a sampler.
  // `placement` pins the measuring thread and reads the CPUs of each wait.
  SamplingEngine(Waits& waits, Placement* placement, std::mutex& data_mutex, std::vector<ConditionSetup> conditions,
                 std::chrono::milliseconds phase = kPhase);
  // One raised condition on no particular CPU.
  SamplingEngine(Waits& waits, std::mutex& data_mutex, const std::vector<SamplerSetup>& samplers);
  SamplingEngine(const SamplingEngine&) = delete;
  SamplingEngine& operator=(const SamplingEngine&) = delete;
  ~SamplingEngine();

  // Starts measuring; false while it runs. Start it with the stop signals
  // held, so that its threads inherit the hold and none of them cuts a timed
  // wait short.
  bool start();
  // Ends the measuring after the step in progress and waits for every thread
  // it started, load threads included; nothing while idle.
  void stop();
  // Started and not stopped (it may have ended by itself).
  bool active() const { return active_; }
  // Waits at most `timeout` for the measuring to end by itself, every sampler
  // full or a failure; true once it has.
  bool wait_for_end(std::chrono::milliseconds timeout);

  // The samplers, condition by condition, each's in the order given; only
  // with the data mutex held.
  SleepSampler& sampler(std::size_t i) { return *samplers_[i]; }
  std::size_t sampler_count() const { return samplers_.size(); }
  // How many samples sampler `i` holds, as of its latest step: readable at
  // any time without the data mutex, which a step of long waits holds long.
  std::size_t kept(std::size_t i) const { return kept_[i].load(std::memory_order_relaxed); }

  // Once it has ended or been stopped: what each condition met, and why it
  // ended early where it failed (a CPU the thread could not be kept to, a
  // thread the system would not start).
  const ConditionRun& condition_run(std::size_t c) const { return runs_[c]; }
  // Readable at any time.
  std::optional<std::string> failure() const;

 private:
  void loop(const std::stop_token& stop);
  // One phase of condition `c`, on the calling thread; `timed`: it ends
  // after about a phase.
  void measure_phase(std::size_t c, const std::stop_token& stop, bool timed);
  // One step of sampler `i`; false when it is full and took none.
  bool step(std::size_t i);
  bool full(std::size_t c);
  void fail(std::string why);

  Waits& waits_;
  Placement* placement_;
  std::mutex& data_mutex_;
  std::vector<Condition> conditions_;
  // Where each condition's samplers begin in samplers_, and end.
  std::vector<std::size_t> first_;
  std::vector<std::unique_ptr<SleepSampler>> samplers_;
  std::unique_ptr<std::atomic<std::size_t>[]> kept_;
  std::vector<ConditionRun> runs_;
  const std::chrono::milliseconds phase_;
  bool active_ = false;
  mutable std::mutex end_mutex_;  // guards ended_ and failure_
  std::condition_variable_any end_changed_;
  bool ended_ = false;
  std::optional<std::string> failure_;
  std::jthread thread_;
};

}  // namespace measure
