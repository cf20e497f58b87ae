// Conditions as a user asks for them: refused before anything starts where
// they cannot be had; each a block of its own, keyed in every output and
// paired with a baseline's by every key; no load thread outlives a report.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <set>

#include "measure/load.hpp"
#include "support/command_line.hpp"

namespace {

using testing::HasSubstr;
using testing_support::FakePlatform;
using testing_support::run;

TEST(Conditions, BadChoicesGetOneLineAndStartNothing) {
  const std::string cpus = "accepts CPU numbers from 0 to 8191 and ranges of them (0,2-3), separated by commas, or all";
  const std::string loads = "--load: accepts whole numbers of threads from 0 to 256";
  const std::string priorities = "--priority: accepts raised or normal";
  std::vector<std::tuple<std::vector<std::string>, std::vector<std::uint32_t>, std::string>> cases = {
      {{"--report", "--load", "-1"}, {0, 1}, loads + ", separated by commas, not \"-1\""},
      {{"--report", "--load", "257"}, {0, 1}, loads},
      {{"--report", "--load", "1,,2"}, {0, 1}, loads},
      {{"--report", "--load", "2", "--load", "0,2"}, {0, 1}, "--load: names each load once; 2 came twice"},
      {{"--report", "--cpu", "99"}, {0, 1}, "--cpu: CPU 99 does not exist; this machine has CPUs 0-1"},
      // As under `taskset -c 0`.
      {{"--report", "--cpu", "1"}, {0}, "--cpu: CPU 1 is not one this process may use; it may use CPUs 0"},
      {{"--report", "--cpu", "0-1"}, {0}, "--cpu: CPU 1 is not one this process may use; it may use CPUs 0"},
      {{"--report", "--cpu", "0,0-1"}, {0, 1}, "--cpu: names each CPU once; 0 came twice"},
      {{"--report", "--cpu", "all,1"}, {0, 1}, "--cpu: all names every CPU the process may use and goes alone"},
      {{"--report", "--cpu", "1", "--cpu", "all"}, {0, 1}, "--cpu: all names every CPU"},
      {{"--report", "--priority", "fast"}, {0, 1}, priorities + ", separated by commas, not \"fast\""},
      {{"--report", "--priority", "normal,Normal"}, {0, 1}, "--priority: names each priority once; normal came twice"},
      // The screen: one condition, on a CPU there and its own.
      {{"--load", "1,2"}, {0, 1}, "--load: the screen measures in one condition; a list needs --report"},
      {{"--cpu", "all"}, {0, 1}, "--cpu: the screen measures on one CPU; all needs --report"},
      {{"--cpu", "1"}, {0}, "--cpu: CPU 1 is not one this process may use"},
      {{"--load", "257"}, {0, 1}, loads},
      {{"--priority", "fast"}, {0, 1}, priorities},
      {{"--samples", "5"}, {0, 1}, "--samples requires --report"},
  };
  for (const char* list : {"1-", "-1", "a", "3-1", "1,,2", "", "0x1", "8192", "1 ", "0-8192"}) {
    cases.push_back({{"--report", "--cpu", list}, {0, 1}, "--cpu: " + cpus + ", not \"" + list + "\""});
  }
  for (const auto& [args, usable, says] : cases) {
    FakePlatform platform;
    platform.placement.usable = usable;
    testing_support::expect_refused(args, platform, says);
  }
}

// Every combination, the priority outermost and the CPU innermost, each
// entry with its condition: what was granted, how busy the load was, the CPU
// and its kind, and no migration where the thread was kept to a CPU; each
// spike names its entry.
TEST(Conditions, EachIsAnEntryWithItsKeys) {
  FakePlatform platform;
  platform.placement.kinds = {{0, measure::CpuKind::Performance}};
  platform.waits.wait_counts = 10'010;  // 1001 μs a sleep: a spike each
  const auto r = run({"--report", "--json", "--samples", "3", "--method", "sleep,busywait", "--priority",
                      "raised,normal", "--load", "0,2", "--cpu", "all", "--spike", "0"},
                     platform);
  ASSERT_EQ(r.status, 0) << r.err;
  const auto doc = nlohmann::json::parse(r.out);
  EXPECT_EQ(doc["usable_cpus"], nlohmann::json::parse("[0, 1]"));
  const auto granted = nlohmann::json::parse(R"({"process": true, "thread": true})");
  EXPECT_EQ(doc["priority"], granted);
  ASSERT_EQ(doc["methods"].size(), 16U);
  for (std::size_t i = 0; i < 16; ++i) {
    const auto& m = doc["methods"][i];
    SCOPED_TRACE(m.dump());
    const bool raised = i < 8;
    const unsigned load = i % 8 < 4 ? 0 : 2, cpu = i % 4 < 2 ? 0 : 1;
    EXPECT_EQ(m["method"], i % 2 == 0 ? "Sleep" : "BusyWait");
    EXPECT_EQ(m["priority"], raised ? "raised" : "normal");
    EXPECT_EQ(m["priority_granted"], raised ? granted : nlohmann::json());
    EXPECT_EQ(m["load"], load);
    EXPECT_EQ(m["load_cpu_percent"].is_number(), load > 0);
    EXPECT_EQ(m["cpu"], cpu);
    EXPECT_EQ(m["cpu_kind"], cpu == 0 ? nlohmann::json("performance") : nlohmann::json());
    EXPECT_EQ(m["migrations"], 0) << "kept to its CPU";
  }
  // Each spike names the entry it is of: every sleep's, each of its waits.
  std::multiset<std::string> sleeps, spikes;
  for (const auto& m : doc["methods"]) {
    for (int wait = 0; m["method"] == "Sleep" && wait < 3; ++wait) {
      sleeps.insert(nlohmann::json{m["method"], m["priority"], m["load"], m["cpu"]}.dump());
    }
  }
  for (const auto& spike : doc["spikes"]["kept"]) {
    spikes.insert(nlohmann::json{spike["method"], spike["priority"], spike["load"], spike["pinned_cpu"]}.dump());
  }
  EXPECT_EQ(spikes, sleeps);
  // Normal asked for nothing: only the raised conditions' phases did.
  EXPECT_EQ(platform.waits.process_priority_requests, platform.waits.process_priority_restores);
  EXPECT_EQ(platform.waits.waits_at_normal_priority, 4 * 3) << "every sleep in a normal condition";
}

// The table shows as columns the parts of the condition that vary, the
// others once above it; the choice is made per condition; a gate looks at
// every entry, and so do the metrics.
TEST(Conditions, EveryOutputNamesThem) {
  FakePlatform platform;
  platform.placement.kinds = {{1, measure::CpuKind::Efficiency}};
  auto r = run({"--report", "--samples", "3", "--method", "sleep", "--load", "0,2", "--cpu", "1", "--within", "0",
                "--max-p99", "999"},
               platform);
  EXPECT_EQ(r.status, 3);
  EXPECT_THAT(r.out, HasSubstr("\nPinned      CPU 1 (efficiency), the measuring thread kept to it\n"));
  EXPECT_THAT(r.out,
              HasSubstr("\nLoad        threads of integer arithmetic, no system call, at normal thread priority, on "
                        "CPUs 0-1\n            on a CPU "));
  EXPECT_THAT(r.out, testing::ContainsRegex("\nLoad +Method +Samples .* CPU% +Migr.\n0 +Sleep +3 .* 0\n2 +Sleep"));
  EXPECT_THAT(r.out, HasSubstr("\nWithin 0 μs of 1000 μs, CPU 1: Sleep costs the least CPU"));
  EXPECT_THAT(r.out, HasSubstr("\nWithin 0 μs of 1000 μs, load 2, CPU 1: Sleep costs the least CPU"));
  EXPECT_EQ(r.err,
            "quorvane: Sleep p99 1000 μs is above --max-p99 999 μs, CPU 1\n"
            "quorvane: Sleep p99 1000 μs is above --max-p99 999 μs, load 2, CPU 1\n");
  r = run({"--report", "--format", "openmetrics", "--samples", "3", "--method", "sleep", "--load", "0,2", "--cpu", "1"},
          platform);
  const std::string loaded = "interval=\"1000\",resolution=\"default\",priority=\"raised\",load=\"2\",cpu=\"1\"";
  EXPECT_THAT(r.out, HasSubstr("\nquorvane_wait_max_seconds{method=\"Sleep\"," + loaded + "} 0.001\n"));
  EXPECT_THAT(r.out, HasSubstr("\nquorvane_wait_migrations{method=\"Sleep\"," + loaded + "} 0\n"));
  EXPECT_THAT(r.out, HasSubstr("\nquorvane_load_cpu_ratio{" + loaded + "} "));
}

// An entry is compared with the baseline's of the same condition alone; the
// others are named, and where none pairs the report says in what they differ.
TEST(Conditions, ComparedByEveryKey) {
  auto earlier = testing_support::measured("sleep", {"--load", "0,2", "--cpu", "0,1"});
  earlier["methods"][3]["p99"] = 900;  // load 2, CPU 1
  const std::string base = testing_support::file("conditions.json", earlier.dump());
  FakePlatform platform;
  auto r = run({"--report", "--samples", "3", "--method", "sleep", "--load", "2", "--cpu", "1", "--compare", base,
                "--max-regression", "50"},
               platform);
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.err,
            "quorvane: Sleep, load 2, CPU 1 p99 rose by 100 μs (900 → 1000 μs), more than --max-regression 50 μs\n");
  EXPECT_THAT(r.out, HasSubstr("\nOnly in the baseline: Sleep (1000 μs, CPU 0)\nOnly in the baseline: Sleep (1000 "
                               "μs, CPU 1)\nOnly in the baseline: Sleep (1000 μs, load 2, CPU 0)\n"));
  const std::pair<std::vector<std::string>, std::string> unpaired[] = {
      {{"--load", "4", "--cpu", "1"}, "the baseline was measured under a load of 0 and 2 threads, this report under 4"},
      {{}, "the baseline was measured on CPU 0 and CPU 1, this report on any CPU"},
      {{"--priority", "normal"}, "the baseline was measured at raised priority, this report at normal"},
  };
  for (const auto& [condition, why] : unpaired) {
    std::vector<std::string> args{"--report", "--json", "--samples", "3", "--method", "sleep", "--compare", base};
    args.insert(args.end(), condition.begin(), condition.end());
    r = run(args, platform);
    const auto doc = nlohmann::json::parse(r.out);
    EXPECT_EQ(doc["baseline"]["why_nothing_compared"], why);
    EXPECT_EQ(doc["baseline"]["only_in_baseline"][2],
              nlohmann::json::parse(R"({"method": "Sleep", "interval": 1000, "resolution_requested": null,
                                        "priority": "raised", "load": 2, "cpu": 0})"));
  }
}

