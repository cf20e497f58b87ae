#pragma once

// What a report keeps of the waits while it measures, in memory that does
// not grow with the run: per method a histogram of the window in progress,
// and for the run the spikes, the waits much longer than asked for. The
// measuring thread feeds both after each wait's second timestamp; the
// report's thread takes the windows away.
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "analysis/bounded_histogram.hpp"
#include "measure/time_of_day.hpp"
#include "measure/trace.hpp"
#include "measure/wait_methods.hpp"

namespace measure {

// A wait longer than the interval and the margin the report was given.
struct Spike {
  std::int64_t utc_ms = 0;           // when it ended
  std::uint64_t us = 0;              // how long it lasted
  std::optional<std::uint32_t> cpu;  // the CPU it ended on
  SleepMode mode = SleepMode::Sleep;
  std::size_t part = 0;      // which part of the run, as the report counts them
  std::uint64_t end_us = 0;  // the counter at its end
};

// The spikes of a run: the first kKept of them in order, the kLongest
// longest of them all, and how many there were. Not synchronized: its owner
// holds the data mutex around every use.
class SpikeLog {
 public:
  static constexpr std::size_t kKept = 10'000;
  static constexpr std::size_t kLongest = 5;

  // Waits longer than `over_us` are spikes. With `trace` (opened), each one
  // kept is also marked there, after the step it ended in.
  SpikeLog(std::uint64_t over_us, TimeOfDay& time_of_day, Trace* trace);

  // A wait of `mode` in `part` of the run, just timed: true when it was a
  // spike. The time of day is read only for a spike kept or among the
  // longest, and only now, after the timestamps; the CPU is the one the wait
  // was seen to end on.
  bool note(SleepMode mode, const TimedWait& wait, std::size_t part);
  // Marks in the trace the spikes kept since the last call.
  void mark_new();

  std::uint64_t over_us() const { return over_us_; }
  bool marking() const { return trace_ != nullptr; }
  // Of the spikes kept, those the trace took.
  std::size_t marked() const { return written_; }
  const std::vector<Spike>& kept() const { return kept_; }
  // Longest first, the earlier of equals first.
  std::vector<Spike> longest() const { return {longest_.begin(), longest_.begin() + longest_count_}; }
  std::uint64_t total() const { return total_; }

 private:
  const std::uint64_t over_us_;
  TimeOfDay& time_of_day_;
  Trace* const trace_;
  std::vector<Spike> kept_;
  std::array<Spike, kLongest> longest_{};
  std::ptrdiff_t longest_count_ = 0;
  std::uint64_t total_ = 0;
  std::size_t marked_ = 0, written_ = 0;
};

// One method's waits in the window in progress, and counts since the start.
// Fed by the sampler with the data mutex held; the count is readable at any
// time.
class WaitTally {
 public:
  // `spikes` shared by the run's tallies, or null without spikes; this
  // tally's spikes belong to `part` of the run.
  WaitTally(std::uint64_t interval_us, SpikeLog* spikes, std::size_t part)
      : interval_us_(interval_us), spikes_(spikes), part_(part) {}

  // A wait of `mode` just timed: counted in the window, and in the spikes.
  void add(SleepMode mode, const TimedWait& wait);
  // After a step: what is slow to do with its spikes.
  void after_step();
  // Takes the window's waits, leaving `empty` (cleared) in their place.
  void swap_window(analysis::BoundedHistogram& empty) { std::swap(window_, empty); }

  std::uint64_t count() const { return count_.load(std::memory_order_relaxed); }
  // Waits shorter than the interval, and spikes, since the start.
  std::uint64_t early() const { return early_; }
  std::uint64_t spikes() const { return spike_count_; }

 private:
  analysis::BoundedHistogram window_;
  std::atomic<std::uint64_t> count_{0};
  std::uint64_t early_ = 0;
  std::uint64_t spike_count_ = 0;
  const std::uint64_t interval_us_;
  SpikeLog* const spikes_;
  const std::size_t part_;
};

}  // namespace measure
