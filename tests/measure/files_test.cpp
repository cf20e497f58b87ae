// Files written whole, against the real file system: the old file or the new,
// never a part, and nothing left beside it.
#include "measure/files.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

namespace fs = std::filesystem;
measure::Files& files = measure::system_files();

std::string content(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
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

TEST(Files, WrittenWholeOverTheOldWithNothingLeftBeside) {
  Folder folder("files-whole");
  const std::string file = (folder.path / "report.json").string();
  EXPECT_EQ(files.check_writable(file), std::nullopt);
  EXPECT_EQ(folder.entries(), 0U) << "the check left its file";
  for (const std::string& text :
       {std::string("first\n"), std::string(1 << 20, 'x'), std::string(), std::string("last\n")}) {
    ASSERT_EQ(files.write_whole(file, text), std::nullopt);
    EXPECT_EQ(content(file), text);
    EXPECT_EQ(folder.entries(), 1U) << "a temporary file left beside it";
  }
}

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
      std::ostringstream copy;
      copy << in.rdbuf();
      const bool opened = in.is_open();
      in.close();
      const std::string text = copy.str();
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

// A folder that is missing, and a directory where the file should be: said
// before any work, and a write there changes nothing.
TEST(Files, RefusedWhereNoFileCanBe) {
  Folder folder("files-refused");
  const std::string missing = (folder.path / "missing" / "report.json").string();
  const std::string directory = folder.path.string();
  EXPECT_EQ(files.check_writable(directory), "is a directory");
  EXPECT_NE(files.write_whole(directory, "text"), std::nullopt);
  EXPECT_TRUE(fs::is_directory(directory));
  const auto why = files.check_writable(missing);
  ASSERT_TRUE(why);
  EXPECT_EQ(why->rfind("cannot be written: ", 0), 0U) << *why;
  EXPECT_NE(files.write_whole(missing, "text"), std::nullopt);
  EXPECT_EQ(folder.entries(), 0U);
}

TEST(Files, WrittenWholeOrNotAtAll) {
  const fs::path folder = fs::path(testing::TempDir()) / "files-test";
  fs::remove_all(folder);
  fs::create_directories(folder / "a-directory");
  std::ofstream(folder / "old.html") << "old";
  struct Case {
    fs::path file;
    const char* check;  // what check_writable says: "" for nothing
    bool written;       // whether write_whole succeeds
    const char* after;  // what the file holds afterwards ("" for no file)
  };
  const std::string page(1 << 20, 'x');  // larger than one write
  const Case cases[] = {
      {folder / "new.html", "", true, "page"},
      {folder / "old.html", "", true, "page"},
      {folder / "missing" / "page.html", "cannot be written: ", false, ""},
      {folder / "a-directory", "is a directory", false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file.string());
    EXPECT_THAT(files.check_writable(c.file.string()).value_or(""), testing::StartsWith(c.check));
    EXPECT_EQ(!files.write_whole(c.file.string(), page), c.written);
    if (std::string(c.after) == "page") {
      EXPECT_TRUE(content(c.file) == page);
    }
  }
  EXPECT_TRUE(fs::is_directory(folder / "a-directory"));
  // Nothing but what was written: no temporary file, neither checked nor written.
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  EXPECT_THAT(names, testing::UnorderedElementsAre("new.html", "old.html", "a-directory"));
  EXPECT_TRUE(fs::is_empty(folder / "a-directory"));
}

}  // namespace
