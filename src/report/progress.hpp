#pragma once

// The line on standard error's terminal that shows a report's progress.
#include <chrono>
#include <cstddef>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "measure/wait_methods.hpp"

namespace report {

// "Measuring 1000 each: Sleep 12, BusyWait 12, HighPrecisionSleep 11; 0.2 s";
// in several conditions, each method's count over them all: "Measuring 2 ×
// 1000 each: Sleep 24, ..."; for a run of a set `duration` "Measuring for 3m:
// Sleep 12, BusyWait 12; 0:02 elapsed, 2:58 left".
std::string progress_text(const std::vector<measure::SleepMode>& modes, const std::vector<std::size_t>& counts,
                          std::size_t wanted, std::size_t conditions, double seconds, bool short_names,
                          std::optional<std::chrono::seconds> duration = std::nullopt);

// One line, redrawn in place: carriage return, the text, spaces over the
// rest of the last one. Cut to the terminal's width (counted in characters),
// or the terminal would wrap it and the carriage return redraw only its last
// row; not drawn while the terminal belongs to another job, which `width`
// tells by answering nothing. Cleared when done; after an interrupt it stays,
// ended, so that the terminal's echo of the key stays beside it.
class ProgressLine {
 public:
  ProgressLine(std::ostream& err, std::function<std::optional<int>()> width,
               const std::vector<measure::SleepMode>& modes, std::size_t wanted, std::size_t conditions = 1,
               std::optional<std::chrono::seconds> duration = std::nullopt);
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  // `elapsed`: measuring time, suspensions left out.
  void show(const std::string& prefix, const std::vector<std::size_t>& counts,
            std::chrono::steady_clock::duration elapsed);
  void finish(bool interrupted);

 private:
  void draw(const std::string& text);

  std::ostream& err_;
  std::function<std::optional<int>()> width_of_terminal_;
  const std::vector<measure::SleepMode>& modes_;
  const std::size_t wanted_;
  const std::size_t conditions_;
  const std::optional<std::chrono::seconds> duration_;
  std::size_t room_ = 0;
  bool short_names_ = false;
  std::size_t drawn_ = 0;  // columns of the line on screen
};

}  // namespace report
