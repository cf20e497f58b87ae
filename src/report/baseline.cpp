#include "report/baseline.hpp"

#include <algorithm>
#include <limits>
#include <numeric>
#include <sstream>
#include <tuple>

#include <fmt/format.h>

#include "report/conditions.hpp"
#include "report/report_file.hpp"
#include "report/text.hpp"

namespace report {
namespace {

// The fields of a method's entry that the reader takes; the condition's
// (priority, load, CPU) only where the report names them.
enum Field { Method, Interval, Resolution, P50, P99, P999, Max, Priority, Load, Cpu, kFields };
constexpr const char* kFieldNames[kFields] = {
    "method", "interval", "resolution_requested", "p50", "p99", "p999", "max", "priority", "load", "cpu"};
constexpr bool optional_field(int field) { return field >= Priority; }

// Keeps only what a comparison needs: memory in proportion to the entries,
// not to the whole document.
class Reader final : public DocumentReader {
 public:
  std::optional<Value> requested;
  std::vector<BaselineEntry> entries;
  // Per entry, a bit for each field it has.
  std::vector<std::uint8_t> present;

 private:
  void take(const Value& value) override {
    if (at({"resolution", "requested"})) {
      requested = value;
    } else if (at({"methods", "[]"})) {
      entries.emplace_back();
      present.push_back(0);
      if (value.kind != Value::Object) {
        note(fmt::format("{} is {}, not an object", path(), value.describe()));
      }
    } else if (at({"methods", "[]", "*"})) {
      for (int field = 0; field < kFields; ++field) {
        if (frames()[2].key == kFieldNames[field]) {
          present.back() = static_cast<std::uint8_t>(present.back() | 1U << field);
          store(entries.back(), static_cast<Field>(field), value);
        }
      }
    }
  }

  // An entry without a field every version has is said at once, not after
  // the rest of the file has been read into memory.
  void closing() override {
    if (at({"methods", "[]", "*"})) {
      for (const Field field : {Method, P50, P99, P999, Max}) {
        if ((present.back() & 1U << field) == 0) {
          return note(fmt::format("methods[{}] has no {}", entries.size() - 1, kFieldNames[field]));
        }
      }
    }
  }

  void store(BaselineEntry& e, Field field, const Value& value) {
    switch (field) {
      case Method:
        if (value.kind != Value::String) {
          return note(fmt::format("{} is {}, not a method's name", path(), value.describe()));
        }
        e.method = value.text;
        return;
      case Interval:
        if (const auto us = whole(value, 1, kMaxMicroseconds, false)) {
          e.interval_us = *us;
        }
        return;
      case Resolution:
        if (const auto us = whole(value, 0, kMaxMicroseconds, true); us && value.kind != Value::Null) {
          e.resolution_us = static_cast<std::uint32_t>(*us);
        }
        return;
      case P50:
      case P99:
      case P999:
      case Max: {
        std::optional<std::uint64_t>* figures[] = {&e.p50, &e.p99, &e.p999, &e.max};
        if (const auto us = whole(value, 0, kMaxFigure, true); us && value.kind != Value::Null) {
          *figures[field - P50] = *us;
        }
        return;
      }
      case Priority:
        if (value.kind != Value::String || (value.text != "raised" && value.text != "normal")) {
          const std::string given = value.kind == Value::String
                                        ? fmt::format("\"{}\"", printable(cut_to_columns(value.text, 40)))
                                        : value.describe();
          return note(fmt::format("{} is {}, not \"raised\" or \"normal\"", path(), given));
        }
        e.priority = value.text == "raised" ? measure::Priority::Raised : measure::Priority::Normal;
        return;
      case Load:
        if (const auto threads = whole(value, 0, kMaxLoad, false)) {
          e.load = static_cast<std::uint32_t>(*threads);
        }
        return;
      case Cpu:
        if (const auto cpu = whole(value, 0, kMaxCpu, true); cpu && value.kind != Value::Null) {
          e.cpu = static_cast<std::uint32_t>(*cpu);
        }
        return;
      case kFields:
        return;
    }
  }
};

// Each entry is found by its method, interval, resolution and condition: once.
void check_entries(const Baseline& baseline) {
  const auto& entries = baseline.entries;
  const auto key = [&](std::size_t i) -> const EntryKey& { return entries[i]; };
  // Sorted indices rather than a map: a few bytes an entry.
  std::vector<std::size_t> order(entries.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return key(a) < key(b); });
  for (std::size_t k = 1; k < order.size(); ++k) {
    if (key(order[k - 1]) == key(order[k])) {
      throw Bad{fmt::format("methods[{}] is the same method, interval, resolution and condition as methods[{}]",
                            order[k], order[k - 1])};
    }
  }
}

Baseline parse(std::streambuf& stream) {
  Reader reader;
  Baseline baseline;
  read_report_into(baseline, stream, reader, "--compare");
  // Version 1 measured waits of 1 ms, at one resolution for all.
  std::optional<std::uint32_t> requested;
  if (baseline.file_version == 1 && reader.requested && reader.requested->kind != Value::Null) {
    if (reader.requested->kind != Value::Whole || reader.requested->whole > kMaxMicroseconds) {
      throw Bad{fmt::format("resolution.requested is {}, not a whole number from 0 to {} or null",
                            reader.requested->describe(), kMaxMicroseconds)};
    }
    requested = static_cast<std::uint32_t>(reader.requested->whole);
  }
  for (std::size_t i = 0; i < reader.entries.size(); ++i) {
    for (int field = 0; field < kFields; ++field) {
      const bool needed =
          !optional_field(field) && (baseline.file_version > 1 || (field != Interval && field != Resolution));
      if (needed && (reader.present[i] & 1U << field) == 0) {
        throw Bad{fmt::format("methods[{}] has no {}", i, kFieldNames[field])};
      }
    }
    if (baseline.file_version == 1) {
      reader.entries[i].interval_us = 1000;
      reader.entries[i].resolution_us = requested;
    }
  }
  baseline.entries = std::move(reader.entries);
  check_entries(baseline);
  return baseline;
}

}  // namespace

std::variant<Baseline, std::string> parse_baseline(std::streambuf& stream) { return parse_report_as(stream, parse); }

std::variant<Baseline, std::string> parse_baseline(std::string_view text) {
  std::stringbuf stream{std::string(text)};
  return parse_baseline(stream);
}

std::variant<Baseline, std::string> read_baseline(const std::string& file) {
  return read_report_as(file, "--compare", parse);
}

}  // namespace report
