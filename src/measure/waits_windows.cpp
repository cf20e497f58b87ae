// Windows answers to the waits: counter, sleeps, timers, CPU time, priorities
// and timer resolution; the kernel32 calls themselves, and the two ntdll timer-resolution services,
// which no SDK header declares.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <limits>

#include "measure/waits.hpp"

// Windows 10 1803 and later; older SDK headers lack it.
constexpr DWORD kCreateWaitableTimerHighResolution = 0x2;

// Native system services exported by ntdll; values in 100 ns units.
extern "C" {
LONG NTAPI NtQueryTimerResolution(PULONG MaximumTime, PULONG MinimumTime, PULONG CurrentTime);
LONG NTAPI NtSetTimerResolution(ULONG DesiredTime, BOOLEAN SetResolution, PULONG ActualTime);
}

namespace measure {
namespace {

// The resolution services count 100 ns units: a value v is v / 10 whole
// microseconds; a microsecond value u is passed as u × 10, saturating.
constexpr std::uint32_t kUnitsPerMicrosecond = 10;
constexpr std::uint32_t kMaxUnits = std::numeric_limits<std::uint32_t>::max();

ULONG units_of(std::uint32_t us) {
  return us > kMaxUnits / kUnitsPerMicrosecond ? kMaxUnits : us * kUnitsPerMicrosecond;
}

std::uint32_t microseconds_of(ULONG units) { return static_cast<std::uint32_t>(units / kUnitsPerMicrosecond); }

class WaitableTimer final : public OneShotTimer {
 public:
  WaitableTimer(HANDLE handle, TimerKind kind) : OneShotTimer(kind), handle_(handle) {}
  ~WaitableTimer() override { CloseHandle(handle_); }

  bool arm(std::chrono::microseconds after) override {
    // Negative: relative to now, in 100 ns units.
    LARGE_INTEGER due{};
    due.QuadPart = -after.count() * kUnitsPerMicrosecond;
    return SetWaitableTimer(handle_, &due, 0, nullptr, nullptr, FALSE) != FALSE;
  }

  void wait() override { WaitForSingleObject(handle_, INFINITE); }

 private:
  const HANDLE handle_;
};

// Thread cycles per nanosecond, measured in this run on a thread that spins,
// so that it is all on a CPU: the most of a few short tries, as a try that
// was preempted counts fewer cycles. Nothing when the system counts none.
std::optional<double> cycles_per_ns() {
  static const std::optional<double> rate = []() -> std::optional<double> {
    LARGE_INTEGER frequency{};
    QueryPerformanceFrequency(&frequency);
    double best = 0.0;
    for (int attempt = 0; attempt < 3; ++attempt) {
      ULONG64 cycles_before = 0;
      ULONG64 cycles_after = 0;
      LARGE_INTEGER before{};
      LARGE_INTEGER now{};
      if (QueryThreadCycleTime(GetCurrentThread(), &cycles_before) == FALSE) {
        return std::nullopt;
      }
      QueryPerformanceCounter(&before);
      do {
        QueryPerformanceCounter(&now);
      } while ((now.QuadPart - before.QuadPart) * 1000 < frequency.QuadPart * 5);  // 5 ms
      QueryThreadCycleTime(GetCurrentThread(), &cycles_after);
      const double ns =
          static_cast<double>(now.QuadPart - before.QuadPart) * 1e9 / static_cast<double>(frequency.QuadPart);
      best = std::max(best, static_cast<double>(cycles_after - cycles_before) / ns);
    }
    return best > 0.0 ? std::optional<double>(best) : std::nullopt;
  }();
  return rate;
}

class SystemWaits final : public Waits {
 public:
  std::int64_t counter_frequency() override {
    LARGE_INTEGER frequency{};
    QueryPerformanceFrequency(&frequency);
    return frequency.QuadPart;
  }

  std::int64_t read_counter() override {
    LARGE_INTEGER count{};
    QueryPerformanceCounter(&count);
    return count.QuadPart;
  }

