#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "measure/placement.hpp"

namespace testing_support {

// A machine of `existing` CPUs of which the process may use `usable`. A
// thread pinned to a CPU is on it (`on_pinned` may say otherwise); any other
// thread is where `unpinned` says, reading by reading. Thread-safe.
class FakePlacement : public measure::Placement {
 public:
  std::vector<std::uint32_t> existing{0, 1};
  std::vector<std::uint32_t> usable{0, 1};
  std::map<std::uint32_t, measure::CpuKind> kinds;
  bool pin_refused = false;
  std::size_t pins_granted = SIZE_MAX;  // those after refused
  std::function<std::optional<std::uint32_t>()> unpinned = [] { return std::optional<std::uint32_t>(0); };
  std::function<std::optional<std::uint32_t>(std::uint32_t)> on_pinned = [](std::uint32_t cpu) {
    return std::optional(cpu);
  };
  std::function<void()> on_read;  // run inside every reading of the current CPU
  std::vector<std::uint32_t> pins;
  int readings = 0;

  template <typename Fn>
  auto locked(Fn&& fn) {
    const std::lock_guard lock(mutex_);
    return fn(*this);
  }

  // The CPU the calling thread was pinned to, if any.
  static std::optional<std::uint32_t> pinned_here() { return pinned_; }

  std::vector<std::uint32_t> existing_cpus() override {
    return locked([](auto& f) { return f.existing; });
  }
  std::vector<std::uint32_t> usable_cpus() override {
    return locked([](auto& f) { return f.usable; });
  }
  bool pin_this_thread(std::uint32_t cpu) override {
    const bool pinned =
        locked([cpu](auto& f) { return f.pins.push_back(cpu), !f.pin_refused && f.pins.size() <= f.pins_granted; });
    if (pinned) {
      pinned_ = cpu;
    }
    return pinned;
  }
  std::optional<std::uint32_t> current_cpu() override {
    return locked([](auto& f) -> std::optional<std::uint32_t> {
      ++f.readings;
      if (f.on_read) {
        f.on_read();
      }
      return pinned_ ? f.on_pinned(*pinned_) : f.unpinned();
    });
  }
  std::optional<measure::CpuKind> cpu_kind(std::uint32_t cpu) override {
    return locked([cpu](auto& f) -> std::optional<measure::CpuKind> {
      const auto kind = f.kinds.find(cpu);
      return kind == f.kinds.end() ? std::nullopt : std::optional(kind->second);
    });
  }

 private:
  static inline thread_local std::optional<std::uint32_t> pinned_;
  std::recursive_mutex mutex_;
};

}  // namespace testing_support
