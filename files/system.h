// SPDX-License-Identifier: MIT
// Inside files/ only: the steps a StagedFile takes on each platform, the system's
// reasons for failures, and the registry of temporary files that a signal removes.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#ifndef _WIN32
#include <sys/stat.h>

#include <csignal>
#endif

#include "files/files.h"

namespace helmert7::files_internal {

/// The system's reason for a failed step; StagedFile names the file.
struct SystemFailure {
  std::string reason;
};

/// Throws SystemFailure with strerror(error) (EIO for 0).
[[noreturn]] void fail_with(int error);

#ifdef _WIN32
/// The words of a Windows error code, as FormatMessage gives them, without the
/// final full stop; the C runtime's words where it has them.
std::string windows_error_text(unsigned long code);
#endif

/// The file a path names once its symbolic links are followed, also when the last
/// one names a file that does not exist yet.
std::string followed(const std::string& path);

/// A short name of its own in the folder of `path`, so that a long file name
/// cannot push it past the file system's limit: ".helmert7-<pid>-<attempt><suffix>".
std::string temporary_name(const std::string& path, int attempt, const char* suffix);

}  // namespace helmert7::files_internal

namespace helmert7 {

/// What a StagedFile holds between its steps.
struct StagedFile::State {
  enum class Kind { renamed, in_place, direct };
  Kind kind = Kind::renamed;
  std::string destination;  ///< the file replaced, links followed
  std::string temporary;    ///< the text before it is in place; empty once renamed
  std::string backup;       ///< the old file kept for undo; empty when none is kept
  bool existed = false;     ///< whether the destination existed when staged
  bool placed = false;      ///< put in place and not undone
#ifdef _WIN32
  std::FILE* file = nullptr;
#else
  std::string old_text;     ///< in place: the old file's text, for the restore
  std::string pending;      ///< in place: the new text
  int descriptor = -1;      ///< of the temporary file, or of the device
  long long written = 0;    ///< bytes in the temporary file
  long long flushed = 0;    ///< bytes whose writeback has been started
  struct stat old {};       ///< of the destination, when it existed
#endif
};

}  // namespace helmert7

namespace helmert7::files_internal {

// The platform's steps: open (in the StagedFile's constructor; it discards what it
// made when it fails), put the text, prepare (make it durable), place (put it in
// place, keeping the old file for undo when asked), undo, finish (drop what was
// kept), discard (uncommitted: remove the temporary file).
void open_destination(StagedFile::State& state, const std::string& path);
void put(StagedFile::State& state, std::string_view text);
void prepare(StagedFile::State& state);
void place(StagedFile::State& state, bool keep_old);
void undo(StagedFile::State& state) noexcept;
void finish(StagedFile::State& state) noexcept;
void discard(StagedFile::State& state) noexcept;

/// Temporary files that SIGINT, SIGTERM or SIGHUP remove before the process dies
/// (POSIX; nothing on Windows). A path is remembered from registration until it is
/// forgotten; the handlers are installed on the first registration where the
/// signal's action is the default one.
void remember_temporary(const std::string& path);
void forget_temporary(const std::string& path);

/// Holds SIGINT, SIGTERM and SIGHUP while it lives, so that a commit and its undo
/// run whole; a signal that arrived meanwhile is delivered at its end.
class SignalsHeld {
 public:
  SignalsHeld();
  ~SignalsHeld();
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;

 private:
#ifndef _WIN32
  sigset_t saved_;  // the thread's signal mask before
#endif
};

}  // namespace helmert7::files_internal
