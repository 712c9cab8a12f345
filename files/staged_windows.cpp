// SPDX-License-Identifier: MIT
// A StagedFile's steps on Windows. ReplaceFile puts the text in place: it keeps
// the old file's attributes and security, and moves the old file to a backup name
// even while a reader that shares deletion holds it open; the backup is removed
// when every file of the commit is in place, or put back when one fails. A lock
// that lasts a moment (a virus scanner, an indexer) is waited out briefly. NUL,
// CON, serial ports and pipes take the text as it comes.
#ifdef _WIN32

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "files/system.h"

namespace helmert7::files_internal {
namespace {

using State = StagedFile::State;
using Kind = StagedFile::State::Kind;

[[noreturn]] void fail_with_last_error() { throw SystemFailure{windows_error_text(GetLastError())}; }

// Text mode: every line feed becomes CR LF, as the C runtime writes text files.
std::string platform_text(std::string_view text) {
  std::string lines;
  lines.reserve(text.size() + text.size() / 16);
  for (const char c : text) {
    if (c == '\n') lines += '\r';
    lines += c;
  }
  return lines;
}

// A device or pipe opened for writing; false for a file on a disk, or no file.
bool open_device(State& state, const std::string& path) {
  const HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  if (GetFileType(handle) == FILE_TYPE_DISK) {
    CloseHandle(handle);
    return false;
  }
  state.kind = Kind::direct;
  const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
  if (descriptor < 0) {
    CloseHandle(handle);
    fail_with(errno);
  }
  state.file = _fdopen(descriptor, "wb");
  if (!state.file) {
    _close(descriptor);
    fail_with(errno);
  }
  return true;
}

// _O_EXCL: the C runtime's fopen knows no exclusive "x" mode, and two outputs of
// one run in one folder must not share a temporary file.
void make_temporary(State& state) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    state.temporary = temporary_name(state.destination, attempt, ".tmp");
    const int descriptor = _open(state.temporary.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY,
                                 _S_IREAD | _S_IWRITE);
    if (descriptor >= 0) {
      state.file = _fdopen(descriptor, "wb");
      if (state.file) return;
      _close(descriptor);
      std::remove(state.temporary.c_str());
      break;
    }
    if (errno != EEXIST) break;
  }
  const int error = errno;
  state.temporary.clear();
  fail_with(error);
}

// Errors that a moment's wait may cure: another program has the file open.
bool may_pass(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
         error == ERROR_ACCESS_DENIED || error == ERROR_UNABLE_TO_REMOVE_REPLACED;
}

// A backup name not used before by this process.
std::string backup_name(const std::string& destination) {
  static int made = 0;
  return temporary_name(destination, made++, ".old");
}

// The path with its last part spelled as its folder spells it: the new file takes
// the name as given, so "SHARED.INI" would otherwise rename "shared.ini".
std::string as_spelled_in_its_folder(const std::string& path) {
  if (path.find_first_of("*?") != std::string::npos) return path;
  WIN32_FIND_DATAA found;
  const HANDLE search = FindFirstFileA(path.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return path;
  FindClose(search);
  const std::size_t cut = path.find_last_of("\\/:");
  return (cut == std::string::npos ? std::string() : path.substr(0, cut + 1)) + found.cFileName;
}

// One attempt: the old file replaced and kept as the backup, or a new file renamed
// into place. On failure GetLastError() says why and the old file has its name.
bool try_to_place(State& state) {
  state.backup = backup_name(state.destination);
  const std::string destination = as_spelled_in_its_folder(state.destination);
  if (ReplaceFileA(destination.c_str(), state.temporary.c_str(), state.backup.c_str(),
                   REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
    return true;
  }
  DWORD error = GetLastError();
  if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {  // the old file is left as the backup
    MoveFileExA(state.backup.c_str(), destination.c_str(), MOVEFILE_REPLACE_EXISTING);
  }
  state.backup.clear();
  if (error == ERROR_FILE_NOT_FOUND &&
      GetFileAttributesA(state.destination.c_str()) == INVALID_FILE_ATTRIBUTES) {
    if (MoveFileExA(state.temporary.c_str(), state.destination.c_str(), MOVEFILE_WRITE_THROUGH)) {
      return true;
    }
    error = GetLastError();
  }
  SetLastError(error);
  return false;
}

void replace_or_wait(State& state) {
  for (int attempt = 0; !try_to_place(state); ++attempt) {
    const DWORD error = GetLastError();
    if (attempt == 4 || !may_pass(error)) {
      SetLastError(error);
      fail_with_last_error();
    }
    Sleep(50);
  }
}

}  // namespace

std::string windows_error_text(unsigned long code) {
  if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return std::strerror(ENOENT);
  if (code == ERROR_ACCESS_DENIED) return std::strerror(EACCES);
  char* words = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&words), 0, nullptr);
  std::string text = length > 0 ? std::string(words, length) : std::string();
  LocalFree(words);
  while (!text.empty() && std::strchr("\r\n .", text.back())) text.pop_back();
  return text.empty() ? "Windows error " + std::to_string(code) : text;
}

void open_destination(State& state, const std::string& path) {
  if (open_device(state, path)) return;
  state.destination = followed(path);
  const DWORD attributes = GetFileAttributesA(state.destination.c_str());
  state.existed = attributes != INVALID_FILE_ATTRIBUTES;
  if (state.existed && (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY))) {
    fail_with(EACCES);  // the C runtime's word for a directory here
  }
  make_temporary(state);
}

void put(State& state, std::string_view text) {
  const std::string bytes = platform_text(text);
  if (!bytes.empty() && std::fwrite(bytes.data(), bytes.size(), 1, state.file) != 1) {
    fail_with(errno);
  }
}

void prepare(State& state) {
  const bool durable = std::fflush(state.file) == 0 &&
                       (state.kind == Kind::direct || _commit(_fileno(state.file)) == 0);
  const int error = errno;
  const int closed = std::fclose(state.file);
  state.file = nullptr;
  if (!durable) fail_with(error);
  if (closed != 0) fail_with(errno);
}

// The backup is always made: ReplaceFile without one can lose the old file when it
// fails half-way.
void place(State& state, bool /*keep_old*/) {
  if (state.kind == Kind::renamed) {
    replace_or_wait(state);
    state.temporary.clear();
  }
  state.placed = true;
}

void undo(State& state) noexcept {
  if (!state.placed || state.kind == Kind::direct) return;
  state.placed = false;
  if (state.backup.empty()) {
    DeleteFileA(state.destination.c_str());
  } else if (MoveFileExA(state.backup.c_str(), state.destination.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    state.backup.clear();
  }
}

void finish(State& state) noexcept {
  if (!state.backup.empty()) DeleteFileA(state.backup.c_str());
  state.backup.clear();
}

void discard(State& state) noexcept {
  if (state.file) std::fclose(state.file);
  state.file = nullptr;
  if (!state.temporary.empty()) std::remove(state.temporary.c_str());
  state.temporary.clear();
}

}  // namespace helmert7::files_internal

#endif
