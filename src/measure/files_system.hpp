#pragma once

// What each system provides for writing a file whole (files.hpp): one file per
// OS, files_<os>.cpp. Each failure is the system's reason, in its words.
#include <optional>
#include <string>
#include <string_view>

namespace measure::files_system {

// What a name stands for, its links followed: no file, a file, a directory,
// or something else (a device, a pipe), which is written into, not replaced.
enum class Kind { Missing, File, Directory, Other };
Kind kind_of(const std::string& file);
// The file a name leads to, its links followed, so that a link is written
// through, not replaced; the name itself where it leads nowhere yet.
std::string followed(const std::string& file);
// Why this process may not write into `file`, which exists, or nothing.
std::optional<std::string> refusal(const std::string& file);
// Makes `file` anew (never over another), with the permissions of `like`
// where that exists, writes `text` into it, flushes it to the disk and closes
// it.
std::optional<std::string> write_new(const std::string& file, std::string_view text, const std::string& like);
// Writes `text` into `file`, which exists and is no file (a device, a pipe).
std::optional<std::string> write_into(const std::string& file, std::string_view text);
// Renames `from` over `to`, replacing it.
std::optional<std::string> replace(const std::string& from, const std::string& to);
void remove(const std::string& file);
unsigned long process_id();

}  // namespace measure::files_system
