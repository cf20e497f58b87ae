#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "measure/wait_methods.hpp"
#include "measure/waits.hpp"

namespace measure {

// What a sampler keeps once it holds its most samples.
enum class Retention {
  KeepNewest,  // the newest: the oldest make room (the interface's 500)
  KeepFirst,   // the first: it is full, and later waits are not kept (a report)
  KeepNone,    // none: the waits are only counted, in the tally (a report of a set duration)
};

class WaitTally;

struct SamplerSetup {
  SleepMode mode = SleepMode::Sleep;
  std::size_t max_samples = 500;
  Retention retention = Retention::KeepNewest;
  std::chrono::microseconds interval{1000};
  // Read the thread's CPU time around every wait.
  bool read_cpu = false;
  // Read the CPU every wait begins and ends on (with a placement).
  bool read_cpu_number = false;
  // Where every wait recorded is counted too (a report's); none: nowhere.
  WaitTally* tally = nullptr;
};

// What the kept waits cost, summed since the last clear.
struct WaitCosts {
  // The thread's CPU time around them, and their own duration.
  std::uint64_t cpu_ns = 0;
  std::uint64_t waited_us = 0;
  // Some wait's CPU time was not to be had.
  bool cpu_unknown = false;
  // Waits the method made by its fallback.
  std::uint64_t fallbacks = 0;
  // Waits that ended on another CPU than they began on, or, kept to a CPU,
  // began or ended elsewhere; unknown where some wait's CPU was not to be had.
  std::uint64_t migrations = 0;
  bool migrations_unknown = false;
};

// Performs and times the waits of one method and keeps their durations. Not
// synchronized: its owner holds a mutex around every use.
class SleepSampler {
 public:
  // With `placement`, and setup.read_cpu_number, each wait's CPUs are read;
  // `pinned`, the CPU the waiting thread is kept to, where it is.
  explicit SleepSampler(Waits& waits, const SamplerSetup& setup = {}, Placement* placement = nullptr,
                        std::optional<std::uint32_t> pinned = std::nullopt);

  // Waits by the mode again and again until `duration_ms` have passed since
  // the call began, recording each wait's duration in microseconds; a wait
  // that spans a suspension of the process is not recorded.
  void measure(std::int32_t duration_ms);

  // Removes all samples; the storage stays allocated.
  void clear();

  SleepMode mode() const { return mode_; }
  // The method the next pass uses.
  void set_mode(SleepMode mode) { mode_ = mode; }
  // Durations in microseconds, oldest first.
  const std::vector<std::uint64_t>& samples() const { return samples_; }
  // Holds its most samples and keeps no more (KeepFirst only).
  bool full() const;
  const WaitCosts& costs() const { return costs_; }

 private:
  void record(const TimedWait& wait, std::uint64_t resumes_before);

  WaitContext context_;
  const std::optional<std::uint32_t> pinned_;
  WaitTally* const tally_;
  std::vector<std::uint64_t> samples_;
  WaitCosts costs_;
  SleepMode mode_;
  const std::size_t max_samples_;
  const Retention retention_;
};

}  // namespace measure
