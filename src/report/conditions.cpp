#include "report/conditions.hpp"

#include <algorithm>

#include <fmt/format.h>

namespace report {

std::variant<std::vector<std::uint32_t>, std::string> chosen_cpus(const ReportOptions& options,
                                                                  measure::Placement& placement) {
  const std::vector<std::uint32_t> usable = placement.usable_cpus();
  if (options.all_cpus) {
    if (usable.empty()) {
      return std::string("quorvane: --cpu: this system does not say which CPUs the process may use");
    }
    return usable;
  }
  const std::vector<std::uint32_t> existing = placement.existing_cpus();
  for (const std::uint32_t cpu : options.cpus) {
    if (std::find(existing.begin(), existing.end(), cpu) == existing.end()) {
      return fmt::format("quorvane: --cpu: CPU {} does not exist; this machine has CPUs {}", cpu,
                         cpu_list_text(existing));
    }
    if (std::find(usable.begin(), usable.end(), cpu) == usable.end()) {
      return fmt::format("quorvane: --cpu: CPU {} is not one this process may use; it may use CPUs {}", cpu,
                         usable.empty() ? "the system does not say" : cpu_list_text(usable));
    }
  }
  return options.cpus;
}

std::vector<measure::Condition> conditions_of(const ReportOptions& options, const std::vector<std::uint32_t>& cpus) {
  const auto or_default = [](const auto& list, auto fallback) { return list.empty() ? std::vector{fallback} : list; };
  std::vector<std::optional<std::uint32_t>> places(cpus.begin(), cpus.end());
  std::vector<measure::Condition> conditions;
  for (const measure::Priority priority : or_default(options.priorities, measure::Priority::Raised)) {
    for (const std::uint32_t load : or_default(options.loads, std::uint32_t{0})) {
      for (const auto& cpu : or_default(places, std::optional<std::uint32_t>())) {
        conditions.push_back({priority, load, cpu});
      }
    }
  }
  return conditions;
}

std::string condition_text(measure::Priority priority, std::uint32_t load, const std::optional<std::uint32_t>& cpu) {
  std::string text;
  if (priority != measure::Priority::Raised) {
    text += fmt::format(", {}", measure::priority_name(priority));
  }
  if (load > 0) {
    text += fmt::format(", load {}", load);
  }
  if (cpu) {
    text += fmt::format(", CPU {}", *cpu);
  }
  return text;
}

const char* kind_name(measure::CpuKind kind) {
  return kind == measure::CpuKind::Performance ? "performance" : "efficiency";
}

std::string cpu_list_text(const std::vector<std::uint32_t>& cpus) {
  std::string text;
  for (std::size_t i = 0; i < cpus.size();) {
    std::size_t end = i;
    while (end + 1 < cpus.size() && cpus[end + 1] == cpus[end] + 1) {
      ++end;
    }
    text += fmt::format("{}{}", text.empty() ? "" : ",", cpus[i]);
    text += end > i ? fmt::format("-{}", cpus[end]) : "";
    i = end + 1;
  }
  return text;
}

}  // namespace report
