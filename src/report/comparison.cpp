#include "report/comparison.hpp"

#include <algorithm>
#include <limits>

#include <fmt/format.h>

#include "report/text.hpp"

namespace report {
namespace {

std::optional<std::uint64_t> known(const analysis::LatencySummary& s, std::uint64_t value) {
  return s.count > 0 ? std::optional(value) : std::nullopt;
}

ComparedFigure figure(const char* label, const char* key, std::optional<std::uint64_t> before,
                      std::optional<std::uint64_t> now) {
  return {label, key, before, now, change(before, now)};
}

std::string resolution_text(const std::optional<std::uint32_t>& us) {
  return us ? fmt::format("resolution {} μs", *us) : "the resolution in effect";
}

// Beyond this many, names are not listed.
constexpr std::size_t kListedAtMost = 5;

// "A, B and C", or "A, B, C, D, E and others".
std::string listed(const std::vector<std::string>& names) {
  std::string text;
  for (std::size_t i = 0; i < names.size() && i < kListedAtMost; ++i) {
    text += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + printable(names[i]);
  }
  return names.size() > kListedAtMost ? text + " and others" : text;
}

// The distinct values of `field` over `keys`, the first kListedAtMost + 1
// at most, in the order met.
template <typename Field>
std::vector<std::string> first_distinct(const std::vector<EntryKey>& keys, Field field) {
  std::vector<std::string> found;
  for (const EntryKey& key : keys) {
    std::string value = field(key);
    if (std::find(found.begin(), found.end(), value) == found.end()) {
      found.push_back(std::move(value));
      if (found.size() > kListedAtMost) {
        break;
      }
    }
  }
  return found;
}

// Why no entry of `now` found its like in `before`: the first key in which
// the two differ throughout. The baseline may be large; what is held here
// grows only with this report.
std::string why_unpaired(const std::vector<EntryKey>& now, const std::vector<EntryKey>& before) {
  if (before.empty()) {
    return "the baseline has no entries";
  }
  if (now.empty()) {
    return "this report has no entries";
  }
  const auto method = [](const EntryKey& k) { return k.method; };
  const auto interval = [](const EntryKey& k) { return fmt::format("{} μs", k.interval_us); };
  const auto resolution = [](const EntryKey& k) { return resolution_text(k.resolution_us); };
  const auto has = [&](const EntryKey& b, bool same_interval) {
    return std::any_of(now.begin(), now.end(), [&](const EntryKey& n) {
      return n.method == b.method && (!same_interval || n.interval_us == b.interval_us);
    });
  };
  std::vector<EntryKey> same_method, same_interval;
  for (const EntryKey& b : before) {
    if (has(b, false) && same_method.size() <= kListedAtMost) {
      same_method.push_back(b);
    }
    if (has(b, true) && same_interval.size() <= kListedAtMost) {
      same_interval.push_back(b);
    }
  }
  if (same_method.empty()) {
    return fmt::format("no method is in both: the baseline has {}, this report {}",
                       listed(first_distinct(before, method)), listed(first_distinct(now, method)));
  }
  if (same_interval.empty()) {
    return fmt::format("the baseline's waits were of {}, these of {}", listed(first_distinct(same_method, interval)),
                       listed(first_distinct(now, interval)));
  }
  return fmt::format("the baseline was measured at {}, this report at {}",
                     listed(first_distinct(same_interval, resolution)), listed(first_distinct(now, resolution)));
}

}  // namespace

std::string key_label(const EntryKey& key) {
  return key.resolution_us
             ? fmt::format("{} ({} μs, resolution {} μs)", printable(key.method), key.interval_us, *key.resolution_us)
             : fmt::format("{} ({} μs)", printable(key.method), key.interval_us);
}

const ComparedEntry* Comparison::find(std::size_t block, std::size_t method) const {
  const auto found = std::find_if(compared.begin(), compared.end(),
                                  [&](const ComparedEntry& e) { return e.block == block && e.method == method; });
  return found == compared.end() ? nullptr : &*found;
}

Comparison compare(const ReportFacts& facts, const Baseline& baseline) {
  Comparison comparison;
  std::vector<bool> matched(baseline.entries.size(), false);
  for (std::size_t b = 0; b < facts.blocks.size(); ++b) {
    const ResolutionBlock& block = facts.blocks[b];
    for (std::size_t m = 0; m < block.methods.size(); ++m) {
      const MethodReport& method = block.methods[m];
      const EntryKey key{method.name, facts.interval_us, block.requested_us};
      // The baseline holds each key once (its reader makes sure of it).
      std::size_t i = 0;
      while (i < baseline.entries.size() &&
             !(baseline.entries[i].method == key.method && baseline.entries[i].interval_us == key.interval_us &&
               baseline.entries[i].resolution_us == key.resolution_us)) {
        ++i;
      }
      if (i == baseline.entries.size()) {
        comparison.only_now.push_back(key);
        continue;
      }
      matched[i] = true;
      const BaselineEntry& before = baseline.entries[i];
      const analysis::LatencySummary& s = method.summary;
      ComparedEntry entry{
          b,
          m,
          block.requested_us ? fmt::format("{} at {} μs", method.name, *block.requested_us) : method.name,
          {figure("p50", "p50", before.p50, known(s, s.p50)), figure("p99", "p99", before.p99, known(s, s.p99)),
           figure("p99.9", "p999", before.p999, known(s, s.p999)), figure("max", "max", before.max, known(s, s.max))}};
      comparison.p99_compared = comparison.p99_compared || entry.p99().change.has_value();
      comparison.compared.push_back(std::move(entry));
    }
  }
  for (std::size_t i = 0; i < baseline.entries.size(); ++i) {
    if (!matched[i]) {
      const BaselineEntry& entry = baseline.entries[i];
      comparison.only_before.push_back({entry.method, entry.interval_us, entry.resolution_us});
    }
  }
  if (comparison.compared.empty()) {
    comparison.why_nothing_compared = why_unpaired(comparison.only_now, comparison.only_before);
  } else if (!comparison.p99_compared) {
    comparison.why_nothing_compared = "no entry has a p99 on both sides: one side measured no waits";
  }
  return comparison;
}

std::optional<std::int64_t> change(std::optional<std::uint64_t> before, std::optional<std::uint64_t> now) {
  if (!before || !now) {
    return std::nullopt;
  }
  constexpr auto kMost = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
  return *now >= *before ? static_cast<std::int64_t>(std::min(*now - *before, kMost))
                         : -static_cast<std::int64_t>(std::min(*before - *now, kMost));
}

}  // namespace report
