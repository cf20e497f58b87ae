#pragma once

// Where the calling thread runs. One file per OS answers
// (placement_<os>.cpp); tests substitute a fake.
#include <optional>

namespace measure {

class Placement {
 public:
  virtual ~Placement() = default;

  // The number of the CPU the calling thread runs on now; nothing where the
  // system will not say.
  virtual std::optional<int> current_cpu() = 0;
};

// The operating system's, for the program's whole life.
Placement& system_placement();

}  // namespace measure
