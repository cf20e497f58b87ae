#include "measure/files.hpp"

#include <atomic>

#include "measure/files_system.hpp"

namespace measure {
namespace {

// A name beside `file` that no other writer picks: this process's, numbered.
std::string temporary_beside(const std::string& file) {
  static std::atomic<unsigned> next{0};
  return file + ".quorvane-" + std::to_string(files_system::process_id()) + "-" + std::to_string(next++) + ".tmp";
}

class SystemFiles final : public Files {
 public:
  std::optional<std::string> check_writable(const std::string& file) override {
    if (files_system::is_directory(file)) {
      return "is a directory";
    }
    const std::string temporary = temporary_beside(file);
    if (const auto failure = files_system::write_new(temporary, "")) {
      return "cannot be written: " + *failure;
    }
    files_system::remove(temporary);
    return std::nullopt;
  }

  std::optional<std::string> write_whole(const std::string& file, std::string_view text) override {
    // A directory in the way refuses the rename.
    const std::string temporary = temporary_beside(file);
    auto failure = files_system::write_new(temporary, text);
    if (!failure) {
      failure = files_system::replace(temporary, file);
    }
    if (failure) {
      files_system::remove(temporary);
    }
    return failure;
  }
};

}  // namespace

Files& system_files() {
  static SystemFiles files;
  return files;
}

}  // namespace measure
