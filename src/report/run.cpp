#include "report/run.hpp"

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "measure/host.hpp"
#include "measure/sampling_engine.hpp"
#include "report/progress.hpp"
#include "report/run_length.hpp"
#include "report/tallies.hpp"

namespace report {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::chrono::milliseconds kProgressInterval{100};

struct ResolutionEnd {
  bool interrupted = false;
  // The report so far could not be written: the run ends.
  bool stopped = false;
  // What the measuring thread found in effect at its first step.
  std::optional<measure::TimerResolution> in_effect;
};

double seconds_of(Clock::duration time) { return std::chrono::duration<double>(time).count(); }

std::optional<double> load_percent(const measure::LoadUse& use) {
  if (use.cpu_unknown || use.lived_ns == 0) {
    return std::nullopt;
  }
  return 100.0 * static_cast<double>(use.cpu_ns) / static_cast<double>(use.lived_ns);
}

// What a resolution requested (and `accepted`) put in effect: what the
// measuring thread found after its first step, or, before one, what the
// system says now; what the request answered where the system will not say.
std::optional<std::uint32_t> granted_of(std::optional<std::uint32_t> accepted,
                                        const std::optional<measure::TimerResolution>& met, measure::Waits& waits) {
  if (!accepted) {
    return std::nullopt;
  }
  const auto in_effect = met ? met : waits.query_timer_resolution();
  return in_effect ? in_effect->current_us : *accepted;
}

// The blocks of one resolution, a block per condition, with what the engine
// has measured so far (the data mutex held, or the engine ended) and the kind
// of each condition's CPU, read before.
void fill_blocks(const ReportOptions& options, const std::vector<measure::Condition>& conditions,
                 std::optional<std::uint32_t> requested, std::optional<std::uint32_t> accepted,
                 measure::SamplingEngine& engine, const BlockTallies& tallies,
                 const std::vector<std::optional<measure::CpuKind>>& kinds, measure::Waits& waits,
                 std::vector<ConditionBlock>& blocks) {
  for (std::size_t c = 0; c < conditions.size(); ++c) {
    ConditionBlock& block = blocks.emplace_back();
    block.requested_us = requested;
    block.priority = conditions[c].priority;
    block.load = conditions[c].load;
    block.cpu = conditions[c].cpu;
    block.cpu_kind = kinds[c];
    const measure::ConditionRun& run = engine.condition_run(c);
    block.granted_us = granted_of(accepted, run.resolution, waits);
    if (block.priority == measure::Priority::Raised && run.phases > 0) {
      block.process_priority = run.process_priority();
      block.thread_priority = run.thread_priority();
    }
    block.methods = method_reports(options, engine, tallies, c);
  }
}

// The raised priorities, granted wherever they were asked for.
void sum_priorities(ReportFacts& facts) {
  bool raised = false;
  facts.process_priority = facts.thread_priority = true;
  for (const ConditionBlock& block : facts.blocks) {
    if (block.process_priority && block.thread_priority) {
      raised = true;
      facts.process_priority = facts.process_priority && *block.process_priority;
      facts.thread_priority = facts.thread_priority && *block.thread_priority;
    }
  }
  facts.process_priority = raised && facts.process_priority;
  facts.thread_priority = raised && facts.thread_priority;
}

// Measures every method in every condition at one resolution (nothing: the
// one in effect), a block for each condition appended to `facts`. A run of
// --duration takes phases until its time is up, the conditions sharing it;
// its windows cut across the phases.
ResolutionEnd measure_resolution(const ReportOptions& options, const std::vector<measure::Condition>& conditions,
                                 std::optional<std::uint32_t> requested, ReportFacts& facts, ProgressLine& progress,
                                 const measure::Platform& platform, measure::SpikeLog* spikes,
                                 const PartialReport& partial) {
  std::optional<std::uint32_t> accepted;
  if (requested) {
    accepted = platform.waits.request_timer_resolution(*requested);
  }
  const auto window = window_length(options);
  // A run of --samples keeps every wait (its summary exact) and is one window.
  BlockTallies tallies(conditions.size(), options.modes.size(), options.interval_us, spikes, facts.blocks.size(),
                       window ? static_cast<std::size_t>(window_count(*options.duration, *window)) : 1);
  std::vector<measure::ConditionSetup> setups;
  std::size_t i = 0;
  for (const measure::Condition& condition : conditions) {
    auto& setup = setups.emplace_back(measure::ConditionSetup{condition, {}});
    for (const measure::SleepMode mode : options.modes) {
      setup.samplers.push_back({mode, options.duration ? 0 : options.samples,
                                options.duration ? measure::Retention::KeepNone : measure::Retention::KeepFirst,
                                std::chrono::microseconds{options.interval_us}, true, true, tallies.tally(i++)});
    }
  }
  // Read once, not while the measuring thread waits for the data mutex.
  std::vector<std::optional<measure::CpuKind>> kinds;
  for (const measure::Condition& condition : conditions) {
    kinds.push_back(condition.cpu ? platform.placement.cpu_kind(*condition.cpu) : std::nullopt);
  }
  std::mutex samples_mutex;
  measure::SamplingEngine engine(platform.waits, &platform.placement, samples_mutex, std::move(setups));
  const std::string prefix = requested ? fmt::format("At {} μs: ", *requested) : std::string();
  // The measuring threads are started holding the stop signals, so that only
  // this thread ever takes them.
  platform.process.hold_stop_signals();
  engine.start();
  platform.process.catch_stop_signals();
  ResolutionEnd end;
  // Measuring time, suspensions left out: what --duration and the windows count.
  const auto started = Clock::now();
  // Windows begin in UTC as the steady clock counts from the start, so that
  // a wall clock set back meanwhile cannot put one before the one before it.
  const std::int64_t started_utc_ms = platform.time_of_day.utc_now_ms();
  const auto utc_now_ms = [&] {
    return started_utc_ms + std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started).count();
  };
  Clock::duration suspended{};
  const auto elapsed = [&] { return Clock::now() - started - suspended; };
  Clock::duration window_began{};
  Clock::duration next_cut = window ? Clock::duration(*window) : Clock::duration::max();
  std::int64_t window_utc_ms = started_utc_ms;
  for (;;) {
    const auto to_cut = std::chrono::ceil<std::chrono::milliseconds>(next_cut - std::min(next_cut, elapsed()));
    if (engine.wait_for_end(std::min<std::chrono::milliseconds>(kProgressInterval, to_cut))) {
      break;
    }
    if (platform.process.caught_stop_signal() != 0) {
      end.interrupted = true;
      break;
    }
    if (platform.process.suspension_requested()) {
      const auto before = Clock::now();
      platform.process.suspend();
      suspended += Clock::now() - before;
    }
    const auto now = elapsed();
    if (options.duration && now >= *options.duration) {
      break;
    }
    if (now >= next_cut) {
      tallies.cut(samples_mutex, window_utc_ms, seconds_of(now - window_began));
      window_began = now;
      next_cut += *window;
      window_utc_ms = utc_now_ms();
      if (partial) {
        ReportFacts so_far = facts;
        so_far.partial = true;
        if (so_far.blocks.empty()) {
          so_far.resolution = platform.waits.query_timer_resolution();
        }
        {
          const std::lock_guard lock(samples_mutex);
          fill_blocks(options, conditions, requested, accepted, engine, tallies, kinds, platform.waits, so_far.blocks);
          if (spikes != nullptr) {
            so_far.spikes = spike_facts(*spikes, *options.spike_us);
          }
        }
        sum_priorities(so_far);
        if (!partial(so_far)) {
          end.stopped = true;
          break;
        }
      }
    }
    // Each method's count over the conditions: the samples kept, or for a
    // run of --duration every wait counted.
    std::vector<std::size_t> counts = tallies.counts();
    if (!options.duration) {
      std::fill(counts.begin(), counts.end(), 0);
      for (std::size_t s = 0; s < engine.sampler_count(); ++s) {
        counts[s % options.modes.size()] += engine.kept(s);
      }
    }
    progress.show(prefix, counts, now);
  }
  engine.stop();
  tallies.cut(samples_mutex, window_utc_ms, seconds_of(elapsed() - window_began));
  if (requested) {
    // Withdrawn: the system keeps a request until the process ends otherwise.
    platform.waits.release_timer_resolution(*requested);
  }
  if (const auto failure = engine.failure()) {
    throw std::runtime_error(*failure);
  }
  end.in_effect = engine.condition_run(0).resolution;
  const std::size_t first = facts.blocks.size();
  fill_blocks(options, conditions, requested, accepted, engine, tallies, kinds, platform.waits, facts.blocks);
  for (std::size_t c = 0; c < conditions.size(); ++c) {
    ConditionBlock& block = facts.blocks[first + c];
    block.load_cpu_percent = block.load > 0 ? load_percent(engine.condition_run(c).load) : std::nullopt;
  }
  return end;
}

}  // namespace

