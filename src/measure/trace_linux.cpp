// The kernel's trace on Linux: the trace_marker file of tracefs, where it is
// mounted and writable (as root, usually).
#include <fcntl.h>
#include <unistd.h>

#include "measure/trace.hpp"

namespace measure {
namespace {

// Where tracefs lives since Linux 4.1, and where older systems mount it.
constexpr const char* kMarkers[] = {"/sys/kernel/tracing/trace_marker", "/sys/kernel/debug/tracing/trace_marker"};

class SystemTrace final : public Trace {
 public:
  ~SystemTrace() override {
    if (fd_ >= 0) {
      close(fd_);
    }
  }

  bool open_marker() override {
    for (const char* path : kMarkers) {
      if (fd_ < 0) {
        fd_ = open(path, O_WRONLY | O_CLOEXEC);
      }
    }
    return fd_ >= 0;
  }

  bool mark(std::string_view line) override {
    // One write is one entry of the trace; a failed one loses only the mark.
    return fd_ >= 0 && write(fd_, line.data(), line.size()) == static_cast<ssize_t>(line.size());
  }

 private:
  int fd_ = -1;
};

}  // namespace

Trace& system_trace() {
  static SystemTrace trace;
  return trace;
}

}  // namespace measure
