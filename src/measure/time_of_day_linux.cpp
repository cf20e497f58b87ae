// The time of day on Linux: the real-time clock, read through the vDSO.
#include <time.h>

#include "measure/time_of_day.hpp"

namespace measure {
namespace {

class SystemTimeOfDay final : public TimeOfDay {
 public:
  std::int64_t utc_now_ms() override {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
  }
};

}  // namespace

TimeOfDay& system_time_of_day() {
  static SystemTimeOfDay time_of_day;
  return time_of_day;
}

}  // namespace measure
