#pragma once

// The time of day, as a report names the moment of a window or a spike. One
// file per OS answers (time_of_day_<os>.cpp); tests substitute a fake.
#include <cstdint>

namespace measure {

class TimeOfDay {
 public:
  virtual ~TimeOfDay() = default;

  // Milliseconds since 1970-01-01 00:00 UTC, as the system's clock has it now.
  virtual std::int64_t utc_now_ms() = 0;
};

// The operating system's, for the program's whole life.
TimeOfDay& system_time_of_day();

}  // namespace measure
