// SPDX-License-Identifier: MIT
// Configuration files: sectioned text files of "key = value" lines. Every operation
// loads and parses the whole file, searches it and forgets it; nothing is cached.
// In the C manner: NUL-terminated byte strings, caller-supplied buffers, the int 0
// returned on every path and defaults standing in for anything missing. Section and
// key names match when equal bytewise with the 0x20 bit ignored ("SRC" is "src").
// A line whose section, key or value would not fit its field (511, 511 and 32,767
// bytes) is dropped whole rather than cut into a shorter, wrong value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace helmert7 {

constexpr std::size_t kConfigNameCapacity = 512;     ///< section and key fields, NUL included
constexpr std::size_t kConfigValueCapacity = 32768;  ///< value field, NUL included
constexpr std::size_t kConfigLineLimit = 33280;      ///< stored bytes after which a line ends

/// One key line of a file.
struct ConfigRecord {
  std::int32_t position = 0;  ///< 0-based place among the keys since the last header
  std::string section;        ///< section in force; empty before the first header
  std::string key;            ///< never empty
  std::string value;          ///< possibly empty
};

/// The records of one file in file order.
using ConfigRecordList = std::vector<ConfigRecord>;

/// Loads and parses the file; an unopenable file gives the empty list.
ConfigRecordList config_load_file(const char* path);

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
/// not in the file is not added. The rewrite goes to a temporary file beside the old
/// one, which is then renamed over it, so a failure leaves the old file whole. A new
/// value longer than 32,767 bytes is refused and nothing is rewritten. Returns 0.
int config_set_string(const char* path, const char* section, const char* key,
                      const char* new_value);
int config_set_int(const char* path, const char* section, const char* key, int new_value);

/// Writes the records to `path` (mode "w+"): "[section]" before every record of
/// position 0, then "key = value" per record. Returns true only when the file was
/// opened, written completely and closed; the set operations write through it to
/// their temporary file and rename only after true.
bool config_write_file(const char* path, const ConfigRecordList& list);

}  // namespace helmert7
