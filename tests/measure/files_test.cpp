// Files written whole: replaced or left as they were, never a part, and no
// temporary file left beside them.
#include "measure/files.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;

std::string contents(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
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
    EXPECT_THAT(measure::check_writable(c.file.string()).value_or(""), testing::StartsWith(c.check));
    EXPECT_EQ(!measure::write_whole(c.file.string(), page), c.written);
    if (std::string(c.after) == "page") {
      EXPECT_TRUE(contents(c.file) == page);
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
