// Files written whole, against the real file system: the old file or the new,
// never a part, and nothing left beside it.
#include "measure/files.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

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

}  // namespace
