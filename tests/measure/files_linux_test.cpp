// A full disk while a file is rewritten, as Linux makes one for a process:
// a limit on the size of the files it writes.
#include <signal.h>
#include <sys/resource.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "measure/files.hpp"

namespace {

TEST(LinuxFiles, AFullDiskLeavesTheOldFileWhole) {
  const auto folder = std::filesystem::path(testing::TempDir()) / "files-full";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  const std::string file = (folder / "metrics.prom").string();
  ASSERT_EQ(measure::system_files().write_whole(file, "old\n# EOF\n"), std::nullopt);
  // Past the limit a write fails (EFBIG) as on a full disk; the signal that
  // would end the process ignored.
  rlimit before{};
  getrlimit(RLIMIT_FSIZE, &before);
  const auto handler = signal(SIGXFSZ, SIG_IGN);
  rlimit small = before;
  small.rlim_cur = 4096;
  setrlimit(RLIMIT_FSIZE, &small);
  const auto why = measure::system_files().write_whole(file, std::string(100'000, 'x'));
  setrlimit(RLIMIT_FSIZE, &before);
  signal(SIGXFSZ, handler);
  EXPECT_EQ(why, "File too large");
  std::ifstream in(file);
  std::ostringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(), "old\n# EOF\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1) << "the temporary file was left";
  std::filesystem::remove_all(folder);
}

}  // namespace
