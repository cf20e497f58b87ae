#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "measure/trace.hpp"

namespace testing_support {

// A trace that opens when `writable` and keeps every line marked in it, or,
// `refusing`, refuses every mark as the kernel's does while tracing is off.
class FakeTrace : public measure::Trace {
 public:
  bool writable = false;
  bool refusing = false;

  bool open_marker() override { return open_ = writable; }
  bool mark(std::string_view line) override {
    const std::lock_guard lock(mutex_);
    if (open_ && !refusing) {
      lines_.emplace_back(line);
    }
    return open_ && !refusing;
  }
  std::vector<std::string> lines() {
    const std::lock_guard lock(mutex_);
    return lines_;
  }

 private:
  bool open_ = false;
  std::mutex mutex_;
  std::vector<std::string> lines_;
};

}  // namespace testing_support
