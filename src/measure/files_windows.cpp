// Files on Windows: made with CREATE_NEW, flushed, moved over the old with
// MoveFileEx, as a plain rename will not replace a file; a new file takes the
// permissions its folder gives. Names are in the ANSI code page, as the C
// runtime opens them.
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

std::optional<std::string> write_all(HANDLE handle, std::string_view text) {
  for (std::size_t done = 0; done < text.size();) {
    const auto piece = static_cast<DWORD>(std::min<std::size_t>(text.size() - done, 1U << 30));
    DWORD wrote = 0;
    if (!WriteFile(handle, text.data() + done, piece, &wrote, nullptr)) {
      return reason();
    }
    done += wrote;
  }
  return std::nullopt;
}

HANDLE open_existing(const std::string& file, DWORD access) {
  return CreateFileA(file.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

}  // namespace

Kind kind_of(const std::string& file) {
  // A device (NUL, CON) is no file on the disk, whatever its attributes say.
  if (const HANDLE handle = open_existing(file, 0); handle != INVALID_HANDLE_VALUE) {
    const DWORD type = GetFileType(handle);
    CloseHandle(handle);
    if (type != FILE_TYPE_DISK) {
      return Kind::Other;
    }
  }
  const DWORD attributes = GetFileAttributesA(file.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    return Kind::Missing;
  }
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? Kind::Directory : Kind::File;
}

std::string followed(const std::string& file) { return file; }

std::optional<std::string> refusal(const std::string& file) {
  const HANDLE handle = open_existing(file, GENERIC_WRITE);
  if (handle == INVALID_HANDLE_VALUE) {
    return reason();
  }
  CloseHandle(handle);
  return std::nullopt;
}

std::optional<std::string> write_new(const std::string& file, std::string_view text, const std::string&) {
  const HANDLE handle =
      CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    return reason();
  }
  auto failure = write_all(handle, text);
  if (!failure && !FlushFileBuffers(handle)) {
    failure = reason();
  }
  CloseHandle(handle);
  return failure;
}

std::optional<std::string> write_into(const std::string& file, std::string_view text) {
  const HANDLE handle = open_existing(file, GENERIC_WRITE);
  if (handle == INVALID_HANDLE_VALUE) {
    return reason();
  }
  const auto failure = write_all(handle, text);
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
