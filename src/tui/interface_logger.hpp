#pragma once

#include <memory>

#include <spdlog/logger.h>

namespace tui {

// The logger registered as "main"; without one, a coloured standard-output
// logger named "main-tui", created once and reused.
std::shared_ptr<spdlog::logger> interface_logger();

}  // namespace tui
