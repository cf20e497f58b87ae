// Windows answers to CPU placement: the process's and the thread's affinity
// masks, the processor the thread is on, and the CPU sets' efficiency
// classes. A program sees the CPUs of its own processor group: 64 at most.
#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <vector>

#include "measure/placement.hpp"

namespace measure {
namespace {

constexpr std::uint32_t kGroupCpus = 64;

std::vector<std::uint32_t> members(DWORD_PTR mask) {
  std::vector<std::uint32_t> cpus;
  for (std::uint32_t cpu = 0; cpu < kGroupCpus; ++cpu) {
    if ((static_cast<std::uint64_t>(mask) >> cpu & 1U) != 0) {
      cpus.push_back(cpu);
    }
  }
  return cpus;
}

// The efficiency class of every logical processor of group 0, from
// GetSystemCpuSetInformation (Windows 10 and later; looked up at run time,
// which older SDK headers and wine may lack). Higher is faster.
std::vector<std::optional<BYTE>> efficiency_classes() {
  // SYSTEM_CPU_SET_INFORMATION as far as it is read here.
  struct CpuSetEntry {
    DWORD size;
    DWORD type;  // 0: a CPU set
    DWORD id;
    WORD group;
    BYTE logical_processor;
    BYTE core;
    BYTE last_level_cache;
    BYTE numa_node;
    BYTE efficiency_class;
  };
  using Call = BOOL(WINAPI*)(void*, ULONG, PULONG, HANDLE, ULONG);
  const auto call = reinterpret_cast<Call>(
      reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetSystemCpuSetInformation")));
  std::vector<std::optional<BYTE>> classes(kGroupCpus);
  ULONG length = 0;
  if (call == nullptr) {
    return classes;
  }
  call(nullptr, 0, &length, GetCurrentProcess(), 0);
  std::vector<unsigned char> buffer(length);
  if (length == 0 || call(buffer.data(), length, &length, GetCurrentProcess(), 0) == FALSE) {
    return classes;
  }
  for (std::size_t at = 0; at + sizeof(CpuSetEntry) <= length;) {
    CpuSetEntry entry{};
    std::copy_n(buffer.data() + at, sizeof entry, reinterpret_cast<unsigned char*>(&entry));
    if (entry.size == 0) {
      break;
    }
    if (entry.type == 0 && entry.group == 0 && entry.logical_processor < kGroupCpus) {
      classes[entry.logical_processor] = entry.efficiency_class;
    }
    at += entry.size;
  }
  return classes;
}

class SystemPlacement final : public Placement {
 public:
  std::vector<std::uint32_t> existing_cpus() override {
    SYSTEM_INFO system{};
    GetSystemInfo(&system);
    std::vector<std::uint32_t> cpus(std::clamp<std::uint32_t>(system.dwNumberOfProcessors, 1, kGroupCpus));
    for (std::uint32_t i = 0; i < cpus.size(); ++i) {
      cpus[i] = i;
    }
    return cpus;
  }

  std::vector<std::uint32_t> usable_cpus() override {
    DWORD_PTR process = 0;
    DWORD_PTR system = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system) == FALSE) {
      return {};
    }
    return members(process);
  }

  bool pin_this_thread(std::uint32_t cpu) override {
    if (cpu >= kGroupCpus) {
      return false;
    }
    const auto mask = static_cast<DWORD_PTR>(std::uint64_t{1} << cpu);
    // Windows has no call that reads a thread's mask; setting it again
    // answers the one in effect.
    return SetThreadAffinityMask(GetCurrentThread(), mask) != 0 &&
           SetThreadAffinityMask(GetCurrentThread(), mask) == mask;
  }

  std::optional<std::uint32_t> current_cpu() override { return GetCurrentProcessorNumber(); }

  std::optional<CpuKind> cpu_kind(std::uint32_t cpu) override {
    static const std::vector<std::optional<BYTE>> classes = efficiency_classes();
    if (cpu >= classes.size() || !classes[cpu]) {
      return std::nullopt;
    }
    BYTE lowest = *classes[cpu], highest = *classes[cpu];
    for (const auto& c : classes) {
      if (c) {
        lowest = std::min(lowest, *c), highest = std::max(highest, *c);
      }
    }
    if (lowest == highest) {
      return std::nullopt;
    }
    return *classes[cpu] == highest ? CpuKind::Performance : CpuKind::Efficiency;
  }
};

}  // namespace

Placement& system_placement() {
  static SystemPlacement placement;
  return placement;
}

}  // namespace measure
