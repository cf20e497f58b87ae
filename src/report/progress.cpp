#include "report/progress.hpp"

#include <algorithm>
#include <ostream>

#include <fmt/format.h>

#include "report/run_length.hpp"
#include "report/text.hpp"

namespace report {
namespace {

// "2:58", "7:02:03": whole seconds, hours only where there are any.
std::string clock_text(std::int64_t seconds) {
  return seconds >= 3600 ? fmt::format("{}:{:02}:{:02}", seconds / 3600, seconds / 60 % 60, seconds % 60)
                         : fmt::format("{}:{:02}", seconds / 60, seconds % 60);
}

}  // namespace

std::string progress_text(const std::vector<measure::SleepMode>& modes, const std::vector<std::size_t>& counts,
                          std::size_t wanted, std::size_t conditions, double seconds, bool short_names,
                          std::optional<std::chrono::seconds> duration) {
  std::string text = duration         ? fmt::format("Measuring for {}:", time_text(*duration))
                     : conditions > 1 ? fmt::format("Measuring {} × {} each:", conditions, wanted)
                                      : fmt::format("Measuring {} each:", wanted);
  for (std::size_t i = 0; i < modes.size(); ++i) {
    const measure::WaitMethod* method = measure::find_method(modes[i]);
    text += fmt::format("{} {} {}", i == 0 ? "" : ",", short_names ? method->option : method->name, counts[i]);
  }
  if (!duration) {
    return text + fmt::format("; {:.1f} s", seconds);
  }
  const auto done = std::min(static_cast<std::int64_t>(seconds), static_cast<std::int64_t>(duration->count()));
  return text + fmt::format("; {} elapsed, {} left", clock_text(done), clock_text(duration->count() - done));
}

ProgressLine::ProgressLine(std::ostream& err, std::function<std::optional<int>()> width,
                           const std::vector<measure::SleepMode>& modes, std::size_t wanted, std::size_t conditions,
                           std::optional<std::chrono::seconds> duration)
    : err_(err),
      width_of_terminal_(std::move(width)),
      modes_(modes),
      wanted_(wanted),
      conditions_(conditions),
      duration_(duration) {}

void ProgressLine::show(const std::string& prefix, const std::vector<std::size_t>& counts,
                        std::chrono::steady_clock::duration elapsed) {
  const auto width = width_of_terminal_();
  if (!width) {
    return;
  }
  // The last column left free: writing into it makes some terminals wrap.
  const auto room = static_cast<std::size_t>(std::max(*width - 1, 0));
  if (room != room_) {
    // The short names where the longest line (every count full, some 25 ms
    // a step; in a run of a set duration, counts of ten digits) would not
    // fit, so that they do not change as the counts grow.
    const std::vector<std::size_t> full(modes_.size(), duration_ ? std::size_t{9'999'999'999} : wanted_ * conditions_);
    const double longest = 0.025 * static_cast<double>(wanted_ * conditions_ * modes_.size());
    room_ = room;
    short_names_ =
        columns(prefix + progress_text(modes_, full, wanted_, conditions_, longest, false, duration_)) > room;
  }
  const double seconds = std::chrono::duration<double>(elapsed).count();
  draw(std::string(cut_to_columns(
      prefix + progress_text(modes_, counts, wanted_, conditions_, seconds, short_names_, duration_), room)));
}

void ProgressLine::finish(bool interrupted) {
  if (drawn_ == 0) {
    return;
  }
  if (interrupted) {
    err_ << std::endl;
  } else {
    draw("");
    err_ << '\r' << std::flush;
  }
}

void ProgressLine::draw(const std::string& text) {
  const std::size_t width = columns(text);
  err_ << '\r' << text << std::string(drawn_ > width ? drawn_ - width : 0, ' ') << std::flush;
  drawn_ = width;
}

}  // namespace report