ReportFacts measure_report(const ReportOptions& options, const std::vector<measure::Condition>& conditions,
                           std::optional<Baseline> baseline, std::ostream& err, const measure::Platform& platform,
                           const PartialReport& partial) {
  ReportFacts facts;
  facts.system = platform.process.system_info();
  facts.host = measure::host_name();
  facts.started = utc_text(platform.time_of_day.utc_now_ms()).substr(0, 19) + "Z";
  facts.counter_frequency = platform.waits.counter_frequency();
  facts.timer_request_kept = platform.waits.keep_timer_request_when_hidden();
  facts.usable_cpus = platform.placement.usable_cpus();
  facts.samples_per_method = options.duration ? 0 : options.samples;
  facts.duration = options.duration;
  facts.window = window_length(options);
  facts.interval_us = options.interval_us;
  facts.sleep_whole_milliseconds = platform.waits.sleeps_whole_milliseconds();
  facts.within_us = options.within_us;
  facts.baseline = std::move(baseline);
  std::unique_ptr<measure::SpikeLog> spikes;
  if (options.spike_us) {
    // Marked in the system's trace where this program may write it.
    spikes = std::make_unique<measure::SpikeLog>(options.interval_us + *options.spike_us, platform.time_of_day,
                                                 platform.trace.open_marker() ? &platform.trace : nullptr);
  }
  // Where the measuring thread never took a step, what this thread finds.
  const auto before = platform.waits.query_timer_resolution();
  ProgressLine progress(
      err, [&platform] { return platform.console.error_terminal_width(); }, options.modes, options.samples,
      conditions.size(), options.duration);
  std::vector<std::optional<std::uint32_t>> resolutions(options.resolutions_us.begin(), options.resolutions_us.end());
  if (resolutions.empty()) {
    resolutions.emplace_back();
  }
  try {
    for (const auto& resolution : resolutions) {
      const ResolutionEnd end =
          measure_resolution(options, conditions, resolution, facts, progress, platform, spikes.get(), partial);
      // The resolution the report names is the one the measuring thread met,
      // as the interface shows it: on Linux a real-time thread has no slack.
      if (facts.blocks.size() == conditions.size()) {
        facts.resolution = end.in_effect ? end.in_effect : before;
      }
      facts.interrupted = end.interrupted;
      if (facts.interrupted || end.stopped) {
        break;
      }
    }
  } catch (...) {
    // The line stays, ended, above the error.
    progress.finish(true);
    throw;
  }
  if (spikes) {
    facts.spikes = spike_facts(*spikes, *options.spike_us);
  }
  sum_priorities(facts);
  progress.finish(facts.interrupted);
  return facts;
}

}  // namespace report
