// SPDX-License-Identifier: MIT
// A StagedFile's steps on POSIX. The temporary file gets the old file's owner,
// group and mode; where it cannot (a folder we may not write, an owner we cannot
// give) or where a rename would split a file's hard links, the file is rewritten in
// place: overwritten from its start, cut to its new length last, and on failure
// given back the bytes that were overwritten. Devices, pipes and the files of
// standard output and error are written directly.
#ifndef _WIN32

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>

#include "files/system.h"

namespace helmert7::files_internal {
namespace {

using State = StagedFile::State;
using Kind = StagedFile::State::Kind;

void write_all(int descriptor, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(descriptor, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) fail_with(written < 0 ? errno : EIO);
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
}

// How many bytes of `text` went over the start of the file before a write failed
// (errno then says why).
std::size_t write_from_start(int descriptor, std::string_view text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t written = ::pwrite(descriptor, text.data() + done, text.size() - done,
                                     static_cast<off_t>(done));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      if (written == 0) errno = EIO;
      break;
    }
    done += static_cast<std::size_t>(written);
  }
  return done;
}

// Gives back the first `changed` bytes of the old text and its length. Only bytes
// that were overwritten are written again, so the limit or the full disk that
// stopped the new text cannot stop the restore.
void restore_old_text(int descriptor, const std::string& old, std::size_t changed) {
  write_from_start(descriptor, std::string_view(old).substr(0, std::min(changed, old.size())));
  (void)::ftruncate(descriptor, static_cast<off_t>(old.size()));
  (void)::fsync(descriptor);
}

// The file's text replaced by `text` without ever shortening the old text before
// the new one is whole; restored on any failure.
void rewrite(int descriptor, const std::string& old, const std::string& text) {
  std::size_t changed = write_from_start(descriptor, text);
  bool whole = changed == text.size();
  if (whole && text.size() < old.size()) {
    changed = old.size();
    whole = ::ftruncate(descriptor, static_cast<off_t>(text.size())) == 0;
  }
  if (whole) whole = ::fsync(descriptor) == 0;
  if (!whole) {
    const int error = errno;
    restore_old_text(descriptor, old, changed);
    fail_with(error);
  }
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

// Whether the caller may write the file, as a plain write would judge: a file with
// no write permission at all is refused, also for root.
bool may_write(const std::string& path, const struct stat& old) {
  return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0 &&
         (old.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
}

// Standard output or error when the file is theirs (/dev/stdout, or a name of the
// log they append to), else -1.
int standard_stream_of(const struct stat& file) {
  for (const int stream : {STDOUT_FILENO, STDERR_FILENO}) {
    struct stat of_stream {};
    if (::fstat(stream, &of_stream) == 0 && of_stream.st_dev == file.st_dev &&
        of_stream.st_ino == file.st_ino) {
      return stream;
    }
  }
  return -1;
}

// A device, pipe or standard stream takes the text as it comes, where the stream
// stands (appending to a log opened for appending); nothing is renamed over it.
void open_directly(State& state, const std::string& path, const struct stat& named) {
  state.kind = Kind::direct;
  const int stream = standard_stream_of(named);
  state.descriptor = stream >= 0 ? ::fcntl(stream, F_DUPFD_CLOEXEC, 0)
                                 : ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (state.descriptor < 0) fail_with(errno);
}

// The old file's text is read now, for the restore; `refusal`, when given, is the
// reason reported if even that fails.
void stage_in_place(State& state, int refusal) {
  state.kind = Kind::in_place;
  try {
    state.old_text = file_text(state.destination);
  } catch (const SystemFailure&) {
    if (refusal != 0) fail_with(refusal);
    throw;
  }
}

// The old file's owner, group and mode for the temporary file; 0 or the errno.
int give_identity(int descriptor, const struct stat& old) {
  const bool same_owner = old.st_uid == ::geteuid() && old.st_gid == ::getegid();
  if (!same_owner && ::fchown(descriptor, old.st_uid, old.st_gid) != 0) return errno;
  return ::fchmod(descriptor, old.st_mode & 07777) == 0 ? 0 : errno;
}

// Makes the temporary file; 0 or the errno. A new file's mode is 0666 less the
// umask, which the kernel applies at creation.
int make_temporary(State& state) {
  for (int attempt = 0; attempt < 100 && state.descriptor < 0; ++attempt) {
    state.temporary = temporary_name(state.destination, attempt, ".tmp");
    state.descriptor = ::open(state.temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                              state.existed ? 0600 : 0666);
    if (state.descriptor < 0 && errno != EEXIST) break;
  }
  if (state.descriptor < 0) {
    const int error = errno;
    state.temporary.clear();
    return error;
  }
  remember_temporary(state.temporary);
  const int error = state.existed ? give_identity(state.descriptor, state.old) : 0;
  if (error != 0) discard(state);
  return error;
}

// Starts the disk writes of a large file while it is still being written, so that
// the fsync at commit finds little left to wait for.
void start_writeback(State& state) {
#ifdef SYNC_FILE_RANGE_WRITE
  constexpr long long kStep = 2 << 20;
  if (state.written - state.flushed < kStep) return;
  ::sync_file_range(state.descriptor, state.flushed, state.written - state.flushed,
                    SYNC_FILE_RANGE_WRITE);  // a hint: fsync still reports any failure
  state.flushed = state.written;
#else
  (void)state;
#endif
}

// Makes a rename durable; a file system that cannot sync a folder leaves the
// file in place all the same.
void sync_folder(const std::string& path) {
  const std::size_t last = path.rfind('/');
  const std::string folder = last == std::string::npos ? "." : path.substr(0, last + 1);
  const int descriptor = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (descriptor < 0) return;
  (void)::fsync(descriptor);
  ::close(descriptor);
}

// The old file under a second name until every file is in place: a hard link, or
// where links are not made, the old file renamed.
void keep_old_file(State& state) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    state.backup = temporary_name(state.destination, attempt, ".old");
    if (::link(state.destination.c_str(), state.backup.c_str()) == 0) return;
    if (errno != EEXIST) break;
  }
  if (errno == ENOENT) {  // gone meanwhile: nothing to keep, undo removes the new file
    state.existed = false;
    state.backup.clear();
    return;
  }
  if (::rename(state.destination.c_str(), state.backup.c_str()) == 0) return;
  const int error = errno;
  state.backup.clear();
  fail_with(error);
}

