#pragma once

#include <atomic>

#include "measure/placement.hpp"

namespace testing_support {

// A thread that always runs on CPU `cpu`, or where the system will not say.
class FakePlacement : public measure::Placement {
 public:
  std::atomic<int> cpu{3};
  std::atomic<bool> unknown{false};
  std::optional<int> current_cpu() override { return unknown ? std::nullopt : std::optional(cpu.load()); }
};

}  // namespace testing_support
