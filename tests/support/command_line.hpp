#pragma once

// The command line as a user gives it, run through the entry with its
// streams captured and reports measured on a fake.
#include <algorithm>
#include <fstream>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "app/entry.hpp"
#include "support/fake_platform.hpp"

namespace testing_support {

struct Outcome {
  int status;
  std::string out, err;
  bool ran = false;            // whether the interface was started
  tui::ScreenChoices choices;  // what it was started with
};

// The entry on `args`, reports measured on `platform`: a stop signal is caught
// at check `signal_at` (0: never); the interface, if started, throws `failure`.
inline Outcome run(std::vector<std::string> args, FakePlatform& platform, int signal_at = 0, bool out_fails = false,
                   const char* failure = nullptr) {
  platform.process.signal_at = signal_at;
  args.insert(args.begin(), "quorvane");
  std::vector<char*> argv(args.size());
  std::transform(args.begin(), args.end(), argv.begin(), [](std::string& a) { return a.data(); });
  std::ostringstream out, err;
  out.setstate(out_fails ? std::ios::badbit : std::ios::goodbit);
  Outcome result{};
  result.status = app::run_entry(static_cast<int>(argv.size()), argv.data(), out, err, platform.platform(),
                                 [&](const tui::ScreenChoices& choices) {
                                   result.ran = true;
                                   result.choices = choices;
                                   if (failure != nullptr) {
                                     throw std::runtime_error(failure);
                                   }
                                 });
  result.out = out.str(), result.err = err.str();
  return result;
}

// A command line refused before anything starts: status 2 and one line that
// begins with `says`; nothing measured, pinned or asked for, no screen.
inline void expect_refused(const std::vector<std::string>& args, FakePlatform& platform, const std::string& says) {
  SCOPED_TRACE(testing::PrintToString(args));
  const Outcome r = run(args, platform);
  EXPECT_EQ(r.status, 2);
  EXPECT_THAT(r.err, testing::StartsWith("quorvane: " + says));
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
  EXPECT_EQ(platform.waits.counter + platform.waits.process_priority_requests, 0) << "measured";
  EXPECT_TRUE(platform.placement.pins.empty() && !r.ran);
}

// A file in the test's own folder, holding `text`.
inline std::string file(const std::string& name, const std::string& text) {
  const std::string path = testing::TempDir() + name;
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

// The JSON report of three waits of each of `methods`, measured on a fake
// with the options `more`.
inline nlohmann::json measured(const char* methods, const std::vector<std::string>& more = {}) {
  FakePlatform platform;
  std::vector<std::string> args{"--report", "--json", "--samples", "3", "--method", methods};
  args.insert(args.end(), more.begin(), more.end());
  return nlohmann::json::parse(run(args, platform).out);
}

// A file holding the report of `methods`, edited by `edit`.
inline std::string baseline(const std::string& name, const char* methods,
                            const std::function<void(nlohmann::json&)>& edit) {
  auto doc = measured(methods);
  edit(doc);
  return file(name, doc.dump());
}

}  // namespace testing_support
