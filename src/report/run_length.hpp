#pragma once

// How long a report of a set duration runs, and the windows it is cut into.
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "report/options.hpp"

namespace report {

// A report holds at most this many windows per resolution: a week of minutes.
inline constexpr std::uint64_t kMostWindows = 7 * 24 * 60;

// The windows a run of `options` is cut into: --window, or a minute, or the
// whole run where that is shorter; the whole run without --duration.
std::optional<std::chrono::seconds> window_length(const ReportOptions& options);

// How many windows of `window` a run of `duration` is cut into, the last
// one shorter where `window` does not divide it.
std::uint64_t window_count(std::chrono::seconds duration, std::chrono::seconds window);

// `text` as a time in whole seconds, minutes or hours ("90s", "30m", "8h"),
// its number read as decimal() reads one, from `lowest` to `highest`;
// nothing for anything else.
std::optional<std::chrono::seconds> time_span(std::string_view text, std::chrono::seconds lowest,
                                              std::chrono::seconds highest);
// --duration and --window: a time from a second to a week into `into`;
// nothing, or what is wrong (the library puts the option's name before it).
std::string read_time(const std::string& text, std::optional<std::chrono::seconds>& into);
// "90s", "30m", "8h": the largest unit that gives a whole number.
std::string time_text(std::chrono::seconds time);

// What is wrong with the options taken together, as a line for standard
// error: --window longer than --duration, or cutting it into more than
// kMostWindows windows; nothing when they fit.
std::optional<std::string> options_conflict(const ReportOptions& options);

}  // namespace report
