#include "measure/wait_tally.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <string>

namespace measure {

SpikeLog::SpikeLog(std::uint64_t over_us, TimeOfDay& time_of_day, Trace* trace)
    : over_us_(over_us), time_of_day_(time_of_day), trace_(trace) {
  // Room for every spike kept up front: keeping one never allocates.
  kept_.reserve(kKept);
}

bool SpikeLog::note(SleepMode mode, const TimedWait& wait, std::size_t part) {
  const std::uint64_t us = wait.end_us - wait.start_us;
  if (us <= over_us_) {
    return false;
  }
  ++total_;
  const bool kept = kept_.size() < kKept;
  // After the later of equals: the earlier stays ahead.
  const auto place = std::upper_bound(longest_.begin(), longest_.begin() + longest_count_, us,
                                      [](std::uint64_t length, const Spike& s) { return length > s.us; });
  const bool among_longest = place != longest_.end();
  if (kept || among_longest) {
    const Spike spike{time_of_day_.utc_now_ms(), us, wait.end_cpu, mode, part, wait.end_us};
    if (kept) {
      kept_.push_back(spike);
    }
    if (among_longest) {
      std::move_backward(place, longest_.end() - 1, longest_.end());
      *place = spike;
      longest_count_ = std::min<std::ptrdiff_t>(longest_count_ + 1, kLongest);
    }
  }
  return true;
}

void SpikeLog::mark_new() {
  for (; marked_ < kept_.size(); ++marked_) {
    if (trace_ == nullptr) {
      continue;
    }
    const Spike& spike = kept_[marked_];
    // The end on the monotonic clock, which a trace recorded with that clock
    // (trace-cmd record -C mono) shows its events on.
    char line[160];
    const auto written = fmt::format_to_n(
        line, sizeof line - 1, "quorvane spike: {} waited {} us, over {} us; ended on CPU {} at {}.{:06} s\n",
        sleep_mode_name(spike.mode), spike.us, over_us_, spike.cpu ? std::to_string(*spike.cpu) : "-1",
        spike.end_us / 1'000'000, spike.end_us % 1'000'000);
    written_ += trace_->mark(std::string_view(line, std::min(written.size, sizeof line - 1))) ? 1U : 0U;
  }
}

void WaitTally::add(SleepMode mode, const TimedWait& wait) {
  const std::uint64_t us = wait.end_us - wait.start_us;
  window_.add(us);
  early_ += us < interval_us_ ? 1 : 0;
  if (spikes_ != nullptr && spikes_->note(mode, wait, part_)) {
    ++spike_count_;
  }
  count_.store(count_.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
}

void WaitTally::after_step() {
  if (spikes_ != nullptr) {
    spikes_->mark_new();
  }
}

}  // namespace measure
