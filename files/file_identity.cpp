// SPDX-License-Identifier: MIT
// Whether two paths name one file: through links, also dangling ones, "./", "..",
// and letter case where the file system ignores it, the file itself is compared.
// And point files opened for reading without keeping others from replacing them.
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <ext/stdio_filebuf.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "files/files.h"
#include "files/system.h"

namespace helmert7 {
namespace {

namespace fs = std::filesystem;
using files_internal::followed;

// The path made absolute, with its links resolved, those of the part that exists
// and a last link that names a file not made yet.
fs::path resolved(const std::string& path) {
  const std::string target = followed(path);
  std::error_code error;
  fs::path full = fs::weakly_canonical(fs::absolute(target, error), error);
  if (error) full = fs::absolute(target, error).lexically_normal();
  return full.make_preferred();
}

#ifdef _WIN32

struct FileIdentity {
  DWORD volume = 0, high = 0, low = 0;
};

bool identity_of_handle(HANDLE file, FileIdentity& identity) {
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(file, &information)) return false;
  identity = {information.dwVolumeSerialNumber, information.nFileIndexHigh,
              information.nFileIndexLow};
  return true;
}

bool identity_of(const std::string& path, FileIdentity& identity) {
  const HANDLE file = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool known = identity_of_handle(file, identity);
  CloseHandle(file);
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
  return std::to_string(identity.volume) + ":" +
         std::to_string((static_cast<unsigned long long>(identity.high) << 32) | identity.low);
}

// Windows file systems ignore letter case: "out.txt" and "OUT.TXT" are one name.
bool same_name(const fs::path& a, const fs::path& b) {
  const std::wstring first = a.wstring(), second = b.wstring();
  return CompareStringOrdinal(first.c_str(), static_cast<int>(first.size()), second.c_str(),
                              static_cast<int>(second.size()), TRUE) == CSTR_EQUAL;
}

bool standard_input_identity(FileIdentity& identity) {
  return identity_of_handle(GetStdHandle(STD_INPUT_HANDLE), identity);
}

// A reader that others may rename, replace or delete meanwhile, as on POSIX: the
// C runtime's own opening would lock the file against that.
class SharedReader : public std::istream {
 public:
  explicit SharedReader(int descriptor)
      : std::istream(nullptr), buffer_(descriptor, std::ios::in | std::ios::binary, 1 << 16) {
    rdbuf(&buffer_);
  }

 private:
  __gnu_cxx::stdio_filebuf<char> buffer_;
};

std::unique_ptr<std::istream> opened_for_reading(const std::string& path, std::string& reason) {
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    reason = files_internal::windows_error_text(GetLastError());
    return nullptr;
  }
  const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDONLY | _O_BINARY);
  if (descriptor < 0) {
    reason = std::strerror(errno);
    CloseHandle(file);
    return nullptr;
  }
  return std::make_unique<SharedReader>(descriptor);
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
  return std::to_string(identity.st_dev) + ":" + std::to_string(identity.st_ino);
}

bool same_name(const fs::path& a, const fs::path& b) { return a == b; }

// A terminal or pipe is never replaced: only a file counts.
bool standard_input_identity(FileIdentity& identity) {
  return ::fstat(STDIN_FILENO, &identity) == 0 && S_ISREG(identity.st_mode);
}

std::unique_ptr<std::istream> opened_for_reading(const std::string& path, std::string& reason) {
  auto file = std::make_unique<std::ifstream>(path, std::ios::binary);
  if (*file) return file;
  reason = std::strerror(errno);
  return nullptr;
}

#endif

}  // namespace

bool same_file(const std::string& a, const std::string& b) {
  FileIdentity first{}, second{};
  const bool first_exists = identity_of(a, first);
  const bool second_exists = identity_of(b, second);
  if (first_exists && second_exists) return same_identity(first, second);
  if (first_exists || second_exists) return false;
  return same_name(resolved(a), resolved(b));
}

bool is_standard_input(const std::string& path) {
  FileIdentity input{}, named{};
  return standard_input_identity(input) && identity_of(path, named) && same_identity(input, named);
}

std::unique_ptr<std::istream> try_open_for_reading(const std::string& path, std::string& reason) {
  return opened_for_reading(path, reason);
}

std::unique_ptr<std::istream> open_for_reading(const std::string& path, const std::string& shown) {
  std::string reason;
  std::unique_ptr<std::istream> file = opened_for_reading(path, reason);
  if (!file) throw Failure("cannot read " + shown + ": " + reason);
  return file;
}

std::string regular_file_key(const std::string& path) {
  FileIdentity identity{};
  return regular_identity_of(path, identity) ? key_of(identity) : std::string();
}

}  // namespace helmert7
