#include "report/baseline.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <istream>
#include <limits>
#include <numeric>
#include <sstream>
#include <streambuf>
#include <tuple>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "report/baseline_reader.hpp"
#include "report/facts.hpp"
#include "report/text.hpp"

namespace report {
namespace {

using namespace baseline_reading;

constexpr std::uint64_t kOldestFileVersion = 1;

// Each entry is found by its method, interval, resolution and condition: once.
void check_entries(const Baseline& baseline) {
  const auto& entries = baseline.entries;
  const auto key = [&](std::size_t i) {
    const BaselineEntry& e = entries[i];
    return std::tie(e.method, e.interval_us, e.resolution_us, e.priority, e.load, e.cpu);
  };
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

// Why the parse of `source` stopped, where that is not the JSON's fault.
void check_source(const CappedSource& source) {
  if (source.failure() != 0) {
    throw Bad{fmt::format("cannot be read: {}", std::strerror(source.failure()))};
  }
  if (source.over()) {
    throw Bad{"is larger than any report"};
  }
  if (source.passed() == 0) {
    throw Bad{"is empty"};
  }
  // Quorvane's other forms, which are easily taken for this one.
  const std::string& head = source.head();
  if (head.starts_with("# HELP ") || head.starts_with("# TYPE ")) {
    throw Bad{"is OpenMetrics text; --compare reads a report written with --json"};
  }
  if (head.starts_with("Quorvane ")) {
    throw Bad{"is a report as text; --compare reads one written with --json"};
  }
}

Baseline parse(std::streambuf& stream) {
  CappedSource source(stream);
  std::istream in(&source);
  Reader reader(source);
  try {
    Json::sax_parse(in, &reader);
  } catch (const Bad&) {
    check_source(source);
    throw;
  }
  check_source(source);
  const auto is = [](const std::optional<Value>& v, Value::Kind kind) { return v && v->kind == kind; };
  if (!reader.document_is_object || !is(reader.program, Value::String) || reader.program->text != "Quorvane" ||
      !reader.file_version) {
    throw Bad{"is JSON, but no report of Quorvane"};
  }
  const Value& file_version = *reader.file_version;
  if (file_version.kind != Value::Whole || file_version.whole < kOldestFileVersion ||
      file_version.whole > static_cast<std::uint64_t>(kReportFileVersion)) {
    throw Bad{fmt::format("is a report of file_version {}, which this Quorvane does not read (it reads {} to {})",
                          file_version.describe(), kOldestFileVersion, kReportFileVersion)};
  }
  Baseline baseline;
  baseline.file_version = static_cast<int>(file_version.whole);
  if (reader.fault) {
    throw Bad{*reader.fault};
  }
  for (const auto& [name, value, kind] : {std::tuple{"version", &reader.version, Value::String},
                                          {"interrupted", &reader.interrupted, Value::Boolean},
                                          {"methods", &reader.methods, Value::Array}}) {
    if (!*value) {
      throw Bad{fmt::format("has no {}", name)};
    }
    if ((*value)->kind != kind) {
      throw Bad{fmt::format("{} is {}, not {}", name, (*value)->describe(),
                            kind == Value::String    ? "a string"
                            : kind == Value::Boolean ? "true or false"
                                                     : "an array")};
    }
  }
  baseline.version = reader.version->text;
  baseline.interrupted = reader.interrupted->boolean;
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

std::variant<Baseline, std::string> parse_baseline(std::streambuf& stream) {
  try {
    return parse(stream);
  } catch (const Bad& bad) {
    return bad.what;
  } catch (const Json::exception& e) {
    // The reader answers every fault itself; this is a last guard.
    return fmt::format("is not JSON ({})", e.what());
  }
}

std::variant<Baseline, std::string> parse_baseline(std::string_view text) {
  std::stringbuf stream{std::string(text)};
  return parse_baseline(stream);
}

std::variant<Baseline, std::string> read_baseline(const std::string& file) {
  errno = 0;
  std::filebuf stream;
  std::variant<Baseline, std::string> result;
  if (stream.open(file, std::ios::in | std::ios::binary) == nullptr) {
    result = fmt::format("cannot be read: {}", errno != 0 ? std::strerror(errno) : "unknown error");
  } else {
    result = parse_baseline(stream);
  }
  if (auto* baseline = std::get_if<Baseline>(&result)) {
    baseline->file = file;
    return result;
  }
  return fmt::format("--compare {}: {}", printable(file), std::get<std::string>(result));
}

}  // namespace report
