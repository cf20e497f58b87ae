// Windows answers to the signals, the console and the system facts.
#include <windows.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <csignal>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

#include "measure/system_platform.hpp"

extern "C" LONG NTAPI RtlGetVersion(PRTL_OSVERSIONINFOW VersionInformation);

namespace measure {
namespace {

// Ctrl+C, Ctrl+Break and termination; the C runtime runs their handlers on a
// thread of their own, never on the sampling thread.
constexpr std::array kStopSignals{SIGINT, SIGBREAK, SIGTERM};

std::atomic<int> caught_signal{0};

void record_stop_signal(int signal) {
  int none = 0;
  caught_signal.compare_exchange_strong(none, signal);
  // The runtime resets the handler before calling it: stay in place.
  std::signal(signal, record_stop_signal);
}

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

// How many of the first `size` bytes of `text` end on a whole UTF-8 sequence:
// a character cut in two by a buffer's edge waits for the rest of it.
std::size_t whole_utf8(const char* text, std::size_t size) {
  std::size_t start = size;
  // Back over at most three continuation bytes to the lead byte.
  while (start > 0 && size - start < 4 && (static_cast<unsigned char>(text[start - 1]) & 0xC0) == 0x80) {
    --start;
  }
  if (start == 0) {
    return size;
  }
  const auto lead = static_cast<unsigned char>(text[start - 1]);
  const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  return size - (start - 1) < length ? start - 1 : size;
}

// What the program writes to a console goes to the console itself: the text
// as UTF-8 through WriteFile, its control sequences (cursor movement, line
// clearing, colours, weight, cursor visibility, line wrapping) as the
// console's own calls. The C runtime's path hands some consoles the bytes in a
// way they show as mojibake; and wine's console, even with virtual-terminal
// processing on, stores a sequence's bytes as characters of the line (which
// then overflows) and moves no cursor for it, so the frame would pile up.
class ConsoleBuffer final : public std::streambuf {
 public:
  explicit ConsoleBuffer(HANDLE console) : console_(console) {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    original_ = GetConsoleScreenBufferInfo(console_, &info) != FALSE ? info.wAttributes : kDefaultAttributes;
    setp(buffer_, buffer_ + sizeof buffer_);
  }

 protected:
  int_type overflow(int_type c) override {
    // A buffer that stays full holds one endless control sequence.
    if (pptr() == epptr() && (sync() != 0 || pptr() == epptr())) {
      return traits_type::eof();
    }
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
      *pptr() = traits_type::to_char_type(c);
      pbump(1);
    }
    return traits_type::not_eof(c);
  }

  int sync() override {
    const char* const end = pptr();
    const char* text = pbase();  // not yet written
    const char* p = text;
    bool cut = false;  // the buffer ends inside a control sequence
    while (true) {
      p = std::find_if(p, end, [](char c) { return c == '\x1B' || c == '\0'; });
      // A terminal ignores the NUL the screen library ends its frames with.
      if (p != end && *p == '\0') {
        if (!write(text, p)) {
          return -1;
        }
        text = ++p;
        continue;
      }
      if (end - p < 2) {
        cut = p != end;
        break;
      }
      if (p[1] != '[') {
        ++p;
        continue;
      }
      // Parameters, then the final byte.
      const char* final = std::find_if(p + 2, end, [](char c) { return c >= '@' && c <= '~'; });
      if (final == end) {
        cut = true;
        break;
      }
      if (!write(text, p)) {
        return -1;
      }
      apply(*final, std::string_view(p + 2, static_cast<std::size_t>(final - p - 2)));
      text = p = final + 1;
    }
    const char* const kept = cut ? p : text + whole_utf8(text, static_cast<std::size_t>(end - text));
    if (!write(text, kept)) {
      return -1;
    }
    const auto left = static_cast<std::size_t>(end - kept);
    std::memmove(buffer_, kept, left);
    setp(buffer_, buffer_ + sizeof buffer_);
    pbump(static_cast<int>(left));
    return 0;
  }

 private:
  static constexpr WORD kDefaultAttributes = FOREGROUND_RED | FOREGROUND_GREEN | FOREGROUND_BLUE;

  // A terminal's colour number (0 black, 1 red, 2 green, 4 blue; 8 and up
  // bright) as the console's colour bits.
  static WORD console_colour(int colour) {
    return static_cast<WORD>(((colour & 1) != 0 ? FOREGROUND_RED : 0) | ((colour & 2) != 0 ? FOREGROUND_GREEN : 0) |
                             ((colour & 4) != 0 ? FOREGROUND_BLUE : 0) | (colour >= 8 ? FOREGROUND_INTENSITY : 0));
  }

