#pragma once

// The machine's name on its network, which names a report among others. One
// file per OS (host_<os>.cpp).
#include <string>

namespace measure {

// As the system names this host ("build-07"); empty where it will not say.
std::string host_name();

}  // namespace measure
