// SPDX-License-Identifier: MIT
// Configuration files: sectioned text files of "key = value" lines. Every operation
// loads and parses the whole file, searches it and forgets it; nothing is cached.
// In the C manner: NUL-terminated byte strings, caller-supplied buffers and
// defaults standing in for anything missing; the reads return 0 on every path. Section and
// key names match when equal bytewise with the 0x20 bit ignored ("SRC" is "src").
// A line whose section, key or value would not fit its field (511, 511 and 32,767
// bytes), or that holds a NUL, is dropped whole rather than cut into a shorter,
// wrong value. Only LF, CR LF and a lone CR end a line; every other byte is part
// of it. The writer writes no line that the loader would drop or split.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace helmert7 {

constexpr std::size_t kConfigNameCapacity = 512;     ///< section and key fields, NUL included
constexpr std::size_t kConfigValueCapacity = 32768;  ///< value field, NUL included
constexpr std::size_t kConfigLineLimit = 33280;      ///< most bytes of a line before its end
constexpr std::size_t kConfigFileCap = std::size_t{256} << 20;  ///< most bytes read from a file

/// One key line of a file.
struct ConfigRecord {
  std::int32_t position = 0;  ///< 0-based place among the keys since the last header
  std::string section;        ///< section in force; empty before the first header
  std::string key;            ///< never empty
  std::string value;          ///< possibly empty
  int line = 0;               ///< 1-based line of the file
};

/// The records of one file in file order.
using ConfigRecordList = std::vector<ConfigRecord>;

/// A line that could not be taken as it stands.
struct ConfigIssue {
  enum class Kind {
    length,   ///< too long to hold: dropped (past the line limit the rest reads as a new line)
    byte,     ///< holds NUL (dropped), form feed or SUB (kept), which other readers end lines at
    section,  ///< a key under a header too long to hold or holding a NUL: dropped
    syntax,   ///< no key = value, header or comment
    memory,   ///< no memory to hold it: dropped
  };
  int line = 0;      ///< 1-based
  std::string key;   ///< the key the line begins with, when one can be seen
  std::string what;  ///< "a key or value too long to hold", "a NUL byte inside a line", ...
  Kind kind = Kind::syntax;
};

/// A file read and parsed once: its records, and the lines that were dropped, cut,
/// hold a byte that other readers end a line at, or are no key = value, header or
/// comment (blank lines and comments are none).
struct ConfigDocument {
  ConfigRecordList records;
  std::vector<ConfigIssue> issues;
};

/// Reads a whole configuration file once into `text`: a regular file (under a
/// shared lock, so a rewrite in place is never seen half done) or a pipe, at most
/// `cap` bytes. Returns false with the reason (the system's, "not a regular file
/// or a pipe", or the cap) otherwise.
bool config_read_text(const char* path, std::string& text, std::string& reason,
                      std::size_t cap = kConfigFileCap);

/// Parses a file's text: a UTF-8 byte-order mark at its start is skipped; LF, CR
/// LF and a lone CR end a line, which holds at most kConfigLineLimit bytes (the
/// rest of a longer one reads as a new line). Returns true when no line was
/// dropped or split.
bool config_parse_text(std::string_view text, ConfigDocument& document);

/// config_read_text and config_parse_text. Returns false, with the reason, only
/// when the file could not be read.
bool config_read_document(const char* path, ConfigDocument& document, std::string& reason);

/// An exclusive advisory lock that rewrites of one file take in turn (flock of the
/// file at the path on POSIX, on Windows a mutex named after the file's volume and
/// index, so every spelling of the path takes the same one), released when
/// destroyed. Only a regular file is locked: a FIFO or device is never opened.
class ConfigRewriteLock {
 public:
  explicit ConfigRewriteLock(const char* path);
  ~ConfigRewriteLock();
  ConfigRewriteLock(const ConfigRewriteLock&) = delete;
  ConfigRewriteLock& operator=(const ConfigRewriteLock&) = delete;

  /// Reads the locked file whole into `text` (as config_read_text, without taking
  /// a second lock that would wait for this one). Returns false when it cannot or
  /// no lock was taken.
  bool read_text(std::string& text) const;

  /// Puts `text` in place of the locked file, whole or not at all (a StagedFile:
  /// symbolic links followed, the old owner, group and mode kept). Returns false
  /// when the old file was left as it was.
  bool replace_text(const std::string& text) const;

 private:
  std::string path_;
#ifdef _WIN32
  void* handle_ = nullptr;
#else
  int descriptor_ = -1;
#endif
};

/// Loads and parses the file; an unopenable file gives the empty list.
ConfigRecordList config_load_file(const char* path);

/// Loads the file into `list` as config_load_file does. Returns true only when the
/// file was opened and read to its end and no line was dropped or split for its
/// length, so that the records hold everything a rewrite would keep.
bool config_load_whole_file(const char* path, ConfigRecordList& list);

/// Splits a trimmed line at its first "=" into trimmed key and value, written with
/// their NUL into buffers of the given capacities. Returns 0, or -1 when the line has
/// no "=", begins with it, or its key or value does not fit.
int config_split_key_value(char* key_out, std::size_t key_capacity, char* value_out,
                           std::size_t value_capacity, const char* line);

/// The text without blanks and tabs at its ends.
std::string_view config_trim(std::string_view text);

/// The first record, in file order, whose section and key match; nullptr if none.
const ConfigRecord* config_find_record(const ConfigRecordList& list, const char* section,
                                       const char* key);

/// Copies the non-empty value of the first matching key, else `default_value`, into
/// `out`, never writing more than `out_capacity` bytes; a text that does not fit is
/// not cut: `out` then receives the empty string. Returns 0.
int config_get_string(const char* path, const char* section, const char* key, char* out,
                      std::size_t out_capacity, const char* default_value);

/// The value converted as by atoi / atof, or `default_value` when missing or empty.
int config_get_int(const char* path, const char* section, const char* key, int* out,
                   int default_value);
int config_get_double(const char* path, const char* section, const char* key, double* out,
                      double default_value);

/// Replaces the value of the first matching key and rewrites the whole file; a key
/// not in the file is not added. Anything but a regular file is refused unopened.
/// Nothing is changed unless the file was read whole (see config_load_whole_file),
/// the caller may write it and the new value fits its field (at most 32,767 bytes)
/// and reads back as set without an issue (no line end, form feed or SUB, no blank
/// at its ends). A symbolic link is followed and the file it names replaced; the
/// new text goes to a temporary file beside that file, created with the owner's
/// permissions only, given the old owner, group and mode (an owner that cannot be
/// kept is a refusal), then renamed over it. A file with several hard links is
/// rewritten in place instead, so the links stay one file. Returns 0 when the new
/// file is in place and -1 when the old file was left as it was.
int config_set_string(const char* path, const char* section, const char* key,
                      const char* new_value);
int config_set_int(const char* path, const char* section, const char* key, int new_value);

/// Writes the records to `path` (mode "w+"): "[section]" before every record of
/// position 0, then "key = value" per record. Returns true only when the file was
/// opened, written completely and closed; a record whose line the loader would
/// split is refused before anything is written.
bool config_write_file(const char* path, const ConfigRecordList& list);

}  // namespace helmert7
