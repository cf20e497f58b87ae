// Files written whole on Linux: a temporary file renamed over the old.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>

#include "measure/files.hpp"

namespace measure {
namespace {

// The reason for the last failed call.
std::string reason() { return std::strerror(errno); }

// A name beside `file` that no other writer picks: this process's, numbered.
std::string temporary_beside(const std::string& file) {
  static std::atomic<unsigned> next{0};
  return file + ".quorvane-" + std::to_string(getpid()) + "-" + std::to_string(next++) + ".tmp";
}

// Made anew for writing, as a new file would be (the umask applies).
int create(const std::string& name) { return open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666); }

bool is_directory(const std::string& file) {
  struct stat status {};
  return stat(file.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

}  // namespace

std::optional<std::string> check_writable(const std::string& file) {
  if (is_directory(file)) {
    return "is a directory";
  }
  const std::string temporary = temporary_beside(file);
  const int fd = create(temporary);
  if (fd < 0) {
    return "cannot be written: " + reason();
  }
  close(fd);
  unlink(temporary.c_str());
  return std::nullopt;
}

std::optional<std::string> write_whole(const std::string& file, std::string_view text) {
  if (is_directory(file)) {
    return std::strerror(EISDIR);
  }
  const std::string temporary = temporary_beside(file);
  const int fd = create(temporary);
  if (fd < 0) {
    return reason();
  }
  std::optional<std::string> failure;
  for (std::size_t done = 0; done < text.size() && !failure;) {
    const ssize_t wrote = write(fd, text.data() + done, text.size() - done);
    if (wrote < 0 && errno != EINTR) {
      failure = reason();
    }
    done += wrote > 0 ? static_cast<std::size_t>(wrote) : 0U;
  }
  if (!failure && fsync(fd) != 0) {
    failure = reason();
  }
  // A full disk may show only now.
  if (close(fd) != 0 && !failure) {
    failure = reason();
  }
  if (!failure && rename(temporary.c_str(), file.c_str()) != 0) {
    failure = reason();
  }
  if (failure) {
    unlink(temporary.c_str());
  }
  return failure;
}

}  // namespace measure
