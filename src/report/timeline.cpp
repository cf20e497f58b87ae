#include "report/timeline.hpp"

#include <chrono>

#include <fmt/format.h>

namespace report {

std::string utc_text(std::int64_t utc_ms) {
  using namespace std::chrono;
  const sys_time<milliseconds> time{milliseconds(utc_ms)};
  const auto day = floor<days>(time);
  const year_month_day date{day};
  const hh_mm_ss<milliseconds> clock{time - day};
  return fmt::format("{:04}-{:02}-{:02}T{:02}:{:02}:{:02}.{:03}Z", static_cast<int>(date.year()),
                     static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()), clock.hours().count(),
                     clock.minutes().count(), clock.seconds().count(), clock.subseconds().count());
}

}  // namespace report
