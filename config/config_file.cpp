// SPDX-License-Identifier: MIT
// Reading a configuration file whole, once, and the advisory locks that keep a
// reader from seeing a rewrite half done and rewrites of one file from crossing.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "config/config.h"
#include "files/files.h"

namespace helmert7 {
namespace {

// Appends what `read_some` gives until it gives nothing; false when it failed or
// the text would pass `cap` bytes.
bool read_all(const std::function<long(char*, std::size_t)>& read_some, std::size_t cap,
              std::string& text, std::string& reason) {
  char buffer[65536];
  for (;;) {
    const long got = read_some(buffer, sizeof buffer);
    if (got < 0) {
      reason = std::strerror(errno != 0 ? errno : EIO);
      return false;
    }
    if (got == 0) return true;
    if (text.size() + static_cast<std::size_t>(got) > cap) {
      reason = "larger than " + std::to_string(cap >> 20) + " MiB, the most a configuration file may hold";
      return false;
    }
    text.append(buffer, static_cast<std::size_t>(got));
  }
}

const char kNotAFile[] = "not a regular file or a pipe";

// Puts `text` in place of the file that `path` names, following symbolic links;
// false when the old file was left as it was.
bool stage_and_commit(const std::string& path, const std::string& text) {
  try {
    StagedFile file(path, path);
    file.write(text);
    file.commit();
    return true;
  } catch (const FileError&) {
    return false;
  }
}

}  // namespace

#ifdef _WIN32

bool config_read_text(const char* path, std::string& text, std::string& reason, std::size_t cap) {
  text.clear();
  const DWORD attributes = path ? GetFileAttributesA(path) : INVALID_FILE_ATTRIBUTES;
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    reason = kNotAFile;
    return false;
  }
  if (!path) {
    reason = std::strerror(ENOENT);
    return false;
  }
  // Shared for deletion, so that a rewrite by another process can rename over it.
  const std::unique_ptr<std::istream> file = try_open_for_reading(path, reason);
  if (!file) return false;
  return read_all(
      [&file](char* buffer, std::size_t size) -> long {
        file->read(buffer, static_cast<std::streamsize>(size));
        const std::streamsize got = file->gcount();
        return got == 0 && file->bad() ? -1 : static_cast<long>(got);
      },
      cap, text, reason);
}

namespace {

bool owned(DWORD waited) { return waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED; }

// A file opened to learn its identity cannot be renamed over on Windows, so
// identities are learnt, and locked files replaced, in turn under one mutex.
class IdentityTurn {
 public:
  IdentityTurn() : mutex_(CreateMutexA(nullptr, FALSE, "Local\\helmert7-config-identities")) {
    if (mutex_ && !owned(WaitForSingleObject(mutex_, INFINITE))) {
      CloseHandle(mutex_);
      mutex_ = nullptr;
    }
  }
  ~IdentityTurn() {
    if (!mutex_) return;
    ReleaseMutex(mutex_);
    CloseHandle(mutex_);
  }
  IdentityTurn(const IdentityTurn&) = delete;
  IdentityTurn& operator=(const IdentityTurn&) = delete;

 private:
  HANDLE mutex_;
};

std::string identity_key(const std::string& path) {
  const IdentityTurn turn;
  return regular_file_key(path);
}

}  // namespace

ConfigRewriteLock::ConfigRewriteLock(const char* path) : path_(path ? path : "") {
  // Rewrites of one file on this machine take turns through a mutex named after
  // the file itself, so that every spelling of its path takes the same one (a
  // rename cannot replace a file that is locked on Windows). A rewrite puts a new
  // file at the path: take the mutex again until it is the one of the file there.
  for (int attempt = 0; path && attempt < 1000; ++attempt) {
    const std::string key = identity_key(path_);
    if (key.empty()) return;
    const HANDLE mutex = CreateMutexA(nullptr, FALSE, ("Local\\helmert7-config-" + key).c_str());
    if (!mutex) return;
    const DWORD waited = WaitForSingleObject(mutex, INFINITE);
    if (owned(waited) && identity_key(path_) == key) {
      handle_ = mutex;
      return;
    }
    if (owned(waited)) ReleaseMutex(mutex);
    CloseHandle(mutex);
  }
}

ConfigRewriteLock::~ConfigRewriteLock() {
  if (!handle_) return;
  ReleaseMutex(static_cast<HANDLE>(handle_));
  CloseHandle(static_cast<HANDLE>(handle_));
}

bool ConfigRewriteLock::read_text(std::string& text) const {
  text.clear();
  std::string reason;
  return handle_ && config_read_text(path_.c_str(), text, reason);
}

bool ConfigRewriteLock::replace_text(const std::string& text) const {
  const IdentityTurn turn;
  return handle_ && stage_and_commit(path_, text);
}

#else

bool config_read_text(const char* path, std::string& text, std::string& reason, std::size_t cap) {
  text.clear();
  // Not blocking on a pipe's open before its type is known is not needed: a
  // FIFO is what the caller named.
  const int descriptor = path ? ::open(path, O_RDONLY | O_CLOEXEC) : -1;
  if (descriptor < 0) {
    reason = std::strerror(path ? errno : ENOENT);
    return false;
  }
  struct stat status {};
  if (::fstat(descriptor, &status) != 0 || !(S_ISREG(status.st_mode) || S_ISFIFO(status.st_mode))) {
    ::close(descriptor);
    reason = kNotAFile;
    return false;
  }
  // A rewrite in place holds the exclusive lock: read the file whole or not at all.
  if (S_ISREG(status.st_mode)) ::flock(descriptor, LOCK_SH);
  const bool read = read_all(
      [descriptor](char* buffer, std::size_t size) -> long {
        for (;;) {
          const ssize_t got = ::read(descriptor, buffer, size);
          if (got >= 0 || errno != EINTR) return static_cast<long>(got);
        }
      },
      cap, text, reason);
  ::close(descriptor);
  return read;
}

ConfigRewriteLock::ConfigRewriteLock(const char* path) : path_(path ? path : "") {
  // A rewrite renames a new file over the old one, so the lock taken may belong
  // to a file no longer at the path: take it again until it is the file there.
  // Only a regular file is opened, and without waiting: the open of a FIFO would
  // wait for a writer, and that of a device may act on it.
  for (int attempt = 0; path && attempt < 1000; ++attempt) {
    if (regular_file_key(path_).empty()) return;
    const int descriptor = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) return;
    struct stat locked {}, current {};
    if (::fstat(descriptor, &locked) == 0 && S_ISREG(locked.st_mode) &&
        ::flock(descriptor, LOCK_EX) == 0 && ::stat(path, &current) == 0 &&
        locked.st_dev == current.st_dev && locked.st_ino == current.st_ino) {
      descriptor_ = descriptor;
      return;
    }
    ::close(descriptor);
  }
}

ConfigRewriteLock::~ConfigRewriteLock() {
  if (descriptor_ >= 0) ::close(descriptor_);  // closing releases the lock
}

bool ConfigRewriteLock::read_text(std::string& text) const {
  text.clear();
  if (descriptor_ < 0 || ::lseek(descriptor_, 0, SEEK_SET) != 0) return false;
  std::string reason;
  return read_all(
      [this](char* buffer, std::size_t size) -> long {
        for (;;) {
          const ssize_t got = ::read(descriptor_, buffer, size);
          if (got >= 0 || errno != EINTR) return static_cast<long>(got);
        }
      },
      kConfigFileCap, text, reason);
}

bool ConfigRewriteLock::replace_text(const std::string& text) const {
  return descriptor_ >= 0 && stage_and_commit(path_, text);
}

#endif

}  // namespace helmert7
