#include "report/text_long_run.hpp"

#include <algorithm>
#include <ostream>

#include <fmt/format.h>

#include "analysis/bounded_histogram.hpp"
#include "measure/wait_methods.hpp"
#include "report/conditions.hpp"
#include "report/run_length.hpp"
#include "report/text.hpp"

namespace report {
namespace {

// "minute", "hour", or "window of 30s".
std::string window_name(std::chrono::seconds window) {
  return window == std::chrono::minutes(1) ? "minute"
         : window == std::chrono::hours(1) ? "hour"
                                           : "window of " + time_text(window);
}

// "03:12:27", with the date in front where the run spans more than a day.
std::string moment_text(std::int64_t utc_ms, bool with_date) {
  const std::string iso = utc_text(utc_ms);  // 2026-12-07T03:12:27.123Z
  return with_date ? iso.substr(0, 10) + " " + iso.substr(11, 8) : iso.substr(11, 8);
}

// "1 of 8 windows", in the block being measured, and which that is.
std::string windows_so_far(const ReportFacts& facts) {
  const ConditionBlock& block = facts.blocks.back();
  const auto per_block = window_count(*facts.duration, *facts.window);
  return fmt::format("{} of {} windows{}", block.methods.empty() ? 0 : block.methods.front().timeline.size(), per_block,
                     block.requested_us ? fmt::format(" at resolution {} μs", *block.requested_us) : "");
}

// The resolutions measured so far: their blocks follow each other.
std::size_t resolutions(const ReportFacts& facts) {
  std::size_t count = 0;
  for (std::size_t b = 0; b < facts.blocks.size(); ++b) {
    count += b == 0 || facts.blocks[b].requested_us != facts.blocks[b - 1].requested_us ? 1U : 0U;
  }
  return count;
}

}  // namespace

std::vector<std::pair<const char*, std::string>> long_run_facts(const ReportFacts& facts) {
  std::vector<std::pair<const char*, std::string>> lines;
  if (!facts.duration) {
    return lines;
  }
  lines.emplace_back("Duration", fmt::format("{} per method{}, in windows of {}, one step of each in turn{}",
                                             time_text(*facts.duration),
                                             resolutions(facts) > 1 ? " and resolution" : "", time_text(*facts.window),
                                             resolutions(facts) < facts.blocks.size()
                                                 ? ", the conditions sharing it in turns of about a second each"
                                                 : ""));
  lines.emplace_back(
      "Histogram", fmt::format("waits counted, exact to {} μs, above within 1/{} ({:.2f} %)",
                               analysis::BoundedHistogram::kExactBelow - 1, 2 * analysis::BoundedHistogram::kSubBuckets,
                               100.0 * analysis::BoundedHistogram::kRelativeError));
  if (facts.partial) {
    lines.emplace_back("Partial", fmt::format("the run goes on; so far {}", windows_so_far(facts)));
  }
  return lines;
}

void write_worst_windows(const ReportFacts& facts, const ConditionBlock& block,
                         const std::vector<EntryFindings>& entries, std::ostream& out) {
  for (std::size_t m = 0; m < block.methods.size(); ++m) {
    const MethodReport& method = block.methods[m];
    if (!entries[m].worst_window || method.timeline[*entries[m].worst_window].count == 0) {
      continue;
    }
    const WindowFigures& worst = method.timeline[*entries[m].worst_window];
    const bool days = utc_text(method.timeline.front().start_utc_ms).substr(0, 10) !=
                      utc_text(method.timeline.back().start_utc_ms).substr(0, 10);
    out << fmt::format("{}{}: worst {} from {} UTC: max {} μs, p99 {} μs.\n", method.name,
                       condition_text(block.priority, block.load, block.cpu), window_name(*facts.window),
                       moment_text(worst.start_utc_ms, days), worst.max, worst.p99);
  }
}

void write_spikes(const ReportFacts& facts, std::ostream& out) {
  if (!facts.spikes) {
    return;
  }
  const SpikeFacts& spikes = *facts.spikes;
  out << fmt::format("\nSpikes, waits over {} μs (the interval and {}): {}{}{}.\n", spikes.over_us, spikes.spike_us,
                     spikes.total,
                     spikes.total > spikes.kept.size() ? fmt::format(", the first {} kept", spikes.kept.size()) : "",
                     !spikes.marking                       ? ""
                     : spikes.marked == spikes.kept.size() ? "; each kept one marked in the kernel's trace"
                                                           : fmt::format("; {} of the {} kept marked in the kernel's "
                                                                         "trace, which refused the others",
                                                                         spikes.marked, spikes.kept.size()));
  if (spikes.longest.empty()) {
    return;
  }
  out << "The longest, in UTC:\n";
  std::size_t width = 0;
  for (const measure::Spike& spike : spikes.longest) {
    width = std::max(width, std::string_view(measure::sleep_mode_name(spike.mode)).size());
  }
  for (const measure::Spike& spike : spikes.longest) {
    const ConditionBlock& block = facts.blocks[std::min(spike.part, facts.blocks.size() - 1)];
    out << fmt::format("  {}  {:<{}}  {:>7} μs  CPU {}{}{}\n", utc_text(spike.utc_ms),
                       measure::sleep_mode_name(spike.mode), width, spike.us,
                       spike.cpu ? std::to_string(*spike.cpu) : "-",
                       block.requested_us ? fmt::format("  at resolution {} μs", *block.requested_us) : "",
                       condition_text(block.priority, block.load, block.cpu));
  }
}

}  // namespace report
