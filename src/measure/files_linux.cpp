// Files written whole on Linux: a temporary file beside the old, renamed over
// it, which replaces it in one step for every reader.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "measure/files.hpp"

namespace measure {
namespace {

std::string reason(int error) { return std::strerror(error); }

// A name beside `file` that no other writer picks: this process's, numbered.
std::string temporary_beside(const std::string& file) {
  static std::atomic<unsigned> next{0};
  return file + ".quorvane-" + std::to_string(getpid()) + "-" + std::to_string(next++) + ".tmp";
}

// Made anew, as any new file is (the umask applies).
int create(const std::string& name) { return open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666); }

bool is_directory(const std::string& file) {
  struct stat status {};
  return stat(file.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

class SystemFiles final : public Files {
 public:
  std::optional<std::string> check_writable(const std::string& file) override {
    if (is_directory(file)) {
      return "is a directory";
    }
    const std::string temporary = temporary_beside(file);
    const int fd = create(temporary);
    if (fd < 0) {
      return "cannot be written: " + reason(errno);
    }
    close(fd);
    unlink(temporary.c_str());
    return std::nullopt;
  }

  std::optional<std::string> write_whole(const std::string& file, std::string_view text) override {
    if (is_directory(file)) {
      return reason(EISDIR);
    }
    const std::string temporary = temporary_beside(file);
    const int fd = create(temporary);
    if (fd < 0) {
      return reason(errno);
    }
    int error = 0;
    for (std::size_t done = 0; done < text.size() && error == 0;) {
      const ssize_t wrote = write(fd, text.data() + done, text.size() - done);
      if (wrote < 0 && errno != EINTR) {
        error = errno;
      }
      done += wrote > 0 ? static_cast<std::size_t>(wrote) : 0;
    }
    // On the disk before the rename: after a crash, the old file or the new.
    if (error == 0 && fsync(fd) != 0) {
      error = errno;
    }
    // Some file systems report a full disk only here.
    if (close(fd) != 0 && error == 0) {
      error = errno;
    }
    if (error == 0 && rename(temporary.c_str(), file.c_str()) != 0) {
      error = errno;
    }
    if (error != 0) {
      unlink(temporary.c_str());
      return reason(error);
    }
    return std::nullopt;
  }
};

}  // namespace

Files& system_files() {
  static SystemFiles files;
  return files;
}

}  // namespace measure
