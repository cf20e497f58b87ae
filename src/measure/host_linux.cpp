// The host's name on Linux: uname's node name.
#include <sys/utsname.h>

#include "measure/host.hpp"

namespace measure {

std::string host_name() {
  utsname names{};
  return uname(&names) == 0 ? std::string(names.nodename) : std::string();
}

}  // namespace measure
