// SPDX-License-Identifier: MIT
// Files replaced whole. The new text goes to a temporary file beside the file it
// replaces, which is renamed over it only when everything was written, so a
// failure at any point leaves the old file as it was and no temporary file behind.
// A file with several hard links is rewritten in place instead (a rename would split
// its names) and restored when that fails; a device or pipe is written directly.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "files/files.h"

namespace helmert7 {
namespace {

namespace fs = std::filesystem;

// The system's reason for a failed step, given its name by StagedFile's methods.
struct SystemFailure {
  std::string reason;
};

[[noreturn]] void fail_with(int error) { throw SystemFailure{std::strerror(error != 0 ? error : EIO)}; }

// The file a path names once its symbolic links are followed: the file to replace.
std::string followed(const std::string& path) {
  std::error_code error;
  fs::path current = path;
  for (int hops = 0; hops < 40 && fs::is_symlink(fs::symlink_status(current, error)); ++hops) {
    const fs::path target = fs::read_symlink(current, error);
    if (error) break;
    current = target.is_absolute() ? target : current.parent_path() / target;
  }
  return current.string();
}

// A short name of its own beside `path`, so that a long file name cannot push the
// temporary name past the file system's limit.
std::string temporary_name(const std::string& path, int attempt) {
  const std::size_t last = path.find_last_of("/\\");
  const std::string folder = last == std::string::npos ? std::string() : path.substr(0, last + 1);
  return folder + ".helmert7-" + std::to_string(getpid()) + "-" + std::to_string(attempt) + ".tmp";
}

#ifdef _WIN32
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
#endif

}  // namespace

#ifdef _WIN32

struct StagedFile::State {
  std::string destination;  // the file replaced, links followed
  std::string temporary;    // empty once renamed or never made
  bool committed = false;
  std::FILE* file = nullptr;
};

namespace {

void open_destination(StagedFile::State& state) {
  const DWORD attributes = GetFileAttributesA(state.destination.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY))) {
    fail_with(EACCES);  // the C runtime's word for a directory here
  }
  // _O_EXCL: the C runtime's fopen knows no exclusive "x" mode, and two outputs of
  // one run in one folder must not share a temporary file.
  for (int attempt = 0; attempt < 100; ++attempt) {
    state.temporary = temporary_name(state.destination, attempt);
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

void put(StagedFile::State& state, std::string_view text) {
  const std::string bytes = platform_text(text);
  if (!bytes.empty() && std::fwrite(bytes.data(), bytes.size(), 1, state.file) != 1) {
    fail_with(errno);
  }
}

void put_in_place(StagedFile::State& state) {
  if (std::fflush(state.file) != 0 || _commit(_fileno(state.file)) != 0) fail_with(errno);
  const int closed = std::fclose(state.file);
  state.file = nullptr;
  if (closed != 0) fail_with(errno);
  if (!MoveFileExA(state.temporary.c_str(), state.destination.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    fail_with(EACCES);
  }
  state.temporary.clear();
}

void discard(StagedFile::State& state) noexcept {
  if (state.file) std::fclose(state.file);
  state.file = nullptr;
  if (!state.temporary.empty()) std::remove(state.temporary.c_str());
}

}  // namespace

void treat_file_size_limit_as_error() {}

#else

struct StagedFile::State {
  std::string destination;  // the file replaced, links followed
  std::string temporary;    // empty once renamed, or when written in place
  bool committed = false;
  int descriptor = -1;      // of the temporary file
  off_t written = 0;        // bytes in the temporary file
  off_t flushed = 0;        // bytes whose writeback has been started
  struct stat old {};       // of the destination, when it exists
  bool exists = false;
  bool in_place = false;    // a file with several names, rewritten at commit
  std::string old_text;     // restored when an in-place rewrite fails
  std::string pending;      // the new text of an in-place rewrite
};

namespace {

void write_all(int descriptor, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(descriptor, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) fail_with(written < 0 ? errno : EIO);
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
}

// The mode a new file gets from the process: 0666 less the umask.
mode_t default_mode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

// Whether the caller may write the file, as a plain write would judge: a file with
// no write permission at all is refused, also for root.
bool may_write(const std::string& path, const struct stat& old) {
  return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0 &&
         (old.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
}

// Gives the temporary file the old file's owner, group and mode (an owner that
// cannot be kept is a refusal, never a change), or the mode of a new file.
void give_identity(int descriptor, const struct stat& old, bool exists) {
  if (!exists) {
    if (::fchmod(descriptor, default_mode()) != 0) fail_with(errno);
    return;
  }
  const bool same_owner = old.st_uid == ::geteuid() && old.st_gid == ::getegid();
  if (!same_owner && ::fchown(descriptor, old.st_uid, old.st_gid) != 0) fail_with(errno);
  if (::fchmod(descriptor, old.st_mode & 07777) != 0) fail_with(errno);
}

std::string file_text(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) fail_with(errno);
  std::string text;
  char buffer[65536];
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
    text.append(buffer, got);
  }
  const bool complete = std::ferror(file) == 0;
  std::fclose(file);
  if (!complete) fail_with(EIO);
  return text;
}

// Replaces the content of an open regular file; false when a write failed part-way.
bool overwrite(int descriptor, std::string_view text) {
  try {
    if (::ftruncate(descriptor, 0) != 0 || ::lseek(descriptor, 0, SEEK_SET) != 0) return false;
    write_all(descriptor, text);
    return ::fsync(descriptor) == 0;
  } catch (const SystemFailure&) {
    return false;
  }
}

void discard(StagedFile::State& state) noexcept {
  if (state.descriptor >= 0) ::close(state.descriptor);
  state.descriptor = -1;
  if (!state.temporary.empty()) ::unlink(state.temporary.c_str());
}

void open_destination(StagedFile::State& state) {
  state.exists = ::stat(state.destination.c_str(), &state.old) == 0;
  if (state.exists && S_ISDIR(state.old.st_mode)) fail_with(EISDIR);
  if (state.exists && !may_write(state.destination, state.old)) fail_with(EACCES);
  // A device or pipe cannot be replaced: it takes the text as it comes.
  if (state.exists && !S_ISREG(state.old.st_mode)) {
    state.descriptor = ::open(state.destination.c_str(), O_WRONLY | O_CLOEXEC);
    if (state.descriptor < 0) fail_with(errno);
    return;
  }
  state.in_place = state.exists && state.old.st_nlink > 1;
  if (state.in_place) {
    state.old_text = file_text(state.destination);
    return;
  }
  for (int attempt = 0; attempt < 100; ++attempt) {
    state.temporary = temporary_name(state.destination, attempt);
    state.descriptor = ::open(state.temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (state.descriptor >= 0) {
      try {
        give_identity(state.descriptor, state.old, state.exists);
      } catch (const SystemFailure&) {
        discard(state);  // the constructor fails, so no destructor will
        throw;
      }
      return;
    }
    if (errno != EEXIST) break;
  }
  const int error = errno;
  state.temporary.clear();
  fail_with(error);
}

// Starts the disk writes of a large file while it is still being written, so that
// the fsync at commit() finds little left to wait for.
void start_writeback(StagedFile::State& state) {
#ifdef SYNC_FILE_RANGE_WRITE
  constexpr off_t kStep = 2 << 20;
  if (state.temporary.empty() || state.written - state.flushed < kStep) return;
  ::sync_file_range(state.descriptor, state.flushed, state.written - state.flushed,
                    SYNC_FILE_RANGE_WRITE);  // a hint: fsync still reports any failure
  state.flushed = state.written;
#else
  (void)state;
#endif
}

void put(StagedFile::State& state, std::string_view text) {
  if (state.in_place) {
    state.pending += text;
    return;
  }
  write_all(state.descriptor, text);
  state.written += static_cast<off_t>(text.size());
  start_writeback(state);
}

void rewrite_in_place(StagedFile::State& state) {
  const int descriptor = ::open(state.destination.c_str(), O_WRONLY | O_CLOEXEC);
  if (descriptor < 0) fail_with(errno);
  if (!overwrite(descriptor, state.pending)) {
    const int error = errno;
    // Failed means untouched: the old text goes back.
    overwrite(descriptor, state.old_text);
    ::close(descriptor);
    fail_with(error);
  }
  if (::close(descriptor) != 0) fail_with(errno);
}

void put_in_place(StagedFile::State& state) {
  if (state.in_place) {
    rewrite_in_place(state);
    return;
  }
  if (state.temporary.empty()) {  // a device or pipe, written already
    const int closed = ::close(state.descriptor);
    state.descriptor = -1;
    if (closed != 0) fail_with(errno);
    return;
  }
  if (::fsync(state.descriptor) != 0) fail_with(errno);
  const int closed = ::close(state.descriptor);
  state.descriptor = -1;
  if (closed != 0) fail_with(errno);
  if (std::rename(state.temporary.c_str(), state.destination.c_str()) != 0) fail_with(errno);
  state.temporary.clear();
}

}  // namespace

void treat_file_size_limit_as_error() { std::signal(SIGXFSZ, SIG_IGN); }

#endif

StagedFile::StagedFile(const std::string& path, const std::string& shown)
    : state_(std::make_unique<State>()), shown_(shown) {
  failing_as_file_error([&] {
    // An empty name names no file, and a NUL would cut the name short.
    if (path.empty()) fail_with(ENOENT);
    if (path.find('\0') != std::string::npos) fail_with(EINVAL);
    state_->destination = followed(path);
    open_destination(*state_);
  });
}

StagedFile::~StagedFile() {
  if (!state_->committed) discard(*state_);
}

void StagedFile::write(std::string_view text) {
  failing_as_file_error([&] { put(*state_, text); });
}

void StagedFile::commit() {
  failing_as_file_error([&] { put_in_place(*state_); });
  state_->committed = true;
}

template <typename Step>
void StagedFile::failing_as_file_error(const Step& step) {
  try {
    step();
  } catch (const SystemFailure& failure) {
    throw FileError(shown_, failure.reason);
  }
}

}  // namespace helmert7
