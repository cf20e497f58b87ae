#include "measure/sampling_engine.hpp"

#include <exception>
#include <utility>

namespace measure {

SamplingEngine::SamplingEngine(Waits& waits, Placement* placement, std::mutex& data_mutex,
                               std::vector<ConditionSetup> conditions, std::chrono::milliseconds phase)
    : waits_(waits), placement_(placement), data_mutex_(data_mutex), runs_(conditions.size()), phase_(phase) {
  for (const ConditionSetup& setup : conditions) {
    conditions_.push_back(setup.condition);
    first_.push_back(samplers_.size());
    for (const SamplerSetup& sampler : setup.samplers) {
      samplers_.push_back(std::make_unique<SleepSampler>(waits, sampler, placement, setup.condition.cpu));
    }
  }
  first_.push_back(samplers_.size());
  kept_ = std::make_unique<std::atomic<std::size_t>[]>(samplers_.size());
}

SamplingEngine::SamplingEngine(Waits& waits, std::mutex& data_mutex, const std::vector<SamplerSetup>& samplers)
    : SamplingEngine(waits, nullptr, data_mutex, {{Condition{}, samplers}}) {}

SamplingEngine::~SamplingEngine() { stop(); }

bool SamplingEngine::start() {
  if (active_) {
    return false;
  }
  {
    const std::lock_guard lock(end_mutex_);
    ended_ = false;
  }
  thread_ = std::jthread([this](const std::stop_token& stop) { loop(stop); });
  active_ = true;
  return true;
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

bool SamplingEngine::full(std::size_t c) {
  const std::lock_guard lock(data_mutex_);
  for (std::size_t i = first_[c]; i < first_[c + 1]; ++i) {
    if (!samplers_[i]->full()) {
      return false;
    }
  }
  return true;
}

std::optional<std::string> SamplingEngine::failure() const {
  const std::lock_guard lock(end_mutex_);
  return failure_;
}

void SamplingEngine::fail(std::string why) {
  const std::lock_guard lock(end_mutex_);
  if (!failure_) {
    failure_ = std::move(why);
  }
}

void SamplingEngine::loop(const std::stop_token& stop) {
  // Round after round, a phase of each condition that still measures; with
  // one such condition left, its phase lasts until it is done.
  for (bool measuring = true; measuring && !stop.stop_requested() && !failure();) {
    measuring = false;
    for (std::size_t c = 0; c < conditions_.size() && !stop.stop_requested() && !failure(); ++c) {
      if (full(c)) {
        continue;
      }
      measuring = true;
      bool others = false;
      for (std::size_t other = 0; other < conditions_.size(); ++other) {
        others = others || (other != c && !full(other));
      }
      try {
        // The load threads first, so that the condition holds from the
        // first wait to the last; they take this thread's priority and
        // CPUs, which are the process's own.
        std::optional<Load> load;
        if (conditions_[c].load > 0) {
          load.emplace(waits_, conditions_[c].load);
        }
        std::thread([&] { measure_phase(c, stop, others); }).join();
        if (load) {
          load->stop();
          runs_[c].load += load->use();
        }
      } catch (const std::exception& e) {
        fail(std::string("a thread could not be started: ") + e.what());
      }
    }
  }
  const std::lock_guard lock(end_mutex_);
  ended_ = true;
  end_changed_.notify_all();
}

void SamplingEngine::measure_phase(std::size_t c, const std::stop_token& stop, bool timed) {
  // First of all: the priority, and the resumes after a suspension counted
  // here, so that a wait it was stopped in is dropped.
  const Condition& condition = conditions_[c];
  ConditionRun& run = runs_[c];
  const bool raised = condition.priority == Priority::Raised;
  if (raised) {
    run.process_granted += waits_.raise_process_priority() ? 1U : 0U;
    run.thread_granted += waits_.raise_thread_priority() ? 1U : 0U;
  }
  ++run.phases;
  waits_.measure_on_this_thread();
  if (condition.cpu && (placement_ == nullptr || !placement_->pin_this_thread(*condition.cpu))) {
    fail("the measuring thread could not be kept to CPU " + std::to_string(*condition.cpu));
  }
  const auto began = std::chrono::steady_clock::now();
  for (bool measuring = !failure(); measuring && !stop.stop_requested();) {
    measuring = false;
    for (std::size_t i = first_[c]; i < first_[c + 1]; ++i) {
      if (stop.stop_requested() || !step(i)) {
        continue;
      }
      measuring = true;
      if (!run.stepped) {
        // Under the data mutex: a partial report reads it meanwhile.
        const std::lock_guard lock(data_mutex_);
        run.stepped = true;
        run.resolution = waits_.query_timer_resolution();
      }
      // The pause, cut short by a stop.
      std::unique_lock lock(end_mutex_);
      end_changed_.wait_for(lock, stop, kStepPause, [] { return false; });
    }
    if (timed && std::chrono::steady_clock::now() - began >= phase_) {
      break;
    }
  }
  if (raised) {
    waits_.restore_process_priority();
  }
}

}  // namespace measure
