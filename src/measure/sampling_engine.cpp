#include "measure/sampling_engine.hpp"

namespace measure {

SamplingEngine::SamplingEngine(Waits& waits, std::mutex& data_mutex, const std::vector<SamplerSetup>& samplers)
    : waits_(waits), data_mutex_(data_mutex), kept_(std::make_unique<std::atomic<std::size_t>[]>(samplers.size())) {
  for (const SamplerSetup& setup : samplers) {
    samplers_.push_back(std::make_unique<SleepSampler>(waits, setup));
  }
}

SamplingEngine::~SamplingEngine() { stop(); }

bool SamplingEngine::start() {
  if (active_) {
    return false;
  }
  const bool granted = waits_.raise_process_priority();
  {
    const std::lock_guard lock(end_mutex_);
    ended_ = false;
  }
  thread_ = std::jthread([this](const std::stop_token& stop) { loop(stop); });
  active_ = true;
  return granted;
}

void SamplingEngine::stop() {
  active_ = false;
  if (thread_.joinable()) {
    thread_.request_stop();
    thread_.join();
  }
}

bool SamplingEngine::wait_for_end(std::chrono::milliseconds timeout) {
  std::unique_lock lock(end_mutex_);
  return end_changed_.wait_for(lock, timeout, [this] { return ended_; });
}

bool SamplingEngine::step(std::size_t i) {
  SleepSampler& sampler = *samplers_[i];
  try {
    const std::lock_guard lock(data_mutex_);
    if (sampler.full()) {
      return false;
    }
    sampler.measure(kStepMs);
    kept_[i].store(sampler.samples().size(), std::memory_order_relaxed);
  } catch (...) {
    // A failed lock, or an allocation failure while recording: the next
    // step tries again.
  }
  return true;
}

void SamplingEngine::loop(const std::stop_token& stop) {
  // First of all: the priority, and the resumes after a suspension counted
  // here, so that a wait it was stopped in is dropped.
  thread_priority_.store(waits_.raise_thread_priority(), std::memory_order_relaxed);
  waits_.count_resumes_here();
  bool first_step = true;
  bool measuring = true;
  while (measuring && !stop.stop_requested()) {
    measuring = false;
    for (std::size_t i = 0; i < samplers_.size(); ++i) {
      if (stop.stop_requested() || !step(i)) {
        continue;
      }
      measuring = true;
      if (first_step) {
        first_step = false;
        resolution_ = waits_.query_timer_resolution();
      }
      // The pause, cut short by a stop.
      std::unique_lock lock(end_mutex_);
      end_changed_.wait_for(lock, stop, kStepPause, [] { return false; });
    }
  }
  const std::lock_guard lock(end_mutex_);
  ended_ = true;
  end_changed_.notify_all();
}

}  // namespace measure
