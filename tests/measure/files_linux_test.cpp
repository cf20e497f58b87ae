// What Linux adds to writing a file whole: a full disk, as Linux makes one
// for a process (a limit on the size of the files it writes), leaves the old
// file whole; a pipe (as /dev/null or /dev/stdout would be) and a link are
// written through rather than replaced, the file a link leads to keeping its
// permissions.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "measure/files.hpp"

namespace {

TEST(LinuxFiles, WholeOnAFullDiskAndThroughPipesAndLinks) {
  namespace fs = std::filesystem;
  const auto folder = fs::path(testing::TempDir()) / "files-linux";
  fs::remove_all(folder);
  fs::create_directories(folder);
  const std::string fifo = (folder / "fifo").string(), real = (folder / "real.json").string(),
                    link = (folder / "link.json").string();
  const auto contents = [](const std::string& file) {
    std::ifstream in(file);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  measure::Files& files = measure::system_files();
  ASSERT_EQ(files.write_whole(real, "old"), std::nullopt);
  // Past the limit a write fails (EFBIG) as on a full disk; the signal that
  // would end the process ignored.
  rlimit before{};
  getrlimit(RLIMIT_FSIZE, &before);
  const auto handler = signal(SIGXFSZ, SIG_IGN);
  rlimit small = before;
  small.rlim_cur = 4096;
  setrlimit(RLIMIT_FSIZE, &small);
  const auto why = files.write_whole(real, std::string(100'000, 'x'));
  setrlimit(RLIMIT_FSIZE, &before);
  signal(SIGXFSZ, handler);
  EXPECT_EQ(why, "File too large");
  EXPECT_EQ(contents(real), "old");
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
  EXPECT_EQ(files.check_writable(fifo), std::nullopt);
  EXPECT_EQ(files.write_whole(fifo, "through the pipe\n"), std::nullopt);
  drain.join();
  close(reader);
  EXPECT_EQ(read, "through the pipe\n");
  EXPECT_TRUE(fs::is_fifo(fifo)) << "the pipe was replaced";
  fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write);
  fs::create_symlink("real.json", link);
  EXPECT_EQ(files.write_whole(link, "new"), std::nullopt);
  EXPECT_TRUE(fs::is_symlink(link)) << "the link was replaced";
  EXPECT_EQ(contents(real), "new");
  EXPECT_EQ(fs::status(real).permissions(), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 3) << "a temporary file was left";
  fs::remove_all(folder);
}

}  // namespace
