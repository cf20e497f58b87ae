#pragma once

#include <cstdint>
#include <string>

namespace analysis {

// Decimal digits followed directly by "μs": 1234 → "1234μs".
std::string format_microseconds(std::uint64_t us);

}  // namespace analysis
