#pragma once

#include <mutex>

#include "measure/process.hpp"

namespace testing_support {

// A process that catches a stop signal (SIGTERM) at the `signal_at`th check of
// caught_stop_signal (0: never), and is never asked to suspend.
class FakeProcess : public measure::Process {
 public:
  int signal_at = 0;

  void hold_stop_signals() override {}
  void catch_stop_signals() override {}
  int caught_stop_signal() override {
    const std::lock_guard lock(mutex_);
    return ++signal_checks_ == signal_at ? 15 : 0;
  }
  int end_by_signal(int signal) override { return 128 + signal; }
  bool suspension_requested() override { return false; }
  void suspend() override {}
  measure::SystemInfo system_info() override { return {"Fake", "1", "#1", "x86_64", ""}; }

 private:
  int signal_checks_ = 0;
  std::mutex mutex_;
};

}  // namespace testing_support
