#pragma once

#include <atomic>
#include <cstdint>

#include "measure/time_of_day.hpp"

namespace testing_support {

// A clock that starts at 2026-12-07T03:12:00.000Z and moves `step_ms` on at
// every reading, from any thread.
class FakeTimeOfDay : public measure::TimeOfDay {
 public:
  static constexpr std::int64_t kStart = 1'796'613'120'000;
  std::atomic<std::int64_t> now_ms{kStart};
  std::atomic<std::int64_t> step_ms{1};
  std::int64_t utc_now_ms() override { return now_ms.fetch_add(step_ms); }
};

}  // namespace testing_support
