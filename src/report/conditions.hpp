#pragma once

// The conditions a report measures in, as options name them and as every
// output labels them: a priority, a load and a CPU for the measuring thread.
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "measure/conditions.hpp"
#include "measure/placement.hpp"
#include "report/options.hpp"

namespace report {

// The most load threads --load takes, and the highest CPU number --cpu or a
// baseline may name (Linux counts CPUs up to 8191).
inline constexpr std::uint32_t kMaxLoad = 256;
inline constexpr std::uint32_t kMaxCpu = 8191;

// The CPUs --cpu names on this machine (every usable one for `all`; none
// without the option), or the line for standard error when one does not
// exist or the process may not use it.
std::variant<std::vector<std::uint32_t>, std::string> chosen_cpus(const ReportOptions& options,
                                                                  measure::Placement& placement);

// Every combination of the priorities, loads and CPUs, the priority
// outermost, the CPU innermost; a list left empty holds its default.
std::vector<measure::Condition> conditions_of(const ReportOptions& options, const std::vector<std::uint32_t>& cpus);

// ", normal, load 4, CPU 1": what differs from the default condition (raised,
// no load, any CPU), each after a comma; "" for the default.
std::string condition_text(measure::Priority priority, std::uint32_t load, const std::optional<std::uint32_t>& cpu);

// "performance", "efficiency".
const char* kind_name(measure::CpuKind kind);

// "0-3,6": a list of CPUs, ascending, runs joined.
std::string cpu_list_text(const std::vector<std::uint32_t>& cpus);

}  // namespace report
