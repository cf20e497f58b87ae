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

// A device or a pipe (/dev/null, /dev/stdout, a FIFO) is written into: a
// rename would put a plain file in its place.
class SystemFiles final : public Files {
 public:
  std::optional<std::string> check_writable(const std::string& file) override {
    const std::string target = files_system::followed(file);
    switch (files_system::kind_of(target)) {
      case files_system::Kind::Directory:
        return "is a directory";
      case files_system::Kind::Other:
        if (const auto why = files_system::refusal(target)) {
          return "cannot be written: " + *why;
        }
        return std::nullopt;
      case files_system::Kind::Missing:
      case files_system::Kind::File:
        break;
    }
    const std::string temporary = temporary_beside(target);
    if (const auto failure = files_system::write_new(temporary, "", target)) {
      return "cannot be written: " + *failure;
    }
    files_system::remove(temporary);
    return std::nullopt;
  }

  std::optional<std::string> write_whole(const std::string& file, std::string_view text) override {
    const std::string target = files_system::followed(file);
    if (files_system::kind_of(target) == files_system::Kind::Other) {
      return files_system::write_into(target, text);
    }
    // A directory in the way refuses the rename.
    const std::string temporary = temporary_beside(target);
    auto failure = files_system::write_new(temporary, text, target);
    if (!failure) {
      failure = files_system::replace(temporary, target);
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
