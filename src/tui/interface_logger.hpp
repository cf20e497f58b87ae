#pragma once

#include <memory>
#include <string>
#include <vector>

#include <spdlog/logger.h>

namespace tui {

// The logger registered as "main"; without one, a coloured standard-output
// logger named "main-tui", created once and reused.
std::shared_ptr<spdlog::logger> interface_logger();

// Whether the user asked for no colours: NO_COLOR set and not empty.
bool no_colour_requested();

// A logger registered as `name` that writes its lines to std::cout, the
// level's name coloured when standard output is a `terminal` and the user
// did not ask for no colours. Through std::cout the lines take the frame's path
// to the terminal (on Windows, the console's own calls) and keep their order
// with it.
std::shared_ptr<spdlog::logger> console_logger(const std::string& name, bool terminal);

// Holds the lines `logger` writes while this lives and then writes them, in
// order. While the screen owns the terminal a line written to it lands among
// the bytes of a frame and the next frame paints over it.
class HeldLogLines {
 public:
  explicit HeldLogLines(std::shared_ptr<spdlog::logger> logger);
  HeldLogLines(const HeldLogLines&) = delete;
  HeldLogLines& operator=(const HeldLogLines&) = delete;
  ~HeldLogLines();

 private:
  class Holder;
  std::shared_ptr<spdlog::logger> logger_;
  std::shared_ptr<Holder> holder_;
  // The logger's own sinks while it writes to the holder.
  std::vector<spdlog::sink_ptr> sinks_;
};

}  // namespace tui
