#pragma once

// Files the program writes: whole, or not at all. One file per OS
// (files_<os>.cpp).
#include <optional>
#include <string>
#include <string_view>

namespace measure {

// Why `file` could not be written, or nothing: "is a directory", or "cannot
// be written: " and the system's reason, found by making a temporary file
// beside it and removing it again, so that a missing or closed folder is
// found before any work is done.
std::optional<std::string> check_writable(const std::string& file);

// Writes `text` to `file` whole: a temporary file in the same folder, flushed
// to the disk, then renamed over `file`, so that a reader finds the old file
// or the new one, never a part. Nothing, or the system's reason for the
// failure, the temporary file removed.
std::optional<std::string> write_whole(const std::string& file, std::string_view text);

}  // namespace measure
