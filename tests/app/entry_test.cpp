#include "app/entry.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using testing::AllOf;
using testing::Eq;
using testing::HasSubstr;
using testing::Matcher;
using testing::Ne;
using testing::Not;
using testing::StartsWith;

TEST(Entry, CommandLines) {
  const Matcher<std::string> version = Eq("Quorvane CLI Version 1.0.1\n");
  const Matcher<std::string> help =
      AllOf(StartsWith("Quorvane CLI"), HasSubstr("Print this help message and exit"),
            HasSubstr("Show version and exit"), HasSubstr("Enable verbose output"), Not(HasSubstr("Version 1.0.1")));
  const Matcher<std::string> none = Eq("");
  struct Case {
    std::vector<std::string> args;
    bool interface_fails;
    Matcher<int> status;
    Matcher<std::string> out, err, log;  // log: what the logger wrote on standard output
    bool ran;
    bool out_fails = false;  // as on a full disk or a closed standard output
  };
  const Case cases[] = {
      {{"--version"}, false, Eq(0), version, none, none, false},
      {{"--version", "-v"}, false, Eq(0), version, none, none, false},
      {{"--help", "--version"}, false, Eq(0), help, none, none, false},
      {{"-h"}, false, Eq(0), help, none, none, false},
      {{"--version=maybe"}, false, Ne(0), none, StartsWith("Quorvane CLI"), none, false},
      // Undeclared arguments are ignored; the start line is below the default level.
      {{"--frobnicate", "stray"}, false, Eq(0), none, none, none, true},
      {{"-v"}, false, Eq(0), none, none, HasSubstr("[info] 🚀 Starting Real-Time Timer Analysis TUI\n"), true},
      // Standard output is not a terminal (the test captures it): the error goes to standard error too.
      {{}, true, Eq(1), none, Eq("quorvane: no terminal\n"), Eq("[error] ❌ TUI Error: no terminal\n"), true},
      {{"--version"}, false, Eq(1), none, Eq("quorvane: cannot write to standard output\n"), none, false, true},
      {{"-h"}, false, Eq(1), none, Eq("quorvane: cannot write to standard output\n"), none, false, true},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args{"quorvane"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    SCOPED_TRACE(testing::PrintToString(args));
    std::vector<char*> argv;
    for (auto& a : args) {
      argv.push_back(a.data());
    }
    std::ostringstream out;
    out.setstate(c.out_fails ? std::ios::badbit : std::ios::goodbit);
    std::ostringstream err;
    bool ran = false;
    testing::internal::CaptureStdout();
    const int status = app::run_entry(static_cast<int>(argv.size()), argv.data(), out, err, [&] {
      ran = true;
      if (c.interface_fails) {
        throw std::runtime_error("no terminal");
      }
    });
    EXPECT_THAT(testing::internal::GetCapturedStdout(), c.log);
    EXPECT_THAT(status, c.status);
    EXPECT_THAT(out.str(), c.out);
    EXPECT_THAT(err.str(), c.err);
    EXPECT_EQ(ran, c.ran);
  }
}

}  // namespace
