// The Linux placement against the real kernel, and its sysfs readings
// against a sysfs of the test's making.
#include "measure/placement_linux.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

using measure::CpuKind;
using Cpus = std::vector<std::uint32_t>;

measure::Placement& placement = measure::system_placement();

// Each CPU the process may use keeps a thread pinned to it there; a CPU the
// process may not use, or that is not there, is refused.
TEST(LinuxPlacement, APinnedThreadStaysOnItsCpu) {
  const Cpus usable = placement.usable_cpus();
  const Cpus existing = placement.existing_cpus();
  ASSERT_FALSE(usable.empty());
  EXPECT_TRUE(std::includes(existing.begin(), existing.end(), usable.begin(), usable.end()));
  for (const std::uint32_t cpu : usable) {
    std::thread([&] {
      ASSERT_TRUE(placement.pin_this_thread(cpu)) << cpu;
      for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(placement.current_cpu(), cpu);
        std::this_thread::yield();
      }
    }).join();
  }
  std::thread([&] { EXPECT_FALSE(placement.pin_this_thread(existing.back() + 1)); }).join();
  EXPECT_EQ(placement.usable_cpus(), usable) << "a thread's pin is not the process's";
}

// The kernel's CPU lists, strictly. A hybrid x86 names its kinds; elsewhere
// the capacities tell them, where they differ.
TEST(LinuxPlacement, ReadsSysfs) {
  const std::pair<const char*, std::optional<Cpus>> cases[] = {
      {"0", Cpus{0}},      {"0-3,8", Cpus{0, 1, 2, 3, 8}}, {"2,4-5", Cpus{2, 4, 5}},
      {"", std::nullopt},  {"3-1", std::nullopt},          {"1,1", std::nullopt},
      {"a", std::nullopt}, {"0-", std::nullopt},           {"8192", std::nullopt}};
  for (const auto& [text, cpus] : cases) {
    EXPECT_EQ(measure::parse_kernel_cpu_list(text), cpus) << text;
  }
  const auto sysfs = std::filesystem::path(testing::TempDir()) / "sysfs";
  const auto write = [&](const std::string& path, const std::string& text) {
    std::filesystem::create_directories((sysfs / path).parent_path());
    std::ofstream(sysfs / path) << text << '\n';
  };
  std::filesystem::remove_all(sysfs);
  write("devices/system/cpu/present", "0-3");
  EXPECT_EQ(measure::cpu_kind_in(sysfs, 0), std::nullopt) << "nothing says";
  for (const auto& [cpu, capacity] : {std::pair{0, 1024}, {1, 1024}, {2, 1024}, {3, 1024}}) {
    write("devices/system/cpu/cpu" + std::to_string(cpu) + "/cpu_capacity", std::to_string(capacity));
  }
  EXPECT_EQ(measure::cpu_kind_in(sysfs, 0), std::nullopt) << "every CPU alike";
  write("devices/system/cpu/cpu3/cpu_capacity", "446");
  EXPECT_EQ(measure::cpu_kind_in(sysfs, 0), CpuKind::Performance);
  EXPECT_EQ(measure::cpu_kind_in(sysfs, 3), CpuKind::Efficiency);
  write("devices/cpu_core/cpus", "0-1");
  write("devices/cpu_atom/cpus", "2-3");
  EXPECT_EQ(measure::cpu_kind_in(sysfs, 1), CpuKind::Performance);
  EXPECT_EQ(measure::cpu_kind_in(sysfs, 2), CpuKind::Efficiency);
  EXPECT_EQ(measure::cpu_kind_in(sysfs, 7), std::nullopt);
}

}  // namespace
