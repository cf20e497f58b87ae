#include "report/option_lists.hpp"

#include <algorithm>
#include <cctype>
#include <functional>

#include <fmt/format.h>
#include <CLI/CLI.hpp>

#include "report/conditions.hpp"
#include "report/text.hpp"

namespace report {
namespace {

// Adds `value` unless it is there: false then.
template <typename T>
bool add_once(std::vector<T>& into, const T& value) {
  if (std::find(into.begin(), into.end(), value) != into.end()) {
    return false;
  }
  into.push_back(value);
  return true;
}

}  // namespace

CLI::Validator reading(std::function<std::string(const std::string&)> read) {
  return CLI::Validator([read = std::move(read)](std::string& value) { return read(value); }, "");
}

std::vector<std::string_view> items(std::string_view list) {
  std::vector<std::string_view> all;
  for (std::size_t begin = 0;;) {
    const std::size_t end = std::min(list.find(',', begin), list.size());
    all.push_back(list.substr(begin, end - begin));
    if (end == list.size()) {
      return all;
    }
    begin = end + 1;
  }
}

std::string lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

std::string read_priorities(const std::string& list, std::vector<measure::Priority>& into) {
  for (const std::string_view item : items(list)) {
    const std::string name = lower(item);
    if (name != "raised" && name != "normal") {
      return fmt::format("accepts raised or normal, separated by commas, not \"{}\"", printable(list));
    }
    if (!add_once(into, name == "raised" ? measure::Priority::Raised : measure::Priority::Normal)) {
      return fmt::format("names each priority once; {} came twice", name);
    }
  }
  return {};
}

std::string read_loads(const std::string& list, std::vector<std::uint32_t>& into) {
  for (const std::string_view item : items(list)) {
    const auto threads = decimal(item, 0, kMaxLoad);
    if (!threads) {
      return fmt::format("accepts whole numbers of threads from 0 to {}, separated by commas, not \"{}\"", kMaxLoad,
                         printable(list));
    }
    if (!add_once(into, static_cast<std::uint32_t>(*threads))) {
      return fmt::format("names each load once; {} came twice", *threads);
    }
  }
  return {};
}

std::string read_cpus(const std::string& list, std::vector<std::uint32_t>& into, bool& all) {
  const auto names = items(list);
  const bool all_named = std::any_of(names.begin(), names.end(), [](auto item) { return lower(item) == "all"; });
  if (all_named || all) {
    if (all || !into.empty() || names.size() > 1) {
      return "all names every CPU the process may use and goes alone";
    }
    all = true;
    return {};
  }
  for (const std::string_view item : names) {
    const std::size_t dash = item.find('-');
    const auto first = decimal(item.substr(0, dash), 0, kMaxCpu);
    const auto last = dash == std::string_view::npos ? first : decimal(item.substr(dash + 1), 0, kMaxCpu);
    if (!first || !last || *last < *first) {
      return fmt::format(
          "accepts CPU numbers from 0 to {} and ranges of them (0,2-3), separated by commas, or all, not \"{}\"",
          kMaxCpu, printable(list));
    }
    for (auto cpu = *first; cpu <= *last; ++cpu) {
      if (!add_once(into, static_cast<std::uint32_t>(cpu))) {
        return fmt::format("names each CPU once; {} came twice", cpu);
      }
    }
  }
  return {};
}

// --priority, --load and --cpu: lists of conditions, each measured in turn.
void add_condition_options(CLI::App& application, ReportOptions& options) {
  application.add_option("--priority")
      ->description("Measure at each of these priorities in turn: raised (the default) or normal, comma-separated")
      ->type_name("raised|normal")
      ->allow_extra_args(false)
      ->check(reading([&options](const std::string& list) { return read_priorities(list, options.priorities); }));
  application.add_option("--load")
      ->description(fmt::format(
          "Measure under each of these loads in turn: N threads (0 to {}) that keep a CPU busy each, comma-separated",
          kMaxLoad))
      ->type_name("N[,N...]")
      ->allow_extra_args(false)
      ->check(reading([&options](const std::string& list) { return read_loads(list, options.loads); }));
  application.add_option("--cpu")
      ->description("Measure with the measuring thread kept to each of these CPUs in turn (0,2-3), or all")
      ->type_name("LIST|all")
      ->allow_extra_args(false)
      ->check(reading([&options](const std::string& list) { return read_cpus(list, options.cpus, options.all_cpus); }));
}

}  // namespace report
