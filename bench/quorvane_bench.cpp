// How much the measurement itself costs, and how far each wait method
// overshoots 1 ms on this machine, on a thread raised like the sampling thread
// and on a thread left at normal priority, under the default and the finest
// timer resolution.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "analysis/latency_summary.hpp"
#include "measure/sleep_sampler.hpp"
#include "measure/waits.hpp"

namespace {

using measure::SleepMode;

measure::Waits& os_waits() { return measure::system_waits(); }

void counter_reading(benchmark::State& state) {
  auto& p = os_waits();
  const std::int64_t frequency = p.counter_frequency();
  for (auto _ : state) {
    benchmark::DoNotOptimize(measure::counter_to_microseconds(p.read_counter(), frequency));
  }
}

// How far the nearest-rank percentile of `sorted` waits overshoots 1 ms.
double overshoot(const std::vector<std::uint64_t>& sorted, std::uint32_t permille) {
  return sorted.empty() ? 0.0 : static_cast<double>(analysis::nearest_rank(sorted, permille)) - 1000.0;
}

enum class Priority { SamplingThread, Normal };

// One iteration is one measurement step of 1 ms, as the sampling thread makes
// it, followed by its 5 ms pause (not timed). The loop runs on a thread of its
// own, configured before the first step.
// `resolution_us` is the timer resolution to wait under, `restore_us` the one
// to leave behind.
void waits(benchmark::State& state, SleepMode mode, std::uint32_t resolution_us, std::uint32_t restore_us,
           Priority priority) {
  os_waits().request_timer_resolution(resolution_us);

  std::vector<std::uint64_t> samples;
  bool real_time = false;
  std::thread worker([&] {
    if (priority == Priority::SamplingThread) {
      os_waits().raise_process_priority();
      real_time = os_waits().raise_thread_priority();
    }
    measure::SleepSampler sampler(os_waits(), {mode});
    for (auto _ : state) {
      sampler.measure(1);
      state.PauseTiming();
      samples.insert(samples.end(), sampler.samples().begin(), sampler.samples().end());
      sampler.clear();
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      state.ResumeTiming();
    }
  });
  worker.join();
  // The interval the worker's waits had: on Linux the slack it read back after
  // applying the request (none for a real-time thread).
  const auto in_effect = os_waits().query_timer_resolution();
  os_waits().request_timer_resolution(restore_us);

  std::sort(samples.begin(), samples.end());
  state.counters["resolution_us"] = in_effect ? in_effect->current_us : 0;
  state.counters["fifo"] = real_time ? 1 : 0;
  state.counters["samples"] = static_cast<double>(samples.size());
  state.counters["median_over_us"] = overshoot(samples, 500);
  state.counters["p99_over_us"] = overshoot(samples, 990);
  state.counters["max_over_us"] = overshoot(samples, 1000);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  benchmark::RegisterBenchmark("counter_reading", counter_reading);

  const std::pair<const char*, Priority> priorities[] = {{"normal", Priority::Normal},
                                                         {"sampling_thread", Priority::SamplingThread}};
  const measure::TimerResolution initial = os_waits().query_timer_resolution().value_or(measure::TimerResolution{});
  const std::pair<const char*, std::uint32_t> resolutions[] = {{"default", initial.current_us},
                                                               {"finest", initial.finest_us}};
  const SleepMode modes[] = {SleepMode::Sleep, SleepMode::BusyWait, SleepMode::HighPrecisionSleep};
  for (const auto& [priority_name, priority] : priorities) {
    for (const auto mode : modes) {
      for (const auto& [resolution_name, resolution_us] : resolutions) {
        const std::string name =
            std::string("wait/") + measure::sleep_mode_name(mode) + "/" + priority_name + "/" + resolution_name;
        benchmark::RegisterBenchmark(name.c_str(), waits, mode, resolution_us, initial.current_us, priority)
            ->Iterations(1000)
            ->UseRealTime()
            ->Unit(benchmark::kMicrosecond);
      }
    }
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
