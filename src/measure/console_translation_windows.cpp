#include "measure/console_translation_windows.hpp"

#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

namespace measure {
namespace {

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

// A terminal's colour number (0 black, 1 red, 2 green, 4 blue; 8 and up
// bright) as the console's colour bits.
WORD console_colour(int colour) {
  return static_cast<WORD>(((colour & 1) != 0 ? FOREGROUND_RED : 0) | ((colour & 2) != 0 ? FOREGROUND_GREEN : 0) |
                           ((colour & 4) != 0 ? FOREGROUND_BLUE : 0) | (colour >= 8 ? FOREGROUND_INTENSITY : 0));
}

}  // namespace

ConsoleTranslation::ConsoleTranslation(ConsoleSink& sink, std::uint16_t default_attributes)
    : sink_(sink), default_attributes_(default_attributes) {
  setp(buffer_, buffer_ + sizeof buffer_);
}

ConsoleTranslation::int_type ConsoleTranslation::overflow(int_type c) {
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

int ConsoleTranslation::sync() {
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

// Bold is the bright colour, as consoles have always shown it.
void ConsoleTranslation::select_rendition(std::string_view parameters) {
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
  WORD foreground = foreground_ < 0 ? (default_attributes_ & 0x0F) : console_colour(foreground_);
  const WORD background =
      background_ < 0 ? (default_attributes_ & 0xF0) : static_cast<WORD>(console_colour(background_) << 4);
  foreground |= bold_ ? FOREGROUND_INTENSITY : 0;
  sink_.set_attributes(static_cast<WORD>(foreground | background | (reverse_ ? COMMON_LVB_REVERSE_VIDEO : 0) |
                                         (underline_ ? COMMON_LVB_UNDERSCORE : 0)));
}

// Those the console has no call for (the cursor's shape, a request for its
// position) go nowhere.
void ConsoleTranslation::apply(char final, std::string_view parameters) {
  if (final == 'm') {
    select_rendition(parameters);
  } else if ((final == 'h' || final == 'l') && parameters == "?25") {
    sink_.show_cursor(final == 'h');
  } else if ((final == 'h' || final == 'l') && parameters == "?7") {
    sink_.wrap_at_end_of_line(final == 'h');
  } else if (final == 'K' && parameters == "2") {
    if (const auto at = sink_.cursor()) {
      sink_.erase_row(at->row);
    }
  } else if (final >= 'A' && final <= 'D') {
    move(final, parameters);
  }
}

// As in a terminal: a count of 0 or none is 1, and the cursor stops at the
// edges of the window.
void ConsoleTranslation::move(char direction, std::string_view parameters) {
  if (parameters.find_first_not_of("0123456789") != std::string_view::npos) {
    return;
  }
  const auto at = sink_.cursor();
  if (!at) {
    return;
  }
  int n = 0;
  for (const char digit : parameters) {
    n = std::min(n * 10 + (digit - '0'), 10'000);
  }
  const int steps = std::max(n, 1);
  int column = at->column;
  int row = at->row;
  switch (direction) {
    case 'A':
      row = std::max(at->top, row - steps);
      break;
    case 'B':
      row = std::min(at->bottom, row + steps);
      break;
    case 'C':
      column = std::min(at->columns - 1, column + steps);
      break;
    default:
      column = std::max(0, column - steps);
      break;
  }
  sink_.move_cursor(column, row);
}

bool ConsoleTranslation::write(const char* from, const char* to) {
  return from == to || sink_.write_text(std::string_view(from, static_cast<std::size_t>(to - from)));
}

}  // namespace measure
