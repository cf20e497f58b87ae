#include "report/run.hpp"

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "measure/sampling_engine.hpp"
#include "measure/wait_methods.hpp"
#include "report/progress.hpp"
#include "report/run_length.hpp"
#include "report/tallies.hpp"

namespace report {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::chrono::milliseconds kProgressInterval{100};

struct BlockEnd {
  bool interrupted = false;
  // The report so far could not be written: the run ends.
  bool stopped = false;
  // What the measuring thread found in effect at its first step.
  std::optional<measure::TimerResolution> in_effect;
};

double seconds_of(Clock::duration time) { return std::chrono::duration<double>(time).count(); }

// Measures every method at the resolution of the last block of `facts`.
BlockEnd measure_block(const ReportOptions& options, ReportFacts& facts, ProgressLine& progress,
                       const measure::Platform& platform, measure::SpikeLog* spikes, const PartialReport& partial) {
  ResolutionBlock& block = facts.blocks.back();
  std::optional<std::uint32_t> accepted;
  if (block.requested_us) {
    accepted = platform.waits.request_timer_resolution(*block.requested_us);
  }
  const auto window = window_length(options);
  // A run of --samples keeps every wait (its summary exact) and is one window.
  BlockTallies tallies(options.modes.size(), options.interval_us, spikes,
                       window ? static_cast<std::size_t>(window_count(*options.duration, *window)) : 1);
  std::vector<measure::SamplerSetup> setups;
  for (std::size_t i = 0; i < options.modes.size(); ++i) {
    setups.push_back({options.modes[i], options.duration ? 0 : options.samples,
                      options.duration ? measure::Retention::KeepNone : measure::Retention::KeepFirst,
                      std::chrono::microseconds{options.interval_us}, true, tallies.tally(i)});
  }
  if (spikes != nullptr) {
    spikes->set_part(facts.blocks.size() - 1);
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
  // Measuring time, suspensions left out: what --duration and the windows count.
  const auto started = Clock::now();
  Clock::duration suspended{};
  const auto elapsed = [&] { return Clock::now() - started - suspended; };
  Clock::duration window_began{};
  Clock::duration next_cut = window ? Clock::duration(*window) : Clock::duration::max();
  std::int64_t window_utc_ms = platform.time_of_day.utc_now_ms();
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
      window_utc_ms = platform.time_of_day.utc_now_ms();
      if (partial) {
        ReportFacts so_far = facts;
        so_far.partial = true;
        so_far.thread_priority = engine.thread_priority();
        if (facts.blocks.size() == 1) {
          so_far.resolution = platform.waits.query_timer_resolution();
        }
        if (accepted) {
          const auto in_effect = platform.waits.query_timer_resolution();
          so_far.blocks.back().granted_us = in_effect ? in_effect->current_us : *accepted;
        }
        {
          const std::lock_guard lock(samples_mutex);
          so_far.blocks.back().methods = method_reports(options, engine, tallies);
          if (spikes != nullptr) {
            so_far.spikes = spike_facts(*spikes, *options.spike_us);
          }
        }
        if (!partial(so_far)) {
          end.stopped = true;
          break;
        }
      }
    }
    progress.show(prefix, tallies.counts(), now);
  }
  engine.stop();
  tallies.cut(samples_mutex, window_utc_ms, seconds_of(elapsed() - window_began));

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
  const std::lock_guard lock(samples_mutex);
  block.methods = method_reports(options, engine, tallies);
  return end;
}

}  // namespace

ReportFacts measure_report(const ReportOptions& options, std::optional<Baseline> baseline, std::ostream& err,
                           const measure::Platform& platform, const PartialReport& partial) {
  ReportFacts facts;
  facts.system = platform.process.system_info();
  facts.counter_frequency = platform.waits.counter_frequency();
  facts.timer_request_kept = platform.waits.keep_timer_request_when_hidden();
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
    spikes = std::make_unique<measure::SpikeLog>(options.interval_us + *options.spike_us, platform.placement,
                                                 platform.time_of_day,
                                                 platform.trace.open_marker() ? &platform.trace : nullptr);
  }
  // Where the measuring thread never took a step, what this thread finds.
  const auto before = platform.waits.query_timer_resolution();
  ProgressLine progress(
      err, [&platform] { return platform.console.error_terminal_width(); }, options.modes, options.samples,
      options.duration);
  std::vector<std::optional<std::uint32_t>> resolutions(options.resolutions_us.begin(), options.resolutions_us.end());
  if (resolutions.empty()) {
    resolutions.emplace_back();
  }
  for (const auto& resolution : resolutions) {
    facts.blocks.emplace_back().requested_us = resolution;
    const BlockEnd end = measure_block(options, facts, progress, platform, spikes.get(), partial);
    // The resolution the report names is the one the measuring thread met,
    // as the interface shows it: on Linux a real-time thread has no slack.
    if (facts.blocks.size() == 1) {
      facts.resolution = end.in_effect ? end.in_effect : before;
    }
    facts.interrupted = end.interrupted;
    if (facts.interrupted || end.stopped) {
      break;
    }
  }
  if (spikes) {
    facts.spikes = spike_facts(*spikes, *options.spike_us);
  }
  progress.finish(facts.interrupted);
  return facts;
}

}  // namespace report
