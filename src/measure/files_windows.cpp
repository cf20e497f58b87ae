// Files written whole on Windows: a temporary file moved over the old, which
// a plain rename will not replace.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <string>

#include "measure/files.hpp"

namespace measure {
namespace {

// The system's words for the last failed call, without the line end.
std::string reason() {
  const DWORD error = GetLastError();
  char text[512] = {};
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                      text, sizeof text, nullptr);
  std::string words(text, length);
  while (!words.empty() && (words.back() == '\r' || words.back() == '\n' || words.back() == '.')) {
    words.pop_back();
  }
  return words.empty() ? "error " + std::to_string(error) : words;
}

// A name beside `file` that no other writer picks: this process's, numbered.
// (File names are in the ANSI code page, as the C runtime opens them.)
std::string temporary_beside(const std::string& file) {
  static std::atomic<unsigned> next{0};
  return file + ".quorvane-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(next++) + ".tmp";
}

HANDLE create(const std::string& name) {
  return CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool is_directory(const std::string& file) {
  const DWORD attributes = GetFileAttributesA(file.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

std::optional<std::string> check_writable(const std::string& file) {
  if (is_directory(file)) {
    return "is a directory";
  }
  const std::string temporary = temporary_beside(file);
  const HANDLE handle = create(temporary);
  if (handle == INVALID_HANDLE_VALUE) {
    return "cannot be written: " + reason();
  }
  CloseHandle(handle);
  DeleteFileA(temporary.c_str());
  return std::nullopt;
}

std::optional<std::string> write_whole(const std::string& file, std::string_view text) {
  if (is_directory(file)) {
    SetLastError(ERROR_DIRECTORY);
    return reason();
  }
  const std::string temporary = temporary_beside(file);
  const HANDLE handle = create(temporary);
  if (handle == INVALID_HANDLE_VALUE) {
    return reason();
  }
  std::optional<std::string> failure;
  for (std::size_t done = 0; done < text.size() && !failure;) {
    const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(text.size() - done, 1U << 30));
    DWORD wrote = 0;
    if (!WriteFile(handle, text.data() + done, piece, &wrote, nullptr)) {
      failure = reason();
    }
    done += wrote;
  }
  if (!failure && !FlushFileBuffers(handle)) {
    failure = reason();
  }
  CloseHandle(handle);
  if (!failure && !MoveFileExA(temporary.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    failure = reason();
  }
  if (failure) {
    DeleteFileA(temporary.c_str());
  }
  return failure;
}

}  // namespace measure
