#pragma once

// An earlier --json report, read strictly: a gate acts on what it says.
#include <compare>
#include <cstdint>
#include <optional>
#include <streambuf>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "measure/conditions.hpp"

namespace report {

// What finds an entry in the other report: its method, interval, requested
// resolution and condition.
struct EntryKey {
  std::string method;
  std::uint64_t interval_us = 0;
  std::optional<std::uint32_t> resolution_us;
  measure::Priority priority = measure::Priority::Raised;
  std::uint32_t load = 0;
  std::optional<std::uint32_t> cpu;
  auto operator<=>(const EntryKey&) const = default;
};

// One method's figures in an earlier report, with its key (a report that
// names no interval measured waits of 1 ms; one that names no condition was
// measured at raised priority, under no load, on any CPU).
struct BaselineEntry : EntryKey {
  BaselineEntry() { interval_us = 1000; }
  std::optional<std::uint64_t> p50, p99, p999, max;
};

struct Baseline {
  std::string file;
  int file_version = 0;
  std::string version;  // of the Quorvane that wrote it
  bool interrupted = false;
  // The figures so far of a run that went on.
  bool partial = false;
  std::vector<BaselineEntry> entries;
};

// The report in `text`, or what is wrong with it, naming the key where a
// value is at fault ("methods[0].p99 is -1, not a whole number from 0 to
// 9223372036854775807"). Every figure must fit its field: whole numbers where
// whole numbers are meant, none negative, each entry once.
std::variant<Baseline, std::string> parse_baseline(std::string_view text);
// The same of a stream, read piece by piece.
std::variant<Baseline, std::string> parse_baseline(std::streambuf& stream);

// The earlier --json report in `file`, or the line for standard error that
// names the file and what is wrong with it (missing, unreadable, larger than
// any report, not JSON, cut short, no report of Quorvane, a file_version this
// program does not read, a value at fault). Reading costs memory in
// proportion to the file.
std::variant<Baseline, std::string> read_baseline(const std::string& file);

}  // namespace report
