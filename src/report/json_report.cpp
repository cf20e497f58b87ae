#include "report/json_report.hpp"

#include <cmath>

#include <nlohmann/json.hpp>

#include "analysis/bounded_histogram.hpp"
#include "measure/wait_methods.hpp"
#include "report/conditions.hpp"

namespace report {
namespace {

using Json = nlohmann::ordered_json;

template <typename T>
Json or_null(const std::optional<T>& value) {
  return value ? Json(*value) : Json(nullptr);
}

// Three decimals are below anything a microsecond counter can tell.
double rounded(double value) { return std::round(value * 1000.0) / 1000.0; }

Json keys_of(const std::vector<std::string_view>& keys) {
  Json all = Json::array();
  for (const std::string_view key : keys) {
    all.push_back(key);
  }
  return all;
}

Json timeline_json(const MethodReport& method, const EntryFindings& found) {
  Json windows = Json::array();
  for (std::size_t w = 0; w < method.timeline.size(); ++w) {
    const WindowFigures& window = method.timeline[w];
    auto number = [&window](std::uint64_t value) { return window.count > 0 ? Json(value) : Json(nullptr); };
    windows.push_back({{"start", utc_text(window.start_utc_ms)},
                       {"seconds", rounded(window.seconds)},
                       {"count", window.count},
                       {"p50", number(window.p50)},
                       {"p99", number(window.p99)},
                       {"max", number(window.max)},
                       {"thin", keys_of(found.thin_in_window[w])}});
  }
  return windows;
}

Json spikes_json(const ReportFacts& facts) {
  const SpikeFacts& spikes = *facts.spikes;
  const auto listed = [&facts](const std::vector<measure::Spike>& list) {
    Json all = Json::array();
    for (const measure::Spike& spike : list) {
      const ConditionBlock& block = facts.blocks[std::min(spike.part, facts.blocks.size() - 1)];
      all.push_back({{"time", utc_text(spike.utc_ms)},
                     {"method", measure::sleep_mode_name(spike.mode)},
                     {"resolution_requested", or_null(block.requested_us)},
                     {"priority", measure::priority_name(block.priority)},
                     {"load", block.load},
                     {"pinned_cpu", or_null(block.cpu)},
                     {"cpu", or_null(spike.cpu)},
                     {"us", spike.us}});
    }
    return all;
  };
  return {{"spike", spikes.spike_us},         {"over", spikes.over_us},  {"count", spikes.total},
          {"trace_marker", spikes.marking},   {"marked", spikes.marked}, {"kept", listed(spikes.kept)},
          {"longest", listed(spikes.longest)}};
}

Json kind_json(const std::optional<measure::CpuKind>& kind) { return kind ? Json(kind_name(*kind)) : Json(nullptr); }

// The raised priorities as granted; null where none was asked for.
Json granted_json(const ConditionBlock& block) {
  if (!block.process_priority || !block.thread_priority) {
    return nullptr;
  }
  return {{"process", *block.process_priority}, {"thread", *block.thread_priority}};
}

Json method_json(const ReportFacts& facts, const ConditionBlock& block, const MethodReport& method,
                 const EntryFindings& found) {
  const analysis::LatencySummary& s = method.summary;
  const bool any = s.count > 0;
  auto number = [any](auto value) { return any ? Json(value) : Json(nullptr); };
  Json histogram = Json::object();
  for (const auto& [us, count] : s.histogram) {
    histogram[std::to_string(us)] = count;
  }
  return Json{{"method", method.name},
              {"interval", facts.interval_us},
              {"resolution_requested", or_null(block.requested_us)},
              {"resolution_granted", or_null(block.granted_us)},
              {"priority", measure::priority_name(block.priority)},
              {"priority_granted", granted_json(block)},
              {"load", block.load},
              {"load_cpu_percent", block.load_cpu_percent ? Json(rounded(*block.load_cpu_percent)) : Json(nullptr)},
              {"cpu", or_null(block.cpu)},
              {"cpu_kind", kind_json(block.cpu_kind)},
              {"samples", s.count},
              {"min", number(s.min)},
              {"p50", number(s.p50)},
              {"p90", number(s.p90)},
              {"p99", number(s.p99)},
              {"p999", number(s.p999)},
              {"max", number(s.max)},
              {"avg", number(rounded(s.mean))},
              {"stddev", number(rounded(s.stddev))},
              {"early", s.early},
              {"cpu_percent", method.cpu_percent ? Json(rounded(*method.cpu_percent)) : Json(nullptr)},
              {"fallbacks", method.fallbacks},
              {"migrations", or_null(method.migrations)},
              {"thin", keys_of(found.thin)},
              {"approximate", keys_of(found.approximate)},
              {"spikes", facts.spikes ? Json(method.spikes) : Json(nullptr)},
              {"histogram", std::move(histogram)},
              {"timeline", timeline_json(method, found)}};
}

Json keys_json(const std::vector<EntryKey>& keys) {
  Json all = Json::array();
  for (const EntryKey& key : keys) {
    all.push_back({{"method", key.method},
                   {"interval", key.interval_us},
                   {"resolution_requested", or_null(key.resolution_us)},
                   {"priority", measure::priority_name(key.priority)},
                   {"load", key.load},
                   {"cpu", or_null(key.cpu)}});
  }
  return all;
}

// The baseline's figures for an entry, and how far they moved; null for an
// entry the baseline does not have.
Json baseline_json(const ComparedEntry* entry) {
  if (entry == nullptr) {
    return nullptr;
  }
  Json before = Json::object();
  Json changes = Json::object();
  for (const ComparedFigure& figure : entry->figures) {
    before[figure.key] = or_null(figure.before);
    changes[figure.key] = or_null(figure.change);
  }
  before["change"] = std::move(changes);
  return before;
}

}  // namespace

std::string json_report(const ReportFacts& facts, const Findings& findings) {
  const measure::SystemInfo& system = facts.system;
  const auto& r = facts.resolution;
  const auto& comparison = findings.comparison;
  Json methods = Json::array();
  Json choices = Json::array();
  for (std::size_t b = 0; b < facts.blocks.size(); ++b) {
    const ConditionBlock& block = facts.blocks[b];
    for (std::size_t m = 0; m < block.methods.size(); ++m) {
      methods.push_back(method_json(facts, block, block.methods[m], findings.entries[b][m]));
      if (comparison) {
        methods.back()["baseline"] = baseline_json(comparison->find(b, m));
      }
    }
    if (findings.choices) {
      const auto& best = (*findings.choices)[b];
      choices.push_back({{"resolution_requested", or_null(block.requested_us)},
                         {"priority", measure::priority_name(block.priority)},
                         {"load", block.load},
                         {"cpu", or_null(block.cpu)},
                         {"method", best ? Json(block.methods[*best].name) : Json(nullptr)}});
    }
  }
  const Json kept = facts.timer_request_kept == measure::TimerRequestKept::NotApplicable
                        ? Json(nullptr)
                        : Json(facts.timer_request_kept == measure::TimerRequestKept::Accepted);
  Json document{
      {"file_version", kReportFileVersion},
      {"program", "Quorvane"},
      {"version", QUORVANE_VERSION},
      {"started", facts.started},
      {"sysinfo",
       {{"nodename", facts.host.empty() ? Json(nullptr) : Json(facts.host)},
        {"sysname", system.sysname},
        {"release", system.release},
        {"version", system.version},
        {"machine", system.machine},
        {"cpu_model", system.cpu_model.empty() ? Json(nullptr) : Json(system.cpu_model)}}},
      {"counter_frequency", facts.counter_frequency},
      {"priority", {{"process", facts.process_priority}, {"thread", facts.thread_priority}}},
      {"usable_cpus", facts.usable_cpus},
      {"timer_request_kept_when_hidden", kept},
      {"interval", facts.interval_us},
      {"sleep_whole_milliseconds", facts.sleep_whole_milliseconds},
      {"resolution",
       {{"current", r ? Json(r->current_us) : Json(nullptr)},
        {"coarsest", r ? Json(r->coarsest_us) : Json(nullptr)},
        {"finest", r ? Json(r->finest_us) : Json(nullptr)}}},
      {"samples_per_method", facts.duration ? Json(nullptr) : Json(facts.samples_per_method)},
      {"duration", facts.duration ? Json(facts.duration->count()) : Json(nullptr)},
      {"window", facts.window ? Json(facts.window->count()) : Json(nullptr)},
      {"histogram_error_bound",
       {{"exact_up_to", analysis::BoundedHistogram::kExactBelow - 1},
        {"relative_error", analysis::BoundedHistogram::kRelativeError}}},
      {"interrupted", facts.interrupted},
      {"partial", facts.partial},
      {"methods", std::move(methods)},
  };
  if (facts.spikes) {
    document["spikes"] = spikes_json(facts);
  }
  if (facts.within_us) {
    document["within"] = {{"us", *facts.within_us}, {"choices", std::move(choices)}};
  }
  if (comparison) {
    const Baseline& b = *facts.baseline;
    document["baseline"] = {{"file", b.file},
                            {"file_version", b.file_version},
                            {"version", b.version},
                            {"interrupted", b.interrupted},
                            {"partial", b.partial},
                            {"compared", comparison->p99_compared},
                            {"only_in_baseline", keys_json(comparison->only_before)},
                            {"only_now", keys_json(comparison->only_now)}};
    if (!comparison->p99_compared) {
      document["baseline"]["why_nothing_compared"] = comparison->why_nothing_compared;
    }
  }
  // A string that is not UTF-8 (from the system or a baseline) gets
  // replacement characters rather than costing the whole document.
  return document.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace report
