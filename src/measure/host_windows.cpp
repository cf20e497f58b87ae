// The host's name on Windows: its DNS host name, in UTF-8.
#include <windows.h>

#include "measure/host.hpp"

namespace measure {

std::string host_name() {
  wchar_t name[256] = {};
  DWORD length = sizeof name / sizeof name[0];
  if (!GetComputerNameExW(ComputerNameDnsHostname, name, &length) || length == 0) {
    return {};
  }
  char utf8[1024] = {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, name, static_cast<int>(length), utf8, sizeof utf8, nullptr, nullptr);
  return std::string(utf8, static_cast<std::size_t>(size > 0 ? size : 0));
}

}  // namespace measure
