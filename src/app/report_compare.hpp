#pragma once

// A report beside an earlier one.
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "app/report_output.hpp"

namespace app {

// The earlier --json report in `file`, or the line that says what is wrong
// with it (missing, unreadable, not JSON, cut short, no report of Quorvane,
// a file_version this program does not read).
std::variant<Baseline, std::string> read_baseline(const std::string& file);

// A method measured now that the baseline has too.
struct ComparedMethod {
  const ResolutionBlock* block;
  const MethodReport* now;
  const BaselineEntry* before;
};

// What finds a method in the other report.
struct MethodKey {
  std::string method;
  std::uint64_t interval_us = 0;
  std::optional<std::uint32_t> resolution_us;
};
// "Hybrid (2000 μs, resolution 500 μs)"
std::string key_label(const MethodKey& key);

struct Comparison {
  std::vector<ComparedMethod> compared;
  // Named, not compared.
  std::vector<MethodKey> only_now;
  std::vector<MethodKey> only_before;
};

Comparison compare(const ReportFacts& facts, const Baseline& baseline);

// now − before, where both are known.
std::optional<std::int64_t> change(const std::optional<std::uint64_t>& before, std::optional<std::uint64_t> now);

// The method's name, with its resolution where one was requested: "Sleep at 500 μs".
std::string compared_label(const ComparedMethod& method);

}  // namespace app
