#include "report/comparison.hpp"

#include <algorithm>
#include <iterator>
#include <limits>

#include <fmt/format.h>

#include "report/conditions.hpp"
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

// A part of the key: how to tell two apart, how to name one, and how to say
// that the two reports differ in it.
struct KeyPart {
  bool (*same)(const EntryKey&, const EntryKey&);
  std::string (*text)(const EntryKey&);
  const char* why;  // the baseline's values, then this report's
};

std::string cpu_text(const EntryKey& k) { return k.cpu ? fmt::format("CPU {}", *k.cpu) : "any CPU"; }

// In the order they are told apart, the method first.
const KeyPart kKeyParts[] = {
    {[](const EntryKey& a, const EntryKey& b) { return a.method == b.method; },
     [](const EntryKey& k) { return k.method; }, "no method is in both: the baseline has {}, this report {}"},
    {[](const EntryKey& a, const EntryKey& b) { return a.interval_us == b.interval_us; },
     [](const EntryKey& k) { return fmt::format("{} μs", k.interval_us); },
     "the baseline's waits were of {}, these of {}"},
    {[](const EntryKey& a, const EntryKey& b) { return a.resolution_us == b.resolution_us; },
     [](const EntryKey& k) { return resolution_text(k.resolution_us); },
     "the baseline was measured at {}, this report at {}"},
    {[](const EntryKey& a, const EntryKey& b) { return a.priority == b.priority; },
     [](const EntryKey& k) { return std::string(measure::priority_name(k.priority)); },
     "the baseline was measured at {} priority, this report at {}"},
    {[](const EntryKey& a, const EntryKey& b) { return a.load == b.load; },
     [](const EntryKey& k) { return fmt::format("{}", k.load); },
     "the baseline was measured under a load of {} threads, this report under {}"},
    {[](const EntryKey& a, const EntryKey& b) { return a.cpu == b.cpu; }, cpu_text,
     "the baseline was measured on {}, this report on {}"},
};

// Why no entry of `now` found its like in `before`: the first part of the
// key in which the two differ throughout. The baseline may be large; what is
// held here grows only with this report.
std::string why_unpaired(const std::vector<EntryKey>& now, const std::vector<EntryKey>& before) {
  if (before.empty()) {
    return "the baseline has no entries";
  }
  if (now.empty()) {
    return "this report has no entries";
  }
  // Whether `b` is like some entry of now in the first `parts` parts.
  const auto alike = [&](const EntryKey& b, std::size_t parts) {
    return std::any_of(now.begin(), now.end(), [&](const EntryKey& n) {
      return std::all_of(kKeyParts, kKeyParts + parts, [&](const KeyPart& part) { return part.same(n, b); });
    });
  };
  // The baseline's entries alike in the parts before this one (of those
  // after the first, a few, to name).
  const std::vector<EntryKey>* named = &before;
  std::vector<EntryKey> few;
  for (std::size_t part = 0; part < std::size(kKeyParts); ++part) {
    std::vector<EntryKey> alike_so_far;
    for (const EntryKey& b : before) {
      if (alike(b, part + 1) && alike_so_far.size() <= kListedAtMost) {
        alike_so_far.push_back(b);
      }
    }
    if (alike_so_far.empty()) {
      return fmt::format(fmt::runtime(kKeyParts[part].why), listed(first_distinct(*named, kKeyParts[part].text)),
                         listed(first_distinct(now, kKeyParts[part].text)));
    }
    few = std::move(alike_so_far);
    named = &few;
  }
  return "every entry differs in more than one part of its key";
}

}  // namespace

std::string key_label(const EntryKey& key) {
  return fmt::format("{} ({} μs{}{})", printable(key.method), key.interval_us,
                     key.resolution_us ? fmt::format(", resolution {} μs", *key.resolution_us) : "",
                     condition_text(key.priority, key.load, key.cpu));
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
    const ConditionBlock& block = facts.blocks[b];
    for (std::size_t m = 0; m < block.methods.size(); ++m) {
      const MethodReport& method = block.methods[m];
      const EntryKey key{method.name, facts.interval_us, block.requested_us, block.priority, block.load, block.cpu};
      // The baseline holds each key once (its reader makes sure of it).
      std::size_t i = 0;
      while (i < baseline.entries.size() && !(static_cast<const EntryKey&>(baseline.entries[i]) == key)) {
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
          (block.requested_us ? fmt::format("{} at {} μs", method.name, *block.requested_us) : method.name) +
              condition_text(block.priority, block.load, block.cpu),
          {figure("p50", "p50", before.p50, known(s, s.p50)), figure("p99", "p99", before.p99, known(s, s.p99)),
           figure("p99.9", "p999", before.p999, known(s, s.p999)), figure("max", "max", before.max, known(s, s.max))}};
      comparison.p99_compared = comparison.p99_compared || entry.p99().change.has_value();
      comparison.compared.push_back(std::move(entry));
    }
  }
  for (std::size_t i = 0; i < baseline.entries.size(); ++i) {
    if (!matched[i]) {
      comparison.only_before.push_back(static_cast<const EntryKey&>(baseline.entries[i]));
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
