#pragma once

// The spikes of a report: waits that lasted longer than the interval by more
// than --spike, the first of them and the longest kept with their moment.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "measure/wait_tally.hpp"

namespace report {

struct SpikeFacts {
  // --spike, and the length a wait must pass to be one: the interval and that.
  std::uint64_t spike_us = 0;
  std::uint64_t over_us = 0;
  // All of them, and the first measure::SpikeLog::kKept in the order they
  // came; each one's part is the index of its resolution block.
  std::uint64_t total = 0;
  std::vector<measure::Spike> kept;
  // The longest of them all, at most measure::SpikeLog::kLongest, longest
  // first (the earlier of equals first).
  std::vector<measure::Spike> longest;
  // Whether the system's trace was open to mark each one kept, and how many
  // of them it took.
  bool marking = false;
  std::uint64_t marked = 0;
};

}  // namespace report
