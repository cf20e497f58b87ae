#pragma once

#include <map>
#include <string>
#include <vector>

#include "measure/files.hpp"

namespace testing_support {

// Files kept in memory: each whole write replaces the file at once, as the
// system's does; the `fail_at`th write (0: none) fails as a full disk does,
// leaving the file as it was.
class FakeFiles : public measure::Files {
 public:
  std::map<std::string, std::string> files;
  // Every text written whole, in order, and the writes tried.
  std::vector<std::string> written;
  int writes = 0;
  int fail_at = 0;
  // What check_writable says of a file; nothing for the others.
  std::map<std::string, std::string> refused;

  std::optional<std::string> check_writable(const std::string& file) override {
    const auto refusal = refused.find(file);
    return refusal == refused.end() ? std::nullopt : std::optional(refusal->second);
  }
  std::optional<std::string> write_whole(const std::string& file, std::string_view text) override {
    if (++writes == fail_at) {
      return "No space left on device";
    }
    files[file] = text;
    written.emplace_back(text);
    return std::nullopt;
  }
};

}  // namespace testing_support