  // Select Graphic Rendition, as far as the console's attributes go: bold is
  // the bright colour, as consoles have always shown it.
  void select_rendition(std::string_view parameters) {
    std::vector<int> codes{0};
    for (const char c : parameters) {
      if (c == ';') {
        codes.push_back(0);
      } else if (c >= '0' && c <= '9') {
        codes.back() = std::min(codes.back() * 10 + (c - '0'), 1000);
      }
    }
    for (std::size_t i = 0; i < codes.size(); ++i) {
      const int code = codes[i];
      if (code == 0) {
        foreground_ = background_ = -1;
        bold_ = reverse_ = underline_ = false;
      } else if (code == 1 || code == 22) {
        bold_ = code == 1;
      } else if (code == 4 || code == 21 || code == 24) {
        underline_ = code != 24;
      } else if (code == 7 || code == 27) {
        reverse_ = code == 7;
      } else if ((code >= 30 && code <= 37) || (code >= 90 && code <= 97)) {
        foreground_ = code >= 90 ? code - 90 + 8 : code - 30;
      } else if ((code >= 40 && code <= 47) || (code >= 100 && code <= 107)) {
        background_ = code >= 100 ? code - 100 + 8 : code - 40;
      } else if (code == 39 || code == 49) {
        (code == 39 ? foreground_ : background_) = -1;
      } else if (code == 38 || code == 48) {
        // 256 colours or true colour, which the console has not: skipped.
        i += i + 1 < codes.size() && codes[i + 1] == 5 ? 2U : 4U;
      }
    }
    WORD foreground = foreground_ < 0 ? (original_ & 0x0F) : console_colour(foreground_);
    const WORD background = background_ < 0 ? (original_ & 0xF0) : static_cast<WORD>(console_colour(background_) << 4);
    foreground |= bold_ ? FOREGROUND_INTENSITY : 0;
    SetConsoleTextAttribute(console_,
                            static_cast<WORD>(foreground | background | (reverse_ ? COMMON_LVB_REVERSE_VIDEO : 0) |
                                              (underline_ ? COMMON_LVB_UNDERSCORE : 0)));
  }

  // One control sequence, by its final byte; those the console has no call
  // for (the cursor's shape, a request for its position) go nowhere.
  void apply(char final, std::string_view parameters) {
    if (final == 'm') {
      select_rendition(parameters);
      return;
    }
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (GetConsoleScreenBufferInfo(console_, &info) == FALSE) {
      return;
    }
    if ((final == 'h' || final == 'l') && (parameters == "?7" || parameters == "?25")) {
      if (parameters == "?25") {
        CONSOLE_CURSOR_INFO cursor{};
        GetConsoleCursorInfo(console_, &cursor);
        cursor.bVisible = final == 'h' ? TRUE : FALSE;
        SetConsoleCursorInfo(console_, &cursor);
        return;
      }
      DWORD mode = 0;
      GetConsoleMode(console_, &mode);
      SetConsoleMode(console_,
                     final == 'h' ? mode | ENABLE_WRAP_AT_EOL_OUTPUT : mode & ~DWORD{ENABLE_WRAP_AT_EOL_OUTPUT});
      return;
    }
    COORD at = info.dwCursorPosition;
    if (final == 'K' && parameters == "2") {
      const COORD start{0, at.Y};
      DWORD done = 0;
      FillConsoleOutputCharacterW(console_, L' ', static_cast<DWORD>(info.dwSize.X), start, &done);
      FillConsoleOutputAttribute(console_, info.wAttributes, static_cast<DWORD>(info.dwSize.X), start, &done);
      return;
    }
    if (parameters.find_first_not_of("0123456789") != std::string_view::npos) {
      return;
    }
    // As in a terminal: a count of 0 or none is 1, and the cursor stops at the
    // edges of the window.
    int n = 0;
    for (const char digit : parameters) {
      n = std::min(n * 10 + (digit - '0'), 10'000);
    }
    const auto steps = static_cast<SHORT>(std::max(n, 1));
    switch (final) {
      case 'A':
        at.Y = std::max<SHORT>(info.srWindow.Top, static_cast<SHORT>(at.Y - steps));
        break;
      case 'B':
        at.Y = std::min<SHORT>(info.srWindow.Bottom, static_cast<SHORT>(at.Y + steps));
        break;
      case 'C':
        at.X = std::min<SHORT>(static_cast<SHORT>(info.dwSize.X - 1), static_cast<SHORT>(at.X + steps));
        break;
      case 'D':
        at.X = std::max<SHORT>(0, static_cast<SHORT>(at.X - steps));
        break;
      default:
        return;
    }
    SetConsoleCursorPosition(console_, at);
  }

  bool write(const char* from, const char* to) const {
    while (from != to) {
      DWORD written = 0;
      if (WriteFile(console_, from, static_cast<DWORD>(to - from), &written, nullptr) == FALSE || written == 0) {
        return false;
      }
      from += written;
    }
    return true;
  }

  const HANDLE console_;
  // The attributes the console had: its default colours.
  WORD original_ = kDefaultAttributes;
  // The rendition selected: colours as a terminal numbers them (-1: the
  // default), weight, inversion, underline.
  int foreground_ = -1;
  int background_ = -1;
  bool bold_ = false;
  bool reverse_ = false;
  bool underline_ = false;
  char buffer_[8192];
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
  // Never freed: the streams are flushed once more after every destructor.
  stream.rdbuf(new ConsoleBuffer(handle));
}

bool is_console(DWORD handle) {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(handle), &mode) != 0;
}

// A string value under HKEY_LOCAL_MACHINE in UTF-8, without its padding, or "".
std::string machine_registry_string(const wchar_t* key, const wchar_t* value) {
  wchar_t text[256] = {};
  DWORD size = sizeof text;
  if (RegGetValueW(HKEY_LOCAL_MACHINE, key, value, RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS) {
    return "";
  }
  char utf8[768] = {};
  WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8 - 1, nullptr, nullptr);
  const std::string padded = utf8;
  const auto begin = padded.find_first_not_of(' ');
  return begin == std::string::npos ? "" : padded.substr(begin, padded.find_last_not_of(' ') - begin + 1);
}

}  // namespace

