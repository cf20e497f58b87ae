// Windows answers to the stop signals, the suspension and the system facts.
#include <windows.h>

#include <array>
#include <atomic>
#include <csignal>
#include <cstddef>
#include <string>

#include "measure/process.hpp"

extern "C" LONG NTAPI RtlGetVersion(PRTL_OSVERSIONINFOW VersionInformation);

namespace measure {
namespace {

// Ctrl+C, Ctrl+Break and termination; the C runtime runs their handlers on a
// thread of their own, never on the sampling thread.
constexpr std::array kStopSignals{SIGINT, SIGBREAK, SIGTERM};

std::atomic<int> caught_signal{0};

void record_stop_signal(int signal) {
  int none = 0;
  caught_signal.compare_exchange_strong(none, signal);
  // The runtime resets the handler before calling it: stay in place.
  std::signal(signal, record_stop_signal);
}

// A string value under HKEY_LOCAL_MACHINE in UTF-8, without its padding, or "".
std::string machine_registry_string(const wchar_t* key, const wchar_t* value) {
  wchar_t text[256] = {};
  DWORD size = sizeof text;
  if (RegGetValueW(HKEY_LOCAL_MACHINE, key, value, RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS) {
    return "";
  }
  char utf8[768] = {};
  WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8 - 1, nullptr, nullptr);
  const std::string padded = utf8;
  const auto begin = padded.find_first_not_of(' ');
  return begin == std::string::npos ? "" : padded.substr(begin, padded.find_last_not_of(' ') - begin + 1);
}

class SystemProcess final : public Process {
 public:
  // The runtime never runs the handlers on the sampling thread: nothing to hold.
  void hold_stop_signals() override {}

  void catch_stop_signals() override {
    static const std::array<bool, kStopSignals.size()> ignored_at_start = [] {
      std::array<bool, kStopSignals.size()> ignored{};
      for (std::size_t i = 0; i < kStopSignals.size(); ++i) {
        const auto previous = std::signal(kStopSignals[i], SIG_DFL);
        ignored[i] = previous == SIG_IGN;
        std::signal(kStopSignals[i], previous);
      }
      return ignored;
    }();
    for (std::size_t i = 0; i < kStopSignals.size(); ++i) {
      std::signal(kStopSignals[i], ignored_at_start[i] ? SIG_IGN : record_stop_signal);
    }
  }

  int caught_stop_signal() override { return caught_signal.load(); }

  // Raising the signal again would end the process without running the exit
  // handlers that give the console back its code pages: return the status.
  int end_by_signal(int signal) override { return 128 + signal; }

  // Windows suspends no console program as a whole.
  bool suspension_requested() override { return false; }
  void suspend() override {}

  SystemInfo system_info() override {
    SystemInfo info;
    info.sysname = "Windows";
    // The kernel's own answer: GetVersionEx reports an older Windows to a
    // program whose manifest does not name the newer ones.
    RTL_OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (RtlGetVersion(&version) == 0) {
      info.release = std::to_string(version.dwMajorVersion) + "." + std::to_string(version.dwMinorVersion) + "." +
                     std::to_string(version.dwBuildNumber);
    }
    const wchar_t* current = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
    info.version = machine_registry_string(current, L"DisplayVersion");  // "23H2"
    if (info.version.empty()) {
      info.version = machine_registry_string(current, L"ProductName");
    }
    // Windows' own names for the processor architecture, as PROCESSOR_ARCHITECTURE gives them.
    SYSTEM_INFO system{};
    GetNativeSystemInfo(&system);
    switch (system.wProcessorArchitecture) {
      case PROCESSOR_ARCHITECTURE_AMD64:
        info.machine = "AMD64";
        break;
      case PROCESSOR_ARCHITECTURE_ARM64:
        info.machine = "ARM64";
        break;
      case PROCESSOR_ARCHITECTURE_INTEL:
        info.machine = "x86";
        break;
      default:
        break;
    }
    info.cpu_model =
        machine_registry_string(L"HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", L"ProcessorNameString");
    return info;
  }
};

}  // namespace

Process& system_process() {
  static SystemProcess process;
  return process;
}

}  // namespace measure
