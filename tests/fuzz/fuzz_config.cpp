// SPDX-License-Identifier: MIT
// Configuration files of arbitrary bytes: every record stays within its field
// limits, holds no line-ending byte and stands on the line it names, which is no
// comment (only LF, CR LF and CR end a line), the string read never writes outside the caller's
// buffer, the file that config_write_file writes from the records loads back
// whole as the same records, and a set of the first key to a value made of input
// bytes either reads back as set, every other record kept, or returns -1 with the
// file byte for byte as it was.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "config/config.h"
#include "fuzz_check.h"

namespace {

using helmert7::ConfigRecord;
using helmert7::ConfigRecordList;

const std::string& scratch_folder() {
  static const std::string folder = fresh_scratch_folder("helmert7-fuzz-config-");
  return folder;
}

void write_bytes(const std::string& path, const std::uint8_t* data, std::size_t size) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  FUZZ_CHECK(file != nullptr, "open scratch file");
  FUZZ_CHECK(size == 0 || std::fwrite(data, size, 1, file) == 1, "write scratch file");
  FUZZ_CHECK(std::fclose(file) == 0, "close scratch file");
}

bool is_blank(char c) { return c == ' ' || c == '\t'; }

void check_field(const std::string& field, std::size_t capacity, const char* name) {
  FUZZ_CHECK(field.size() < capacity, std::string(name) + " within its field");
  FUZZ_CHECK(field.find_first_of(std::string("\n\r\0", 3)) == std::string::npos,
             std::string(name) + " holds no LF, CR or NUL");
  FUZZ_CHECK(field.empty() || (!is_blank(field.front()) && !is_blank(field.back())),
             std::string(name) + " is trimmed");
}

void check_records(const ConfigRecordList& list) {
  for (const ConfigRecord& record : list) {
    FUZZ_CHECK(!record.key.empty(), "key not empty");
    FUZZ_CHECK(record.position >= 0, "position not negative");
    check_field(record.section, helmert7::kConfigNameCapacity, "section");
    check_field(record.key, helmert7::kConfigNameCapacity, "key");
    check_field(record.value, helmert7::kConfigValueCapacity, "value");
  }
}

// The lines of a file's text as the loader counts them: LF, CR LF and CR end one.
std::vector<std::string> physical_lines(const std::string& text) {
  std::vector<std::string> lines(1);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\n' && text[i] != '\r') {
      lines.back() += text[i];
      continue;
    }
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    lines.emplace_back();
  }
  return lines;
}

void check_lines(const std::string& text, const ConfigRecordList& list) {
  const std::vector<std::string> lines = physical_lines(text);
  for (const ConfigRecord& record : list) {
    FUZZ_CHECK(record.line >= 1 && static_cast<std::size_t>(record.line) <= lines.size(),
               "a record's line is a line of the file");
    const std::string& line = lines[static_cast<std::size_t>(record.line) - 1];
    const std::size_t start = line.find_first_not_of(" \t");
    FUZZ_CHECK(line[start] != '#' && line[start] != ';', "no record from a comment line");
    const std::size_t key = line.find(record.key);
    FUZZ_CHECK(key != std::string::npos &&
                   line.find(record.value, key + record.key.size()) != std::string::npos,
               "a record's key and value stand on its line");
  }
}

// A string read of `record`, the file's first, into a buffer of `capacity` bytes
// between two guard regions.
void check_string_read(const std::string& path, const ConfigRecord& record, std::size_t capacity) {
  constexpr std::size_t kGuard = 64;
  constexpr char kGuardByte = '\x5A';
  std::vector<char> memory(capacity + 2 * kGuard, kGuardByte);
  char* buffer = memory.data() + kGuard;
  helmert7::config_get_string(path.c_str(), record.section.c_str(), record.key.c_str(), buffer,
                              capacity, "");
  for (std::size_t i = 0; i < kGuard; ++i) {
    FUZZ_CHECK(memory[i] == kGuardByte && memory[kGuard + capacity + i] == kGuardByte,
               "nothing written outside the buffer");
  }
  if (capacity == 0) return;
  // The record is the file's first, so it is the first match: its value comes back
  // whole when it fits and not at all when it does not.
  const std::string expected = record.value.size() < capacity ? record.value : std::string();
  FUZZ_CHECK(strnlen(buffer, capacity) < capacity && expected == buffer,
             "the value whole, or the empty text");
}

std::string file_bytes(const std::string& path) {
  std::string bytes;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  FUZZ_CHECK(file != nullptr, "open scratch file");
  char buffer[4096];
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) bytes.append(buffer, got);
  std::fclose(file);
  return bytes;
}

void check_set(const std::string& path, const ConfigRecordList& list, const std::string& value) {
  const std::string before = file_bytes(path);
  const ConfigRecord& first = list.front();
  if (helmert7::config_set_string(path.c_str(), first.section.c_str(), first.key.c_str(),
                                  value.c_str()) != 0) {
    FUZZ_CHECK(file_bytes(path) == before, "a refused set leaves the file untouched");
    return;
  }
  const ConfigRecordList after = helmert7::config_load_file(path.c_str());
  FUZZ_CHECK(after.size() == list.size(), "a set keeps every record");
  FUZZ_CHECK(after.front().value == value.c_str(), "the value reads back as set");
  for (std::size_t i = 1; i < list.size(); ++i) {
    FUZZ_CHECK(after[i].key == list[i].key && after[i].value == list[i].value,
               "record " + std::to_string(i) + " survives the set");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = scratch_folder() + "/input.ini";
  const std::string rewritten = scratch_folder() + "/rewritten.ini";
  write_bytes(path, data, size);

  const ConfigRecordList list = helmert7::config_load_file(path.c_str());
  check_records(list);
  check_lines(std::string(reinterpret_cast<const char*>(data), size), list);
  if (!list.empty()) {
    const ConfigRecord& first = list.front();
    check_string_read(path, first, 0);
    check_string_read(path, first, first.value.size());      // one byte short
    check_string_read(path, first, first.value.size() + 1);  // exact fit
  }

  if (helmert7::config_write_file(rewritten.c_str(), list)) {
    ConfigRecordList reloaded;
    FUZZ_CHECK(helmert7::config_load_whole_file(rewritten.c_str(), reloaded),
               "a file the writer wrote loads whole");
    FUZZ_CHECK(reloaded.size() == list.size(), "rewrite keeps every record");
    for (std::size_t i = 0; i < list.size(); ++i) {
      FUZZ_CHECK(reloaded[i].section == list[i].section && reloaded[i].key == list[i].key &&
                     reloaded[i].value == list[i].value && reloaded[i].position == list[i].position,
                 "record " + std::to_string(i) + " survives the rewrite");
    }
  }
  if (!list.empty() && helmert7::config_write_file(path.c_str(), list)) {
    // The value: the input's last bytes, whatever they hold.
    const std::size_t length = std::min<std::size_t>(size, 24);
    check_set(path, helmert7::config_load_file(path.c_str()),
              std::string(reinterpret_cast<const char*>(data + size - length), length));
  }
  return 0;
}
