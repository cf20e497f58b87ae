// Windows answers to the console: code pages and modes, the streams sent
// through the console's own calls, the terminal's ends and width.
#include <windows.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "measure/console.hpp"
#include "measure/console_translation_windows.hpp"

namespace measure {
namespace {

UINT original_output_cp = 0;
UINT original_input_cp = 0;

// Standard output and standard error, when they are consoles: the handle and
// the mode it had before the program changed it.
struct ConsoleEnd {
  HANDLE handle = nullptr;
  DWORD original_mode = 0;
};
std::array<ConsoleEnd, 2> console_ends;

void restore_console() {
  // Output still buffered was written for the UTF-8 page: send it first.
  std::cout.flush();
  std::cerr.flush();
  std::fflush(stdout);
  for (const ConsoleEnd& end : console_ends) {
    if (end.handle != nullptr) {
      SetConsoleMode(end.handle, end.original_mode);
    }
  }
  if (original_output_cp != 0) {
    SetConsoleOutputCP(original_output_cp);
  }
  if (original_input_cp != 0) {
    SetConsoleCP(original_input_cp);
  }
}

// The translation's calls, made on the console behind `handle`.
class ScreenBufferSink final : public ConsoleSink {
 public:
  explicit ScreenBufferSink(HANDLE console) : console_(console) {}

  bool write_text(std::string_view utf8) override {
    while (!utf8.empty()) {
      DWORD written = 0;
      if (WriteFile(console_, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr) == FALSE ||
          written == 0) {
        return false;
      }
      utf8.remove_prefix(written);
    }
    return true;
  }

  std::optional<ConsoleCursor> cursor() override {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (GetConsoleScreenBufferInfo(console_, &info) == FALSE) {
      return std::nullopt;
    }
    return ConsoleCursor{info.dwCursorPosition.X, info.dwCursorPosition.Y, info.dwSize.X, info.srWindow.Top,
                         info.srWindow.Bottom};
  }

  void move_cursor(int column, int row) override {
    SetConsoleCursorPosition(console_, COORD{static_cast<SHORT>(column), static_cast<SHORT>(row)});
  }

  void erase_row(int row) override {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (GetConsoleScreenBufferInfo(console_, &info) == FALSE) {
      return;
    }
    const COORD start{0, static_cast<SHORT>(row)};
    DWORD done = 0;
    FillConsoleOutputCharacterW(console_, L' ', static_cast<DWORD>(info.dwSize.X), start, &done);
    FillConsoleOutputAttribute(console_, info.wAttributes, static_cast<DWORD>(info.dwSize.X), start, &done);
  }

  void set_attributes(std::uint16_t attributes) override { SetConsoleTextAttribute(console_, attributes); }

  void show_cursor(bool visible) override {
    CONSOLE_CURSOR_INFO cursor{};
    GetConsoleCursorInfo(console_, &cursor);
    cursor.bVisible = visible ? TRUE : FALSE;
    SetConsoleCursorInfo(console_, &cursor);
  }

  void wrap_at_end_of_line(bool wrap) override {
    DWORD mode = 0;
    GetConsoleMode(console_, &mode);
    SetConsoleMode(console_, wrap ? mode | ENABLE_WRAP_AT_EOL_OUTPUT : mode & ~DWORD{ENABLE_WRAP_AT_EOL_OUTPUT});
  }

 private:
  const HANDLE console_;
};

// Sends `stream` to the console behind `id` when it is one, escape sequences
// interpreted; anything else (a file, a pipe) gets the bytes as they are.
void write_through_console(std::ostream& stream, DWORD id, ConsoleEnd& end) {
  const HANDLE handle = GetStdHandle(id);
  DWORD mode = 0;
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE || GetConsoleMode(handle, &mode) == 0) {
    return;
  }
  end = {handle, mode};
  SetConsoleMode(handle, mode | ENABLE_PROCESSED_OUTPUT | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
  stream.flush();
  // The attributes the console had: its default colours.
  CONSOLE_SCREEN_BUFFER_INFO info{};
  const WORD colours = GetConsoleScreenBufferInfo(handle, &info) != FALSE
                           ? info.wAttributes
                           : static_cast<WORD>(FOREGROUND_RED | FOREGROUND_GREEN | FOREGROUND_BLUE);
  // Never freed: the streams are flushed once more after every destructor.
  stream.rdbuf(new ConsoleTranslation(*new ScreenBufferSink(handle), colours));
}

bool is_console(DWORD handle) {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(handle), &mode) != 0;
}

class SystemConsole final : public Console {
 public:
  void prepare_console() override {
    // The code pages and modes belong to the console, which outlives this
    // process and is shared with the shell: put back what it had on the way
    // out. Both pages are remembered because the terminal library switches the
    // input page as well. Without a console (output to a pipe or file) both
    // reads give 0 and the bytes go out unchanged anyway.
    static bool prepared = false;
    if (prepared) {
      return;
    }
    prepared = true;
    original_output_cp = GetConsoleOutputCP();
    original_input_cp = GetConsoleCP();
    write_through_console(std::cout, STD_OUTPUT_HANDLE, console_ends[0]);
    write_through_console(std::cerr, STD_ERROR_HANDLE, console_ends[1]);
    if (original_output_cp != 0 || original_input_cp != 0) {
      std::atexit(restore_console);
    }
    SetConsoleOutputCP(CP_UTF8);
  }

  bool input_is_terminal() override { return is_console(STD_INPUT_HANDLE); }
  bool output_is_terminal() override { return is_console(STD_OUTPUT_HANDLE); }

  std::optional<int> error_terminal_width() override {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info) == FALSE) {
      return std::nullopt;
    }
    return info.srWindow.Right - info.srWindow.Left + 1;
  }

  TerminalState terminal_state() override {
    // Windows itself ends a program whose console window is closed; a console
    // that went otherwise no longer answers as one. There are no background
    // jobs.
    return input_is_terminal() ? TerminalState::Own : TerminalState::Gone;
  }
};

}  // namespace

Console& system_console() {
  static SystemConsole console;
  return console;
}

}  // namespace measure
