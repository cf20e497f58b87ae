// The time of day on Windows: the precise system time (the plain one moves
// only at the system timer's tick, 15.6 ms by default).
#include <windows.h>

#include "measure/time_of_day.hpp"

namespace measure {
namespace {

// 100 ns units from 1601-01-01 to 1970-01-01.
constexpr std::int64_t kUnixEpochUnits = 116'444'736'000'000'000;

class SystemTimeOfDay final : public TimeOfDay {
 public:
  std::int64_t utc_now_ms() override {
    FILETIME now{};
    GetSystemTimePreciseAsFileTime(&now);
    const auto units =
        static_cast<std::int64_t>((static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
    return (units - kUnixEpochUnits) / 10'000;
  }
};

}  // namespace

TimeOfDay& system_time_of_day() {
  static SystemTimeOfDay time_of_day;
  return time_of_day;
}

}  // namespace measure