// Windows suspends no console program as a whole.
std::uint64_t SystemPlatform::resume_count() { return 0; }
void SystemPlatform::count_resumes_here() {}
bool SystemPlatform::suspension_requested() { return false; }
void SystemPlatform::suspend() {}

void SystemPlatform::hold_stop_signals() {}

void SystemPlatform::catch_stop_signals() {
  static const std::array<bool, kStopSignals.size()> ignored_at_start = [] {
    std::array<bool, kStopSignals.size()> ignored{};
    for (std::size_t i = 0; i < kStopSignals.size(); ++i) {
      const auto previous = std::signal(kStopSignals[i], SIG_DFL);
      ignored[i] = previous == SIG_IGN;
      std::signal(kStopSignals[i], previous);
    }
    return ignored;
  }();
  for (std::size_t i = 0; i < kStopSignals.size(); ++i) {
    std::signal(kStopSignals[i], ignored_at_start[i] ? SIG_IGN : record_stop_signal);
  }
}

int SystemPlatform::caught_stop_signal() { return caught_signal.load(); }

// Raising the signal again would end the process without running the exit
// handlers that give the console back its code pages: return the status.
int SystemPlatform::end_by_signal(int signal) { return 128 + signal; }

void SystemPlatform::prepare_console() {
  // The code pages and modes belong to the console, which outlives this
  // process and is shared with the shell: put back what it had on the way out.
  // Both pages are remembered because the terminal library switches the input
  // page as well. Without a console (output to a pipe or file) both reads give
  // 0 and the bytes go out unchanged anyway.
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

bool SystemPlatform::input_is_terminal() { return is_console(STD_INPUT_HANDLE); }
bool SystemPlatform::output_is_terminal() { return is_console(STD_OUTPUT_HANDLE); }
std::optional<int> SystemPlatform::error_terminal_width() {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info) == FALSE) {
    return std::nullopt;
  }
  return info.srWindow.Right - info.srWindow.Left + 1;
}

TerminalState SystemPlatform::terminal_state() {
  // Windows itself ends a program whose console window is closed; a console
  // that went otherwise no longer answers as one. There are no background jobs.
  return input_is_terminal() ? TerminalState::Own : TerminalState::Gone;
}

SystemInfo SystemPlatform::system_info() {
  SystemInfo info;
  info.sysname = "Windows";
  // The kernel's own answer: GetVersionEx reports an older Windows to a
  // program whose manifest does not name the newer ones.
  RTL_OSVERSIONINFOW version{};
  version.dwOSVersionInfoSize = sizeof version;
  if (RtlGetVersion(&version) == 0) {
    info.release = std::to_string(version.dwMajorVersion) + "." + std::to_string(version.dwMinorVersion) + "." +
                   std::to_string(version.dwBuildNumber);
  }
  const wchar_t* current = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
  info.version = machine_registry_string(current, L"DisplayVersion");  // "23H2"
  if (info.version.empty()) {
    info.version = machine_registry_string(current, L"ProductName");
  }
  // Windows' own names for the processor architecture, as PROCESSOR_ARCHITECTURE gives them.
  SYSTEM_INFO system{};
  GetNativeSystemInfo(&system);
  switch (system.wProcessorArchitecture) {
    case PROCESSOR_ARCHITECTURE_AMD64:
      info.machine = "AMD64";
      break;
    case PROCESSOR_ARCHITECTURE_ARM64:
      info.machine = "ARM64";
      break;
    case PROCESSOR_ARCHITECTURE_INTEL:
      info.machine = "x86";
      break;
    default:
      break;
  }
  info.cpu_model =
      machine_registry_string(L"HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", L"ProcessorNameString");
  return info;
}

}  // namespace measure
