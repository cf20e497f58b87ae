#include "report/tallies.hpp"

#include "analysis/latency_summary.hpp"

namespace report {

BlockTallies::BlockTallies(std::size_t conditions, std::size_t methods, std::uint64_t interval_us,
                           measure::SpikeLog* spikes, std::size_t first_part, std::size_t windows)
    : methods_(methods) {
  entries_.resize(conditions * methods);
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    entries_[i].tally = std::make_unique<measure::WaitTally>(interval_us, spikes, first_part + i / methods);
    entries_[i].timeline.reserve(windows);
  }
}

std::vector<std::size_t> BlockTallies::counts() const {
  std::vector<std::size_t> counts(methods_, 0);
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    counts[i % methods_] += static_cast<std::size_t>(entries_[i].tally->count());
  }
  return counts;
}

void BlockTallies::cut(std::mutex& data_mutex, std::int64_t start_utc_ms, double seconds) {
  for (Entry& entry : entries_) {
    {
      const std::lock_guard lock(data_mutex);
      entry.tally->swap_window(spare_);
    }
    WindowFigures& window = entry.timeline.emplace_back();
    window.start_utc_ms = start_utc_ms;
    window.seconds = seconds;
    window.count = spare_.count();
    if (window.count > 0) {
      const auto ranks = analysis::nearest_ranks(spare_, {500, 990});
      window.p50 = ranks[0], window.p99 = ranks[1], window.max = spare_.max();
    }
    entry.all.merge(spare_);
    spare_.clear();
  }
}

std::vector<MethodReport> method_reports(const ReportOptions& options, measure::SamplingEngine& engine,
                                         const BlockTallies& tallies, std::size_t c) {
  std::vector<MethodReport> methods;
  for (std::size_t m = 0; m < options.modes.size(); ++m) {
    const std::size_t i = c * options.modes.size() + m;
    const measure::SleepSampler& sampler = engine.sampler(i);
    const measure::WaitMethod* method = measure::find_method(options.modes[m]);
    const measure::WaitCosts& costs = sampler.costs();
    const measure::WaitTally& tally = *tallies.tally(i);
    const bool counted = options.duration.has_value();
    methods.push_back({method->name,
                       counted ? analysis::summarize(tallies.all(i), tally.early())
                               : analysis::summarize(sampler.samples(), options.interval_us),
                       costs.cpu_unknown ? std::nullopt : analysis::cpu_percent(costs.cpu_ns, costs.waited_us),
                       costs.fallbacks, method->fallback, tallies.timeline(i), tally.spikes(), counted,
                       costs.migrations_unknown ? std::nullopt : std::optional(costs.migrations)});
  }
  return methods;
}

SpikeFacts spike_facts(const measure::SpikeLog& log, std::uint64_t spike_us) {
  return {spike_us, log.over_us(), log.total(), log.kept(), log.longest(), log.marking(), log.marked()};
}

}  // namespace report
