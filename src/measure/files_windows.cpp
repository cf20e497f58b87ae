// Files written whole on Windows: a temporary file beside the old, moved over
// it (a plain rename will not replace a file there).
#include <windows.h>

#include <algorithm>
#include <atomic>

#include "measure/files.hpp"

namespace measure {
namespace {

// The system's words for `error` in UTF-8, as the report writes text,
// without the line end and full stop.
std::string reason(DWORD error) {
  wchar_t text[512] = {};
  const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                      text, sizeof text / sizeof text[0], nullptr);
  char utf8[1536] = {};
  const int bytes =
      WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), utf8, sizeof utf8, nullptr, nullptr);
  std::string words(utf8, static_cast<std::size_t>(bytes > 0 ? bytes : 0));
  while (!words.empty() && (words.back() == '\r' || words.back() == '\n' || words.back() == '.')) {
    words.pop_back();
  }
  return words.empty() ? "error " + std::to_string(error) : words;
}

// A name as the system's calls take it. The command line arrives in the
// ANSI code page, as the C runtime reads names (the baseline's too).
std::wstring wide(const std::string& name) {
  const int length = MultiByteToWideChar(CP_ACP, 0, name.data(), static_cast<int>(name.size()), nullptr, 0);
  std::wstring text(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, name.data(), static_cast<int>(name.size()), text.data(), length);
  return text;
}

// A name beside `file` that no other writer picks: this process's, numbered.
std::wstring temporary_beside(const std::string& file) {
  static std::atomic<unsigned> next{0};
  return wide(file) + L".quorvane-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(next++) + L".tmp";
}

HANDLE create(const std::wstring& name) {
  return CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Moves `temporary` over `file`. A reader that has `file` open without
// sharing its deletion (as the C runtime opens files, and most readers do)
// keeps it from being replaced until it closes it: the move is tried again
// for up to two seconds, far longer than a reader of a report keeps it open.
DWORD replace(const std::wstring& temporary, const std::wstring& file) {
  DWORD error = 0;
  for (int attempt = 0; attempt < 200; ++attempt) {
    if (MoveFileExW(temporary.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return 0;
    }
    error = GetLastError();
    if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) {
      break;
    }
    Sleep(10);
  }
  return error;
}

bool is_directory(const std::string& file) {
  const DWORD attributes = GetFileAttributesW(wide(file).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

class SystemFiles final : public Files {
 public:
  std::optional<std::string> check_writable(const std::string& file) override {
    if (is_directory(file)) {
      return "is a directory";
    }
    const std::wstring temporary = temporary_beside(file);
    const HANDLE handle = create(temporary);
    if (handle == INVALID_HANDLE_VALUE) {
      return "cannot be written: " + reason(GetLastError());
    }
    CloseHandle(handle);
    DeleteFileW(temporary.c_str());
    return std::nullopt;
  }

  std::optional<std::string> write_whole(const std::string& file, std::string_view text) override {
    if (is_directory(file)) {
      return reason(ERROR_DIRECTORY);
    }
    const std::wstring temporary = temporary_beside(file);
    const HANDLE handle = create(temporary);
    if (handle == INVALID_HANDLE_VALUE) {
      return reason(GetLastError());
    }
    DWORD error = 0;
    for (std::size_t done = 0; done < text.size() && error == 0;) {
      const auto piece = static_cast<DWORD>(std::min<std::size_t>(text.size() - done, std::size_t{1} << 30));
      DWORD wrote = 0;
      if (!WriteFile(handle, text.data() + done, piece, &wrote, nullptr)) {
        error = GetLastError();
      }
      done += wrote;
    }
    // On the disk before the move: after a crash, the old file or the new.
    if (error == 0 && !FlushFileBuffers(handle)) {
      error = GetLastError();
    }
    CloseHandle(handle);
    if (error == 0) {
      error = replace(temporary, wide(file));
    }
    if (error != 0) {
      DeleteFileW(temporary.c_str());
      return reason(error);
    }
    return std::nullopt;
  }
};

}  // namespace

Files& system_files() {
  static SystemFiles files;
  return files;
}

}  // namespace measure
