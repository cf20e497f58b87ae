// What Linux adds to writing a file whole: a full disk, as Linux makes one
// for a process (a limit on the size of the files it writes); a pipe, and a
// link, which are written through rather than replaced; the permissions of
// the file replaced.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

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

// A pipe (as /dev/null or /dev/stdout would be) gets the text and stays a
// pipe; a link stays a link, the file it leads to rewritten with the
// permissions it had.
TEST(LinuxFiles, PipesAndLinksAreWrittenThroughNotReplaced) {
  namespace fs = std::filesystem;
  const auto folder = fs::path(testing::TempDir()) / "files-through";
  fs::remove_all(folder);
  fs::create_directories(folder);
  const std::string fifo = (folder / "fifo").string(), real = (folder / "real.json").string(),
                    link = (folder / "link.json").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // Opened for reading before the write, so that neither side waits for ever.
  const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(reader, 0);
  std::string read;
  std::thread drain([&] {
    for (pollfd p{reader, POLLIN, 0}; poll(&p, 1, 5000) > 0;) {
      char piece[4096];
      const ssize_t n = ::read(reader, piece, sizeof piece);
      if (n <= 0 && read.size() > 0) {
        break;
      }
      read.append(piece, n > 0 ? static_cast<std::size_t>(n) : 0U);
    }
  });
  measure::Files& files = measure::system_files();
  EXPECT_EQ(files.check_writable(fifo), std::nullopt);
  EXPECT_EQ(files.write_whole(fifo, "through the pipe\n"), std::nullopt);
  drain.join();
  close(reader);
  EXPECT_EQ(read, "through the pipe\n");
  EXPECT_TRUE(fs::is_fifo(fifo)) << "the pipe was replaced";
  ASSERT_EQ(files.write_whole(real, "old"), std::nullopt);
  fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write);
  fs::create_symlink("real.json", link);
  EXPECT_EQ(files.write_whole(link, "new"), std::nullopt);
  EXPECT_TRUE(fs::is_symlink(link)) << "the link was replaced";
  std::ifstream in(real);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "new");
  EXPECT_EQ(fs::status(real).permissions(), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 3) << "a temporary file was left";
  fs::remove_all(folder);
}

}  // namespace
