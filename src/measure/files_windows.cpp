// Files on Windows: made with CREATE_NEW, flushed, moved over the old with
// MoveFileEx, as a plain rename will not replace a file. Names are in the
// ANSI code page, as the C runtime opens them.
#include <windows.h>

#include <algorithm>

#include "measure/files_system.hpp"

namespace measure::files_system {
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

}  // namespace

bool is_directory(const std::string& file) {
  const DWORD attributes = GetFileAttributesA(file.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::optional<std::string> write_new(const std::string& file, std::string_view text) {
  const HANDLE handle =
      CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    return reason();
  }
  std::optional<std::string> failure;
  for (std::size_t done = 0; done < text.size() && !failure;) {
    const auto piece = static_cast<DWORD>(std::min<std::size_t>(text.size() - done, 1U << 30));
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
  return failure;
}

// A reader that has `to` open without sharing its deletion (as the C runtime
// opens files, and most readers do) keeps it from being replaced until it
// closes it: the move is tried again for up to two seconds, far longer than a
// reader of a report keeps it open.
std::optional<std::string> replace(const std::string& from, const std::string& to) {
  for (int attempt = 0;; ++attempt) {
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return std::nullopt;
    }
    const DWORD error = GetLastError();
    if (attempt == 199 || (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION)) {
      SetLastError(error);
      return reason();
    }
    Sleep(10);
  }
}

void remove(const std::string& file) { DeleteFileA(file.c_str()); }

unsigned long process_id() { return GetCurrentProcessId(); }

}  // namespace measure::files_system
