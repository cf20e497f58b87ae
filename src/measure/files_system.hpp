#pragma once

// What each system provides for writing a file whole (files.hpp): one file per
// OS, files_<os>.cpp. Each failure is the system's reason, in its words.
#include <optional>
#include <string>
#include <string_view>

namespace measure::files_system {

bool is_directory(const std::string& file);
// Makes `file` anew (never over another), writes `text` into it, flushes it
// to the disk and closes it.
std::optional<std::string> write_new(const std::string& file, std::string_view text);
// Renames `from` over `to`, replacing it.
std::optional<std::string> replace(const std::string& from, const std::string& to);
void remove(const std::string& file);
unsigned long process_id();

}  // namespace measure::files_system
