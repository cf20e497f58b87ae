#pragma once

// The conditions a wait is measured in: the measuring thread's priority, a
// load on the machine, the CPU it is kept to.
#include <cstdint>
#include <optional>

namespace measure {

// Raised: the highest the system grants (Windows' real-time class and a
// time-critical thread; Linux nice -20 and SCHED_FIFO). Normal: nothing
// asked, the thread as an ordinary application's runs.
enum class Priority { Raised, Normal };

struct Condition {
  Priority priority = Priority::Raised;
  // Threads that keep a CPU busy meanwhile.
  std::uint32_t load = 0;
  // The CPU the measuring thread is kept to; nothing: wherever the system
  // puts it.
  std::optional<std::uint32_t> cpu;
  bool operator==(const Condition&) const = default;
};

// "raised", "normal": as the options and the outputs name them.
inline const char* priority_name(Priority priority) { return priority == Priority::Raised ? "raised" : "normal"; }

}  // namespace measure
