// Linux answers to CPU placement: sysfs for the CPUs there are and their
// kinds, the thread's affinity mask for the CPUs it may use, getcpu for the
// one it is on.
#include "measure/placement_linux.hpp"

#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <fstream>
#include <memory>
#include <sstream>

namespace measure {
namespace {

// Room in an affinity mask for this many CPUs: the kernel's most.
constexpr std::uint32_t kMaxCpus = 8192;

std::optional<std::string> first_line(const std::string& path) {
  std::ifstream file(path);
  std::string line;
  if (!std::getline(file, line)) {
    return std::nullopt;
  }
  return line;
}

std::optional<std::uint32_t> number(std::string_view text) {
  std::uint32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc{} || end != text.data() + text.size()) {
    return std::nullopt;
  }
  return value;
}

struct CpuSetDeleter {
  void operator()(cpu_set_t* set) const { CPU_FREE(set); }
};
using CpuSet = std::unique_ptr<cpu_set_t, CpuSetDeleter>;
const std::size_t kSetSize = CPU_ALLOC_SIZE(kMaxCpus);

CpuSet empty_set() {
  CpuSet set(CPU_ALLOC(kMaxCpus));
  if (set) {
    CPU_ZERO_S(kSetSize, set.get());
  }
  return set;
}

std::vector<std::uint32_t> members(const cpu_set_t* set) {
  std::vector<std::uint32_t> cpus;
  for (std::uint32_t cpu = 0; cpu < kMaxCpus; ++cpu) {
    if (CPU_ISSET_S(cpu, kSetSize, set)) {
      cpus.push_back(cpu);
    }
  }
  return cpus;
}

bool listed(const std::string& path, std::uint32_t cpu) {
  const auto line = first_line(path);
  const auto cpus = line ? parse_kernel_cpu_list(*line) : std::nullopt;
  return cpus && std::binary_search(cpus->begin(), cpus->end(), cpu);
}

class SystemPlacement final : public Placement {
 public:
  std::vector<std::uint32_t> existing_cpus() override {
    if (const auto line = first_line("/sys/devices/system/cpu/present")) {
      if (auto cpus = parse_kernel_cpu_list(*line)) {
        return *cpus;
      }
    }
    std::vector<std::uint32_t> cpus(static_cast<std::size_t>(std::max(sysconf(_SC_NPROCESSORS_CONF), 1L)));
    for (std::uint32_t i = 0; i < cpus.size(); ++i) {
      cpus[i] = i;
    }
    return cpus;
  }

  std::vector<std::uint32_t> usable_cpus() override {
    // The calling thread's mask: the main thread's is the process's own.
    const CpuSet set = empty_set();
    if (!set || sched_getaffinity(0, kSetSize, set.get()) != 0) {
      return {};
    }
    return members(set.get());
  }

  bool pin_this_thread(std::uint32_t cpu) override {
    const CpuSet set = empty_set();
    const CpuSet read_back = empty_set();
    if (!set || !read_back || cpu >= kMaxCpus) {
      return false;
    }
    CPU_SET_S(cpu, kSetSize, set.get());
    return pthread_setaffinity_np(pthread_self(), kSetSize, set.get()) == 0 &&
           pthread_getaffinity_np(pthread_self(), kSetSize, read_back.get()) == 0 &&
           members(read_back.get()) == std::vector<std::uint32_t>{cpu};
  }

  std::optional<std::uint32_t> current_cpu() override {
    const int cpu = sched_getcpu();
    return cpu >= 0 ? std::optional(static_cast<std::uint32_t>(cpu)) : std::nullopt;
  }

  std::optional<CpuKind> cpu_kind(std::uint32_t cpu) override { return cpu_kind_in("/sys", cpu); }
};

}  // namespace

std::optional<std::vector<std::uint32_t>> parse_kernel_cpu_list(const std::string& text) {
  std::vector<std::uint32_t> cpus;
  std::stringstream items(text);
  for (std::string item; std::getline(items, item, ',');) {
    const auto dash = item.find('-');
    const auto first = number(std::string_view(item).substr(0, dash));
    const auto last = dash == std::string::npos ? first : number(std::string_view(item).substr(dash + 1));
    if (!first || !last || *last < *first || *last >= kMaxCpus || (!cpus.empty() && *first <= cpus.back())) {
      return std::nullopt;
    }
    for (std::uint32_t cpu = *first; cpu <= *last; ++cpu) {
      cpus.push_back(cpu);
    }
  }
  return cpus.empty() ? std::nullopt : std::optional(std::move(cpus));
}

std::optional<CpuKind> cpu_kind_in(const std::string& sysfs, std::uint32_t cpu) {
  // A hybrid x86 has a PMU of each kind, each naming its CPUs.
  if (first_line(sysfs + "/devices/cpu_core/cpus") && first_line(sysfs + "/devices/cpu_atom/cpus")) {
    if (listed(sysfs + "/devices/cpu_core/cpus", cpu)) {
      return CpuKind::Performance;
    }
    if (listed(sysfs + "/devices/cpu_atom/cpus", cpu)) {
      return CpuKind::Efficiency;
    }
    return std::nullopt;
  }
  // Elsewhere (big.LITTLE) the scheduler's capacities: 1024 for the fastest.
  const auto capacity = [&](std::uint32_t n) {
    const auto line = first_line(sysfs + "/devices/system/cpu/cpu" + std::to_string(n) + "/cpu_capacity");
    return line ? number(*line) : std::nullopt;
  };
  const auto mine = capacity(cpu);
  const auto line = first_line(sysfs + "/devices/system/cpu/present");
  const auto all = line ? parse_kernel_cpu_list(*line) : std::nullopt;
  if (!mine || !all) {
    return std::nullopt;
  }
  std::uint32_t lowest = *mine, highest = *mine;
  for (const std::uint32_t other : *all) {
    if (const auto c = capacity(other)) {
      lowest = std::min(lowest, *c), highest = std::max(highest, *c);
    }
  }
  if (lowest == highest) {
    return std::nullopt;
  }
  return *mine == highest ? CpuKind::Performance : CpuKind::Efficiency;
}

Placement& system_placement() {
  static SystemPlacement placement;
  return placement;
}

}  // namespace measure
