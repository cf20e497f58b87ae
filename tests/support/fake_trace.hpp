#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "measure/trace.hpp"

namespace testing_support {

// A trace that opens when `writable` and keeps every line marked in it.
class FakeTrace : public measure::Trace {
 public:
  bool writable = false;

  bool open_marker() override { return open_ = writable; }
  void mark(std::string_view line) override {
    const std::lock_guard lock(mutex_);
    if (open_) {
      lines_.emplace_back(line);
    }
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
