#include "tui/interface_logger.hpp"

#include <cstdlib>
#include <iostream>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>

#include <spdlog/pattern_formatter.h>
#include <spdlog/sinks/base_sink.h>
#include <spdlog/spdlog.h>

#include "measure/console.hpp"

namespace tui {

std::shared_ptr<spdlog::logger> interface_logger() {
  if (auto logger = spdlog::get("main")) {
    return logger;
  }
  if (auto logger = spdlog::get("main-tui")) {
    return logger;
  }
  try {
    return console_logger("main-tui", measure::system_console().output_is_terminal());
  } catch (const spdlog::spdlog_ex&) {
    // Another thread registered it between the lookup and the creation.
    return spdlog::get("main-tui");
  }
}

bool no_colour_requested() {
  const char* value = std::getenv("NO_COLOR");
  return value != nullptr && *value != '\0';
}

namespace {

// The lines on std::cout, flushed one by one; the level's name in the colour
// a terminal gives it.
class ConsoleSink final : public spdlog::sinks::base_sink<std::mutex> {
 public:
  explicit ConsoleSink(bool colour) : colour_(colour) { set_pattern_("%+"); }

 protected:
  // Lines end in "\n" on every system: the stream makes of it what the
  // system's text files want.
  void set_pattern_(const std::string& pattern) override {
    formatter_ = std::make_unique<spdlog::pattern_formatter>(pattern, spdlog::pattern_time_type::local, "\n");
  }

  void sink_it_(const spdlog::details::log_msg& line) override {
    spdlog::memory_buf_t formatted;
    formatter_->format(line, formatted);
    const std::string_view text(formatted.data(), formatted.size());
    if (colour_ && line.color_range_end > line.color_range_start) {
      std::cout << text.substr(0, line.color_range_start) << level_colour(line.level)
                << text.substr(line.color_range_start, line.color_range_end - line.color_range_start) << "\x1B[0m"
                << text.substr(line.color_range_end);
    } else {
      std::cout << text;
    }
    std::cout.flush();
  }
  void flush_() override { std::cout.flush(); }

 private:
  static const char* level_colour(spdlog::level::level_enum level) {
    switch (level) {
      case spdlog::level::trace:
        return "\x1B[37m";
      case spdlog::level::debug:
        return "\x1B[36m";
      case spdlog::level::info:
        return "\x1B[32m";
      case spdlog::level::warn:
        return "\x1B[33m\x1B[1m";
      case spdlog::level::err:
        return "\x1B[31m\x1B[1m";
      case spdlog::level::critical:
        return "\x1B[1m\x1B[41m";
      default:
        return "";
    }
  }

  const bool colour_;
};

}  // namespace

std::shared_ptr<spdlog::logger> console_logger(const std::string& name, bool terminal) {
  auto logger =
      std::make_shared<spdlog::logger>(name, std::make_shared<ConsoleSink>(terminal && !no_colour_requested()));
  spdlog::register_logger(logger);
  return logger;
}

// Keeps each line's level and text; the sinks it is written to later format
// it then, so a time in their pattern is the time of writing, not of logging.
// The program's "main" logger shows none ("[%^%l%$] %v", app/entry.cpp); the
// fallback "main-tui" of console_logger, with spdlog's "%+", does.
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
