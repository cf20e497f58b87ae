// The Windows placement against the system's own calls (under wine in CI).
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "measure/placement.hpp"

namespace {

measure::Placement& placement = measure::system_placement();

TEST(WindowsPlacement, APinnedThreadStaysOnItsCpu) {
  const std::vector<std::uint32_t> usable = placement.usable_cpus();
  const std::vector<std::uint32_t> existing = placement.existing_cpus();
  ASSERT_FALSE(usable.empty());
  EXPECT_TRUE(std::includes(existing.begin(), existing.end(), usable.begin(), usable.end()));
  for (const std::uint32_t cpu : usable) {
    std::thread([&] {
      ASSERT_TRUE(placement.pin_this_thread(cpu)) << cpu;
      for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(placement.current_cpu(), cpu);
        std::this_thread::yield();
      }
    }).join();
  }
  std::thread([&] { EXPECT_FALSE(placement.pin_this_thread(64)); }).join();
}

}  // namespace
