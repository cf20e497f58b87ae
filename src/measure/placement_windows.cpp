// Where the calling thread runs, on Windows: its processor's number in its
// processor group.
#include <windows.h>

#include "measure/placement.hpp"

namespace measure {
namespace {

class SystemPlacement final : public Placement {
 public:
  std::optional<int> current_cpu() override { return static_cast<int>(GetCurrentProcessorNumber()); }
};

}  // namespace

Placement& system_placement() {
  static SystemPlacement placement;
  return placement;
}

}  // namespace measure
