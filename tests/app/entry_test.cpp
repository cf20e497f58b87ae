// The command line as a user gives it: the interactive mode's options, and
// the report's, run through the entry with its streams captured.
#include "app/entry.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>
#include <tuple>

#include "support/fake_console.hpp"
#include "support/fake_process.hpp"
#include "support/fake_waits.hpp"

namespace {

using testing::AllOf;
using testing::Eq;
using testing::HasSubstr;
using testing::Matcher;
using testing::Ne;
using testing::Not;
using testing::StartsWith;

// What a report measures on: scripted waits, a process that catches a stop
// signal when told to, no terminal.
struct FakePlatform {
  testing_support::FakeWaits waits;
  testing_support::FakeProcess process;
  testing_support::FakeConsole console;
};

struct Outcome {
  int status;
  std::string out, err;
  bool ran = false;  // whether the interface was started
};

// The entry on `args`, reports measured on `platform`: a stop signal is caught
// at check `signal_at` (0: never); the interface, if started, throws `failure`.
Outcome run(std::vector<std::string> args, FakePlatform& platform, int signal_at = 0, bool out_fails = false,
            const char* failure = nullptr) {
  platform.process.signal_at = signal_at;
  args.insert(args.begin(), "quorvane");
  std::vector<char*> argv(args.size());
  std::transform(args.begin(), args.end(), argv.begin(), [](std::string& a) { return a.data(); });
  std::ostringstream out, err;
  out.setstate(out_fails ? std::ios::badbit : std::ios::goodbit);
  Outcome result{};
  result.status = app::run_entry(static_cast<int>(argv.size()), argv.data(), out, err,
                                 {platform.waits, platform.process, platform.console}, [&] {
                                   result.ran = true;
                                   if (failure != nullptr) {
                                     throw std::runtime_error(failure);
                                   }
                                 });
  result.out = out.str(), result.err = err.str();
  return result;
}

// A file in the test's own folder, holding `text`.
std::string file(const std::string& name, const std::string& text) {
  const std::string path = testing::TempDir() + name;
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

// A JSON report of `methods`, measured on a fake, edited by `edit`.
std::string baseline(const std::string& name, const char* methods, const std::function<void(nlohmann::json&)>& edit) {
  FakePlatform platform;
  auto doc = nlohmann::json::parse(run({"--report", "--json", "--samples", "3", "--method", methods}, platform).out);
  edit(doc);
  return file(name, doc.dump());
}

TEST(Entry, CommandLines) {
  const Matcher<std::string> version = Eq("Quorvane CLI Version 1.0.1\n");
  const Matcher<std::string> help =
      AllOf(StartsWith("Quorvane CLI"), HasSubstr("Print this help message and exit"),
            HasSubstr("Show version and exit"), HasSubstr("Enable verbose output"), Not(HasSubstr("Version 1.0.1")));
  const Matcher<std::string> none = Eq("");
  struct Case {
    std::vector<std::string> args;
    const char* failure;  // of the interface
    Matcher<int> status;
    Matcher<std::string> out, err, log;  // log: what the logger wrote on standard output
    bool ran;
    bool out_fails = false;  // as on a full disk or a closed standard output
  };
  const Case cases[] = {
      {{"--version"}, nullptr, Eq(0), version, none, none, false},
      {{"--help", "--version"}, nullptr, Eq(0), help, none, none, false},
      {{"--version=maybe"}, nullptr, Ne(0), none, StartsWith("Quorvane CLI"), none, false},
      // Undeclared arguments are ignored; the start line is below the default level.
      {{"--frobnicate", "stray"}, nullptr, Eq(0), none, none, none, true},
      {{"-v"}, nullptr, Eq(0), none, none, HasSubstr("[info] 🚀 Starting Real-Time Timer Analysis TUI\n"), true},
      // Standard output is not a terminal (the test captures it): the error goes to standard error too.
      {{}, "no terminal", Eq(1), none, Eq("quorvane: no terminal\n"), Eq("[error] ❌ TUI Error: no terminal\n"), true},
      {{"--version"}, nullptr, Eq(1), none, Eq("quorvane: cannot write to standard output\n"), none, false, true},
      {{"-h"}, nullptr, Eq(1), none, Eq("quorvane: cannot write to standard output\n"), none, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    FakePlatform platform;
    testing::internal::CaptureStdout();
    const auto r = run(c.args, platform, 0, c.out_fails, c.failure);
    std::string log = testing::internal::GetCapturedStdout();
    std::erase(log, '\r');  // a text file's line ends on Windows
    EXPECT_THAT(log, c.log);
    EXPECT_THAT(r.status, c.status);
    EXPECT_THAT(r.out, c.out);
    EXPECT_THAT(r.err, c.err);
    EXPECT_EQ(r.ran, c.ran);
  }
}

TEST(Report, BadOptionsGetOneLineAndMeasureNothing) {
  std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--report", "--samples", "0"}, "--samples: Value 0 not in range [1 - 1000000]"},
      {{"--report", "--samples", "1000001"}, "--samples: Value 1000001 not in range"},
      {{"--report", "--samples"}, "--samples: 1 required"},
      {{"--report", "--method", "slep"}, "--method: slep not in {all,sleep,busywait,timer,hrtimer,hybrid}"},
      {{"--report", "--method", "timer,Timer"}, "--method names each method once; \"timer\" came twice"},
      {{"--report", "--method", "all,sleep"}, "--method all names every method and goes alone"},
      {{"--report", "--interval", "0"}, "--interval: Value 0 not in range [1 - 1000000]"},
      {{"--report", "--interval", "1000001"}, "--interval: Value 1000001 not in range"},
      {{"--report", "--interval", "1ms"}, "--interval: Value 1ms not in range"},
      {{"--report", "--within", "-1"}, "--within: Value -1 not in range [0 - 1000000]"},
      {{"--report", "--within", "x"}, "--within: Value x not in range"},
      {{"--report", "--max-p99", "1.5"}, "--max-p99: Value 1.5 not in range"},
      {{"--report", "--max-p9", "5"}, "unknown argument \"--max-p9\""},
      // After "--" nothing is an option.
      {{"--report", "--method", "busywait", "--", "--json"}, "unknown argument \"--json\""},
  };
  // A value given to a flag is refused, whatever it says.
  for (const char* value : {"--json=maybe", "--json=0", "--json=false", "--json=true", "--json="}) {
    cases.push_back({{"--report", value}, "--json takes no value"});
  }
  for (const char* value : {"--report=1", "--report=yes", "--report=", "--report=0", "--report=off"}) {
    cases.push_back({{value}, "--report takes no value"});
  }
  // A list with an empty item, or an item out of range; nor does a bad list take the next argument.
  for (const char* list : {"500,,1000", "500,", ",", "-1", "1000001", "5,1000001", "5, 6"}) {
    cases.push_back({{"--report", "--resolution", list, "--json"},
                     "--resolution: accepts whole numbers of μs from 0 to 1000000, separated by commas, not \"" +
                         std::string(list) + "\""});
  }
  // A baseline that is no report to compare with.
  const std::string report = baseline("report.json", "sleep", [](auto&) {});
  const std::string text = report.substr(0, report.size() / 2);
  const std::pair<std::string, const char*> baselines[] = {
      {testing::TempDir() + "missing.json", "cannot be read: "},
      {file("report.txt", "Quorvane 1.0.1 report: waits of 1 ms\n"), "is not JSON (byte 1)"},
      {file("other.json", R"({"name": "other", "version": 2})"), "is JSON, but no report of Quorvane"},
      {baseline("v9.json", "sleep", [](auto& doc) { doc["file_version"] = 9; }),
       "is a report of file_version 9, which this Quorvane does not read (it reads 1 to 2)"},
      {file("cut.json", R"({"program": "Quorvane", "file_version": 2, "methods": [)"), "is cut short"},
      {baseline("no-p99.json", "sleep", [](auto& doc) { doc["methods"][0].erase("p99"); }), "methods[0] has no p99"},
  };
  for (const auto& [path, says] : baselines) {
    cases.push_back({{"--report", "--compare", path}, "--compare " + path + ": " + says});
  }
  cases.push_back({{"--report", "--max-regression", "5"}, "--max-regression requires --compare"});
  cases.push_back({{"--report", "--json", "--format", "text"}, "--json excludes --format"});
  cases.push_back({{"--report", "--format", "xml"}, "--format: xml not in {text,json,openmetrics}"});
  for (const char* option : {"--json", "--method=sleep", "--samples=5", "--interval=5", "--resolution=5", "--max-p99=5",
                             "--within=5", "--format=json", "--compare=x"}) {
    cases.push_back({{option}, std::string(option).substr(0, std::string(option).find('=')) + " requires --report"});
  }
  for (const auto& [args, says] : cases) {
    FakePlatform platform;
    const auto r = run(args, platform);
    EXPECT_EQ(r.status, 2) << says;
    EXPECT_THAT(r.err, testing::StartsWith("quorvane: " + says));
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << says;
    EXPECT_EQ(platform.waits.counter, 0) << says << ": measured";
    EXPECT_FALSE(r.ran) << says;
  }
}

// Every method at two resolutions in turn: what each wait cost, the
// fallbacks (no high-resolution timer here), the choice within 5 μs.
TEST(Report, JsonDocumentReadsBack) {
  FakePlatform platform;
  platform.waits.wait_counts = 20'000;  // the waits last their 2000 μs
  platform.waits.high_resolution_refused = true;
  const auto r = run({"--report", "--json", "--samples=3", "--method", "ALL", "--interval", "2000", "--resolution",
                      "500,1000", "--within", "5"},
                     platform);
  ASSERT_EQ(r.status, 0) << r.err;
  const auto doc = nlohmann::json::parse(r.out);
  EXPECT_EQ(doc["file_version"], 2);
  EXPECT_EQ(doc["resolution"], nlohmann::json::parse(R"({"current": 15625, "coarsest": 15625, "finest": 500})"));
  EXPECT_EQ(platform.waits.requests, (std::vector<std::uint32_t>{500, 1000}));
  EXPECT_EQ(platform.waits.releases, platform.waits.requests) << "each request withdrawn";
  ASSERT_EQ(doc["methods"].size(), 10U);
  const char* names[] = {"Sleep", "BusyWait", "HighPrecisionSleep", "HighResolutionTimer", "Hybrid"};
  for (std::size_t i = 0; i < 10; ++i) {
    const auto& m = doc["methods"][i];
    SCOPED_TRACE(m.dump());
    EXPECT_EQ(m["method"], names[i % 5]);
    EXPECT_EQ(m["interval"], 2000);
    EXPECT_EQ(m["resolution_requested"], i < 5 ? 500 : 1000);
    EXPECT_EQ(m["resolution_granted"], m["resolution_requested"]);
    EXPECT_EQ(m["samples"], 3);
    // Never early; the CPU clock, read outside the timestamps, costs a wait nothing.
    EXPECT_TRUE(m["min"] >= 2000 && m["max"] <= 2010 && m["early"] == 0);
    EXPECT_EQ(m["fallbacks"], i % 5 >= 3 ? 3 : 0);
    // A spin is on a CPU all its time, Hybrid for its margin (half the
    // interval, until it learns its timer), the rest only to read the counter.
    const double cpu[] = {0, 100, 0, 0, 50};
    EXPECT_NEAR(m["cpu_percent"].get<double>(), cpu[i % 5], 1.0);
  }
  // The spin costs the most; the choice itself is the analysis's.
  ASSERT_EQ(doc["within"]["choices"].size(), 2U);
  for (const auto& choice : doc["within"]["choices"]) {
    EXPECT_TRUE(choice["method"].is_string() && choice["method"] != "BusyWait") << choice;
  }
}

// What the table says of a method that fell back, of a CPU time the system
// will not give, and of a choice none can meet.
TEST(Report, TextSaysFallbacksUnknownCostsAndChoices) {
  FakePlatform platform;
  platform.waits.timer_creation_fails = true;
  platform.waits.cpu_unknown = true;
  platform.waits.wait_counts = 10'100;  // 1010 μs a sleep
  auto r = run({"--report", "--method", "timer", "--samples", "3", "--within", "9"}, platform);
  const auto row = r.out.substr(r.out.find("\nHighPrecisionSleep (3 of 3 fell back to Sleep) "));
  EXPECT_THAT(row.substr(0, row.find('\n', 1) + 1), testing::EndsWith(" -\n")) << "no CPU share";
  EXPECT_THAT(r.out, testing::HasSubstr("Within 9 μs of 1000 μs: none of the methods measured.\n"));
  r = run({"--report", "--method", "timer", "--samples", "3", "--within", "10"}, platform);
  EXPECT_THAT(r.out, testing::HasSubstr("Within 10 μs of 1000 μs: HighPrecisionSleep, with a p99 of 1010 μs; "
                                        "what the waits cost in CPU this system does not say.\n"));
}

// Against an earlier report: methods on both sides compared, the others
// named; an interrupted baseline said; a report of the first version read.
TEST(Report, ComparesWithAnEarlierReport) {
  FakePlatform platform;
  auto r = run({"--report", "--samples", "3", "--method", "sleep,timer", "--compare",
                baseline("sleep-busywait.json", "sleep,busywait", [](auto& doc) { doc["interrupted"] = true; })},
               platform);
  EXPECT_EQ(r.status, 0);
  EXPECT_THAT(r.out, HasSubstr("(Quorvane 1.0.1; interrupted: it holds what was measured before a signal stopped it)"));
  EXPECT_THAT(r.out, testing::ContainsRegex("Sleep +p50 +1000 +1000 +0\n +p99 "));
  EXPECT_THAT(r.out, HasSubstr("Only now: HighPrecisionSleep (1000 μs)\nOnly in the baseline: BusyWait (1000 μs)\n"));
  // Version 1: waits of 1 ms, and the resolution requested once for all.
  const std::string v1 = baseline("v1.json", "sleep", [](auto& doc) {
    doc["file_version"] = 1;
    doc["resolution"]["requested"] = 500;
    doc["methods"][0].erase("interval"), doc["methods"][0].erase("resolution_requested");
    doc["methods"][0]["p99"] = 990;
  });
  r = run({"--report", "--json", "--samples", "3", "--method", "sleep", "--resolution", "600,500", "--compare", v1},
          platform);
  const auto doc = nlohmann::json::parse(r.out);
  EXPECT_EQ(doc["methods"][0]["baseline"], nullptr) << "measured at another resolution";
  EXPECT_EQ(doc["methods"][1]["baseline"]["p99"], 990);
  EXPECT_EQ(doc["methods"][1]["baseline"]["change"]["p99"], 10);
  EXPECT_EQ(doc["baseline"]["only_in_baseline"], nlohmann::json::array());
}

TEST(Report, OpenMetrics) {
  FakePlatform platform;
  const auto r = run({"--report", "--format", "openmetrics", "--samples", "3", "--method", "sleep"}, platform);
  EXPECT_THAT(r.out, HasSubstr("# TYPE quorvane_wait_duration_seconds summary\n# UNIT quorvane_wait_duration_seconds "
                               "seconds\nquorvane_wait_duration_seconds{method=\"Sleep\",interval=\"1000\","
                               "resolution=\"default\",quantile=\"0.5\"} 0.001\n"));
  EXPECT_THAT(r.out, HasSubstr("_count{method=\"Sleep\",interval=\"1000\",resolution=\"default\"} 3\n"));
  EXPECT_THAT(r.out, testing::EndsWith("\nquorvane_report_interrupted 0\n# EOF\n"));
}

// The gate, a stop signal and an unwritable output each decide the status.
TEST(Report, ExitStatus) {
  // Arguments, the check a stop signal is caught at (0: never), output unwritable, status, output, error.
  using Case = std::tuple<std::vector<std::string>, int, bool, int, std::string, std::string>;
  const std::string earlier = baseline("p99-990.json", "sleep", [](auto& doc) { doc["methods"][0]["p99"] = 990; });
  const Case cases[] = {
      {{"--compare", earlier, "--max-regression", "10"}, 0, false, 0, "Compared", ""},
      {{"--compare", earlier, "--max-regression", "9"},
       0,
       false,
       3,
       "Compared",
       "quorvane: Sleep p99 rose by 10 μs (990 → 1000 μs), more than --max-regression 9 μs\n"},
      {{"--max-p99", "1001"}, 0, false, 0, "Method", ""},
      {{"--max-p99", "999"}, 0, false, 3, "Method", "quorvane: Sleep p99 1000 μs is above --max-p99 999 μs\n"},
      {{"--samples", "1000000"}, 1, false, 0, "Interrupted", ""},
      {{}, 0, true, 1, "", "quorvane: the report could not be written to standard output\n"},
  };
  for (const auto& [extra, signal_at, broken_out, status, out, err] : cases) {
    FakePlatform platform;
    std::vector<std::string> args{"--report", "--method", "sleep", "--samples", "3"};
    args.insert(args.end(), extra.begin(), extra.end());
    const auto r = run(args, platform, signal_at, broken_out);
    EXPECT_EQ(r.status, status);
    EXPECT_THAT(r.out, testing::HasSubstr(out));
    EXPECT_EQ(r.err, err);
  }
}

}  // namespace
