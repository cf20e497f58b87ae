#include "tui/interface_logger.hpp"

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
    return spdlog::stdout_color_mt("main-tui", spdlog::color_mode::automatic);
  } catch (const spdlog::spdlog_ex&) {
    // Another thread registered it between the lookup and the creation.
    return spdlog::get("main-tui");
  }
}

}  // namespace tui
