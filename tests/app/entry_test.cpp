#include "app/entry.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <spdlog/spdlog.h>

#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using testing::HasSubstr;
using testing::Not;
using testing::StartsWith;

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
  std::string log;  // what the logger wrote on standard output
  bool ran = false;
};

Outcome run(
    std::vector<std::string> args, const std::function<void()>& body = [] {}) {
  args.insert(args.begin(), "quorvane");
  std::vector<char*> argv;
  for (auto& a : args) {
    argv.push_back(a.data());
  }
  Outcome o;
  std::ostringstream out;
  std::ostringstream err;
  testing::internal::CaptureStdout();
  o.status = app::run_entry(static_cast<int>(argv.size()), argv.data(), out, err, [&] {
    o.ran = true;
    body();
  });
  o.log = testing::internal::GetCapturedStdout();
  o.out = out.str();
  o.err = err.str();
  return o;
}

TEST(Entry, VersionPrintsOnlyTheVersionLine) {
  for (const auto& args : {std::vector<std::string>{"--version"}, std::vector<std::string>{"--version", "-v"}}) {
    const auto o = run(args);
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.out, "Quorvane CLI Version 1.0.1\n");
    EXPECT_EQ(o.err, "");
    EXPECT_EQ(o.log, "");
    EXPECT_FALSE(o.ran);
    EXPECT_EQ(spdlog::get("main"), nullptr);
  }
}

TEST(Entry, HelpWinsOverVersion) {
  for (const auto& args : {std::vector<std::string>{"--help", "--version"}, std::vector<std::string>{"-h"}}) {
    const auto o = run(args);
    EXPECT_EQ(o.status, 0);
    EXPECT_THAT(o.out, StartsWith("Quorvane CLI"));
    EXPECT_THAT(o.out, HasSubstr("Print this help message and exit"));
    EXPECT_THAT(o.out, HasSubstr("Show version and exit"));
    EXPECT_THAT(o.out, HasSubstr("Enable verbose output"));
    EXPECT_THAT(o.out, Not(HasSubstr("Version 1.0.1")));
    EXPECT_FALSE(o.ran);
  }
}

TEST(Entry, ParseErrorPrintsHelpOnStandardError) {
  const auto o = run({"--version=maybe"});
  EXPECT_NE(o.status, 0);
  EXPECT_EQ(o.out, "");
  EXPECT_THAT(o.err, StartsWith("Quorvane CLI"));
  EXPECT_FALSE(o.ran);
}

TEST(Entry, UndeclaredArgumentsAreIgnored) {
  const auto o = run({"--frobnicate", "stray"});
  EXPECT_EQ(o.status, 0);
  EXPECT_TRUE(o.ran);
  EXPECT_EQ(o.log, "");  // the start message is info, below the default level
}

TEST(Entry, VerboseLogsTheStartMessage) {
  const auto o = run({"-v"});
  EXPECT_EQ(o.status, 0);
  EXPECT_THAT(o.log, HasSubstr("[info] 🚀 Starting Real-Time Timer Analysis TUI\n"));
}

TEST(Entry, AFailingInterfaceGivesOneErrorLineAndStatus1) {
  const auto o = run({}, [] { throw std::runtime_error("no terminal"); });
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.log, "[error] ❌ TUI Error: no terminal\n");
}

}  // namespace
