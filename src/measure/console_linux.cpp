// Linux answers to the console: the terminal's ends, its width, and whose it is.
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <array>

#include "measure/console.hpp"

namespace measure {
namespace {

class SystemConsole final : public Console {
 public:
  // A terminal takes UTF-8 and control sequences as they are.
  void prepare_console() override {}

  bool input_is_terminal() override { return isatty(STDIN_FILENO) == 1; }
  bool output_is_terminal() override { return isatty(STDOUT_FILENO) == 1; }

  std::optional<int> error_terminal_width() override {
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) {
      return std::nullopt;
    }
    // A job in the background would write over the shell's prompt.
    const pid_t foreground = tcgetpgrp(STDERR_FILENO);
    if (foreground > 0 && foreground != getpgrp()) {
      return std::nullopt;
    }
    return size.ws_col;
  }

  TerminalState terminal_state() override {
    // A hung-up or closed terminal reports a hang-up or an error on both ends;
    // reading it gives end of input, or EIO, for ever.
    std::array<pollfd, 2> ends{{{STDIN_FILENO, POLLIN, 0}, {STDOUT_FILENO, POLLOUT, 0}}};
    if (poll(ends.data(), ends.size(), 0) >= 0) {
      for (const pollfd& end : ends) {
        if ((end.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
          return TerminalState::Gone;
        }
      }
    }
    // Not the terminal's foreground job: the shell has given it to another.
    const pid_t foreground = tcgetpgrp(STDIN_FILENO);
    return foreground > 0 && foreground != getpgrp() ? TerminalState::Background : TerminalState::Own;
  }
};

}  // namespace

Console& system_console() {
  static SystemConsole console;
  return console;
}

}  // namespace measure
