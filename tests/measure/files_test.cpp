// Files written whole, against the real file system: the old file or the new,
// never a part, and nothing left beside it.
#include "measure/files.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

namespace {

namespace fs = std::filesystem;
measure::Files& files = measure::system_files();

std::string content(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// A folder of its own for each test, removed after it.
struct Folder {
  explicit Folder(const char* name) : path(fs::path(testing::TempDir()) / name) {
    fs::remove_all(path);
    fs::create_directories(path);
  }
  ~Folder() { fs::remove_all(path); }
  std::size_t entries() const { return static_cast<std::size_t>(std::distance(fs::directory_iterator(path), {})); }
  fs::path path;
};

// A reader that opens the file while it is rewritten again and again finds
// one whole version each time: a letter repeated, then its end. (It pauses
// between reads, as readers do: on Windows a file open for reading cannot be
// replaced, and one being replaced may for a moment not open.)
TEST(Files, ReadersFindTheOldOrTheNewNeverAPart) {
  Folder folder("files-readers");
  const std::string file = (folder.path / "metrics.prom").string();
  constexpr std::size_t kSize = 64 * 1024;
  ASSERT_EQ(files.write_whole(file, std::string(kSize, 'a') + "# EOF\n"), std::nullopt);
  std::atomic<bool> done{false};
  std::atomic<int> reads{0}, halves{0}, unopened{0};
  std::thread reader([&] {
    while (!done) {
      std::ifstream in(file, std::ios::binary);
      const bool opened = in.is_open();
      const std::string text(std::istreambuf_iterator<char>(in), {});
      in.close();
      const bool whole =
          text.size() == kSize + 6 && text.ends_with("# EOF\n") && text.find_first_not_of(text[0]) == kSize;
      halves += opened && !whole ? 1 : 0;
      unopened += opened ? 0 : 1;
      ++reads;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  for (int i = 1; i < 100; ++i) {
    const auto why = files.write_whole(file, std::string(kSize, static_cast<char>('a' + i % 26)) + "# EOF\n");
    EXPECT_EQ(why, std::nullopt);
    if (why) {
      break;
    }
  }
  done = true;
  reader.join();
  EXPECT_EQ(halves, 0) << "of " << reads << " reads, " << unopened << " not opened";
  EXPECT_GT(reads, 0);
}

// Over the old file or as a new one, of any size, with nothing left beside
// it; where no file can be (a missing folder, a directory), said before any
// work, and a write there changes nothing.
TEST(Files, WrittenWholeOrNotAtAll) {
  Folder folder("files-whole");
  fs::create_directories(folder.path / "a-directory");
  const std::string file = (folder.path / "report.json").string();
  EXPECT_EQ(files.check_writable(file), std::nullopt);
  EXPECT_FALSE(fs::exists(file)) << "the check left its file";
  for (const std::string& text :
       {std::string("first\n"), std::string(1 << 20, 'x'), std::string(), std::string("last\n")}) {
    ASSERT_EQ(files.write_whole(file, text), std::nullopt);
    EXPECT_EQ(content(file), text);
  }
  const std::pair<fs::path, const char*> refused[] = {
      {folder.path / "missing" / "page.html", "cannot be written: "},
      {folder.path / "a-directory", "is a directory"},
  };
  for (const auto& [where, says] : refused) {
    EXPECT_THAT(files.check_writable(where.string()).value_or(""), testing::StartsWith(says)) << where;
    EXPECT_NE(files.write_whole(where.string(), "page"), std::nullopt) << where;
  }
  EXPECT_TRUE(fs::is_empty(folder.path / "a-directory"));
  EXPECT_EQ(folder.entries(), 2U) << "a temporary file left beside the report";
}

}  // namespace
