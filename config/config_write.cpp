// SPDX-License-Identifier: MIT
// Writing records back to a file, and the set operations. A set operation builds
// the whole new text in memory first and changes nothing unless it can put that
// text in place completely: through a temporary file renamed over the old one,
// or, for a file with several hard links, by rewriting it in place.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#ifdef _WIN32
#include <io.h>
#include <process.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "config/config.h"

namespace helmert7 {
namespace {

// "key = value" is two bytes longer than the "key=value" the loader may have read,
// so a record near the limits can make a line the loader would split, cutting the
// value. Such a list is refused as a whole before anything is written.
bool lines_fit(const ConfigRecordList& list) {
  return std::all_of(list.begin(), list.end(), [](const ConfigRecord& record) {
    return record.key.size() + 3 + record.value.size() <= kConfigLineLimit;
  });
}

std::string records_text(const ConfigRecordList& list) {
  std::string text;
  for (const ConfigRecord& record : list) {
    if (record.position == 0) text += "[" + record.section + "]\n";
    text += record.key + " = " + record.value + "\n";
  }
  return text;
}

// Writes `text` through an open stream and closes it; true only when all of it
// reached the file.
bool put_and_close(std::FILE* file, const std::string& text) {
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  const bool closed = std::fclose(file) == 0;
  return written && closed;
}

// The directory part of `path`, with its separator, or empty.
std::string directory_of(const std::string& path) {
  const std::size_t last = path.find_last_of("/\\");
  return last == std::string::npos ? std::string() : path.substr(0, last + 1);
}

// A short name of its own beside `path`, so that a long file name cannot push
// the temporary name past the file system's limit.
std::string temporary_name(const std::string& path, int attempt) {
  return directory_of(path) + ".helmert7-" + std::to_string(getpid()) + "-" +
         std::to_string(attempt) + ".tmp";
}

#ifdef _WIN32

// Windows has no owners to keep here; the new text goes in text mode (CR LF) to a
// temporary file that replaces the old one.
bool replace_file(const char* path, const std::string& text) {
  const DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) ||
      (attributes & FILE_ATTRIBUTE_READONLY)) {
    return false;
  }
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string temporary = temporary_name(path, attempt);
    std::FILE* file = std::fopen(temporary.c_str(), "wx");
    if (!file) {
      if (errno == EEXIST) continue;
      return false;
    }
    const bool done = put_and_close(file, text) &&
                      MoveFileExA(temporary.c_str(), path,
                                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    if (!done) std::remove(temporary.c_str());
    return done;
  }
  return false;
}

#else

bool write_all(int descriptor, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t written = ::write(descriptor, text.data() + done, text.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    done += static_cast<std::size_t>(written);
  }
  return true;
}

// Creates the temporary file with no permissions beyond the owner's from its first
// byte, gives it the old file's owner, group and mode (refusing rather than
// changing an owner), writes the text and makes it durable. Returns its name, or
// empty after removing whatever was created.
std::string write_temporary(const std::string& path, const struct stat& old,
                            const std::string& text) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string temporary = temporary_name(path, attempt);
    const int descriptor = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (descriptor < 0) {
      if (errno == EEXIST) continue;
      return {};
    }
    const bool same_owner = old.st_uid == ::geteuid() && old.st_gid == ::getegid();
    const bool done = (same_owner || ::fchown(descriptor, old.st_uid, old.st_gid) == 0) &&
                      ::fchmod(descriptor, old.st_mode & 07777) == 0 &&
                      write_all(descriptor, text) && ::fsync(descriptor) == 0;
    const bool closed = ::close(descriptor) == 0;
    if (done && closed) return temporary;
    ::unlink(temporary.c_str());
    return {};
  }
  return {};
}

// Puts `text` in place of the file that `path` names, following symbolic links.
bool replace_file(const char* path, const std::string& text) {
  char* resolved = ::realpath(path, nullptr);
  if (!resolved) return false;
  const std::string target = resolved;
  std::free(resolved);

  struct stat old {};
  if (::stat(target.c_str(), &old) != 0 || !S_ISREG(old.st_mode)) return false;
  // As a plain write would: a file the caller may not write is refused, also by root.
  if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0 ||
      (old.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
    return false;
  }
  // Several names for one file: a rename would split them, so rewrite it in place.
  if (old.st_nlink > 1) {
    std::FILE* file = std::fopen(target.c_str(), "w+");
    return file && put_and_close(file, text);
  }
  const std::string temporary = write_temporary(target, old, text);
  if (temporary.empty()) return false;
  if (std::rename(temporary.c_str(), target.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return false;
  }
  return true;
}

#endif

}  // namespace

bool config_write_file(const char* path, const ConfigRecordList& list) {
  if (!lines_fit(list)) return false;
  std::FILE* file = path ? std::fopen(path, "w+") : nullptr;
  return file && put_and_close(file, records_text(list));
}

int config_set_string(const char* path, const char* section, const char* key,
                      const char* new_value) {
  // A value the field cannot hold is refused rather than cut.
  if (!path || !*path || !new_value || std::strlen(new_value) >= kConfigValueCapacity) return -1;
  // Records missing from the list would be missing from the rewritten file.
  ConfigRecordList list;
  if (!config_load_whole_file(path, list)) return -1;
  if (const ConfigRecord* found = config_find_record(list, section, key)) {
    list[static_cast<std::size_t>(found - list.data())].value = new_value;
  }
  if (!lines_fit(list)) return -1;
  return replace_file(path, records_text(list)) ? 0 : -1;
}

int config_set_int(const char* path, const char* section, const char* key, int new_value) {
  char text[16];  // "-2147483648" and its NUL
  std::snprintf(text, sizeof text, "%d", new_value);
  return config_set_string(path, section, key, text);
}

}  // namespace helmert7
