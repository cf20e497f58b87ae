#include "measure/interleaved_run.hpp"

#include <algorithm>
#include <memory>

#include "measure/sampling.hpp"

namespace measure {

InterleavedRun::InterleavedRun(Platform& platform, std::vector<SleepMode> modes, std::size_t samples_per_method)
    : platform_(platform), modes_(std::move(modes)), wanted_(samples_per_method) {
  outcome_.samples.resize(modes_.size());
  // Room for every sample up front: keeping a sample never allocates.
  for (auto& samples : outcome_.samples) {
    samples.reserve(wanted_);
  }
}

InterleavedRun::~InterleavedRun() { stop(); }

bool InterleavedRun::start() {
  const bool granted = platform_.set_priority_class_realtime();
  thread_ = std::thread(&InterleavedRun::loop, this);
  return granted;
}

void InterleavedRun::stop() {
  stop_ = true;
  if (thread_.joinable()) {
    thread_.join();
  }
}

bool InterleavedRun::wait_for(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return finished_changed_.wait_for(lock, timeout, [this] { return finished_; });
}

std::vector<std::size_t> InterleavedRun::counts() const {
  const std::lock_guard lock(mutex_);
  std::vector<std::size_t> counts;
  for (const auto& samples : outcome_.samples) {
    counts.push_back(samples.size());
  }
  return counts;
}

InterleavedRun::Outcome InterleavedRun::outcome() const {
  const std::lock_guard lock(mutex_);
  return outcome_;
}

void InterleavedRun::keep(std::size_t method, const std::vector<std::uint64_t>& recorded) {
  const std::lock_guard lock(mutex_);
  auto& samples = outcome_.samples[method];
  const std::size_t take = std::min(wanted_ - samples.size(), recorded.size());
  samples.insert(samples.end(), recorded.begin(), recorded.begin() + static_cast<std::ptrdiff_t>(take));
}

void InterleavedRun::loop() {
  try {
    const bool granted = enter_sampling_thread(platform_);
    {
      const std::lock_guard lock(mutex_);
      outcome_.thread_priority = granted;
    }
    // One sampler per method, so each keeps its own mode and its bound of 500.
    std::vector<std::unique_ptr<SleepSampler>> samplers;
    for (const SleepMode mode : modes_) {
      samplers.push_back(std::make_unique<SleepSampler>(platform_));
      samplers.back()->mode_ = mode;
    }
    std::vector<std::size_t> remaining(modes_.size(), wanted_);
    bool first_step = true;
    while (!stop_ && std::any_of(remaining.begin(), remaining.end(), [](std::size_t r) { return r > 0; })) {
      for (std::size_t i = 0; i < samplers.size() && !stop_; ++i) {
        if (remaining[i] == 0) {
          continue;
        }
        SleepSampler& sampler = *samplers[i];
        measure_step(sampler);
        keep(i, sampler.samples_);
        remaining[i] -= std::min(remaining[i], sampler.samples_.size());
        sampler.clear();
        if (first_step) {
          first_step = false;
          const auto resolution = read_timer_resolution(platform_);
          const std::lock_guard lock(mutex_);
          outcome_.resolution = resolution;
        }
        std::this_thread::sleep_for(kStepPause);
      }
    }
  } catch (...) {
    // A failed lock or pause: the run ends with what it has.
  }
  const std::lock_guard lock(mutex_);
  finished_ = true;
  finished_changed_.notify_all();
}

}  // namespace measure
