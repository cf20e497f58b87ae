// How far a figure moved: exact, and saturated where 64 signed bits end.
#include "report/comparison.hpp"

#include <gtest/gtest.h>

#include <limits>

namespace {

TEST(Comparison, ChangeNeverOverflows) {
  constexpr auto kMost = std::numeric_limits<std::int64_t>::max();
  constexpr auto kAll = std::numeric_limits<std::uint64_t>::max();
  EXPECT_EQ(report::change(990, 1000), 10);
  EXPECT_EQ(report::change(1000, 990), -10);
  EXPECT_EQ(report::change(9223372036854775808U, 0), -kMost);
  EXPECT_EQ(report::change(0, kAll), kMost);
  EXPECT_EQ(report::change(kAll, 0), -kMost);
  EXPECT_EQ(report::change(std::nullopt, 5), std::nullopt);
  EXPECT_EQ(report::change(5, std::nullopt), std::nullopt);
}

}  // namespace
