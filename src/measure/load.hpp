#pragma once

// A load on the machine: threads that keep a CPU busy each, with no system
// call and no memory traffic, so that what they take from a waiting thread
// is CPU time alone.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <thread>
#include <vector>

#include "measure/waits.hpp"

namespace measure {

// What the load's threads had, summed over them: their CPU time, and how
// long they ran. The CPU time is unknown where the system will not say.
struct LoadUse {
  std::uint64_t cpu_ns = 0;
  std::uint64_t lived_ns = 0;
  bool cpu_unknown = false;
  LoadUse& operator+=(const LoadUse& other);
};

class Load {
 public:
  // Starts `threads` threads and returns once every one of them is
  // spinning. They take the priority and the CPUs of the calling thread.
  // Throws when the system will not start one, the others ended first.
  Load(Waits& waits, std::uint32_t threads);
  Load(const Load&) = delete;
  Load& operator=(const Load&) = delete;
  // Stops them and waits for each.
  ~Load();

  // Stops the threads and waits for each to end; once.
  void stop();
  // What they had, once stopped.
  const LoadUse& use() const { return use_; }

  // Load threads of the whole process that have not ended: 0 whenever no
  // measuring is under way.
  static std::size_t running();

 private:
  void spin(std::size_t index);

  Waits& waits_;
  std::atomic<bool> stop_{false};
  std::atomic<std::uint64_t> sink_{0};
  std::vector<LoadUse> uses_;
  std::vector<std::thread> threads_;
  LoadUse use_;
};

}  // namespace measure
