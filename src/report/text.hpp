#pragma once

// Text as the report prints it: measured in columns, cut without splitting a
// character, and with nothing from a file that a terminal would obey.
#include <cstddef>
#include <string>
#include <string_view>

namespace report {

// The columns UTF-8 `text` takes on a terminal: one per character. The
// report's own texts hold no wide characters.
std::size_t columns(std::string_view text);

// The longest start of `text` that takes at most `width` columns.
std::string_view cut_to_columns(std::string_view text, std::size_t width);

// `text` with every control character (C0, DEL and C1) and every byte that is
// not UTF-8 written as an escape ("\x1b", "\u009b"): a name read from a file
// or given on the command line cannot move the cursor, retitle the terminal
// or start a report line of its own.
std::string printable(std::string_view text);

}  // namespace report
