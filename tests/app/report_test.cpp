#include "app/report.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <sstream>
#include <tuple>

#include "app/entry.hpp"
#include "support/fake_platform.hpp"

namespace {

using testing_support::FakePlatform;

struct Run {
  int status;
  std::string out, err;
};

// The entry on `platform`; a stop signal is caught at check `signal_at` (0: never).
Run report(FakePlatform& platform, std::vector<std::string> args, int signal_at = 0, bool broken_out = false) {
  app::ReportSystem system{platform};
  system.caught_stop_signal = [=, checks = 0]() mutable { return ++checks == signal_at ? 15 : 0; };
  args.insert(args.begin(), "quorvane");
  std::vector<char*> argv(args.size());
  std::transform(args.begin(), args.end(), argv.begin(), [](std::string& a) { return a.data(); });
  std::ostringstream out, err;
  out.setstate(broken_out ? std::ios::badbit : std::ios::goodbit);
  const int status = app::run_entry(
      static_cast<int>(argv.size()), argv.data(), out, err, [] { FAIL(); }, &system);
  return {status, out.str(), err.str()};
}

TEST(Report, BadOptionsGetOneLineAndMeasureNothing) {
  std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--json"}, "--json works only with --report"},
      {{"--report", "--samples", "0"}, "--samples accepts a whole number from 1 to 1000000, not \"0\""},
      {{"--report", "--samples", "1000001"}, "--samples accepts a whole number from 1 to 1000000"},
      {{"--report", "--samples"}, "--samples accepts"},
      {{"--report", "--method", "slep"}, "--method accepts sleep, busywait or timer, not \"slep\""},
      {{"--report", "--method", "timer,Timer"}, "--method accepts each of sleep, busywait and timer once"},
      {{"--report", "--resolution", "-1"}, "--resolution accepts a whole number of microseconds from 0 to 1000000"},
      {{"--report", "--max-p99", "1.5"}, "--max-p99 accepts a whole number of microseconds"},
      {{"--report", "--max-p9", "5"}, "unknown argument \"--max-p9\""},
      {{"--report", "--json=maybe"}, "--json takes no value"},
  };
  for (const char* option : {"--method", "--samples", "--resolution", "--max-p99"}) {
    cases.push_back({{option, "5"}, option + std::string(" works only with --report")});
  }
  for (const auto& [args, says] : cases) {
    FakePlatform platform;
    const auto r = report(platform, args);
    EXPECT_EQ(r.status, 2) << says;
    EXPECT_THAT(r.err, testing::StartsWith("quorvane: " + says));
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << says;
    EXPECT_EQ(platform.counter, 0) << says << ": measured";
  }
}

TEST(Report, JsonDocumentReadsBack) {
  FakePlatform platform;
  const auto r = report(
      platform, {"--report", "--json", "--samples=3", "--method", "timer", "--method=busywait", "--resolution", "500"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto doc = nlohmann::json::parse(r.out);
  EXPECT_EQ(doc["resolution"], nlohmann::json::parse(R"({"current": 15625, "coarsest": 15625, "finest": 500,
                                                          "requested": 500, "granted": 500})"));
  EXPECT_EQ(platform.set_requests, (std::vector<std::uint32_t>{5000, 5000})) << "requested, then released";
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
    const auto r = report(platform, args, signal_at, broken_out);
    EXPECT_EQ(r.status, status);
    EXPECT_THAT(r.out, testing::HasSubstr(out));
    EXPECT_EQ(r.err, err);
  }
}

}  // namespace
