#include <algorithm>
#include <map>
#include <ostream>

#include <fmt/format.h>

#include "report/conditions.hpp"
#include "report/text.hpp"
#include "report/text_long_run.hpp"
#include "report/text_report.hpp"

namespace report {
namespace {

const char* granted(bool yes) { return yes ? "granted" : "refused"; }

std::string or_unknown(const std::string& text) { return text.empty() ? "unknown" : printable(text); }

std::string throttling_text(measure::TimerRequestKept kept) {
  switch (kept) {
    case measure::TimerRequestKept::Accepted:
      return "opt-out accepted: the timer request holds while hidden";
    case measure::TimerRequestKept::Refused:
      return "opt-out refused: hidden, the timer request may be set aside";
    case measure::TimerRequestKept::NotApplicable:
      break;
  }
  return "not applicable on this system";
}

// "1 ms", "2500 μs"
std::string interval_text(std::uint64_t us) {
  return us % 1000 == 0 ? fmt::format("{} ms", us / 1000) : fmt::format("{} μs", us);
}

// What each priority asked for was granted: "process granted, thread
// granted" when only raised was measured, as it always was.
std::string priority_text(const ReportFacts& facts) {
  const auto asked = [&](measure::Priority p) {
    return std::any_of(facts.blocks.begin(), facts.blocks.end(), [p](const auto& b) { return b.priority == p; });
  };
  const bool measured = std::any_of(facts.blocks.begin(), facts.blocks.end(),
                                    [](const auto& b) { return b.process_priority.has_value(); });
  const std::string raised =
      measured ? fmt::format("process {}, thread {}", granted(facts.process_priority), granted(facts.thread_priority))
               : "not measured";
  if (!asked(measure::Priority::Normal)) {
    return raised;
  }
  const std::string normal = "normal: nothing asked for, as an ordinary application's thread";
  return asked(measure::Priority::Raised) ? "raised: " + raised + "; " + normal : normal;
}

// How much of their time the load threads had a CPU, per number of them.
std::string load_share_text(const ReportFacts& facts) {
  std::map<std::uint32_t, std::pair<double, std::size_t>> shares;  // threads: sum of shares, blocks
  for (const ConditionBlock& block : facts.blocks) {
    if (block.load > 0 && !block.load_cpu_percent) {
      // Counted as each phase of the load ends.
      return facts.partial ? "how much of their time they were on a CPU is said when the run ends"
                           : "how much of their time they were on a CPU this system does not say";
    }
    if (block.load > 0) {
      shares[block.load].first += *block.load_cpu_percent;
      ++shares[block.load].second;
    }
  }
  std::string text;
  for (const auto& [threads, share] : shares) {
    text += fmt::format("{} {:.0f} % of their time ({} thread{})", text.empty() ? "on a CPU" : ",",
                        share.first / static_cast<double>(share.second), threads, threads == 1 ? "" : "s");
  }
  return text;
}

std::string pinned_text(const ReportFacts& facts) {
  std::vector<std::uint32_t> cpus;
  for (const ConditionBlock& block : facts.blocks) {
    if (block.cpu && std::find(cpus.begin(), cpus.end(), *block.cpu) == cpus.end()) {
      cpus.push_back(*block.cpu);
    }
  }
  if (cpus.size() > 1) {
    std::sort(cpus.begin(), cpus.end());
    return fmt::format("CPUs {} in turn, the measuring thread kept to each", cpu_list_text(cpus));
  }
  const auto& kind = facts.blocks.front().cpu_kind;
  return fmt::format("CPU {}{}, the measuring thread kept to it", cpus.front(),
                     kind ? fmt::format(" ({})", kind_name(*kind)) : "");
}

}  // namespace

void write_facts(const ReportFacts& facts, std::size_t conditions, std::ostream& out) {
  auto fact = [&out](const char* label, const std::string& text) { out << fmt::format("{:<12}{}\n", label, text); };
  out << "Quorvane " << QUORVANE_VERSION << " report: waits of " << interval_text(facts.interval_us)
      << ", times in μs\n";
  const measure::SystemInfo& system = facts.system;
  fact("System",
       fmt::format("{} {} {}", or_unknown(system.sysname), printable(system.release), printable(system.machine)));
  if (!system.version.empty()) {
    fact("", printable(system.version));
  }
  fact("CPU", or_unknown(system.cpu_model));
  fact("Counter", fmt::format("{} Hz", facts.counter_frequency));
  fact("Priority", priority_text(facts));
  if (std::any_of(facts.blocks.begin(), facts.blocks.end(), [](const auto& b) { return b.load > 0; })) {
    fact("Load", fmt::format("threads of integer arithmetic, no system call, at normal thread priority, on CPUs {}",
                             cpu_list_text(facts.usable_cpus)));
    fact("", load_share_text(facts));
  }
  if (std::any_of(facts.blocks.begin(), facts.blocks.end(), [](const auto& b) { return b.cpu.has_value(); })) {
    fact("Pinned", pinned_text(facts));
  }
  if (const auto& r = facts.resolution) {
    fact("Resolution", fmt::format("current {}, coarsest {}, finest {}", r->current_us, r->coarsest_us, r->finest_us));
  } else {
    fact("Resolution", "unknown");
  }
  fact("Throttling", throttling_text(facts.timer_request_kept));
  if (!facts.duration) {
    fact("Samples", conditions > 1 ? fmt::format("{} per method and condition, one step of each in turn, the "
                                                 "conditions in turn for about a second each",
                                                 facts.samples_per_method)
                                   : fmt::format("{} per method, one step of each in turn", facts.samples_per_method));
  }
  for (const auto& [label, text] : long_run_facts(facts)) {
    fact(label, text);
  }
  if (facts.sleep_whole_milliseconds && facts.interval_us % 1000 != 0) {
    fact("Sleep",
         fmt::format("asks for {} ms: this system sleeps whole milliseconds", (facts.interval_us + 999) / 1000));
  }
  if (facts.interrupted) {
    fact("Interrupted", "stopped by a signal; the tables hold what was measured");
  }
}

}  // namespace report
