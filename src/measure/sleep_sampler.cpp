#include "measure/sleep_sampler.hpp"

#include <cstddef>

#include "measure/wait_tally.hpp"

namespace measure {

SleepSampler::SleepSampler(Waits& waits, const SamplerSetup& setup, Placement* placement,
                           std::optional<std::uint32_t> pinned)
    : context_{waits,
               waits.counter_frequency(),
               setup.interval,
               setup.read_cpu,
               {},
               setup.read_cpu_number ? placement : nullptr},
      pinned_(pinned),
      tally_(setup.tally),
      mode_(setup.mode),
      max_samples_(setup.max_samples),
      retention_(setup.retention) {
  // Room for every sample up front: keeping one never allocates.
  samples_.reserve(max_samples_ + 1);
}

bool SleepSampler::full() const { return retention_ == Retention::KeepFirst && samples_.size() >= max_samples_; }

void SleepSampler::record(const TimedWait& wait, std::uint64_t resumes_before) {
  // The process was suspended during the wait (Ctrl+Z, SIGSTOP): it measured
  // the suspension, not the wait.
  if (context_.waits.resume_count() != resumes_before || full()) {
    return;
  }
  const std::uint64_t duration = wait.end_us - wait.start_us;
  if (retention_ != Retention::KeepNone) {
    samples_.push_back(duration);
  }
  if (tally_ != nullptr) {
    tally_->add(mode_, wait);
  }
  costs_.waited_us += duration;
  costs_.cpu_ns += wait.cpu_ns.value_or(0);
  costs_.cpu_unknown = costs_.cpu_unknown || !wait.cpu_ns;
  costs_.fallbacks += wait.fell_back ? 1 : 0;
  if (context_.placement != nullptr) {
    const auto from = wait.start_cpu;
    const auto to = wait.end_cpu;
    costs_.migrations_unknown = costs_.migrations_unknown || !from || !to;
    costs_.migrations += from && to && (*from != *to || (pinned_ && *from != *pinned_)) ? 1U : 0U;
  }
  if (samples_.size() > max_samples_) {
    samples_.erase(samples_.begin(), samples_.begin() + static_cast<std::ptrdiff_t>(samples_.size() - max_samples_));
  }
}

void SleepSampler::measure(std::int32_t duration_ms) {
  if (context_.frequency <= 0) {
    return;
  }
  const std::uint64_t deadline =
      context_.now_us() + static_cast<std::uint64_t>(static_cast<std::int64_t>(duration_ms) * 1000);
  if (context_.now_us() >= deadline) {
    return;
  }
  do {
    if (const WaitMethod* method = find_method(mode_)) {
      context_.waits.ready_to_wait();
      const std::uint64_t resumes = context_.waits.resume_count();
      record(method->wait(context_), resumes);
    }
  } while (context_.now_us() < deadline);
  if (tally_ != nullptr) {
    tally_->after_step();
  }
}

void SleepSampler::clear() {
  samples_.clear();
  costs_ = {};
}

}  // namespace measure
