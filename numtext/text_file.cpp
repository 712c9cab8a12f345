// SPDX-License-Identifier: MIT
// The output file writer. Every step is checked: a file that was opened but not
// written or closed completely is a failure, not a success.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "numtext/numtext.h"

namespace helmert7 {
namespace {

// The system's reason for the error `error`; a step that failed without
// saying why is reported as an input/output error.
std::string system_reason(int error) { return std::strerror(error != 0 ? error : EIO); }

}  // namespace

bool write_text_file(const std::string& path, const std::string& text, std::string& reason) {
  // fopen stops at the first NUL, which would silently name another file.
  if (path.find('\0') != std::string::npos) {
    reason = system_reason(EINVAL);
    return false;
  }

  errno = 0;
  std::FILE* file = std::fopen(path.c_str(), "wt");
  if (file == nullptr) {
    reason = system_reason(errno);
    return false;
  }

  // One element of the text's full length, so bytes after an embedded NUL go too.
  errno = 0;
  if (!text.empty() && std::fwrite(text.data(), text.size(), 1, file) != 1) {
    const int write_error = errno;
    std::fclose(file);  // the write error is the one worth reporting
    reason = system_reason(write_error);
    return false;
  }

  // Buffered bytes reach the file only here, so the close can fail too.
  errno = 0;
  if (std::fclose(file) != 0) {
    reason = system_reason(errno);
    return false;
  }
  return true;
}

}  // namespace helmert7