// However the run ends (a stop signal, an output that fails, a CPU the
// thread cannot be kept to, before any wait there), the status and the error
// say how, the process's priority is given back, and its load threads, which
// ran, have ended when the report returns.
TEST(Conditions, NoLoadThreadOutlivesTheReport) {
  struct Case {
    std::vector<std::string> extra;
    int signal_at;
    bool out_fails, pin_refused;
    int status;
    std::string err;
  };
  const std::string unwritable = "quorvane: the report could not be written to standard output\n";
  const std::string unpinned = "quorvane: the report failed: the measuring thread could not be kept to CPU 1\n";
  for (const auto& c : {Case{{"--samples", "1000000"}, 3, false, false, 0, ""}, Case{{}, 0, true, false, 1, unwritable},
                        Case{{"--cpu", "1"}, 0, false, true, 1, unpinned}}) {
    SCOPED_TRACE(testing::PrintToString(c.extra));
    FakePlatform platform;
    platform.placement.pin_refused = c.pin_refused;
    std::size_t most = 0;
    platform.waits.on_read = [&] { most = std::max(most, measure::Load::running()); };
    std::vector<std::string> args{"--report", "--method", "sleep", "--samples", "3", "--load", "2"};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    const auto r = run(args, platform, c.signal_at, c.out_fails);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.out.find("\nInterrupted ") != std::string::npos, c.signal_at != 0) << r.out;
    EXPECT_TRUE(r.out.empty() || !c.pin_refused) << "a report of a run that failed";
    EXPECT_EQ(most, c.pin_refused ? 0U : 2U) << "the load ran while it measured";
    EXPECT_EQ(platform.waits.waits == 0, c.pin_refused) << "a wait off the CPU it was to be kept to";
    EXPECT_EQ(platform.waits.process_priority_restores, platform.waits.process_priority_requests);
    EXPECT_EQ(measure::Load::running(), 0U) << "a load thread outlived the report";
  }
}

}  // namespace
