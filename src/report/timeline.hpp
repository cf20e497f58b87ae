#pragma once

// A run cut into windows of time: what each window saw of a method, and the
// moments in UTC as a report writes them.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace report {

// One window of one method: when it began, how much measuring time it
// spanned, its waits, and their median, 99th percentile and longest, counted
// in the bounded histogram (exact up to its bound, within its error above).
struct WindowFigures {
  std::int64_t start_utc_ms = 0;
  double seconds = 0.0;
  std::uint64_t count = 0;
  std::uint64_t p50 = 0, p99 = 0, max = 0;
};

// "2026-12-07T03:12:27.123Z", from milliseconds since 1970 UTC.
std::string utc_text(std::int64_t utc_ms);
// The milliseconds since 1970 UTC that utc_text wrote (its milliseconds may
// be left out); nothing for any other text.
std::optional<std::int64_t> utc_ms_of(std::string_view text);

}  // namespace report
