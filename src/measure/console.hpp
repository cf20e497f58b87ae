#pragma once

// The console: the terminal the program runs in, as far as the program needs
// to know it. One file per OS answers (console_<os>.cpp); tests substitute a
// scripted fake.
#include <optional>

namespace measure {

// What has become of the terminal the program runs in: still its own; taken by
// the shell for another job (the program was resumed in the background); or
// gone (hung up or closed: its input at an end or failing).
enum class TerminalState { Own, Background, Gone };

class Console {
 public:
  virtual ~Console() = default;

  // The columns of the terminal on standard error, while this process is its
  // foreground job; nothing when standard error is no terminal or the
  // terminal belongs to another job.
  virtual std::optional<int> error_terminal_width() = 0;
  virtual TerminalState terminal_state() = 0;
  virtual bool input_is_terminal() = 0;
  virtual bool output_is_terminal() = 0;
  // Makes the console show UTF-8 output (emoji, "μs") and control sequences
  // as a terminal does; once, before anything is written.
  virtual void prepare_console() = 0;
};

// The operating system's console, for the program's whole life.
Console& system_console();

}  // namespace measure
