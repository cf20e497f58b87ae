#pragma once

#include "measure/platform.hpp"

namespace measure {

// The operating system's platform. Its waits, timers, priorities and timer
// resolution are defined in platform_<os>.cpp; its signals, suspension,
// terminal and system facts in process_<os>.cpp. The build picks the files.
class SystemPlatform final : public Platform {
 public:
  std::int64_t counter_frequency() override;
  std::int64_t read_counter() override;
  void sleep(std::chrono::microseconds duration) override;
  bool sleeps_whole_milliseconds() override;
  std::unique_ptr<OneShotTimer> create_timer(TimerKind kind) override;
  std::optional<std::uint64_t> thread_cpu_ns() override;
  bool raise_process_priority() override;
  bool raise_thread_priority() override;
  std::optional<TimerResolution> query_timer_resolution() override;
  std::optional<std::uint32_t> request_timer_resolution(std::uint32_t us) override;
  void release_timer_resolution(std::uint32_t us) override;
  TimerRequestKept keep_timer_request_when_hidden() override;

  std::uint64_t resume_count() override;
  void count_resumes_here() override;
  bool suspension_requested() override;
  void suspend() override;
  void hold_stop_signals() override;
  void catch_stop_signals() override;
  int caught_stop_signal() override;
  int end_by_signal(int signal) override;
  void prepare_console() override;
  bool input_is_terminal() override;
  bool output_is_terminal() override;
  std::optional<int> error_terminal_width() override;
  TerminalState terminal_state() override;
  SystemInfo system_info() override;
};

}  // namespace measure
