#include "report/timeline.hpp"

#include <charconv>
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

std::optional<std::int64_t> utc_ms_of(std::string_view text) {
  using namespace std::chrono;
  // "2026-12-07T03:12:27.123Z": each number at its place, of its width.
  const auto field = [text](std::size_t at, std::size_t width) -> std::optional<int> {
    int value = 0;
    if (at + width > text.size()) {
      return std::nullopt;
    }
    const char* first = text.data() + at;
    const auto [end, error] = std::from_chars(first, first + width, value);
    return error == std::errc{} && end == first + width && first[0] != '-' && first[0] != '+' ? std::optional(value)
                                                                                              : std::nullopt;
  };
  const bool with_ms = text.size() == 24;
  if ((text.size() != 20 && !with_ms) || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' ||
      text[16] != ':' || text.back() != 'Z' || (with_ms && text[19] != '.')) {
    return std::nullopt;
  }
  const auto y = field(0, 4), mo = field(5, 2), d = field(8, 2), h = field(11, 2), mi = field(14, 2), s = field(17, 2);
  const auto ms = with_ms ? field(20, 3) : std::optional(0);
  if (!y || !mo || !d || !h || !mi || !s || !ms || *h > 23 || *mi > 59 || *s > 59) {
    return std::nullopt;
  }
  const year_month_day date{year(*y), month(static_cast<unsigned>(*mo)), day(static_cast<unsigned>(*d))};
  if (!date.ok()) {
    return std::nullopt;
  }
  const auto time = sys_days(date) + hours(*h) + minutes(*mi) + seconds(*s) + milliseconds(*ms);
  return time_point_cast<milliseconds>(time).time_since_epoch().count();
}

}  // namespace report
