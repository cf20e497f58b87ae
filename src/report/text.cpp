#include "report/text.hpp"

#include <fmt/format.h>

namespace report {
namespace {

bool continuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// The length of the well-formed UTF-8 character at the start of `text`, or 0.
std::size_t character_length(std::string_view text) {
  const auto lead = static_cast<unsigned char>(text[0]);
  const std::size_t length = lead < 0x80             ? 1
                             : (lead & 0xE0) == 0xC0 ? 2
                             : (lead & 0xF0) == 0xE0 ? 3
                             : (lead & 0xF8) == 0xF0 ? 4
                                                     : 0;
  if (length == 0 || length > text.size() || (length == 2 && lead < 0xC2)) {
    return 0;
  }
  for (std::size_t i = 1; i < length; ++i) {
    if (!continuation(static_cast<unsigned char>(text[i]))) {
      return 0;
    }
  }
  if (length < 3) {
    return length;
  }
  const auto second = static_cast<unsigned char>(text[1]);
  // Overlong forms, UTF-16 surrogates and values past U+10FFFF.
  if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second >= 0xA0) || (lead == 0xF0 && second < 0x90) ||
      (lead == 0xF4 && second >= 0x90) || lead > 0xF4) {
    return 0;
  }
  return length;
}

}  // namespace

std::size_t columns(std::string_view text) {
  std::size_t count = 0;
  for (const char byte : text) {
    count += continuation(static_cast<unsigned char>(byte)) ? 0U : 1U;
  }
  return count;
}

std::string_view cut_to_columns(std::string_view text, std::size_t width) {
  std::size_t end = 0;
  for (std::size_t taken = 0; end < text.size(); ++taken) {
    if (taken == width) {
      break;
    }
    ++end;
    while (end < text.size() && continuation(static_cast<unsigned char>(text[end]))) {
      ++end;
    }
  }
  return text.substr(0, end);
}

std::string printable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    const std::size_t length = character_length(text);
    const auto lead = static_cast<unsigned char>(text[0]);
    if (length == 0) {
      out += fmt::format("\\x{:02x}", lead);
      text.remove_prefix(1);
      continue;
    }
    if (lead < 0x20 || lead == 0x7F) {
      out += fmt::format("\\x{:02x}", lead);
    } else if (lead == 0xC2 && static_cast<unsigned char>(text[1]) < 0xA0) {
      out += fmt::format("\\u{:04x}", static_cast<unsigned char>(text[1]));
    } else {
      out.append(text.substr(0, length));
    }
    text.remove_prefix(length);
  }
  return out;
}

}  // namespace report
