// Files on Linux: made with O_EXCL, flushed with fsync, renamed over the old
// with its permissions and owner.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "measure/files_system.hpp"

namespace measure::files_system {
namespace {

// The reason for the last failed call.
std::string reason() { return std::strerror(errno); }

std::optional<std::string> write_all(int fd, std::string_view text) {
  for (std::size_t done = 0; done < text.size();) {
    const ssize_t wrote = write(fd, text.data() + done, text.size() - done);
    if (wrote < 0 && errno != EINTR) {
      return reason();
    }
    done += wrote > 0 ? static_cast<std::size_t>(wrote) : 0U;
  }
  return std::nullopt;
}

// Closes `fd`, keeping the first failure: a full disk may show only now.
std::optional<std::string> closed(int fd, std::optional<std::string> failure) {
  if (close(fd) != 0 && !failure) {
    failure = reason();
  }
  return failure;
}

}  // namespace

Kind kind_of(const std::string& file) {
  struct stat status {};
  if (stat(file.c_str(), &status) != 0) {
    return Kind::Missing;
  }
  return S_ISREG(status.st_mode) ? Kind::File : S_ISDIR(status.st_mode) ? Kind::Directory : Kind::Other;
}

std::string followed(const std::string& file) {
  char* real = realpath(file.c_str(), nullptr);
  if (real == nullptr) {
    return file;
  }
  std::string path(real);
  std::free(real);
  return path;
}

std::optional<std::string> refusal(const std::string& file) {
  return access(file.c_str(), W_OK) == 0 ? std::nullopt : std::optional(reason());
}

std::optional<std::string> write_new(const std::string& file, std::string_view text, const std::string& like) {
  // As a new file would be made (the umask applies), unless it replaces one.
  const int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    return reason();
  }
  struct stat old {};
  if (stat(like.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
    // Another user's file rewritten by root stays theirs; elsewhere this fails, harmlessly.
    (void)!fchown(fd, old.st_uid, old.st_gid);
    fchmod(fd, old.st_mode & 07777);
  }
  auto failure = write_all(fd, text);
  if (!failure && fsync(fd) != 0) {
    failure = reason();
  }
  return closed(fd, failure);
}

std::optional<std::string> write_into(const std::string& file, std::string_view text) {
  const int fd = open(file.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  return fd < 0 ? reason() : closed(fd, write_all(fd, text));
}

std::optional<std::string> replace(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0 ? std::nullopt : std::optional(reason());
}

void remove(const std::string& file) { unlink(file.c_str()); }

unsigned long process_id() { return static_cast<unsigned long>(getpid()); }

}  // namespace measure::files_system
