// Files on Linux: made with O_EXCL, flushed with fsync, renamed over the old.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "measure/files_system.hpp"

namespace measure::files_system {
namespace {

// The reason for the last failed call.
std::string reason() { return std::strerror(errno); }

}  // namespace

bool is_directory(const std::string& file) {
  struct stat status {};
  return stat(file.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

std::optional<std::string> write_new(const std::string& file, std::string_view text) {
  // As a new file would be made: the umask applies.
  const int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
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
  return failure;
}

std::optional<std::string> replace(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0 ? std::nullopt : std::optional(reason());
}

void remove(const std::string& file) { unlink(file.c_str()); }

unsigned long process_id() { return static_cast<unsigned long>(getpid()); }

}  // namespace measure::files_system