  void sleep(std::chrono::microseconds duration) override {
    // Sleep takes whole milliseconds.
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(duration).count();
    Sleep(static_cast<DWORD>(ms < 0 ? 0 : ms));
  }

  bool sleeps_whole_milliseconds() override { return true; }

  std::unique_ptr<OneShotTimer> create_timer(TimerKind kind) override {
    // Manual reset: the timer stays signalled once it has fired. Windows before
    // 1803 (and wine) refuse the high-resolution flag: a plain timer then.
    if (kind == TimerKind::HighResolution) {
      const HANDLE handle = CreateWaitableTimerExW(
          nullptr, nullptr, CREATE_WAITABLE_TIMER_MANUAL_RESET | kCreateWaitableTimerHighResolution, TIMER_ALL_ACCESS);
      if (handle != nullptr) {
        return std::make_unique<WaitableTimer>(handle, TimerKind::HighResolution);
      }
    }
    const HANDLE handle = CreateWaitableTimerA(nullptr, TRUE, nullptr);
    if (handle == nullptr) {
      return nullptr;
    }
    return std::make_unique<WaitableTimer>(handle, TimerKind::Plain);
  }

  std::optional<std::uint64_t> thread_cpu_ns() override {
    // The thread's cycles, at the rate measured in this run. (GetThreadTimes
    // would need no scale, but it advances only at the system tick, 15.6 ms by
    // default: nothing a wait of a millisecond could show.)
    const std::optional<double> rate = cycles_per_ns();
    ULONG64 cycles = 0;
    if (!rate || QueryThreadCycleTime(GetCurrentThread(), &cycles) == FALSE) {
      return std::nullopt;
    }
    return static_cast<std::uint64_t>(static_cast<double>(cycles) / *rate);
  }

  bool raise_process_priority() override {
    // The class the process started with, before anything here changed it.
    static const DWORD started_with = GetPriorityClass(GetCurrentProcess());
    class_before_raise_ = started_with;
    // Without administrator rights Windows grants the high class instead and
    // still reports success: granted means the class is real-time now.
    return SetPriorityClass(GetCurrentProcess(), REALTIME_PRIORITY_CLASS) != FALSE &&
           GetPriorityClass(GetCurrentProcess()) == REALTIME_PRIORITY_CLASS;
  }

  void restore_process_priority() override {
    if (class_before_raise_ != 0) {
      SetPriorityClass(GetCurrentProcess(), class_before_raise_);
    }
  }

  bool raise_thread_priority() override {
    return SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL) != FALSE;
  }

  std::optional<TimerResolution> query_timer_resolution() override {
    ULONG coarsest = 0;
    ULONG finest = 0;
    ULONG current = 0;
    if (NtQueryTimerResolution(&coarsest, &finest, &current) != 0) {
      return std::nullopt;
    }
    return TimerResolution{microseconds_of(coarsest), microseconds_of(finest), microseconds_of(current)};
  }

  std::optional<std::uint32_t> request_timer_resolution(std::uint32_t us) override {
    ULONG in_effect = 0;
    if (NtSetTimerResolution(units_of(us), TRUE, &in_effect) != 0) {
      return std::nullopt;
    }
    return microseconds_of(in_effect);
  }

  void release_timer_resolution(std::uint32_t us) override {
    ULONG in_effect = 0;
    NtSetTimerResolution(units_of(us), FALSE, &in_effect);
  }

  TimerRequestKept keep_timer_request_when_hidden() override {
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

  // Windows suspends no console program as a whole.
  std::uint64_t resume_count() override { return 0; }
  void measure_on_this_thread() override {}
  // The system timer resolution is the whole system's, in place at once.
  void ready_to_wait() override {}

 private:
  std::atomic<DWORD> class_before_raise_{0};
};

}  // namespace

Waits& system_waits() {
  static SystemWaits waits;
  return waits;
}

}  // namespace measure
