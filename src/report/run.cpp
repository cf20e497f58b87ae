#include "report/run.hpp"

#include <chrono>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include <fmt/chrono.h>
#include <fmt/format.h>

#include "analysis/latency_summary.hpp"
#include "measure/host.hpp"
#include "measure/sampling_engine.hpp"
#include "measure/wait_methods.hpp"
#include "report/progress.hpp"

namespace report {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::chrono::milliseconds kProgressInterval{100};

struct ResolutionEnd {
  bool interrupted = false;
  // What the measuring thread found in effect at its first step.
  std::optional<measure::TimerResolution> in_effect;
};

std::optional<double> load_percent(const measure::LoadUse& use) {
  if (use.cpu_unknown || use.lived_ns == 0) {
    return std::nullopt;
  }
  return 100.0 * static_cast<double>(use.cpu_ns) / static_cast<double>(use.lived_ns);
}

// The methods measured in one condition, as its block tells them.
void fill_block(const ReportOptions& options, measure::SamplingEngine& engine, std::size_t c, ConditionBlock& block) {
  const measure::ConditionRun& run = engine.condition_run(c);
  if (block.priority == measure::Priority::Raised && run.phases > 0) {
    block.process_priority = run.process_priority();
    block.thread_priority = run.thread_priority();
  }
  block.load_cpu_percent = block.load > 0 ? load_percent(run.load) : std::nullopt;
  for (std::size_t m = 0; m < options.modes.size(); ++m) {
    const measure::SleepSampler& sampler = engine.sampler(c * options.modes.size() + m);
    const measure::WaitMethod* method = measure::find_method(options.modes[m]);
    const measure::WaitCosts& costs = sampler.costs();
    block.methods.push_back({method->name, analysis::summarize(sampler.samples(), options.interval_us),
                             costs.cpu_unknown ? std::nullopt : analysis::cpu_percent(costs.cpu_ns, costs.waited_us),
                             costs.fallbacks, method->fallback,
                             costs.migrations_unknown ? std::nullopt : std::optional(costs.migrations)});
  }
}

// Measures every method in every condition at one resolution (nothing: the
// one in effect), a block for each condition.
ResolutionEnd measure_resolution(const ReportOptions& options, const std::vector<measure::Condition>& conditions,
                                 std::optional<std::uint32_t> requested, ReportFacts& facts, ProgressLine& progress,
                                 const measure::Platform& platform) {
  std::optional<std::uint32_t> accepted;
  if (requested) {
    accepted = platform.waits.request_timer_resolution(*requested);
  }
  std::vector<measure::ConditionSetup> setups;
  for (const measure::Condition& condition : conditions) {
    auto& setup = setups.emplace_back(measure::ConditionSetup{condition, {}});
    for (const measure::SleepMode mode : options.modes) {
      setup.samplers.push_back({mode, options.samples, measure::Retention::KeepFirst,
                                std::chrono::microseconds{options.interval_us}, true, true});
    }
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
  const auto started = Clock::now();
  Clock::duration suspended{};
  while (!engine.wait_for_end(kProgressInterval)) {
    if (platform.process.caught_stop_signal() != 0) {
      end.interrupted = true;
      break;
    }
    if (platform.process.suspension_requested()) {
      const auto before = Clock::now();
      platform.process.suspend();
      suspended += Clock::now() - before;
    }
    // Each method's count over the conditions.
    std::vector<std::size_t> counts(options.modes.size(), 0);
    for (std::size_t i = 0; i < engine.sampler_count(); ++i) {
      counts[i % options.modes.size()] += engine.kept(i);
    }
    progress.show(prefix, counts, Clock::now() - started - suspended);
  }
  engine.stop();
  if (requested) {
    // Withdrawn: the system keeps a request until the process ends otherwise.
    platform.waits.release_timer_resolution(*requested);
  }
  if (const auto failure = engine.failure()) {
    throw std::runtime_error(*failure);
  }
  end.in_effect = engine.condition_run(0).resolution;
  for (std::size_t c = 0; c < conditions.size(); ++c) {
    ConditionBlock& block = facts.blocks.emplace_back();
    block.requested_us = requested;
    block.priority = conditions[c].priority;
    block.load = conditions[c].load;
    block.cpu = conditions[c].cpu;
    block.cpu_kind = block.cpu ? platform.placement.cpu_kind(*block.cpu) : std::nullopt;
    if (accepted) {
      // What the measuring thread found in effect, or, stopped before its
      // first step, what the system says now.
      const auto& met = engine.condition_run(c).resolution;
      const auto in_effect = met ? met : platform.waits.query_timer_resolution();
      block.granted_us = in_effect ? in_effect->current_us : *accepted;
    }
    fill_block(options, engine, c, block);
  }
  return end;
}

}  // namespace

ReportFacts measure_report(const ReportOptions& options, const std::vector<measure::Condition>& conditions,
                           std::optional<Baseline> baseline, std::ostream& err, const measure::Platform& platform) {
  ReportFacts facts;
  facts.system = platform.process.system_info();
  facts.host = measure::host_name();
  facts.started = fmt::format("{:%Y-%m-%dT%H:%M:%SZ}",
                              fmt::gmtime(std::chrono::system_clock::to_time_t(std::chrono::system_clock::now())));
  facts.counter_frequency = platform.waits.counter_frequency();
  facts.timer_request_kept = platform.waits.keep_timer_request_when_hidden();
  facts.usable_cpus = platform.placement.usable_cpus();
  facts.samples_per_method = options.samples;
  facts.interval_us = options.interval_us;
  facts.sleep_whole_milliseconds = platform.waits.sleeps_whole_milliseconds();
  facts.within_us = options.within_us;
  facts.baseline = std::move(baseline);
  // Where the measuring thread never took a step, what this thread finds.
  const auto before = platform.waits.query_timer_resolution();
  ProgressLine progress(
      err, [&platform] { return platform.console.error_terminal_width(); }, options.modes, options.samples,
      conditions.size());
  std::vector<std::optional<std::uint32_t>> resolutions(options.resolutions_us.begin(), options.resolutions_us.end());
  if (resolutions.empty()) {
    resolutions.emplace_back();
  }
  try {
    for (const auto& resolution : resolutions) {
      const ResolutionEnd end = measure_resolution(options, conditions, resolution, facts, progress, platform);
      // The resolution the report names is the one the measuring thread met,
      // as the interface shows it: on Linux a real-time thread has no slack.
      if (facts.blocks.size() == conditions.size()) {
        facts.resolution = end.in_effect ? end.in_effect : before;
      }
      facts.interrupted = end.interrupted;
      if (facts.interrupted) {
        break;
      }
    }
  } catch (...) {
    // The line stays, ended, above the error.
    progress.finish(true);
    throw;
  }
  // The raised priorities, granted wherever they were asked for.
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
  progress.finish(facts.interrupted);
  return facts;
}

}  // namespace report
