#include "analysis/format.hpp"

#include <fmt/format.h>

namespace analysis {

std::string format_microseconds(std::uint64_t us) { return fmt::format("{}μs", us); }

}  // namespace analysis
