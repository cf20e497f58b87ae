// The interactive mode's command line, run through the entry with its
// streams captured.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/command_line.hpp"

namespace {

using testing::AllOf;
using testing::Eq;
using testing::HasSubstr;
using testing::Matcher;
using testing::Ne;
using testing::Not;
using testing::StartsWith;
using testing_support::FakePlatform;
using testing_support::run;

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

// The screen takes the choices it shares with the report: the methods its m
// key cycles through, the interval, one condition.
TEST(Entry, TheScreenTakesItsChoices) {
  FakePlatform platform;
  auto r = run({"--method", "hybrid,sleep", "--interval", "500", "--priority", "normal", "--load", "2", "--cpu", "1"},
               platform);
  EXPECT_EQ(r.status, 0) << r.err;
  ASSERT_TRUE(r.ran);
  EXPECT_EQ(r.choices.methods, (std::vector{measure::SleepMode::Hybrid, measure::SleepMode::Sleep}));
  EXPECT_EQ(r.choices.interval.count(), 500);
  EXPECT_EQ(r.choices.condition, (measure::Condition{measure::Priority::Normal, 2, 1}));
  EXPECT_EQ(tui::mode_detail(r.choices), "500 μs, normal, load 2, CPU 1");
  r = run({}, platform);
  EXPECT_TRUE(r.ran && r.choices.methods.empty() && r.choices.condition == measure::Condition{});
  EXPECT_EQ(tui::mode_detail(r.choices), "") << "the frame as it always was";
}

}  // namespace
