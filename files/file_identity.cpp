// SPDX-License-Identifier: MIT
// Whether two paths name one file: through links, "./", "..", and letter case
// where the file system ignores it, the file itself is compared.
#include <filesystem>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

#include "files/files.h"

namespace helmert7 {
namespace {

namespace fs = std::filesystem;

// The path made absolute, with the links of its existing part resolved.
fs::path resolved(const std::string& path) {
  std::error_code error;
  fs::path full = fs::weakly_canonical(fs::absolute(path, error), error);
  return error ? fs::absolute(path, error).lexically_normal() : full;
}

#ifdef _WIN32

struct FileIdentity {
  DWORD volume = 0, high = 0, low = 0;
};

bool identity_of(const std::string& path, FileIdentity& identity) {
  const HANDLE file = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION information;
  const bool known = GetFileInformationByHandle(file, &information) != 0;
  CloseHandle(file);
  identity = {information.dwVolumeSerialNumber, information.nFileIndexHigh,
              information.nFileIndexLow};
  return known;
}

bool same_identity(const FileIdentity& a, const FileIdentity& b) {
  return a.volume == b.volume && a.high == b.high && a.low == b.low;
}

// Opened without access rights: no device or pipe is read, and a folder fails.
bool regular_identity_of(const std::string& path, FileIdentity& identity) {
  const HANDLE file =
      CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION information;
  const bool regular = GetFileType(file) == FILE_TYPE_DISK &&
                       GetFileInformationByHandle(file, &information) != 0 &&
                       !(information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  CloseHandle(file);
  if (regular) {
    identity = {information.dwVolumeSerialNumber, information.nFileIndexHigh,
                information.nFileIndexLow};
  }
  return regular;
}

std::string key_of(const FileIdentity& identity) {
  return std::to_string(identity.volume) + "-" + std::to_string(identity.high) + "-" +
         std::to_string(identity.low);
}

#else

using FileIdentity = struct stat;

bool identity_of(const std::string& path, FileIdentity& identity) {
  return ::stat(path.c_str(), &identity) == 0;
}

bool same_identity(const FileIdentity& a, const FileIdentity& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool regular_identity_of(const std::string& path, FileIdentity& identity) {
  return identity_of(path, identity) && S_ISREG(identity.st_mode);
}

std::string key_of(const FileIdentity& identity) {
  return std::to_string(identity.st_dev) + "-" + std::to_string(identity.st_ino);
}

#endif

}  // namespace

bool same_file(const std::string& a, const std::string& b) {
  FileIdentity first{}, second{};
  const bool first_exists = identity_of(a, first);
  const bool second_exists = identity_of(b, second);
  if (first_exists && second_exists) return same_identity(first, second);
  if (first_exists || second_exists) return false;
  return resolved(a) == resolved(b);
}

std::string regular_file_key(const std::string& path) {
  FileIdentity identity{};
  return regular_identity_of(path, identity) ? key_of(identity) : std::string();
}

}  // namespace helmert7
