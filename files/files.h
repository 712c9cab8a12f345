// SPDX-License-Identifier: MIT
// Files written whole or not at all: a StagedFile writes beside its destination
// and puts the text in place at commit(), keeping the old file until then; and
// whether two paths name one file. Paths are the system's bytes (UTF-8 or the
// ANSI code page on Windows). Failures throw FileError; nothing here prints.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "numtext/numtext.h"

namespace helmert7 {

/// Whether two paths name the same file: the same device and inode (on Windows,
/// volume and file index) when both exist, else the same absolute path once the
/// links of its existing part are resolved. Neither file is changed.
bool same_file(const std::string& a, const std::string& b);

/// A text that names the regular file at `path` whatever spelling reaches it (its
/// volume serial and file index on Windows, device and inode elsewhere); the empty
/// text when the path names no regular file (none, a folder, a device or a pipe).
std::string regular_file_key(const std::string& path);

/// A file that cannot be written: "cannot write the output file 'out.txt': No such
/// file or directory", and the system's reason alone.
class FileError : public Failure {
 public:
  FileError(const std::string& shown, const std::string& reason)
      : Failure("cannot write " + shown + ": " + reason), reason_(reason) {}
  const std::string& reason() const { return reason_; }

 private:
  std::string reason_;
};

/// A file written beside its destination and put in place whole. write() appends
/// text (in text mode: CR LF line ends on Windows) to a temporary file in the
/// destination's folder; commit() makes it durable and renames it over the
/// destination, keeping the old file's owner, group and mode (a new file gets the
/// usual mode). Symbolic links are followed and the file they name replaced. A
/// file with several hard links is rewritten in place at commit() and restored if
/// that fails; a device or pipe is written at commit(). Until commit() succeeds the
/// destination is untouched, and a StagedFile destroyed uncommitted removes its
/// temporary file. Every failure throws FileError naming the file as `shown`
/// ("the output file 'out.txt'").
class StagedFile {
 public:
  StagedFile(const std::string& path, const std::string& shown);
  ~StagedFile();
  StagedFile(const StagedFile&) = delete;
  StagedFile& operator=(const StagedFile&) = delete;

  void write(std::string_view text);
  void commit();

  struct State;

 private:
  template <typename Step>
  void failing_as_file_error(const Step& step);

  std::unique_ptr<State> state_;
  std::string shown_;
};

/// Makes a file-size limit (ulimit -f) a write error instead of a signal that ends
/// the process.
void treat_file_size_limit_as_error();

}  // namespace helmert7
