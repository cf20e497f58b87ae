#pragma once

// CPU placement: which CPUs there are and may be used, keeping a thread on
// one, and where a thread runs. One file per OS answers
// (placement_<os>.cpp); tests substitute a scripted fake.
#include <cstdint>
#include <optional>
#include <vector>

namespace measure {

// What the system says a CPU is, where it has more than one kind: one of
// its fastest, or one of the slower, more frugal ones.
enum class CpuKind { Performance, Efficiency };

class Placement {
 public:
  virtual ~Placement() = default;

  // The CPUs this machine has, ascending.
  virtual std::vector<std::uint32_t> existing_cpus() = 0;
  // The CPUs this process may run on, ascending (taskset, a cpuset, a
  // Windows affinity mask narrow them).
  virtual std::vector<std::uint32_t> usable_cpus() = 0;
  // Keeps the calling thread on `cpu` alone; true only when the system,
  // asked again, says the thread may run there and nowhere else.
  [[nodiscard]] virtual bool pin_this_thread(std::uint32_t cpu) = 0;
  // The CPU the calling thread is on now; nothing where the system will not
  // say. Cheap enough to read around every wait.
  virtual std::optional<std::uint32_t> current_cpu() = 0;
  // The kind of `cpu` where the system tells kinds apart; nothing where all
  // its CPUs are of one kind or it does not say.
  virtual std::optional<CpuKind> cpu_kind(std::uint32_t cpu) = 0;
};

// The operating system's placement, for the program's whole life.
Placement& system_placement();

}  // namespace measure