// The kept old file back under its name (a rename between two names of one file
// does nothing, so the second name is removed too).
void put_old_file_back(State& state) noexcept {
  ::rename(state.backup.c_str(), state.destination.c_str());
  ::unlink(state.backup.c_str());
  state.backup.clear();
}

void rename_into_place(State& state, bool keep_old) {
  if (keep_old && state.existed) keep_old_file(state);
  if (::rename(state.temporary.c_str(), state.destination.c_str()) != 0) {
    const int error = errno;
    if (!state.backup.empty()) put_old_file_back(state);
    fail_with(error);
  }
  forget_temporary(state.temporary);
  state.temporary.clear();
  sync_folder(state.destination);
}

void rewrite_in_place(State& state) {
  const int descriptor = ::open(state.destination.c_str(), O_WRONLY | O_CLOEXEC);
  if (descriptor < 0) fail_with(errno);
  try {
    rewrite(descriptor, state.old_text, state.pending);
  } catch (const SystemFailure&) {
    ::close(descriptor);
    throw;
  }
  ::close(descriptor);  // after a successful fsync the text is on disk
}

}  // namespace

void open_destination(State& state, const std::string& path) {
  std::signal(SIGXFSZ, SIG_IGN);  // a file-size limit: a write error, not the end
  struct stat named {};
  state.existed = ::stat(path.c_str(), &named) == 0;
  if (state.existed && S_ISDIR(named.st_mode)) fail_with(EISDIR);
  if (state.existed && !may_write(path, named)) fail_with(EACCES);
  if (state.existed && (!S_ISREG(named.st_mode) || standard_stream_of(named) >= 0)) {
    open_directly(state, path, named);
    return;
  }
  state.destination = followed(path);
  state.old = named;
  if (state.existed && named.st_nlink > 1) {
    stage_in_place(state, 0);
    return;
  }
  const int error = make_temporary(state);
  // Refused where a plain write is allowed: write in place as a plain write would.
  if (error != 0 && state.existed && (error == EACCES || error == EPERM)) {
    stage_in_place(state, error);
  } else if (error != 0) {
    fail_with(error);
  }
}

void put(State& state, std::string_view text) {
  if (state.kind == Kind::in_place) {
    state.pending += text;
    return;
  }
  write_all(state.descriptor, text);
  if (state.kind != Kind::renamed) return;
  state.written += static_cast<long long>(text.size());
  start_writeback(state);
}

void prepare(State& state) {
  if (state.kind == Kind::in_place) return;
  if (state.kind == Kind::renamed && ::fsync(state.descriptor) != 0) fail_with(errno);
  const int closed = ::close(state.descriptor);
  state.descriptor = -1;
  if (closed != 0) fail_with(errno);
}

void place(State& state, bool keep_old) {
  if (state.kind == Kind::renamed) rename_into_place(state, keep_old);
  if (state.kind == Kind::in_place) rewrite_in_place(state);
  state.placed = true;
}

void undo(State& state) noexcept {
  if (!state.placed) return;
  state.placed = false;
  if (state.kind == Kind::in_place) {
    const int descriptor = ::open(state.destination.c_str(), O_WRONLY | O_CLOEXEC);
    if (descriptor < 0) return;
    restore_old_text(descriptor, state.old_text, std::max(state.pending.size(), state.old_text.size()));
    ::close(descriptor);
  } else if (!state.backup.empty()) {
    put_old_file_back(state);
  } else if (state.kind == Kind::renamed && !state.existed) {
    ::unlink(state.destination.c_str());
  }
}

void finish(State& state) noexcept {
  if (!state.backup.empty()) ::unlink(state.backup.c_str());
  state.backup.clear();
}

void discard(State& state) noexcept {
  if (state.descriptor >= 0) ::close(state.descriptor);
  state.descriptor = -1;
  if (state.temporary.empty()) return;
  ::unlink(state.temporary.c_str());
  forget_temporary(state.temporary);
  state.temporary.clear();
}

}  // namespace helmert7::files_internal

#endif
