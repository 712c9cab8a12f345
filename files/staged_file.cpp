// SPDX-License-Identifier: MIT
// Files replaced whole. The new text goes to a temporary file beside the file it
// replaces, which is renamed over it only when everything was written, so a
// failure at any point leaves the old file as it was and no temporary file behind.
// Several files are put in place in an order that can be undone: each old file is
// kept until all are in place, and put back when a later one fails.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iterator>

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

#include "files/files.h"
#include "files/system.h"

namespace helmert7 {

namespace files_internal {

void fail_with(int error) { throw SystemFailure{std::strerror(error != 0 ? error : EIO)}; }

std::string followed(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code error;
  fs::path current = path;
  for (int hops = 0; hops < 40 && fs::is_symlink(fs::symlink_status(current, error)); ++hops) {
    const fs::path target = fs::read_symlink(current, error);
    if (error) break;
    current = target.is_absolute() ? target : current.parent_path() / target;
  }
  return current.string();
}

std::string temporary_name(const std::string& path, int attempt, const char* suffix) {
#ifdef _WIN32
  const std::size_t last = path.find_last_of("/\\:");
#else
  const std::size_t last = path.rfind('/');  // a backslash is part of a POSIX name
#endif
  const std::string folder = last == std::string::npos ? std::string() : path.substr(0, last + 1);
  return folder + ".helmert7-" + std::to_string(getpid()) + "-" + std::to_string(attempt) + suffix;
}

}  // namespace files_internal

using namespace files_internal;

StagedFile::StagedFile(const std::string& path, const std::string& shown)
    : shown_(shown) {
  failing_as_file_error([&] {
    // An empty name names no file, and a NUL would cut the name short.
    if (path.empty()) fail_with(ENOENT);
    if (path.find('\0') != std::string::npos) fail_with(EINVAL);
    state_ = std::make_unique<State>();
    open_destination(*state_, path);
  });
}

StagedFile::~StagedFile() {
  if (state_) discard(*state_);
}

void StagedFile::write(std::string_view text) {
  failing_as_file_error([&] { put(*state_, text); });
}

void StagedFile::commit() { commit_together({this}); }

template <typename Step>
void StagedFile::failing_as_file_error(const Step& step) {
  try {
    step();
  } catch (const SystemFailure& failure) {
    throw FileError(shown_, failure.reason);
  }
}

// In-place rewrites go first: they can still fail for want of room, and their undo
// writes the old text back; renames cannot run out of room. The identity check
// between commits catches what names alone did not: another spelling of a file
// already put in place (letter case, a link made meanwhile).
void commit_together(const std::vector<StagedFile*>& files) {
  std::vector<StagedFile*> ordered;
  std::copy_if(files.begin(), files.end(), std::back_inserter(ordered),
               [](StagedFile* file) { return file != nullptr; });
  std::stable_partition(ordered.begin(), ordered.end(), [](StagedFile* file) {
    return file->state_->kind == StagedFile::State::Kind::in_place;
  });
  const SignalsHeld held;
  std::size_t placed = 0;
  try {
    for (StagedFile* file : ordered) file->failing_as_file_error([&] { prepare(*file->state_); });
    for (; placed < ordered.size(); ++placed) {
      StagedFile& file = *ordered[placed];
      for (std::size_t before = 0; before < placed; ++before) {
        file.refuse_if_same_as(*ordered[before]);
      }
      file.failing_as_file_error([&] { place(*file.state_, ordered.size() > 1); });
    }
  } catch (...) {
    while (placed > 0) undo(*ordered[--placed]->state_);
    throw;
  }
  for (StagedFile* file : ordered) finish(*file->state_);
}

void StagedFile::refuse_if_same_as(const StagedFile& earlier) const {
  const std::string& name = state_->destination;
  if (!name.empty() && !earlier.state_->destination.empty() &&
      same_file(name, earlier.state_->destination)) {
    throw FileError(shown_, "it is " + earlier.shown_ + ", written just before");
  }
}

}  // namespace helmert7
