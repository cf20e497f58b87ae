#include "report/run_length.hpp"

#include <algorithm>

#include <fmt/format.h>

#include "report/text.hpp"

namespace report {

std::optional<std::chrono::seconds> time_span(std::string_view text, std::chrono::seconds lowest,
                                              std::chrono::seconds highest) {
  if (text.empty()) {
    return std::nullopt;
  }
  const char unit = text.back();
  const std::uint64_t scale = unit == 's' ? 1 : unit == 'm' ? 60 : unit == 'h' ? 3600 : 0;
  const auto lowest_s = static_cast<std::uint64_t>(lowest.count());
  const auto highest_s = static_cast<std::uint64_t>(highest.count());
  const auto number = scale == 0 ? std::nullopt : decimal(text.substr(0, text.size() - 1), 0, highest_s / scale);
  if (!number || *number * scale < lowest_s) {
    return std::nullopt;
  }
  return std::chrono::seconds(*number * scale);
}

std::string time_text(std::chrono::seconds time) {
  const auto s = time.count();
  return s % 3600 == 0 ? fmt::format("{}h", s / 3600)
         : s % 60 == 0 ? fmt::format("{}m", s / 60)
                       : fmt::format("{}s", s);
}

std::string read_time(const std::string& text, std::optional<std::chrono::seconds>& into) {
  constexpr std::chrono::seconds kShortest{1}, kLongest = std::chrono::hours(7 * 24);
  const auto time = time_span(text, kShortest, kLongest);
  if (!time) {
    return fmt::format("accepts a time in whole seconds, minutes or hours (90s, 30m, 8h) from {} to {}, not \"{}\"",
                       time_text(kShortest), time_text(kLongest), printable(text));
  }
  into = time;
  return std::string();
}

std::optional<std::chrono::seconds> window_length(const ReportOptions& options) {
  if (!options.duration) {
    return std::nullopt;
  }
  return options.window ? *options.window : std::min<std::chrono::seconds>(std::chrono::minutes(1), *options.duration);
}

std::uint64_t window_count(std::chrono::seconds duration, std::chrono::seconds window) {
  return static_cast<std::uint64_t>((duration + window - std::chrono::seconds(1)) / window);
}

std::optional<std::string> options_conflict(const ReportOptions& options) {
  const auto window = window_length(options);
  if (!window) {
    return std::nullopt;
  }
  if (*window > *options.duration) {
    return fmt::format("quorvane: --window {} is longer than --duration {}", time_text(*window),
                       time_text(*options.duration));
  }
  const std::uint64_t windows = window_count(*options.duration, *window);
  if (windows > kMostWindows) {
    return fmt::format("quorvane: --window {} cuts --duration {} into {} windows; a report holds at most {}",
                       time_text(*window), time_text(*options.duration), windows, kMostWindows);
  }
  return std::nullopt;
}

}  // namespace report
