#include "tui/interface_logger.hpp"

#include <cstdlib>
#include <mutex>
#include <string>
#include <utility>

#include <spdlog/sinks/base_sink.h>
#include <spdlog/sinks/stdout_color_sinks.h>
#include <spdlog/spdlog.h>

namespace tui {

std::shared_ptr<spdlog::logger> interface_logger() {
  if (auto logger = spdlog::get("main")) {
    return logger;
  }
  if (auto logger = spdlog::get("main-tui")) {
    return logger;
  }
  try {
    return spdlog::stdout_color_mt("main-tui",
                                   no_colour_requested() ? spdlog::color_mode::never : spdlog::color_mode::automatic);
  } catch (const spdlog::spdlog_ex&) {
    // Another thread registered it between the lookup and the creation.
    return spdlog::get("main-tui");
  }
}

bool no_colour_requested() {
  const char* value = std::getenv("NO_COLOR");
  return value != nullptr && *value != '\0';
}

// Keeps each line's level and text; the sinks it is written to later format
// it then (the pattern has no time fields).
class HeldLogLines::Holder final : public spdlog::sinks::base_sink<std::mutex> {
 public:
  void write_to(const std::vector<spdlog::sink_ptr>& sinks, const std::string& logger_name) {
    const std::lock_guard lock(mutex_);
    for (const auto& [level, text] : lines_) {
      const spdlog::details::log_msg line(logger_name, level, text);
      for (const auto& target : sinks) {
        if (target->should_log(level)) {
          target->log(line);
        }
      }
    }
    lines_.clear();
    for (const auto& target : sinks) {
      target->flush();
    }
  }

 protected:
  void sink_it_(const spdlog::details::log_msg& line) override {
    lines_.emplace_back(line.level, std::string(line.payload.data(), line.payload.size()));
  }
  void flush_() override {}

 private:
  std::vector<std::pair<spdlog::level::level_enum, std::string>> lines_;
};

// Only the interface thread logs, so the sinks can be swapped under it.
HeldLogLines::HeldLogLines(std::shared_ptr<spdlog::logger> logger)
    : logger_(std::move(logger)), holder_(std::make_shared<Holder>()), sinks_{holder_} {
  logger_->sinks().swap(sinks_);
}

HeldLogLines::~HeldLogLines() {
  logger_->sinks().swap(sinks_);
  try {
    holder_->write_to(logger_->sinks(), logger_->name());
  } catch (...) {
    // Nowhere left to report a failed log write.
  }
}

}  // namespace tui
