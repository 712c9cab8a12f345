// SPDX-License-Identifier: MIT
// Files written whole or not at all: a StagedFile writes beside its destination
// and puts the text in place at commit, keeping the old file until then; several
// are committed together, so that all are in place or none. Also: whether two
// paths name one file, a key for a file's identity, and point files opened for
// reading without locking them. Paths are the system's bytes (UTF-8 or the ANSI
// code page on Windows). Failures throw FileError (reading: Failure); nothing here
// prints. Using a StagedFile makes a file-size limit (SIGXFSZ) a write error, and
// SIGINT, SIGTERM and SIGHUP remove the temporary files before the process dies.
#pragma once

#include <istream>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "numtext/numtext.h"

namespace helmert7 {

/// Whether two paths name the same file: the same device and inode (on Windows,
/// volume and file index) when both exist, else the same absolute path once their
/// symbolic links are followed, also a link whose target does not exist yet (on
/// Windows letter case aside). Neither file is changed.
bool same_file(const std::string& a, const std::string& b);

/// A text that names the regular file at `path` whatever spelling reaches it (its
/// volume serial and file index on Windows, device and inode elsewhere); the empty
/// text when the path names no regular file (none, a folder, a device or a pipe).
std::string regular_file_key(const std::string& path);

/// Whether `path` names the file that standard input reads (a file: a terminal or
/// a pipe is never replaced).
bool is_standard_input(const std::string& path);

/// The file opened for reading in binary mode; on Windows others may still rename,
/// replace or delete it meanwhile, as on POSIX. Throws Failure "cannot read `shown`:
/// No such file or directory" when it cannot be opened.
std::unique_ptr<std::istream> open_for_reading(const std::string& path, const std::string& shown);

/// open_for_reading for callers that report in their own words: null, with the
/// system's reason, when the file cannot be opened.
std::unique_ptr<std::istream> try_open_for_reading(const std::string& path, std::string& reason);

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
/// usual mode), and syncs the folder. Symbolic links are followed and the file they
/// name replaced. Where a rename cannot keep the file as it was (on POSIX: several
/// hard links, a folder we may not write, an owner we cannot give) the file is
/// rewritten in place at commit and restored if that fails. A device, pipe or
/// the file of standard output or error is written directly as the text comes.
/// Until commit succeeds the destination is untouched, and a StagedFile destroyed
/// uncommitted removes its temporary file. Every failure throws FileError naming
/// the file as `shown` ("the output file 'out.txt'").
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
  friend void commit_together(const std::vector<StagedFile*>& files);
  template <typename Step>
  void failing_as_file_error(const Step& step);
  void refuse_if_same_as(const StagedFile& earlier) const;

  std::unique_ptr<State> state_;
  std::string shown_;
};

/// Puts several staged files in place, all or none: in-place rewrites first, then
/// the renames, each old file kept until every one is in place; when one fails, the
/// ones before it are put back as they were and its FileError is thrown. A file
/// that turns out to be one already put in place (another spelling of its name) is
/// refused. Null entries are skipped.
void commit_together(const std::vector<StagedFile*>& files);

}  // namespace helmert7
