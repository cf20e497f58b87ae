#include "report/run.hpp"

#include <chrono>
#include <mutex>
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

struct BlockEnd {
  bool interrupted = false;
  // What the measuring thread found in effect at its first step.
  std::optional<measure::TimerResolution> in_effect;
};

// Measures every method at the block's resolution.
BlockEnd measure_block(const ReportOptions& options, ReportFacts& facts, ResolutionBlock& block, ProgressLine& progress,
                       const measure::Platform& platform) {
  std::optional<std::uint32_t> accepted;
  if (block.requested_us) {
    accepted = platform.waits.request_timer_resolution(*block.requested_us);
  }
  std::vector<measure::SamplerSetup> setups;
  for (const measure::SleepMode mode : options.modes) {
    setups.push_back(
        {mode, options.samples, measure::Retention::KeepFirst, std::chrono::microseconds{options.interval_us}, true});
  }
  std::mutex samples_mutex;
  measure::SamplingEngine engine(platform.waits, samples_mutex, setups);
  const std::string prefix = block.requested_us ? fmt::format("At {} μs: ", *block.requested_us) : std::string();
  // The measuring thread is started holding the stop signals, so that only
  // this thread ever takes them.
  platform.process.hold_stop_signals();
  facts.process_priority = engine.start();
  platform.process.catch_stop_signals();
  BlockEnd end;
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
    std::vector<std::size_t> counts;
    for (std::size_t i = 0; i < engine.sampler_count(); ++i) {
      counts.push_back(engine.kept(i));
    }
    progress.show(prefix, counts, Clock::now() - started - suspended);
  }
  engine.stop();

  facts.thread_priority = engine.thread_priority();
  end.in_effect = engine.resolution_in_effect();
  if (accepted) {
    // What the measuring thread found in effect, or, stopped before its
    // first step, what the system says now.
    const auto in_effect = end.in_effect ? end.in_effect : platform.waits.query_timer_resolution();
    block.granted_us = in_effect ? in_effect->current_us : *accepted;
  }
  if (block.requested_us) {
    // Withdrawn: the system keeps a request until the process ends otherwise.
    platform.waits.release_timer_resolution(*block.requested_us);
  }
  for (std::size_t i = 0; i < options.modes.size(); ++i) {
    const measure::SleepSampler& sampler = engine.sampler(i);
    const measure::WaitMethod* method = measure::find_method(options.modes[i]);
    const measure::WaitCosts& costs = sampler.costs();
    block.methods.push_back({method->name, analysis::summarize(sampler.samples(), options.interval_us),
                             costs.cpu_unknown ? std::nullopt : analysis::cpu_percent(costs.cpu_ns, costs.waited_us),
                             costs.fallbacks, method->fallback});
  }
  return end;
}

}  // namespace

ReportFacts measure_report(const ReportOptions& options, std::optional<Baseline> baseline, std::ostream& err,
                           const measure::Platform& platform) {
  ReportFacts facts;
  facts.system = platform.process.system_info();
  facts.host = measure::host_name();
  facts.started = fmt::format("{:%Y-%m-%dT%H:%M:%SZ}",
                              fmt::gmtime(std::chrono::system_clock::to_time_t(std::chrono::system_clock::now())));
  facts.counter_frequency = platform.waits.counter_frequency();
  facts.timer_request_kept = platform.waits.keep_timer_request_when_hidden();
  facts.samples_per_method = options.samples;
  facts.interval_us = options.interval_us;
  facts.sleep_whole_milliseconds = platform.waits.sleeps_whole_milliseconds();
  facts.within_us = options.within_us;
  facts.baseline = std::move(baseline);
  // Where the measuring thread never took a step, what this thread finds.
  const auto before = platform.waits.query_timer_resolution();
  ProgressLine progress(
      err, [&platform] { return platform.console.error_terminal_width(); }, options.modes, options.samples);
  std::vector<std::optional<std::uint32_t>> resolutions(options.resolutions_us.begin(), options.resolutions_us.end());
  if (resolutions.empty()) {
    resolutions.emplace_back();
  }
  for (const auto& resolution : resolutions) {
    ResolutionBlock& block = facts.blocks.emplace_back();
    block.requested_us = resolution;
    const BlockEnd end = measure_block(options, facts, block, progress, platform);
    // The resolution the report names is the one the measuring thread met,
    // as the interface shows it: on Linux a real-time thread has no slack.
    if (facts.blocks.size() == 1) {
      facts.resolution = end.in_effect ? end.in_effect : before;
    }
    facts.interrupted = end.interrupted;
    if (facts.interrupted) {
      break;
    }
  }
  progress.finish(facts.interrupted);
  return facts;
}

}  // namespace report
