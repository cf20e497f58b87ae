#pragma once

// One resolution's waits as the report counts them while it measures: the
// tally of each method in each condition, which the measuring thread feeds, and what the
// report's thread has taken from it, window by window: the timeline and the
// histogram of every window so far.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "analysis/bounded_histogram.hpp"
#include "measure/sampling_engine.hpp"
#include "measure/wait_tally.hpp"
#include "report/facts.hpp"
#include "report/options.hpp"
#include "report/timeline.hpp"

namespace report {

class BlockTallies {
 public:
  // One tally per method in each of `conditions`, the engine's samplers'
  // order; spikes noted in `spikes` (null: none), those of condition c as
  // part `first_part` + c of the run; room for `windows` windows each.
  BlockTallies(std::size_t conditions, std::size_t methods, std::uint64_t interval_us, measure::SpikeLog* spikes,
               std::size_t first_part, std::size_t windows);

  measure::WaitTally* tally(std::size_t i) const { return entries_[i].tally.get(); }
  // The waits counted so far, per method over the conditions; without the
  // data mutex.
  std::vector<std::size_t> counts() const;

  // Ends the window in progress, which began at `start_utc_ms` and spanned
  // `seconds` of measuring: its waits taken from each tally with
  // `data_mutex` held just for that, then summed up without it.
  void cut(std::mutex& data_mutex, std::int64_t start_utc_ms, double seconds);

  const std::vector<WindowFigures>& timeline(std::size_t i) const { return entries_[i].timeline; }
  // Every window's waits so far.
  const analysis::BoundedHistogram& all(std::size_t i) const { return entries_[i].all; }

 private:
  struct Entry {
    std::unique_ptr<measure::WaitTally> tally;
    analysis::BoundedHistogram all;
    std::vector<WindowFigures> timeline;
  };
  std::size_t methods_;
  std::vector<Entry> entries_;
  // Handed to a tally for the window to come; emptied again once summed.
  analysis::BoundedHistogram spare_;
};

// What condition `c` measured of each method so far, with the data mutex
// held: the summary of the samples kept (a run of --samples, exact) or of the
// histogram (--duration), what the waits cost, the timeline and the spikes.
std::vector<MethodReport> method_reports(const ReportOptions& options, measure::SamplingEngine& engine,
                                         const BlockTallies& tallies, std::size_t c);

// The spikes of `log` so far, with the data mutex held.
SpikeFacts spike_facts(const measure::SpikeLog& log, std::uint64_t spike_us);

}  // namespace report
