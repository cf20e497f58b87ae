// What the interface costs the machine it observes: building and drawing one
// frame with a full buffer, the whole frame or only the rows a new sample
// changed, and how long each frame keeps the sampling thread waiting for the
// data mutex.
#include <benchmark/benchmark.h>

#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include <sstream>

#include <ftxui/dom/node.hpp>
#include <ftxui/screen/screen.hpp>

#include "analysis/latency_summary.hpp"
#include "tui/frame_writer.hpp"
#include "tui/panels.hpp"
#include "tui/real_time_tui.hpp"

namespace {

using Clock = std::chrono::steady_clock;

// The interface with a full buffer of the system's own waits, sampling
// stopped, and the size of the frame the screen last drew.
class Observer {
 public:
  Observer(int width, int height) : width_(width), height_(height) {
    ui_.update_timer_resolution();
    ui_.handle_event(ftxui::Event::Character('s'));
    while (ui_.take_snapshot(width, height, height).stats.count < 500) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ui_.handle_event(ftxui::Event::Character('s'));
  }
  const tui::FrameSnapshot& snapshot() { return ui_.take_snapshot(width_, height_, height_); }
  ftxui::Element frame() { return tui::render_frame(snapshot(), true); }

 private:
  tui::RealTimeTUI ui_;
  const int width_;
  const int height_;
};

double percentile(std::vector<double> values, std::uint32_t permille) {
  if (values.empty()) {
    return 0.0;
  }
  std::sort(values.begin(), values.end());
  return values[analysis::nearest_rank_index(values.size(), permille)];
}

void report(benchmark::State& state, const std::vector<double>& us) {
  state.counters["p50_us"] = percentile(us, 500);
  state.counters["p99_us"] = percentile(us, 990);
  state.counters["max_us"] = us.empty() ? 0.0 : *std::max_element(us.begin(), us.end());
}

// The frame's element tree, from the live data: snapshot and panels.
void render_frame(benchmark::State& state) {
  Observer o(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  std::vector<double> us;
  for (auto _ : state) {
    const auto start = Clock::now();
    auto frame = o.frame();
    us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    benchmark::DoNotOptimize(frame);
  }
  report(state, us);
}

// What the screen library would do with it each pass: layout, drawing into
// cells and the text of the whole frame sent to the terminal.
void draw_frame(benchmark::State& state) {
  const int width = static_cast<int>(state.range(0));
  const int height = static_cast<int>(state.range(1));
  Observer o(width, height);
  std::vector<double> us;
  std::size_t bytes = 0;
  for (auto _ : state) {
    const auto start = Clock::now();
    auto frame = o.frame();
    auto screen = ftxui::Screen::Create(ftxui::Dimension::Fixed(width), ftxui::Dimension::Fixed(height));
    ftxui::Render(screen, frame);
    auto output = screen.ToString();
    us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    bytes = output.size();
    benchmark::DoNotOptimize(output);
  }
  report(state, us);
  state.counters["bytes"] = static_cast<double>(bytes);
}

// What a pass does when a new sample changed what the frame shows: the frame
// built from the snapshot, laid out, compared with the one on the terminal,
// and the rows that differ written (into memory here). Two snapshots of a
// full buffer that differ in one sample take turns.
void write_changed_rows(benchmark::State& state) {
  const int width = static_cast<int>(state.range(0));
  const int height = static_cast<int>(state.range(1));
  std::vector<std::uint64_t> samples;
  for (std::uint64_t i = 0; i < 500; ++i) {
    samples.push_back(1000 + i * i * 7 % 61 + (i % 50 == 0 ? 300 : 0));
  }
  tui::FrameInputs inputs{samples, measure::SleepMode::Sleep, true, {15'625, 500, 1'000}};
  inputs.width = width, inputs.height = height, inputs.terminal_rows = height;
  const tui::FrameSnapshot before = tui::make_snapshot(inputs);
  samples.back() += 37;
  const tui::FrameSnapshot after = tui::make_snapshot(inputs);
  std::ostringstream out;
  tui::FrameWriter writer(out);
  writer.draw(tui::render_frame(before, true), {width, height});
  std::vector<double> us;
  std::size_t bytes = 0;
  bool turn = false;
  for (auto _ : state) {
    out.str("");
    turn = !turn;
    const auto start = Clock::now();
    writer.draw(tui::render_frame(turn ? after : before, true), {width, height});
    us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    bytes += out.str().size();
  }
  report(state, us);
  state.counters["bytes"] = static_cast<double>(bytes) / static_cast<double>(us.size());
}

// How long one frame holds the data mutex: the bench links with the mutex
// calls wrapped, so every lock and unlock on the interface's thread is timed
// while it takes the frame's snapshot, the only lock it takes.
thread_local bool watched = false;
Clock::time_point locked_at;
double held_us = 0.0;
double longest_us = 0.0;

void lock_held_per_frame(benchmark::State& state) {
  Observer o(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  std::vector<double> per_frame;
  longest_us = 0.0;
  for (auto _ : state) {
    held_us = 0.0;
    watched = true;
    const auto& snapshot = o.snapshot();
    watched = false;
    benchmark::DoNotOptimize(snapshot);
    per_frame.push_back(held_us);
  }
  report(state, per_frame);
  state.counters["longest_single_hold_us"] = longest_us;
}

constexpr std::int64_t kSizes[][2] = {{80, 30}, {200, 60}};

void sizes(benchmark::internal::Benchmark* b) {
  for (const auto& size : kSizes) {
    b->Args({size[0], size[1]});
  }
  b->ArgNames({"w", "h"})->Unit(benchmark::kMicrosecond);
}

BENCHMARK(render_frame)->Apply(sizes)->Iterations(2000);
BENCHMARK(draw_frame)->Apply(sizes)->Iterations(2000);
BENCHMARK(write_changed_rows)->Apply(sizes)->Iterations(2000);
BENCHMARK(lock_held_per_frame)->Apply(sizes)->Iterations(2000);

}  // namespace

// Only the watched thread times its locks, so plain globals do.
extern "C" int __real_pthread_mutex_lock(pthread_mutex_t* mutex);
extern "C" int __real_pthread_mutex_unlock(pthread_mutex_t* mutex);

extern "C" int __wrap_pthread_mutex_lock(pthread_mutex_t* mutex) {
  const int result = __real_pthread_mutex_lock(mutex);
  if (watched) {
    locked_at = Clock::now();
  }
  return result;
}

extern "C" int __wrap_pthread_mutex_unlock(pthread_mutex_t* mutex) {
  if (watched) {
    const double us = std::chrono::duration<double, std::micro>(Clock::now() - locked_at).count();
    held_us += us;
    longest_us = std::max(longest_us, us);
  }
  return __real_pthread_mutex_unlock(mutex);
}
