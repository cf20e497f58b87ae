// Windows answers to the platform operations: the kernel32 calls themselves,
// and the two ntdll timer-resolution services, which no SDK header declares.
#include <windows.h>

#include <array>
#include <atomic>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "measure/platform.hpp"

// Native system services exported by ntdll; values in 100 ns units.
extern "C" {
LONG NTAPI NtQueryTimerResolution(PULONG MaximumTime, PULONG MinimumTime, PULONG CurrentTime);
LONG NTAPI NtSetTimerResolution(ULONG DesiredTime, BOOLEAN SetResolution, PULONG ActualTime);
LONG NTAPI RtlGetVersion(PRTL_OSVERSIONINFOW VersionInformation);
}

namespace measure {
namespace {

class WindowsPlatform final : public Platform {
 public:
  std::int64_t query_performance_frequency() override {
    LARGE_INTEGER frequency{};
    QueryPerformanceFrequency(&frequency);
    return frequency.QuadPart;
  }

  std::int64_t query_performance_counter() override {
    LARGE_INTEGER count{};
    QueryPerformanceCounter(&count);
    return count.QuadPart;
  }

  void sleep(std::uint32_t milliseconds) override { Sleep(milliseconds); }

  TimerHandle create_waitable_timer() override {
    // Manual reset: the timer stays signalled once it has fired.
    return CreateWaitableTimerA(nullptr, TRUE, nullptr);
  }

  bool set_waitable_timer(TimerHandle timer, std::int64_t due_time_100ns) override {
    if (timer == nullptr) {
      return false;
    }
    LARGE_INTEGER due{};
    due.QuadPart = due_time_100ns;
    return SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE) != FALSE;
  }

  void wait_for_single_object(TimerHandle timer) override { WaitForSingleObject(timer, INFINITE); }

  void close_handle(TimerHandle timer) override {
    if (timer != nullptr) {
      CloseHandle(timer);
    }
  }

  bool set_priority_class_realtime() override {
    // Without administrator rights Windows grants the high class instead and
    // still reports success: granted means the class is real-time now.
    return SetPriorityClass(GetCurrentProcess(), REALTIME_PRIORITY_CLASS) != FALSE &&
           GetPriorityClass(GetCurrentProcess()) == REALTIME_PRIORITY_CLASS;
  }

  bool set_thread_priority_time_critical() override {
    return SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL) != FALSE;
  }

  NtStatus nt_query_timer_resolution(std::uint32_t& coarsest, std::uint32_t& finest, std::uint32_t& current) override {
    ULONG maximum = 0;
    ULONG minimum = 0;
    ULONG now = 0;
    const LONG status = NtQueryTimerResolution(&maximum, &minimum, &now);
    coarsest = maximum;
    finest = minimum;
    current = now;
    return status;
  }

  NtStatus nt_set_timer_resolution(std::uint32_t desired, bool set, std::uint32_t& actual) override {
    ULONG in_effect = 0;
    const LONG status = NtSetTimerResolution(desired, set ? TRUE : FALSE, &in_effect);
    actual = in_effect;
    return status;
  }

  // Windows suspends no console program as a whole.
  std::uint64_t resume_count() override { return 0; }
};

UINT original_output_cp = 0;
UINT original_input_cp = 0;

void restore_console() {
  // Output still buffered was written for the UTF-8 page: send it first.
  std::cout.flush();
  std::fflush(stdout);
  if (original_output_cp != 0) {
    SetConsoleOutputCP(original_output_cp);
  }
  if (original_input_cp != 0) {
    SetConsoleCP(original_input_cp);
  }
}

}  // namespace

Platform& system_platform() {
  static WindowsPlatform platform;
  return platform;
}

void prepare_console() {
  // The code pages belong to the console, which outlives this process and is
  // shared with the shell: put back what it had on the way out. Both pages are
  // remembered because the terminal library switches the input page as well.
  // Without a console (output to a pipe or file) both reads give 0 and the
  // bytes go out unchanged anyway.
  static bool prepared = false;
  if (prepared) {
    return;
  }
  prepared = true;
  original_output_cp = GetConsoleOutputCP();
  original_input_cp = GetConsoleCP();
  if (original_output_cp != 0 || original_input_cp != 0) {
    std::atexit(restore_console);
  }
  SetConsoleOutputCP(CP_UTF8);
}

bool input_is_terminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

bool output_is_terminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

TerminalState terminal_state() {
  // Windows itself ends a program whose console window is closed; a console
  // that went otherwise no longer answers as one. There are no background jobs.
  return input_is_terminal() ? TerminalState::Own : TerminalState::Gone;
}

bool error_is_terminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

namespace {

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

}  // namespace

SystemInfo system_info() {
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

TimerRequestKept keep_timer_request_when_hidden() {
  static const TimerRequestKept answer = [] {
    // Declared here and looked up at run time: older SDK headers lack them,
    // and Windows before 8 lacks the call.
    struct PowerThrottlingState {
      ULONG version;
      ULONG control_mask;
      ULONG state_mask;
    };
    constexpr int kProcessPowerThrottling = 4;
    constexpr ULONG kIgnoreTimerResolution = 0x4;
    using SetProcessInformationCall = BOOL(WINAPI*)(HANDLE, int, void*, DWORD);
    const auto call = reinterpret_cast<SetProcessInformationCall>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetProcessInformation")));
    // In the control mask, cleared in the state: "never ignore my timer resolution".
    PowerThrottlingState state{1, kIgnoreTimerResolution, 0};
    return call != nullptr && call(GetCurrentProcess(), kProcessPowerThrottling, &state, sizeof state) != FALSE
               ? TimerRequestKept::Accepted
               : TimerRequestKept::Refused;
  }();
  return answer;
}

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

}  // namespace

void hold_stop_signals() {}

void catch_stop_signals() {
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

int caught_stop_signal() { return caught_signal.load(); }

bool suspension_requested() { return false; }
void suspend() {}

void count_resumes_here() {}

// Raising the signal again would end the process without running the exit
// handlers that give the console back its code pages: return the status.
int end_by_signal(int signal) { return 128 + signal; }

}  // namespace measure
