// The command line as a user gives it: the interactive mode's options, and
// the report's, run through the entry with its streams captured.
#include "app/entry.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>
#include <tuple>

#include "support/fake_platform.hpp"

namespace {

using testing::AllOf;
using testing::Eq;
using testing::HasSubstr;
using testing::Matcher;
using testing::Ne;
using testing::Not;
using testing::StartsWith;
using testing_support::FakePlatform;

struct Outcome {
  int status;
  std::string out, err;
  bool ran = false;  // whether the interface was started
};

// The entry on `args`, reports measured on `platform`: a stop signal is caught
// at check `signal_at` (0: never); the interface, if started, throws `failure`.
Outcome run(std::vector<std::string> args, FakePlatform& platform, int signal_at = 0, bool out_fails = false,
            const char* failure = nullptr) {
  platform.signal_at = signal_at;
  args.insert(args.begin(), "quorvane");
  std::vector<char*> argv(args.size());
  std::transform(args.begin(), args.end(), argv.begin(), [](std::string& a) { return a.data(); });
  std::ostringstream out, err;
  out.setstate(out_fails ? std::ios::badbit : std::ios::goodbit);
  Outcome result{};
  result.status = app::run_entry(static_cast<int>(argv.size()), argv.data(), out, err, platform, [&] {
    result.ran = true;
    if (failure != nullptr) {
      throw std::runtime_error(failure);
    }
  });
  result.out = out.str(), result.err = err.str();
  return result;
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
    EXPECT_THAT(testing::internal::GetCapturedStdout(), c.log);
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
      {{"--report", "--method", "slep"}, "--method: slep not in {sleep,busywait,timer}"},
      {{"--report", "--method", "timer,Timer"}, "--method accepts each of sleep, busywait and timer once"},
      {{"--report", "--resolution", "-1"}, "--resolution: Value -1 not in range [0 - 1000000]"},
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
  for (const char* option : {"--json", "--method=sleep", "--samples=5", "--resolution=5", "--max-p99=5"}) {
    cases.push_back({{option}, std::string(option).substr(0, std::string(option).find('=')) + " requires --report"});
  }
  for (const auto& [args, says] : cases) {
    FakePlatform platform;
    const auto r = run(args, platform);
    EXPECT_EQ(r.status, 2) << says;
    EXPECT_THAT(r.err, testing::StartsWith("quorvane: " + says));
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << says;
    EXPECT_EQ(platform.counter, 0) << says << ": measured";
    EXPECT_FALSE(r.ran) << says;
  }
}

TEST(Report, JsonDocumentReadsBack) {
  FakePlatform platform;
  const auto r = run(
      {"--report", "--json", "--samples=3", "--method", "timer", "--method=busywait", "--resolution", "500"}, platform);
  ASSERT_EQ(r.status, 0) << r.err;
  const auto doc = nlohmann::json::parse(r.out);
  EXPECT_EQ(doc["resolution"], nlohmann::json::parse(R"({"current": 15625, "coarsest": 15625, "finest": 500,
                                                          "requested": 500, "granted": 500})"));
  EXPECT_EQ(platform.requests, std::vector<std::uint32_t>{500});
  EXPECT_EQ(platform.releases, std::vector<std::uint32_t>{500});
  ASSERT_EQ(doc["methods"].size(), 2U);
  EXPECT_EQ(doc["methods"][0]["method"], "HighPrecisionSleep");
  EXPECT_EQ(doc["methods"][1]["method"], "BusyWait");
  for (const auto& m : doc["methods"]) {
    EXPECT_EQ(m["samples"], 3);
    EXPECT_TRUE(m["min"] <= m["p50"] && m["p999"] <= m["max"] && !m["histogram"].empty()) << m;
  }
}

// The gate, a stop signal and an unwritable output each decide the status.
TEST(Report, ExitStatus) {
  // Arguments, the check a stop signal is caught at (0: never), output unwritable, status, output, error.
  using Case = std::tuple<std::vector<std::string>, int, bool, int, std::string, std::string>;
  const Case cases[] = {
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
