// What the interface costs the machine it observes: building and drawing one
// frame with a full buffer, and how long each frame keeps the sampling thread
// waiting for the data mutex.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <mutex>

#include <pthread.h>
#include <vector>

#include <ftxui/dom/node.hpp>
#include <ftxui/screen/screen.hpp>

#include "tui/real_time_tui.hpp"

namespace {

using Clock = std::chrono::steady_clock;

// 500 waits spread as a loaded machine spreads them: most just past 1 ms, a
// tail out to a few milliseconds.
std::vector<std::uint64_t> typical_samples() {
  std::vector<std::uint64_t> samples;
  std::uint64_t state = 12345;
  for (int i = 0; i < 500; ++i) {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    const double u = static_cast<double>(state >> 11) / 9007199254740992.0;
    samples.push_back(1000 + static_cast<std::uint64_t>(-40.0 * std::log(1.0 - u)) + (i % 97 == 0 ? 2500 : 0));
  }
  return samples;
}

}  // namespace

namespace tui {

// The interface's friend, defined for this program alone: it reaches the
// frame function and the data the frame is drawn from.
class RealTimeTUITestPeer {
 public:
  RealTimeTUITestPeer(int width, int height) {
    // The screen's size is protected: name it through a derived class.
    struct Size : ftxui::ScreenInteractive {
      static void set(ftxui::Screen& screen, int width, int height) {
        screen.*(&Size::dimx_) = width;
        screen.*(&Size::dimy_) = height;
      }
    };
    Size::set(ui_.screen_, width, height);
    ui_.sampler_->samples_ = typical_samples();
    ui_.query_timer_resolution();
  }
  ftxui::Element render_frame() { return ui_.render_frame(); }
  std::mutex& data_mutex() { return ui_.data_mutex_; }

 private:
  RealTimeTUI ui_;
};

}  // namespace tui

namespace {

struct Observer {
  tui::RealTimeTUITestPeer peer;
  Observer(int width, int height) : peer(width, height) {}
};

double percentile(std::vector<double> values, double p) {
  if (values.empty()) {
    return 0.0;
  }
  std::sort(values.begin(), values.end());
  const auto rank = static_cast<std::size_t>(std::ceil(p / 100.0 * static_cast<double>(values.size())));
  return values[std::clamp<std::size_t>(rank, 1, values.size()) - 1];
}

void report(benchmark::State& state, const std::vector<double>& us) {
  state.counters["p50_us"] = percentile(us, 50);
  state.counters["p99_us"] = percentile(us, 99);
  state.counters["max_us"] = us.empty() ? 0.0 : *std::max_element(us.begin(), us.end());
}

// render_frame alone: the element tree of one frame.
void render_frame(benchmark::State& state) {
  Observer o(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  std::vector<double> us;
  for (auto _ : state) {
    const auto start = Clock::now();
    auto frame = o.peer.render_frame();
    us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    benchmark::DoNotOptimize(frame);
  }
  report(state, us);
}

// What the screen loop does with it: layout, drawing into cells and the
// text sent to the terminal.
void draw_frame(benchmark::State& state) {
  const int width = static_cast<int>(state.range(0));
  const int height = static_cast<int>(state.range(1));
  Observer o(width, height);
  std::vector<double> us;
  for (auto _ : state) {
    const auto start = Clock::now();
    auto frame = o.peer.render_frame();
    auto screen = ftxui::Screen::Create(ftxui::Dimension::Fixed(width), ftxui::Dimension::Fixed(height));
    ftxui::Render(screen, frame);
    auto output = screen.ToString();
    us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    benchmark::DoNotOptimize(output);
  }
  report(state, us);
}

// How long one frame holds the data mutex: the bench links with the mutex
// calls wrapped, so every lock and unlock of the watched mutex is timed.
std::atomic<pthread_mutex_t*> watched{nullptr};
Clock::time_point locked_at;
double held_us = 0.0;
double longest_us = 0.0;

void lock_held_per_frame(benchmark::State& state) {
  Observer o(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  std::vector<double> per_frame;
  longest_us = 0.0;
  watched = o.peer.data_mutex().native_handle();
  for (auto _ : state) {
    held_us = 0.0;
    auto element = o.peer.render_frame();
    benchmark::DoNotOptimize(element);
    per_frame.push_back(held_us);
  }
  watched = nullptr;
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
BENCHMARK(lock_held_per_frame)->Apply(sizes)->Iterations(2000);

}  // namespace

// Only the interface thread takes the watched mutex here, so plain globals do.
extern "C" int __real_pthread_mutex_lock(pthread_mutex_t* mutex);
extern "C" int __real_pthread_mutex_unlock(pthread_mutex_t* mutex);

extern "C" int __wrap_pthread_mutex_lock(pthread_mutex_t* mutex) {
  const int result = __real_pthread_mutex_lock(mutex);
  if (mutex == watched.load(std::memory_order_relaxed)) {
    locked_at = Clock::now();
  }
  return result;
}

extern "C" int __wrap_pthread_mutex_unlock(pthread_mutex_t* mutex) {
  if (mutex == watched.load(std::memory_order_relaxed)) {
    const double us = std::chrono::duration<double, std::micro>(Clock::now() - locked_at).count();
    held_us += us;
    longest_us = std::max(longest_us, us);
  }
  return __real_pthread_mutex_unlock(mutex);
}
