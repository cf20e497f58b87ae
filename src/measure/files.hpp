#pragma once

// Files the program writes: whole, or not at all. The flow is one
// (files.cpp), each system only its calls (files_<os>.cpp); tests substitute
// a fake.
#include <optional>
#include <string>
#include <string_view>

namespace measure {

class Files {
 public:
  virtual ~Files() = default;

  // Why `file` could not be written, or nothing: "is a directory", or
  // "cannot be written: " and the system's reason, found by making a
  // temporary file beside it and removing it again, so that a missing or
  // closed folder is found before any work is done.
  virtual std::optional<std::string> check_writable(const std::string& file) = 0;

  // Writes `text` to `file` whole: a temporary file in the same folder,
  // flushed to the disk, then renamed over `file`, so that a reader finds the
  // old file or the new one, never a part. Nothing, or the system's reason
  // for the failure, the temporary file removed and `file` as it was.
  virtual std::optional<std::string> write_whole(const std::string& file, std::string_view text) = 0;
};

// The operating system's files, for the program's whole life.
Files& system_files();

}  // namespace measure
