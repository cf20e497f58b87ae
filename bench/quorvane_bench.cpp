// How much the measurement itself costs, and how far each wait method
// overshoots 1 ms on this machine, on a thread raised like the sampling thread
// and on a thread left at normal priority, under the default and the finest
// timer resolution.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "measure/platform.hpp"
#include "measure/sleep_sampler.hpp"

namespace {

using measure::SleepMode;

measure::Platform& platform() { return measure::system_platform(); }

void counter_reading(benchmark::State& state) {
  auto& p = platform();
  const std::int64_t frequency = p.query_performance_frequency();
  for (auto _ : state) {
    benchmark::DoNotOptimize(measure::counter_to_microseconds(p.query_performance_counter(), frequency));
  }
}

// Nearest-rank percentile of sorted values.
double percentile(const std::vector<double>& sorted, double p) {
  if (sorted.empty()) {
    return 0.0;
  }
  const auto rank = static_cast<std::size_t>(std::max(1.0, std::ceil(p / 100.0 * static_cast<double>(sorted.size()))));
  return sorted[std::min(rank, sorted.size()) - 1];
}

enum class Priority { SamplingThread, Normal };

// One iteration is one measurement step of 1 ms, as the sampling thread makes
// it, followed by its 5 ms pause (not timed). The loop runs on a thread of its
// own, configured before the first step.
// `units` is the timer resolution to wait under, `restore` the one to leave
// behind (100 ns units).
void waits(benchmark::State& state, SleepMode mode, std::uint32_t units, std::uint32_t restore, Priority priority) {
  std::uint32_t actual = 0;
  platform().nt_set_timer_resolution(units, true, actual);

  std::vector<double> overshoot_us;
  bool real_time = false;
  std::thread worker([&] {
    if (priority == Priority::SamplingThread) {
      platform().set_priority_class_realtime();
      real_time = platform().set_thread_priority_time_critical();
    }
    measure::SleepSampler sampler(platform());
    sampler.mode_ = mode;
    for (auto _ : state) {
      sampler.measure(1);
      state.PauseTiming();
      for (const auto s : sampler.samples_) {
        overshoot_us.push_back(static_cast<double>(s) - 1000.0);
      }
      sampler.clear();
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      state.ResumeTiming();
    }
  });
  worker.join();
  // The interval the worker's waits had: on Linux the slack it read back after
  // applying the request (none for a real-time thread).
  std::uint32_t coarsest = 0;
  std::uint32_t finest = 0;
  std::uint32_t in_effect = 0;
  platform().nt_query_timer_resolution(coarsest, finest, in_effect);
  platform().nt_set_timer_resolution(restore, true, actual);

  std::sort(overshoot_us.begin(), overshoot_us.end());
  state.counters["resolution_us"] = static_cast<double>(in_effect) / 10.0;
  state.counters["fifo"] = real_time ? 1 : 0;
  state.counters["samples"] = static_cast<double>(overshoot_us.size());
  state.counters["median_over_us"] = percentile(overshoot_us, 50);
  state.counters["p99_over_us"] = percentile(overshoot_us, 99);
  state.counters["max_over_us"] = overshoot_us.empty() ? 0.0 : overshoot_us.back();
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
  std::uint32_t coarsest = 0;
  std::uint32_t finest = 0;
  std::uint32_t initial = 0;
  platform().nt_query_timer_resolution(coarsest, finest, initial);
  const std::pair<const char*, std::uint32_t> resolutions[] = {{"default", initial}, {"finest", finest}};
  const SleepMode modes[] = {SleepMode::Sleep, SleepMode::BusyWait, SleepMode::HighPrecisionSleep};
  for (const auto& [priority_name, priority] : priorities) {
    for (const auto mode : modes) {
      for (const auto& [resolution_name, units] : resolutions) {
        const std::string name =
            std::string("wait/") + measure::sleep_mode_name(mode) + "/" + priority_name + "/" + resolution_name;
        benchmark::RegisterBenchmark(name.c_str(), waits, mode, units, initial, priority)
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
