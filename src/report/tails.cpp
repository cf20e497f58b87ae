// What the report concludes of the tails: percentiles too thin to read as a
// distribution, figures the histogram gives within its error, the worst
// window, the longest spikes.
#include <algorithm>
#include <numeric>
#include <utility>

#include "analysis/bounded_histogram.hpp"
#include "analysis/latency_summary.hpp"
#include "report/findings.hpp"

namespace report {

EntryFindings entry_findings(const MethodReport& method) {
  EntryFindings found;
  const analysis::LatencySummary& s = method.summary;
  const std::pair<std::string_view, std::uint32_t> percentiles[] = {
      {"p50", 500}, {"p90", 900}, {"p99", 990}, {"p999", 999}};
  const std::uint64_t values[] = {s.p50, s.p90, s.p99, s.p999};
  for (std::size_t i = 0; i < std::size(percentiles); ++i) {
    if (analysis::thin(s.count, percentiles[i].second)) {
      found.thin.push_back(percentiles[i].first);
    }
    // Min, max and mean are kept exactly beside the buckets.
    if (method.from_histogram && s.count > 0 && values[i] >= analysis::BoundedHistogram::kExactBelow) {
      found.approximate.push_back(percentiles[i].first);
    }
  }
  if (method.from_histogram && s.count > 0 && s.max >= analysis::BoundedHistogram::kExactBelow) {
    found.approximate.insert(found.approximate.end(), {"stddev", "histogram"});
  }
  for (const WindowFigures& window : method.timeline) {
    auto& thin = found.thin_in_window.emplace_back();
    for (const auto& [key, permille] : {std::pair{"p50", 500U}, {"p99", 990U}}) {
      if (analysis::thin(window.count, permille)) {
        thin.push_back(key);
      }
    }
  }
  if (method.timeline.size() > 1) {
    const auto worst = std::max_element(method.timeline.begin(), method.timeline.end(),
                                        [](const auto& a, const auto& b) { return a.max < b.max; });
    found.worst_window = static_cast<std::size_t>(worst - method.timeline.begin());
  }
  return found;
}

}  // namespace report
