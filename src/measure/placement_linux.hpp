#pragma once

// What the Linux placement reads from sysfs, given its root, so that a test
// can hand it a machine of its own making.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "measure/placement.hpp"

namespace measure {

// A kernel CPU list ("0-3,8,10-11"), ascending and each CPU once; nothing
// for anything else.
std::optional<std::vector<std::uint32_t>> parse_kernel_cpu_list(const std::string& text);

// The kind of `cpu` as `sysfs` (normally "/sys") says it: a hybrid x86's
// devices/cpu_core and devices/cpu_atom, or else the capacities of
// devices/system/cpu/cpu*/cpu_capacity, the largest being the performance
// CPUs'; nothing where every CPU is of one kind or nothing says.
std::optional<CpuKind> cpu_kind_in(const std::string& sysfs, std::uint32_t cpu);

}  // namespace measure
